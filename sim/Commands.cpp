// Normal mode's text commands: identity, parked state, peek, poke and the
// baud change.

#include "common/TestBauds.h"
#include "sim/Engine.h"

#include <cstdio>

namespace {

// An unsigned decimal number of at most 64 bits, digits only; nothing for
// anything else (empty, a sign, a blank, an overflowing number).
std::optional<std::uint64_t> ParseDecimal(std::string_view Digits) {
    if (Digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : Digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
    return Text.substr(0, Prefix.size()) == Prefix;
}

} // namespace

std::string HandboxEngine::HandleCommand(std::string_view Command) {
    if (Command == ":GVP")
        return std::string(model_.ProductName) + "#";
    if (Command == ":GVD")
        return date_ + "#";
    if (Command == ":ED" || Command == ":EC")
        return settings_.Parked == ParkedStyle::NotParked ? std::string() : ParkedText();
    if (StartsWith(Command, ":EP"))
        return Peek(Command.substr(3));
    if (StartsWith(Command, ":EN"))
        return Poke(Command.substr(3));
    if (StartsWith(Command, ":SB"))
        return ChangeBaud(Command.substr(3));
    return {}; // unknown commands are ignored, as the firmware does
}

std::string HandboxEngine::AckReply() const {
    if (settings_.Parked == ParkedStyle::AnswersAck)
        return "PARKED";
    if (settings_.Parked == ParkedStyle::AnswersProbe)
        return {}; // this firmware reveals parking only to ":ED#" / ":EC#"
    return std::string(1, model_.ModeLetter);
}

std::string HandboxEngine::ParkedText() const {
    return "Telescope is parked#";
}

std::string HandboxEngine::Peek(std::string_view Digits) const {
    const auto value = ParseDecimal(Digits);
    if (!value || settings_.Peek == PeekSupport::None)
        return {};
    const bool extended = settings_.Peek == PeekSupport::ExtendedAndNormal &&
                          *value >= ExtendedPeekOffset &&
                          *value - ExtendedPeekOffset < HandboxMemory::FullSize;
    const std::uint64_t address = extended ? *value - ExtendedPeekOffset : *value;
    // An address with no memory behind it gets no answer.
    if (address >= HandboxMemory::FullSize)
        return {};
    const std::uint16_t word =
        static_cast<std::uint16_t>((memory_.AtFull(address) << 8) | memory_.AtFull(address + 1));
    char text[16];
    if (extended)
        std::snprintf(text, sizeof text, "x%04X#", word);
    else if (word == 0x8000)
        std::snprintf(text, sizeof text, "-0#"); // the firmware's quirk for the lowest word
    else
        std::snprintf(text, sizeof text, "%d#", static_cast<int>(static_cast<std::int16_t>(word)));
    return text;
}

std::string HandboxEngine::Poke(std::string_view Digits) {
    const auto value = ParseDecimal(Digits);
    if (!value)
        return {};
    const std::uint8_t byte = static_cast<std::uint8_t>(*value & 0xFF);
    std::uint64_t address = *value >> 8;
    switch (settings_.Poke) {
    case PokeSupport::None:
        return {};
    case PokeSupport::Extended:
        if (address >= HandboxMemory::FullSize)
            return {};
        break;
    case PokeSupport::Normal:
        // Only the window can be written. A value beyond it is refused with
        // no "#": acknowledging a write that did not happen would tell the
        // program its data is in place when it is not.
        address += NormalPokeBase;
        if (address > NormalPokeEnd)
            return {};
        break;
    }
    memory_.SetFull(address, byte);
    return "#";
}

std::string HandboxEngine::ChangeBaud(std::string_view Digits) {
    if (!model_.AcceptsBaudChange || Digits.size() != 1)
        return {};
    const auto index = ParseDecimal(Digits);
    if (!index || *index >= TestBauds.size())
        return {};
    // The "1" still leaves at the old rate (the caller takes the reply's rate
    // from before this command); everything after runs at the new one.
    baud_ = TestBauds[*index];
    return "1";
}
