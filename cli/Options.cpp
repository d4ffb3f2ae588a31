#include "cli/DumpTool.h"

#include "common/StdFuncsMisc.h"
#include "common/VirtualPorts.h"
#include "diag/TableExport.h"
#include "link/DumpManifest.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

bool HexPage(const QString& text, int& page) {
    bool ok = false;
    page = text.toInt(&ok, 16);
    return ok && page >= 0 && page <= 0x7F;
}

// The options as --help lists them; ParseDumpToolOptions checks their values.
void DefineOptions(QCommandLineParser& Parser) {
    // -o and -h are the only one-letter options and there are no flags to
    // bundle, so a single dash reads like a double one: "-o=FILE" and
    // "-info" work, and "-oFILE" stays an unknown option rather than a file.
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Parser.setApplicationDescription(
        u"Reads a telescope handbox's memory pages into a raw binary file."_s);
    Parser.addOptions({
        {u"port"_s, u"use this port (default: find the handbox on every free port)"_s, u"COMn"_s},
        {u"from"_s, u"first page (default 02)"_s, u"HEX"_s},
        {u"to"_s, u"last page (default: the handbox's last page, 1F for a 497)"_s, u"HEX"_s},
        {u"include-low"_s, u"also read addresses 0000-7FFF, once"_s},
        {u"only"_s, u"read only addresses 0000-7FFF, once"_s},
        {u"mode"_s, u"how to read: download or peek (default: ask, Download by default)"_s,
         u"MODE"_s},
        {u"o"_s, u"output file (default: the name the window offers)"_s, u"FILE"_s},
        {u"verify"_s, u"read every half-block until two reads agree (about twice as long; the "
                      u"line has no checksum)"_s},
        {u"log"_s, u"write the run's communications log to FILE, also when the run fails"_s,
         u"FILE"_s},
        {u"check"_s,
         u"check FILE against its manifest FILE.json: exit 0 when it is the file that was read, "
         u"3 when not; says what the manifest says it holds"_s,
         u"FILE"_s},
        {u"resume"_s,
         u"continue the dump in FILE that did not complete, with the handbox, range, options and "
         u"mode of its manifest FILE.json"_s,
         u"FILE"_s},
        {u"yes"_s, u"take every question's default instead of asking"_s},
        {u"info"_s, u"identify the handbox, print one line, dump nothing"_s},
        {u"list"_s, u"list the serial ports and whether they are free"_s},
        {u"virtual-only"_s, u"look at virtual ports only (simulated handboxes)"_s},
        {u"port-report"_s,
         u"write every port's properties to -o FILE (default TmpDump.<ext>; a FILE without the "
         u"format's extension gets it) and dump nothing; FORMAT is one of html, doc, xls, txt, "
         u"rtf, csv, tsv, dif, slk"_s,
         u"FORMAT"_s},
        {{u"h"_s, u"help"_s}, u"this text"_s},
        {u"version"_s, u"print the program's version"_s},
    });
}

} // namespace

QString DumpToolUsage() {
    QCommandLineParser parser;
    DefineOptions(parser);
    return parser.helpText() +
           u"\nQuestions are asked on the terminal; without one they take their default.\n"
           u"Ctrl-C, SIGTERM or SIGHUP stop the dump: the file keeps every block read,\n"
           u"the handbox leaves download mode and gets its rate back.\n"
           u"Exit codes: 0 complete, 1 no handbox, 2 usage, 3 dump incomplete, cancelled\n"
           u"or the handbox lost (the file keeps what was read), 4 file error.\n"
           u"--check: 0 the file is the one that was read, 3 it is not, 4 no manifest.\n"
           u"--resume: 1 not the handbox the file was read from, 3 the file's last block\n"
           u"is not its memory (the file is left as it is).\n"_s;
}

bool ParseDumpToolOptions(const QStringList& Arguments, TDumpToolOptions& Options, QString& Error) {
    QCommandLineParser parser;
    DefineOptions(parser);
    // parse() takes the program name first.
    if (!parser.parse(QStringList(u"hexvac-dump"_s) + Arguments)) {
        Error = parser.errorText();
        return false;
    }
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty()) {
        Error = u"unexpected argument "_s + extra.first();
        return false;
    }
    // Every occurrence of an option is checked; the last one counts.
    for (const QString& v : parser.values(u"port"_s)) {
        bool ok = false;
        Options.Port = v.startsWith(u"COM"_s, Qt::CaseInsensitive) ? v.mid(3).toInt(&ok) : 0;
        if (!ok || !IsComNumber(Options.Port)) {
            Error = u"--port takes COM1 to COM255, not "_s + v;
            return false;
        }
    }
    for (const QString& name : {u"from"_s, u"to"_s}) {
        for (const QString& v : parser.values(name)) {
            int page = 0;
            if (!HexPage(v, page)) {
                Error = u"--"_s + name + u" takes a page from 00 to 7F in hex, not "_s + v;
                return false;
            }
            (name == u"from"_s ? Options.From : Options.To) = page;
        }
    }
    for (const QString& v : parser.values(u"mode"_s)) {
        if (v == u"download"_s)
            Options.Mode = 1;
        else if (v == u"peek"_s)
            Options.Mode = 2;
        else {
            Error = u"--mode takes download or peek, not "_s + v;
            return false;
        }
    }
    for (const QString& v : parser.values(u"o"_s)) {
        if (v.isEmpty()) {
            Error = u"-o needs a file name"_s;
            return false;
        }
        Options.Output = v;
    }
    for (const QString& v : parser.values(u"log"_s)) {
        if (v.isEmpty()) {
            Error = u"--log needs a file name"_s;
            return false;
        }
        Options.LogFile = v;
    }
    for (const QString& v : parser.values(u"port-report"_s)) {
        if (!ExportFormatByCliName(v)) {
            Error =
                u"--port-report takes html, doc, xls, txt, rtf, csv, tsv, dif or slk, not "_s + v;
            return false;
        }
        Options.PortReport = v;
    }
    for (auto [name, file] :
         {std::pair{u"check"_s, &Options.Check}, {u"resume"_s, &Options.Resume}}) {
        for (const QString& v : parser.values(name)) {
            if (v.isEmpty()) {
                Error = u"--"_s + name + u" needs a file name"_s;
                return false;
            }
            *file = v;
        }
    }
    // --check reads two files and talks to no handbox; --resume takes its
    // range and mode from the manifest (ResumeDisagreement), and no other
    // action mixes in.
    const bool check = !Options.Check.isEmpty();
    if (check || !Options.Resume.isEmpty()) {
        for (const QString& name : parser.optionNames()) {
            const bool mixes =
                check ? !QStringList{u"check"_s, u"virtual-only"_s, u"yes"_s}.contains(name)
                      : QStringList{u"info"_s, u"list"_s, u"port-report"_s}.contains(name);
            if (mixes) {
                Error = (check ? u"--check"_s : u"--resume"_s) + u" does not go with "_s +
                        (name.size() == 1 ? u"-"_s : u"--"_s) + name;
                return false;
            }
        }
    }
    Options.Verify = parser.isSet(u"verify"_s);
    Options.Only = parser.isSet(u"only"_s);
    Options.IncludeLow = Options.Only || parser.isSet(u"include-low"_s);
    Options.Yes = parser.isSet(u"yes"_s);
    Options.Info = parser.isSet(u"info"_s);
    Options.List = parser.isSet(u"list"_s);
    Options.VirtualOnly = parser.isSet(u"virtual-only"_s);
    Options.Help = parser.isSet(u"help"_s);
    Options.Version = parser.isSet(u"version"_s);
    return true;
}

QString ResumeDisagreement(const TDumpToolOptions& Options, const TDumpManifest& Manifest) {
    const TDumpOptions& read = Manifest.Options;
    const auto page = [](int Page) {
        return FormatHex(2, Page);
    };
    QString problem;
    if (Options.From && *Options.From != read.FromPage)
        problem = u"--from "_s + page(*Options.From) + u", the dump is from page "_s +
                  page(read.FromPage);
    else if (Options.To && !read.LowOnly && *Options.To != read.ToPage)
        problem = u"--to "_s + page(*Options.To) + u", the dump is to page "_s + page(read.ToPage);
    else if (Options.Only && !read.LowOnly)
        problem = u"--only, the dump reads the pages"_s;
    else if (Options.IncludeLow && !read.IncludeLow)
        problem = u"--include-low, the dump reads no addresses 0000-7FFF"_s;
    else if (Options.Mode != 0 && Options.Mode != Manifest.DataMode)
        problem = Manifest.DataMode == 1 ? u"--mode peek, the dump is read in download mode"_s
                                         : u"--mode download, the dump is read by peeks"_s;
    else if (Options.Verify && !read.Verify)
        problem = u"--verify, the dump is read without it"_s;
    else if (!Options.Output.isEmpty() && QFileInfo(Options.Output).absoluteFilePath() !=
                                              QFileInfo(Options.Resume).absoluteFilePath())
        problem = u"-o "_s + Options.Output + u", the dump is "_s + Options.Resume;
    return problem.isEmpty() ? problem
                             : u"--resume "_s + Options.Resume + u": "_s + problem +
                                   u" (its manifest says so; leave the option out)"_s;
}
