// What travels on the simulated line: received bytes to the handbox once they
// have left the program's side, at its rate only; replies back with pacing,
// latency and the injected faults.

#include "sim/LineSpeed.h"
#include "sim/PtyHost.h"

#include <algorithm>
#include <cerrno>
#include <iomanip>
#include <ostream>
#include <unistd.h>

namespace {

// One start bit, eight data bits, one stop bit.
std::chrono::steady_clock::duration CharTime(unsigned Rate) {
    using Duration = std::chrono::steady_clock::duration;
    if (Rate == 0)
        return Duration::zero();
    return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(10'000'000'000LL) / Rate);
}

// Printable ASCII as it is, every other byte as [hh].
std::string TraceText(const std::string& Bytes) {
    std::string text;
    for (const char c : Bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '[') {
            text += c;
        } else {
            static constexpr char Digits[] = "0123456789ABCDEF";
            text += {'[', Digits[byte >> 4], Digits[byte & 15], ']'};
        }
    }
    return text;
}

} // namespace

PtyHost::Clock::duration PtyHost::ByteTime(unsigned Rate) const {
    return options_.Pace ? CharTime(Rate) : Clock::duration::zero();
}

void PtyHost::HandleInput(const char* Bytes, std::size_t Count) {
    // The program's side is a UART: it sends what was written one byte after
    // the other at the rate it is set to now, and each byte reaches the
    // handbox only once its stop bit is out. Whether the handbox hears it is
    // decided then (DeliverArrived), by the rate in force at that moment: a
    // program that changes the rate or closes the port right after writing,
    // without waiting for its output to leave, loses its last bytes.
    const Clock::time_point now = Clock::now();
    const std::optional<LineSpeed> speed = ReadLineSpeed(master_);
    const unsigned rate = speed ? speed->Output : 0;
    if (!options_.Pace) {
        // Unpaced, the line is as fast as the pseudo-terminal, except that
        // the last byte of a write still takes its own time to leave: a rate
        // change right after a write is still caught, and a reply does not
        // wait for the whole length of its command.
        inputFree_ = std::max(now, inputFree_) + CharTime(rate);
        for (std::size_t i = 0; i < Count; ++i)
            received_.push_back(Incoming{inputFree_, rate, session_, Bytes[i]});
        return;
    }
    for (std::size_t i = 0; i < Count; ++i) {
        inputFree_ = std::max(now, inputFree_) + CharTime(rate);
        received_.push_back(Incoming{inputFree_, rate, session_, Bytes[i]});
    }
}

void PtyHost::DeliverArrived() {
    // The time is taken before the line is read: every byte judged here has
    // left the program's side before the settings it is judged by were read.
    const Clock::time_point now = Clock::now();
    if (received_.empty() || received_.front().End > now)
        return;
    const std::optional<LineSpeed> speed = ReadLineSpeed(master_);
    while (master_ >= 0 && !received_.empty() && received_.front().End <= now) {
        const Incoming byte = received_.front();
        received_.pop_front();
        // The rate is checked for every byte: the one before may have
        // changed the handbox's own (leaving download mode).
        const unsigned rate = static_cast<unsigned>(engine_.Baud());
        const bool heard =
            speed && speed->Output == rate && (speed->Input == 0 || speed->Input == rate);
        Arrive(byte, heard);
    }
}

void PtyHost::Arrive(const Incoming& Byte, bool Heard) {
    // Bytes sent by a program that has closed its side since still reach the
    // handbox, but its replies have nowhere to go: not to that program, and
    // not to one that has opened the port afresh.
    const bool listening = attached_ && Byte.Session == session_;
    if (options_.Echo) {
        if (listening)
            Queue(Byte.End, std::string(1, Byte.Byte), Byte.Rate);
        return;
    }
    if (options_.VanishAfter > 0 && answered_ >= options_.VanishAfter) {
        Vanish();
        return;
    }
    // A handbox at another rate hears only noise: nothing it can answer.
    if (hung_ || !Heard)
        return;
    const int blocksBefore = engine_.BlockReads();
    std::optional<CommandReply> reply = engine_.ReceiveByte(static_cast<std::uint8_t>(Byte.Byte));
    const bool block = listening && engine_.BlockReads() != blocksBefore;
    if (block && blocks_.Count++ == 0)
        blocks_.First = Byte.End;
    if (trace_)
        heard_ += Byte.Byte;
    if (!reply || reply->Bytes.empty())
        return;
    if (trace_) {
        *trace_ << "heard " << TraceText(heard_) << " answered " << TraceText(reply->Bytes)
                << std::endl;
        heard_.clear();
    }
    ++answered_;
    if (options_.DropEvery > 0 && answered_ % options_.DropEvery == 0)
        reply->Bytes.clear();
    else if (options_.GarbageEvery > 0 && answered_ % options_.GarbageEvery == 0)
        Garble(reply->Bytes);
    if (listening && !reply->Bytes.empty())
        Queue(Byte.End + std::chrono::milliseconds(options_.LatencyMs), std::move(reply->Bytes),
              static_cast<unsigned>(reply->Baud), block);
    if (options_.HangAfter > 0 && answered_ >= options_.HangAfter)
        hung_ = true;
}

void PtyHost::Queue(Clock::time_point Due, std::string Bytes, unsigned Rate, bool Block) {
    AddNoise(Bytes);
    Outgoing out{Due, ByteTime(Rate), std::move(Bytes), Block};
    if (options_.Pace) {
        // The line carries one byte at a time: a reply starts after the last
        // queued byte has gone, and its last byte leaves one byte time after
        // its start, not before.
        out.Next = std::max(Due, outputFree_) + out.Step;
        outputFree_ = out.Next + out.Step * static_cast<int>(out.Bytes.size() - 1);
    }
    pending_.push_back(std::move(out));
}

void PtyHost::SendDue() {
    while (!pending_.empty() && !writeBlocked_) {
        Outgoing& out = pending_.front();
        const Clock::time_point now = Clock::now();
        if (out.Next > now)
            return;
        // Unpaced, the whole reply goes at once; paced, every byte whose
        // line time has come (more than one after a late wake-up).
        std::size_t count = out.Bytes.size();
        if (out.Step > Clock::duration::zero())
            count = std::min<std::size_t>(
                count, static_cast<std::size_t>((now - out.Next) / out.Step) + 1);
        const ssize_t n = ::write(master_, out.Bytes.data(), count);
        if (n < 0) {
            if (errno == EAGAIN)
                writeBlocked_ = true; // the program is not reading; wait for room
            else if (errno != EINTR)
                LineDropped();
            return;
        }
        out.Bytes.erase(0, static_cast<std::size_t>(n));
        out.Next += out.Step * static_cast<int>(n);
        if (out.Bytes.empty()) {
            if (out.Block)
                blocks_.LastSent = Clock::now();
            pending_.pop_front();
        }
    }
}

void PtyHost::Garble(std::string& Bytes) {
    // Every byte changed (xor with a non-zero value), so no garbage reply can
    // pass for the real one.
    for (char& c : Bytes) {
        garbage_ ^= garbage_ << 13;
        garbage_ ^= garbage_ >> 17;
        garbage_ ^= garbage_ << 5;
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ ((garbage_ & 0xFF) | 1));
    }
}

void PtyHost::AddNoise(std::string& Bytes) {
    if (options_.FlipRate <= 0)
        return;
    // A uniform number in [0, 1) from the top 53 bits, and a bit from the
    // next draw: drawn by hand, as the standard distributions differ
    // between libraries and a seed must flip the same bytes everywhere.
    for (char& c : Bytes) {
        if (static_cast<double>(noise_() >> 11) * 0x1.0p-53 >= options_.FlipRate)
            continue;
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ (1u << (noise_() & 7)));
        ++flipped_;
    }
}

void PtyHost::ReportBlocks() {
    if (blockReport_ && blocks_.Count > 0 && blocks_.LastSent >= blocks_.First) {
        const std::chrono::duration<double> took = blocks_.LastSent - blocks_.First;
        *blockReport_ << "hexvac-sim: " << blocks_.Count << " block reads in " << std::fixed
                      << std::setprecision(6) << took.count() << " s" << std::endl;
    }
    blocks_ = {};
}
