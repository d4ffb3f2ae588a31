// Byte-level reception: normal mode's text commands and control bytes, and
// download mode's binary commands.

#include "sim/Engine.h"

namespace {

// Longest text command the handbox buffers (":EP" + 20 digits fits).
constexpr std::size_t MaxCommandLength = 40;

// The bytes after "R": page, address high byte, address low byte, count.
constexpr std::size_t BlockReadLength = 5;

} // namespace

HandboxEngine::HandboxEngine(const HandboxSettings& Settings, std::uint64_t Seed)
    : HandboxEngine(Settings, HandboxMemory(Seed)) {
    if (model_.ProbeAddress >= 0) {
        memory_.SetFull(model_.ProbeAddress, static_cast<std::uint8_t>(model_.ProbeWord >> 8));
        memory_.SetFull(model_.ProbeAddress + 1, static_cast<std::uint8_t>(model_.ProbeWord));
    }
}

HandboxEngine::HandboxEngine(const HandboxSettings& Settings, HandboxMemory Memory)
    : model_(InfoOf(Settings.Model))
    , settings_(Settings)
    , date_(Settings.FirmwareDate.empty() ? std::string(model_.DefaultDate) : Settings.FirmwareDate)
    , memory_(std::move(Memory))
    , baud_(Settings.Baud)
    , downloadMode_(Settings.DownloadMode) {}

std::string HandboxEngine::Receive(std::string_view Bytes) {
    std::string out;
    for (char c : Bytes)
        if (auto reply = ReceiveByte(static_cast<std::uint8_t>(c)))
            out += reply->Bytes;
    return out;
}

std::optional<CommandReply> HandboxEngine::ReceiveByte(std::uint8_t Byte) {
    return downloadMode_ ? ReceiveDownload(Byte) : ReceiveNormal(Byte);
}

CommandReply HandboxEngine::Answer(std::string Bytes, int ReplyBaud) {
    return CommandReply{std::move(Bytes), ReplyBaud};
}

bool HandboxEngine::BusyNow() {
    // Only the LX2001 has the busy signal, and only outside download mode,
    // where a NAK could not be told from block data.
    return model_.CanSignalBusy && !downloadMode_ && settings_.BusyEvery > 0 &&
           ++commands_ % settings_.BusyEvery == 0;
}

std::optional<CommandReply> HandboxEngine::ReceiveNormal(std::uint8_t Byte) {
    // The control bytes act at once, whatever text is half received: they
    // can never be part of a text command.
    // A busy handbox answers a lone NAK and does nothing else.
    if (Byte == Ack)
        return Answer(BusyNow() ? std::string(1, char(BusyNak)) : AckReply(), baud_);
    if (Byte == EnterDownload) {
        downloadMode_ = true;
        input_.clear();
        overflowed_ = false;
        block_.clear();
        return CommandReply{{}, baud_};
    }
    if (Byte == '#') {
        // "#" ends a command; on its own it only clears the input.
        const std::string command = std::move(input_);
        const bool complete = !command.empty() && !overflowed_;
        input_.clear();
        overflowed_ = false;
        const int replyBaud = baud_; // a baud change answers at the old rate
        if (complete && BusyNow())
            return Answer(std::string(1, char(BusyNak)), replyBaud);
        return Answer(complete ? HandleCommand(command) : std::string(), replyBaud);
    }
    if (Byte == ':') {
        // Every ":" starts a new command, dropping an unfinished one.
        input_ = ":";
        overflowed_ = false;
        return std::nullopt;
    }
    if (input_.empty())
        return std::nullopt; // noise between commands
    if (input_.size() >= MaxCommandLength)
        overflowed_ = true;
    else
        input_ += static_cast<char>(Byte);
    return std::nullopt;
}

std::optional<CommandReply> HandboxEngine::ReceiveDownload(std::uint8_t Byte) {
    if (!block_.empty()) {
        block_ += static_cast<char>(Byte);
        if (block_.size() < BlockReadLength)
            return std::nullopt;
        std::string reply = BlockRead();
        block_.clear();
        ++blockReads_;
        return Answer(std::move(reply), baud_);
    }
    switch (Byte) {
    case Ack:
        return Answer("D", baud_);
    case 'T':
        return Answer(std::string(1, static_cast<char>(model_.DownloadCode)), baud_);
    case 'R':
        block_ = "R";
        return std::nullopt;
    case 'I':
        // Leaving download mode puts the handbox back at 9600 baud.
        downloadMode_ = false;
        baud_ = 9600;
        return CommandReply{{}, baud_};
    default:
        return std::nullopt; // download mode knows no other command
    }
}

std::string HandboxEngine::BlockRead() const {
    const int page = static_cast<std::uint8_t>(block_[1]);
    std::uint16_t address = static_cast<std::uint16_t>((static_cast<std::uint8_t>(block_[2]) << 8) |
                                                       static_cast<std::uint8_t>(block_[3]));
    const int count = static_cast<std::uint8_t>(block_[4]);
    // Exactly count bytes, always: the reader frames the block by its length.
    // The address wraps within the page like the handbox's 16-bit address.
    std::string out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out += static_cast<char>(memory_.At(page, address++));
    return out;
}
