#include "sim/SimOptions.h"

#include "common/TestBauds.h"
#include "common/VirtualPorts.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cctype>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

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

template <typename Choices, typename T>
bool Choose(const std::string& Text, const Choices& Names, T& Out) {
    for (const auto& [name, value] : Names)
        if (Text == name) {
            Out = value;
            return true;
        }
    return false;
}

constexpr std::pair<const char*, ParkedStyle> ParkedStyles[] = {
    {"ack", ParkedStyle::AnswersAck}, {"probe", ParkedStyle::AnswersProbe}};
constexpr std::pair<const char*, PeekSupport> PeekForms[] = {
    {"extended", PeekSupport::ExtendedAndNormal},
    {"normal", PeekSupport::NormalOnly},
    {"none", PeekSupport::None}};
constexpr std::pair<const char*, PokeSupport> PokeForms[] = {{"extended", PokeSupport::Extended},
                                                             {"normal", PokeSupport::Normal},
                                                             {"none", PokeSupport::None}};

// The options as --help lists them; ParseSimOptions checks their values.
void DefineOptions(QCommandLineParser& Parser) {
    // The only one-letter option is -h, so a single dash reads like a double
    // one ("-model 497") instead of a bundle of letters.
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Parser.setApplicationDescription(
        u"A simulated Meade handbox on a virtual serial port (COM<n>) for Hexvac.\n"
        u"It serves until interrupted (Ctrl-C, SIGTERM) and then removes its port.\n"
        u"The line's faults count answered commands; 0 = off."_s);
    Parser.addOptions({
        {u"model"_s, u"494, 495, 497 (default), 497mk2, lx2001, rcx400, 1697"_s, u"M"_s},
        {u"baud"_s,
         u"the handbox's own rate (default 9600): 115200 57600 38400 28800 19200 14400 "
         u"9600 4800 2400 1200"_s,
         u"N"_s},
        {u"date"_s,
         u"firmware date answered to :GVD#, like \"Jun 29 2004\" (default: the model's)"_s,
         u"Mmm dd yyyy"_s},
        {u"download-mode"_s, u"start in download mode"_s},
        {u"parked"_s, u"parked: said in the reply to 06 hex, or only to :ED#/:EC#"_s,
         u"ack|probe"_s},
        {u"peek"_s, u"peek forms answered: extended (default: both), normal or none"_s, u"FORM"_s},
        {u"poke"_s, u"poke form understood: extended (default), normal or none"_s, u"FORM"_s},
        {u"seed"_s, u"fill memory, and draw the line's bit flips, from seed N (default 1)"_s,
         u"N"_s},
        {u"image"_s, u"load memory from an 8 MiB image (128 pages of 64 KiB)"_s, u"FILE"_s},
        {u"save-image"_s, u"write the memory as served at start, in the same layout"_s, u"FILE"_s},
        {u"trace"_s, u"write each command the handbox hears and its reply to FILE"_s, u"FILE"_s},
        {u"busy-every"_s,
         u"lx2001: every Nth command is answered by the busy NAK (15 hex) alone and not "
         u"carried out"_s,
         u"N"_s},
        {u"port"_s, u"register as COM<N> (default: the first free from 200)"_s, u"N"_s},
        {u"pace"_s, u"bytes take their line time, 10 bits each, both ways"_s},
        {u"latency-ms"_s, u"wait N ms before each reply"_s, u"N"_s},
        {u"drop-every"_s, u"send no reply to every Nth command"_s, u"N"_s},
        {u"garbage-every"_s, u"send garbage instead of the reply to every Nth command"_s, u"N"_s},
        {u"flip-rate"_s,
         u"flip one random bit of each byte sent with probability P (0 to 1; 0.001 is one "
         u"byte in a thousand)"_s,
         u"P"_s},
        {u"echo"_s, u"echo every byte back instead of answering (loopback)"_s},
        {u"hang-after"_s, u"answer nothing more after N commands"_s, u"N"_s},
        {u"vanish-after"_s, u"after N commands the device disappears (as unplugged)"_s, u"N"_s},
        {{u"h"_s, u"help"_s}, u"this text"_s},
        {u"version"_s, u"print the program's version"_s},
    });
}

} // namespace

bool ParseSimOptions(const std::vector<std::string>& Args, SimOptions& Options,
                     std::string& Error) {
    QCommandLineParser parser;
    DefineOptions(parser);
    QStringList arguments(u"hexvac-sim"_s); // parse() takes the program name first
    for (const std::string& arg : Args)
        arguments << QString::fromLocal8Bit(arg);
    if (!parser.parse(arguments)) {
        Error = parser.errorText().toStdString() + " (see --help)";
        return false;
    }
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty()) {
        Error = "unexpected argument \"" + extra.first().toStdString() + "\" (see --help)";
        return false;
    }

    // Each check reads one value of its option from value; false, with Error
    // naming the option, for a bad one.
    std::string name;
    std::string value;
    const auto bad = [&](const std::string& expected) {
        Error = "bad value for " + name + ": \"" + value + "\" (" + expected + ")";
        return false;
    };
    const auto choice = [&](const auto& Names, auto& Out, const char* Expected) {
        return [&, Expected] {
            return Choose(value, Names, Out) || bad(Expected);
        };
    };
    const auto fileName = [&](std::string& Out) {
        return [&] {
            return !value.empty() ? (Out = value, true) : bad("a file name");
        };
    };
    // A count of commands or milliseconds: 0 (off) up to a bound that keeps
    // every sum of them far from overflowing.
    const auto count = [&](int& Out) {
        return [&] {
            const auto n = ParseNumber(value, 1'000'000'000);
            return n ? (Out = static_cast<int>(*n), true)
                     : bad("a whole number from 0 to 1000000000");
        };
    };
    const std::pair<const char*, std::function<bool()>> checks[] = {
        {"model",
         [&] {
             const ModelInfo* model = FindModel(value);
             return model ? (Options.Handbox.Model = model->Model, true)
                          : bad("494, 495, 497, 497mk2, lx2001, rcx400 or 1697");
         }},
        {"baud",
         [&] {
             const auto rate = ParseNumber(value, 1'000'000);
             return rate && TestBaudIndex(static_cast<int>(*rate))
                        ? (Options.Handbox.Baud = static_cast<int>(*rate), true)
                        : bad("one of 115200 57600 38400 28800 19200 14400 9600 4800 2400 1200");
         }},
        {"port",
         [&] {
             const auto port = ParseNumber(value, HighestPortNumber);
             return port && *port >= LowestPortNumber
                        ? (Options.Line.PortNumber = static_cast<int>(*port), true)
                        : bad("1 to 255");
         }},
        {"date",
         [&] {
             return IsDateShape(value) ? (Options.Handbox.FirmwareDate = value, true)
                                       : bad("like \"Jun 29 2004\"");
         }},
        {"parked", choice(ParkedStyles, Options.Handbox.Parked, "ack or probe")},
        {"peek", choice(PeekForms, Options.Handbox.Peek, "extended, normal or none")},
        {"poke", choice(PokeForms, Options.Handbox.Poke, "extended, normal or none")},
        {"seed",
         [&] {
             const auto seed = ParseNumber(value, UINT64_MAX);
             return seed ? (Options.Seed = *seed, true) : bad("a whole number");
         }},
        {"image", fileName(Options.Image)},
        {"save-image", fileName(Options.SaveImage)},
        {"trace", fileName(Options.Trace)},
        {"busy-every", count(Options.Handbox.BusyEvery)},
        {"latency-ms", count(Options.Line.LatencyMs)},
        {"drop-every", count(Options.Line.DropEvery)},
        {"garbage-every", count(Options.Line.GarbageEvery)},
        {"hang-after", count(Options.Line.HangAfter)},
        {"flip-rate",
         [&] {
             bool ok = false;
             const double rate = QString::fromStdString(value).toDouble(&ok);
             return ok && rate >= 0 && rate <= 1 ? (Options.Line.FlipRate = rate, true)
                                                 : bad("a probability from 0 to 1");
         }},
        {"vanish-after", count(Options.Line.VanishAfter)},
    };
    // Every value given is checked; the last one counts.
    for (const auto& [option, check] : checks) {
        name = std::string("--") + option;
        for (const QString& v : parser.values(QString::fromLatin1(option))) {
            value = v.toLocal8Bit().toStdString();
            if (!check())
                return false;
        }
    }
    Options.Line.FlipSeed = Options.Seed;
    Options.Handbox.DownloadMode = parser.isSet(u"download-mode"_s);
    Options.Line.Pace = parser.isSet(u"pace"_s);
    Options.Line.Echo = parser.isSet(u"echo"_s);
    Options.Help = parser.isSet(u"help"_s);
    Options.Version = parser.isSet(u"version"_s);
    if (Options.Handbox.BusyEvery > 0 && !InfoOf(Options.Handbox.Model).CanSignalBusy) {
        Error = "--busy-every needs --model lx2001: only the LX2001 signals busy";
        return false;
    }
    return true;
}

std::string SimUsage() {
    QCommandLineParser parser;
    DefineOptions(parser);
    return parser.helpText().toStdString();
}
