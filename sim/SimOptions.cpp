#include "sim/SimOptions.h"

#include "common/TestBauds.h"
#include "common/VirtualPorts.h"

#include <cctype>
#include <optional>

namespace {

std::optional<std::uint64_t> ParseNumber(const std::string& Text, std::uint64_t Max) {
    if (Text.empty() || Text.size() > 20)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : Text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (Max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// "Mmm dd yyyy": the shape the program cuts the firmware date by. Whether it
// names a real date is left open, so a handbox with a nonsense date (as some
// firmware has) can still be simulated.
bool IsDateShape(const std::string& Text) {
    if (Text.size() != 11 || Text[3] != ' ' || Text[6] != ' ')
        return false;
    for (int i : {0, 1, 2})
        if (!std::isalpha(static_cast<unsigned char>(Text[i])))
            return false;
    for (int i : {4, 5, 7, 8, 9, 10})
        if (!std::isdigit(static_cast<unsigned char>(Text[i])))
            return false;
    return true;
}

template <typename T>
bool Choose(const std::string& Text, std::initializer_list<std::pair<const char*, T>> Choices,
            T& Out) {
    for (const auto& [name, value] : Choices)
        if (Text == name) {
            Out = value;
            return true;
        }
    return false;
}

} // namespace

bool ParseSimOptions(const std::vector<std::string>& Args, SimOptions& Options,
                     std::string& Error) {
    for (std::size_t i = 0; i < Args.size(); ++i) {
        std::string name = Args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        const auto flag = [&]() {
            if (inlineValue)
                Error = name + " takes no value";
            return !inlineValue;
        };
        std::string value;
        const auto takeValue = [&]() {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= Args.size()) {
                Error = name + " needs a value";
                return false;
            }
            value = Args[++i];
            return true;
        };
        const auto bad = [&](const std::string& expected) {
            Error = "bad value for " + name + ": \"" + value + "\" (" + expected + ")";
            return false;
        };
        // A count of commands or milliseconds: 0 (off) up to a bound that
        // keeps every sum of them far from overflowing.
        const auto count = [&](int& out) {
            if (!takeValue())
                return false;
            const auto n = ParseNumber(value, 1'000'000'000);
            if (!n)
                return bad("a whole number from 0 to 1000000000");
            out = static_cast<int>(*n);
            return true;
        };

        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag();
            Options.Help = true;
        } else if (name == "--model") {
            ok = takeValue();
            if (ok) {
                const ModelInfo* model = FindModel(value);
                ok = model ? (Options.Handbox.Model = model->Model, true)
                           : bad("494, 495, 497, 497mk2, lx2001, rcx400 or 1697");
            }
        } else if (name == "--baud") {
            ok = takeValue();
            if (ok) {
                const auto rate = ParseNumber(value, 1'000'000);
                ok = rate && TestBaudIndex(static_cast<int>(*rate))
                         ? (Options.Handbox.Baud = static_cast<int>(*rate), true)
                         : bad("one of 115200 57600 38400 28800 19200 14400 9600 4800 2400 1200");
            }
        } else if (name == "--port") {
            ok = takeValue();
            if (ok) {
                const auto port = ParseNumber(value, HighestPortNumber);
                ok = port && *port >= LowestPortNumber
                         ? (Options.Line.PortNumber = static_cast<int>(*port), true)
                         : bad("1 to 255");
            }
        } else if (name == "--date") {
            ok = takeValue() && (IsDateShape(value) ? (Options.Handbox.FirmwareDate = value, true)
                                                    : bad("like \"Jun 29 2004\""));
        } else if (name == "--download-mode") {
            ok = flag();
            Options.Handbox.DownloadMode = true;
        } else if (name == "--parked") {
            ok = takeValue() && (Choose(value,
                                        {std::pair{"ack", ParkedStyle::AnswersAck},
                                         std::pair{"probe", ParkedStyle::AnswersProbe}},
                                        Options.Handbox.Parked) ||
                                 bad("ack or probe"));
        } else if (name == "--peek") {
            ok = takeValue() && (Choose(value,
                                        {std::pair{"extended", PeekSupport::ExtendedAndNormal},
                                         std::pair{"normal", PeekSupport::NormalOnly},
                                         std::pair{"none", PeekSupport::None}},
                                        Options.Handbox.Peek) ||
                                 bad("extended, normal or none"));
        } else if (name == "--poke") {
            ok = takeValue() && (Choose(value,
                                        {std::pair{"extended", PokeSupport::Extended},
                                         std::pair{"normal", PokeSupport::Normal},
                                         std::pair{"none", PokeSupport::None}},
                                        Options.Handbox.Poke) ||
                                 bad("extended, normal or none"));
        } else if (name == "--seed") {
            ok = takeValue();
            if (ok) {
                const auto seed = ParseNumber(value, UINT64_MAX);
                ok = seed ? (Options.Seed = *seed, true) : bad("a whole number");
            }
        } else if (name == "--image" || name == "--save-image") {
            ok = takeValue() &&
                 (!value.empty()
                      ? ((name == "--image" ? Options.Image : Options.SaveImage) = value, true)
                      : bad("a file name"));
        } else if (name == "--pace") {
            ok = flag();
            Options.Line.Pace = true;
        } else if (name == "--echo") {
            ok = flag();
            Options.Line.Echo = true;
        } else if (name == "--latency-ms") {
            ok = count(Options.Line.LatencyMs);
        } else if (name == "--busy-every") {
            ok = count(Options.Handbox.BusyEvery);
        } else if (name == "--drop-every") {
            ok = count(Options.Line.DropEvery);
        } else if (name == "--garbage-every") {
            ok = count(Options.Line.GarbageEvery);
        } else if (name == "--hang-after") {
            ok = count(Options.Line.HangAfter);
        } else if (name == "--vanish-after") {
            ok = count(Options.Line.VanishAfter);
        } else {
            Error = "unknown option \"" + Args[i] + "\" (see --help)";
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (Options.Handbox.BusyEvery > 0 && !InfoOf(Options.Handbox.Model).CanSignalBusy) {
        Error = "--busy-every needs --model lx2001: only the LX2001 signals busy";
        return false;
    }
    return true;
}

std::string SimUsage() {
    return R"(Usage: hexvac-sim [options]
A simulated Meade handbox on a virtual serial port (COM<n>) for Hexvac.
It serves until interrupted (Ctrl-C, SIGTERM) and then removes its port.

Handbox:
  --model M          494, 495, 497 (default), 497mk2, lx2001, rcx400, 1697
  --baud N           the handbox's own rate (default 9600): 115200 57600
                     38400 28800 19200 14400 9600 4800 2400 1200
  --date "Mmm dd yyyy"  firmware date answered to :GVD# (default: the model's)
  --download-mode    start in download mode
  --parked ack|probe parked: said in the reply to 06 hex, or only to :ED#/:EC#
  --peek extended|normal|none   peek forms answered (default extended: both)
  --poke extended|normal|none   poke form understood (default extended)
  --seed N           fill memory from seed N (default 1)
  --image FILE       load memory from an 8 MiB image (128 pages of 64 KiB)
  --save-image FILE  write the memory as served at start, in the same layout
  --busy-every N     lx2001: every Nth command is answered by the busy NAK
                     (15 hex) alone and not carried out

Line (faults count answered commands; 0 = off):
  --port N           register as COM<N> (default: the first free from 200)
  --pace             bytes take their line time, 10 bits each, both ways
  --latency-ms N     wait N ms before each reply
  --drop-every N     send no reply to every Nth command
  --garbage-every N  send garbage instead of the reply to every Nth command
  --echo             echo every byte back instead of answering (loopback)
  --hang-after N     answer nothing more after N commands
  --vanish-after N   after N commands the device disappears (as unplugged)
  --help             this text
)";
}
