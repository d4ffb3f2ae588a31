#pragma once
// The simulated handbox's protocol engine: bytes in, bytes out, no I/O.
//
// Bytes may be fed in any split: a command may come over several calls and
// several commands in one. The engine knows the handbox's own line rate but
// never checks the line: whoever carries the bytes (the pseudo-terminal host,
// a test) decides whether they reached it at that rate.

#include "sim/Memory.h"
#include "sim/Models.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Which peek forms (":EP" + address + "#") the firmware answers.
enum class PeekSupport { ExtendedAndNormal, NormalOnly, None };

// Which poke form (":EN" + value + "#") the firmware understands.
enum class PokeSupport { Extended, Normal, None };

// How a parked telescope shows itself: not at all (not parked), in the reply
// to byte 06 hex, or only in the replies to ":ED#" and ":EC#".
enum class ParkedStyle { NotParked, AnswersAck, AnswersProbe };

struct HandboxSettings {
    HandboxModel Model = HandboxModel::Autostar497;
    std::string FirmwareDate; // empty: the model's own date
    int Baud = 9600;
    bool DownloadMode = false; // start in download mode
    ParkedStyle Parked = ParkedStyle::NotParked;
    PeekSupport Peek = PeekSupport::ExtendedAndNormal;
    PokeSupport Poke = PokeSupport::Extended;
    // LX2001 in normal mode: every BusyEvery-th command (the ACK byte or a
    // text command) is answered by the busy NAK (15 hex) alone and not
    // carried out. 0 = never. Other models never signal busy.
    int BusyEvery = 0;
};

// The answer to one complete command, and the rate it leaves at (a baud
// change answers at the old rate and switches after).
struct CommandReply {
    std::string Bytes; // empty when the command gets no answer
    int Baud = 9600;
};

class HandboxEngine {
public:
    // Memory filled from Seed, with the model's probe word in place.
    explicit HandboxEngine(const HandboxSettings& Settings, std::uint64_t Seed = 1);
    // Memory as given (an image loaded from a file stays exactly as loaded).
    HandboxEngine(const HandboxSettings& Settings, HandboxMemory Memory);

    // Takes one received byte. When it completes a command, returns that
    // command's reply (possibly empty); otherwise nothing.
    std::optional<CommandReply> ReceiveByte(std::uint8_t Byte);

    // Feeds every byte and returns all replies joined, in order.
    std::string Receive(std::string_view Bytes);

    int Baud() const { return baud_; }
    // Block reads answered so far in download mode.
    int BlockReads() const { return blockReads_; }
    bool InDownloadMode() const { return downloadMode_; }
    const ModelInfo& Model() const { return model_; }
    const std::string& FirmwareDate() const { return date_; }
    const HandboxMemory& Memory() const { return memory_; }
    HandboxMemory& Memory() { return memory_; }

    // Where the normal poke form writes: B600-B7FF of page 0. The value sent
    // is (address - B600) x 256 + byte.
    static constexpr std::uint32_t NormalPokeBase = 0xB600;
    static constexpr std::uint32_t NormalPokeEnd = 0xB7FF;
    // The extended peek form is the address plus this.
    static constexpr std::uint64_t ExtendedPeekOffset = 33554432; // 0x2000000
    static constexpr std::uint8_t Ack = 0x06;
    static constexpr std::uint8_t EnterDownload = 0x04;
    static constexpr std::uint8_t BusyNak = 0x15;

private:
    std::optional<CommandReply> ReceiveNormal(std::uint8_t Byte);
    std::optional<CommandReply> ReceiveDownload(std::uint8_t Byte);
    // One text command, from ":" to before "#": its reply bytes.
    std::string HandleCommand(std::string_view Command);
    std::string AckReply() const;
    std::string ParkedText() const;
    std::string Peek(std::string_view Digits) const;
    std::string Poke(std::string_view Digits);
    std::string ChangeBaud(std::string_view Digits);
    std::string BlockRead() const;
    CommandReply Answer(std::string Bytes, int ReplyBaud);
    bool BusyNow(); // counts the command; true when it meets a busy handbox

    const ModelInfo& model_;
    HandboxSettings settings_;
    std::string date_;
    HandboxMemory memory_;
    int baud_;
    bool downloadMode_;

    std::string input_;       // normal mode: the text command being received
    bool overflowed_ = false; // the command was too long; skip it up to "#"
    std::string block_;       // download mode: "R" and its parameter bytes so far
    int commands_ = 0;        // normal-mode commands received, for the busy NAK
    int blockReads_ = 0;
};
