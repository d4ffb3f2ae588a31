// What travels on the simulated line: received bytes to the handbox at its
// rate only, replies back with pacing, latency and the injected faults.

#include "sim/LineSpeed.h"
#include "sim/PtyHost.h"

#include <algorithm>
#include <cerrno>
#include <iomanip>
#include <ostream>
#include <unistd.h>

PtyHost::Clock::duration PtyHost::ByteTime(unsigned Rate) const {
    if (!options_.Pace || Rate == 0)
        return Clock::duration::zero();
    // One start bit, eight data bits, one stop bit.
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL) /
                                                       Rate);
}

void PtyHost::HandleInput(const char* Bytes, std::size_t Count) {
    const Clock::time_point now = Clock::now();
    const std::optional<LineSpeed> speed = ReadLineSpeed(master_);
    const unsigned lineRate = speed ? speed->Output : 0;
    const auto atHandboxRate = [&] {
        const unsigned rate = static_cast<unsigned>(engine_.Baud());
        return speed && speed->Output == rate && (speed->Input == 0 || speed->Input == rate);
    };
    for (std::size_t i = 0; i < Count; ++i) {
        // A byte has arrived once the line has carried it.
        Clock::time_point arrival = now;
        if (options_.Pace) {
            inputFree_ = std::max(now, inputFree_) + ByteTime(lineRate);
            arrival = inputFree_;
        }
        if (options_.Echo) {
            Queue(arrival, std::string(1, Bytes[i]), lineRate);
            continue;
        }
        if (options_.VanishAfter > 0 && answered_ >= options_.VanishAfter) {
            Vanish();
            return;
        }
        // A handbox at another rate hears only noise: nothing it can answer.
        if (hung_ || !atHandboxRate())
            continue;
        const int blocksBefore = engine_.BlockReads();
        std::optional<CommandReply> reply =
            engine_.ReceiveByte(static_cast<std::uint8_t>(Bytes[i]));
        const bool block = engine_.BlockReads() != blocksBefore;
        if (block && blocks_.Count++ == 0)
            blocks_.First = arrival;
        if (!reply || reply->Bytes.empty())
            continue;
        ++answered_;
        if (options_.DropEvery > 0 && answered_ % options_.DropEvery == 0)
            reply->Bytes.clear();
        else if (options_.GarbageEvery > 0 && answered_ % options_.GarbageEvery == 0)
            Garble(reply->Bytes);
        if (!reply->Bytes.empty())
            Queue(arrival + std::chrono::milliseconds(options_.LatencyMs), std::move(reply->Bytes),
                  static_cast<unsigned>(reply->Baud), block);
        if (options_.HangAfter > 0 && answered_ >= options_.HangAfter)
            hung_ = true;
    }
}

void PtyHost::Queue(Clock::time_point Due, std::string Bytes, unsigned Rate, bool Block) {
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

void PtyHost::ReportBlocks() {
    if (blockReport_ && blocks_.Count > 0 && blocks_.LastSent >= blocks_.First) {
        const std::chrono::duration<double> took = blocks_.LastSent - blocks_.First;
        *blockReport_ << "hexvac-sim: " << blocks_.Count << " block reads in " << std::fixed
                      << std::setprecision(6) << took.count() << " s" << std::endl;
    }
    blocks_ = {};
}
