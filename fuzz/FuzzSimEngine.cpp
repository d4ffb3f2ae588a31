// Fuzzes the simulated handbox's protocol engine (sim/Engine.h) with any
// bytes a program might send it.
//
// The input's first five bytes choose the handbox; the rest is the line:
//   0  model: index into AllModels()
//   1  peek support (mod 3), poke support (/3 mod 3), parked style (/9 mod 3)
//   2  BusyEvery: 0 to 5
//   3  bit 0: start in download mode; the rest: index into TestBauds (mod 10)
//   4  seed of the split of the line into pieces
//
// One engine takes the line in a single Receive(); a second takes it in
// pieces of 0 to 16 bytes, each through Receive() or byte by byte through
// ReceiveByte(). Both must end with the same replies, state and memory.
// On the byte-by-byte path each reply is checked as it comes: its rate is
// one the handbox can have, a block read gives exactly the bytes memory
// holds, and only a model that signals busy answers the busy NAK.

#include "common/TestBauds.h"
#include "sim/Engine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool Holds, const char* What) {
    if (!Holds) {
        std::fprintf(stderr, "fuzz_sim_engine: property violated: %s\n", What);
        std::abort();
    }
}

bool IsTableRate(int Baud) {
    return std::find(TestBauds.begin(), TestBauds.end(), Baud) != TestBauds.end();
}

constexpr std::size_t HeaderSize = 5;
constexpr std::size_t MaxPiece = 16;

struct Choice {
    HandboxSettings Settings;
    std::uint64_t SplitSeed = 0;
};

Choice ChooseSettings(const std::uint8_t* Data, std::size_t Size) {
    std::uint8_t h[HeaderSize] = {};
    std::copy_n(Data, std::min(Size, HeaderSize), h);
    Choice c;
    const auto models = AllModels();
    c.Settings.Model = models[h[0] % models.size()].Model;
    c.Settings.Peek = static_cast<PeekSupport>(h[1] % 3);
    c.Settings.Poke = static_cast<PokeSupport>(h[1] / 3 % 3);
    c.Settings.Parked = static_cast<ParkedStyle>(h[1] / 9 % 3);
    c.Settings.BusyEvery = h[2] % 6;
    c.Settings.DownloadMode = (h[3] & 1) != 0;
    c.Settings.Baud = TestBauds[(h[3] >> 1) % TestBauds.size()];
    c.SplitSeed = h[4];
    return c;
}

// splitmix64: a cheap, well-spread sequence from the split seed.
std::uint64_t Next(std::uint64_t& State) {
    std::uint64_t x = (State += 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The memory every run starts from, and two buffers moved into the engines
// and back, so that no run fills or allocates 8 MiB.
const HandboxMemory& Pristine() {
    static const HandboxMemory memory(1);
    return memory;
}
HandboxMemory& PoolA() {
    static HandboxMemory memory = Pristine();
    return memory;
}
HandboxMemory& PoolB() {
    static HandboxMemory memory = Pristine();
    return memory;
}

// Feeds Line byte by byte, checking each reply as it comes.
std::string FeedBytes(HandboxEngine& Engine, std::string_view Line, std::size_t From,
                      std::size_t To) {
    std::string out;
    for (std::size_t i = From; i < To; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(Line[i]);
        const bool wasDownload = Engine.InDownloadMode();
        const int blocksBefore = Engine.BlockReads();
        const auto reply = Engine.ReceiveByte(byte);
        Require(IsTableRate(Engine.Baud()), "the handbox's rate is one of the table's");
        if (!reply) {
            Require(Engine.BlockReads() == blocksBefore, "a block read always answers");
            continue;
        }
        Require(IsTableRate(reply->Baud), "a reply leaves at one of the table's rates");
        if (!wasDownload && !Engine.Model().CanSignalBusy)
            Require(reply->Bytes != std::string(1, char(HandboxEngine::BusyNak)),
                    "only a model that signals busy answers the busy NAK");
        if (Engine.BlockReads() != blocksBefore) {
            // "R", page, address high and low byte, count: this byte is the count.
            Require(wasDownload && Engine.BlockReads() == blocksBefore + 1,
                    "one block read at a time, in download mode only");
            Require(i >= 4 && Line[i - 4] == 'R', "a block read is \"R\" and four bytes");
            const int page = static_cast<std::uint8_t>(Line[i - 3]);
            const int address = static_cast<std::uint8_t>(Line[i - 2]) << 8 |
                                static_cast<std::uint8_t>(Line[i - 1]);
            Require(reply->Bytes.size() == byte, "a block read answers exactly count bytes");
            for (std::size_t k = 0; k < reply->Bytes.size(); ++k)
                Require(static_cast<std::uint8_t>(reply->Bytes[k]) ==
                            Engine.Memory().At(page, static_cast<std::uint16_t>(address + k)),
                        "a block read answers the bytes memory holds there");
        }
        out += reply->Bytes;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const Choice choice = ChooseSettings(Data, Size);
    const HandboxSettings& settings = choice.Settings;
    const std::size_t skip = std::min(Size, HeaderSize);
    const std::string_view line(reinterpret_cast<const char*>(Data) + skip, Size - skip);

    HandboxEngine whole(settings, std::move(PoolA()));
    HandboxEngine pieces(settings, std::move(PoolB()));

    const std::string wholeReplies = whole.Receive(line);

    std::string pieceReplies;
    std::uint64_t state = choice.SplitSeed;
    for (std::size_t at = 0; at < line.size();) {
        const std::uint64_t r = Next(state);
        const std::size_t n = std::min<std::size_t>(r % (MaxPiece + 1), line.size() - at);
        if (r & (1u << 8))
            pieceReplies += FeedBytes(pieces, line, at, at + n);
        else
            pieceReplies += pieces.Receive(line.substr(at, n));
        Require(IsTableRate(pieces.Baud()), "the handbox's rate is one of the table's");
        at += n;
    }

    Require(wholeReplies == pieceReplies, "the replies do not depend on how the line is split");
    Require(whole.Baud() == pieces.Baud(), "the rate does not depend on the split");
    Require(whole.InDownloadMode() == pieces.InDownloadMode(),
            "the mode does not depend on the split");
    Require(whole.BlockReads() == pieces.BlockReads(),
            "the block reads do not depend on the split");
    Require(IsTableRate(whole.Baud()), "the handbox's rate is one of the table's");

    HandboxMemory& a = whole.Memory();
    HandboxMemory& b = pieces.Memory();
    Require(a == b, "the memory does not depend on the split");
    // A normal poke reaches only its window: put it back, and the rest must
    // be as it was. Without pokes nothing may change at all.
    if (settings.Poke == PokeSupport::Normal)
        for (std::uint32_t address = HandboxEngine::NormalPokeBase;
             address <= HandboxEngine::NormalPokeEnd; ++address) {
            a.SetFull(address, Pristine().AtFull(address));
            b.SetFull(address, Pristine().AtFull(address));
        }
    const bool unchanged = a == Pristine();
    if (settings.Poke != PokeSupport::Extended)
        Require(unchanged, "memory outside the poke window is never written");

    PoolA() = std::move(a);
    PoolB() = std::move(b);
    if (!unchanged) {
        PoolA() = Pristine();
        PoolB() = Pristine();
    }
    return 0;
}
