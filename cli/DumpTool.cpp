// hexvac-dump: find the handbox, then run the same dump as the window's "Run".

#include "cli/DumpTool.h"

#include "cli/NamedPortOnly.h"
#include "cli/ProgressFace.h"
#include "cli/RunLog.h"
#include "common/MenuItem.h"
#include "common/StdFuncsMisc.h"
#include "common/StopSignals.h"
#include "common/VirtualPorts.h"
#include "diag/PortEnum.h"
#include "diag/PortReport.h"
#include "diag/TableExport.h"
#include "link/DumpManifest.h"
#include "link/DumpResume.h"
#include "link/DumpRun.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QElapsedTimer>
#include <QTextStream>

#ifndef Q_OS_WIN
#include "diag/PortEnumLinux.h"
#endif

namespace {

// The first page the window's "Page" field offers.
constexpr int FirstUsualPage = 2;

// Why the page range cannot be read, or empty. The window offers pages up
// to the kind's last one only.
QString RangeProblem(const TDumpOptions& Dump, int Limit, const QString& Model) {
    if (!Dump.LowOnly && Dump.ToPage > Limit)
        return QStringLiteral("--to %1 is above the last page of the %2, %3")
            .arg(FormatHex(0, Dump.ToPage), Model, FormatHex(0, Limit));
    if (!Dump.LowOnly && Dump.ToPage < Dump.FromPage)
        return QStringLiteral("--from %1 is above --to %2")
            .arg(FormatHex(0, Dump.FromPage), FormatHex(0, Dump.ToPage));
    const bool mkII =
        LinkState.HandboxKind == htAutostar497mkII || LinkState.HandboxKind == htMkIIDnld;
    if (mkII && Dump.IncludeLow)
        return QStringLiteral("--include-low and --only do not apply to the %1: "
                              "its pages are read whole")
            .arg(Model);
    return {};
}

// Lists the virtual ports folder only, never a device of the machine, so
// scripts and tests with simulated handboxes probe nothing real.
bool ListVirtualPortsOnly() {
#ifdef Q_OS_WIN
    return false;
#else
    // A sysfs root that does not exist lists no system device.
    TLinuxPortPaths paths = SystemLinuxPortPaths();
    paths.SysRoot = "/nonexistent";
    InstallPortEnumBackend(std::make_unique<TLinuxPortEnumBackend>(paths));
    return true;
#endif
}

// What --list says of port Number: a port this user may not open is told
// from one that is busy.
const char* ListStateWord(int Number) {
    if (IsPortAvailable(Number))
        return "available";
    return PortEnumBackend().Probe("COM" + std::to_string(Number)) == TPortState::NoPermission
               ? "no permission"
               : "in use";
}

int ExitFor(TDumpOutcome Outcome) {
    switch (Outcome) {
    case TDumpOutcome::Complete:
        return ExitComplete;
    case TDumpOutcome::FileError:
        return ExitFile;
    case TDumpOutcome::OtherHandbox:
        return ExitNoHandbox;
    default:
        return ExitIncomplete;
    }
}

// A run that ends before its dump began still says how it ended in the last
// line on standard output, as every run does.
int EndedBeforeTheDump(QTextStream& Out, bool Stopped) {
    Out << (Stopped ? "Dump cancelled before it began: nothing read"
                    : "Dump stopped: the port or the handbox went away before the dump began")
        << Qt::endl;
    return ExitIncomplete;
}

QString InfoLine(TApdComPort& Port) {
    const QString date =
        LinkState.FirmwareDate == 0 ? QStringLiteral("none") : DateToStr(LinkState.FirmwareDate);
    return QStringLiteral("port=COM%1 rate=%2 kind=%3 model=\"%4\" date=%5 baudclass=%6 peek=%7 "
                          "poke=%8 extpeek=%9 extpoke=%10 download=%11 parked=%12")
        .arg(Port.ComNumber())
        .arg(Port.Baud())
        .arg(LinkState.HandboxKind)
        .arg(HandboxStatusWord(LinkState.HandboxKind), date)
        .arg(LinkState.BaudClass)
        .arg(int(LinkState.PeekOK))
        .arg(int(LinkState.PokeOK))
        .arg(int(LinkState.ExtPeekOK))
        .arg(int(LinkState.ExtPokeOK))
        .arg(int(LinkState.InDownloadMode))
        .arg(int(LinkState.Parked));
}

// --check: whether FILE is the file its manifest describes.
int CheckDump(const QString& File, QTextStream& Out, QTextStream& Err) {
    const TDumpCheck check = CheckDumpFile(File);
    if (!check.Read) {
        Err << "hexvac-dump: " << check.Text << Qt::endl;
        return ExitFile;
    }
    Out << check.Text << Qt::endl;
    return check.Matches ? ExitComplete : ExitIncomplete;
}

// --resume: the manifest of the dump to continue, before any port is
// touched. The exit code when it cannot be continued with these options.
std::optional<int> ReadResumedManifest(const TDumpToolOptions& Options, TDumpManifest& Manifest,
                                       QTextStream& Err) {
    QString problem;
    if (!ReadDumpManifest(Options.Resume, Manifest, problem)) {
        Err << "hexvac-dump: --resume: " << problem << Qt::endl;
        return ExitFile;
    }
    if (Manifest.Outcome == TDumpOutcome::Complete && Manifest.Ended) {
        Err << "hexvac-dump: --resume " << Options.Resume
            << ": the dump is complete, there is nothing to continue (--check checks it)"
            << Qt::endl;
        return ExitUsage;
    }
    if (const QString disagrees = ResumeDisagreement(Options, Manifest); !disagrees.isEmpty()) {
        Err << "hexvac-dump: " << disagrees << Qt::endl;
        return ExitUsage;
    }
    return std::nullopt;
}

} // namespace

// The port property report written as the report window would export it.
int WritePortReport(const TDumpToolOptions& Options, QTextStream& Out, QTextStream& Err) {
    const TExportFormatInfo& format = *ExportFormatByCliName(Options.PortReport);
    const QString file = ExportFileName(
        format.Format, Options.Output.isEmpty() ? QStringLiteral("TmpDump") : Options.Output);
    TReportTable table;
    ShowPortDetails(table);
    TExportOptions options;
    options.Title = QStringLiteral("\"COM\" Port properties");
    const QString error = WriteTableExport(table, format.Format, file, options);
    if (!error.isEmpty()) {
        Err << "hexvac-dump: " << error << Qt::endl;
        return ExitFile;
    }
    Out << file << ": " << format.Name << ", " << (table.ColumnCount() - 2) << " ports, "
        << table.RowCount() << " rows" << Qt::endl;
    return ExitComplete;
}

int RunDumpTool(const TDumpToolOptions& Options) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!Options.Check.isEmpty())
        return CheckDump(Options.Check, out, err);
    const bool resuming = !Options.Resume.isEmpty();
    TDumpManifest resumed;
    if (resuming)
        if (const std::optional<int> exit = ReadResumedManifest(Options, resumed, err))
            return *exit;
    if (Options.VirtualOnly && !ListVirtualPortsOnly()) {
        err << "hexvac-dump: --virtual-only: this system has no virtual ports" << Qt::endl;
        return ExitUsage;
    }
    TApdComPort port;
    // Written out when the run ends, whichever way: after the port is made
    // and before it goes.
    TRunLog runLog(port, Options.LogFile);
    QString logProblem;
    if (const int exit = runLog.Start(logProblem); exit != ExitComplete) {
        err << "hexvac-dump: " << logProblem << Qt::endl;
        return exit;
    }
    TMenuItem sources(QStringLiteral("Scope Sources"), 0);
    TMenuItem bauds(QStringLiteral("Set Baud Rate"), 0);
    auto select = [&](TMenuItem* item) {
        QString result;
        SelectPort(item, port, result);
        LinkState.SelectingPort = false;
        SetBusyCursor(false);
    };
    RegisterMenus(
        &sources, &bauds, [](TMenuItem*) {}, select);
    RegisterStatusPanel(nullptr);
    InstallLinkHooks();
    RouteExchangeEvents(port, PortEventsModelText);
    // A stop signal ends the reply being waited for at once; every step
    // below then winds down as after a Cancel.
    CatchStopSignals([&port] {
        port.Log.AddStringToLog(QStringLiteral("Stop requested"));
        AbortExchange(port);
    });
    struct ForgetPort {
        ~ForgetPort() { ClearStopHandler(); }
    } forgetPort;
    ResetLinkState();
    SetFixedFormats();

    if (!Options.PortReport.isEmpty())
        return WritePortReport(Options, out, err);

    if (Options.List) {
        QString portsText;
        BuildPorts(port, portsText);
        RegisteredMenus().CountInUseAsAvailable = false;
        for (int i = 0; i < sources.Count(); ++i) {
            const TMenuItem* item = sources.Item(i);
            if (!IsComNumber(item->Tag()))
                continue;
            QString description =
                item->Caption().mid(QStringLiteral("COM%1").arg(item->Tag()).size());
            if (description.startsWith(QLatin1Char(':')))
                description = description.mid(1).trimmed();
            out << "COM" << item->Tag() << '\t' << description << '\t' << ListStateWord(item->Tag())
                << Qt::endl;
        }
        RegisteredMenus().CountInUseAsAvailable = true;
        return ExitComplete;
    }

    LinkState.NoAutoDetect = false;
    if (Options.Port != 0) {
        ShowNamedPortOnly(Options.Port);
        QString portsText;
        BuildPorts(port, portsText);
        TMenuItem* item = sources.FindByTag(Options.Port);
        if (!item) {
            err << "hexvac-dump: COM" << Options.Port << " is not a serial port here" << Qt::endl;
            return ExitNoHandbox;
        }
        select(item);
    } else {
        select(&sources);
    }
    if (StopSignalled()) {
        err << "hexvac-dump: stopped" << Qt::endl;
        return EndedBeforeTheDump(out, true);
    }
    if (!LinkState.ScopeFound) {
        err << "hexvac-dump: no handbox found" << Qt::endl;
        return ExitNoHandbox;
    }
    // From here on the tool talks to this handbox only: a time-out or a lost
    // port never sends it looking for another one.
    const TLinkHold hold(port);
    if (Options.Info) {
        out << InfoLine(port) << Qt::endl;
        return ExitComplete;
    }
    if (!KindCanBeDumped(LinkState.HandboxKind)) {
        err << "hexvac-dump: a " << HandboxStatusWord(LinkState.HandboxKind)
            << " handbox cannot be dumped" << Qt::endl;
        return ExitNoHandbox;
    }

    if (resuming) {
        if (const QString other = OtherHandboxReason(resumed); !other.isEmpty()) {
            err << "hexvac-dump: --resume " << Options.Resume << ": " << other << Qt::endl;
            return ExitNoHandbox;
        }
    }

    const int limit =
        PageLimitOf(LinkState.HandboxKind) < 0 ? 0x7F : PageLimitOf(LinkState.HandboxKind);
    TDumpOptions dump;
    dump.FromPage = Options.From.value_or(FirstUsualPage);
    dump.ToPage = Options.To.value_or(limit);
    dump.IncludeLow = Options.IncludeLow;
    dump.LowOnly = Options.Only;
    dump.Verify = Options.Verify;
    if (resuming)
        dump = resumed.Options;
    const QString model = HandboxStatusWord(LinkState.HandboxKind);
    if (const QString problem = RangeProblem(dump, limit, model); !problem.isEmpty()) {
        err << "hexvac-dump: " << problem << Qt::endl;
        return ExitUsage;
    }
    const QString file = resuming ? Options.Resume
                         : Options.Output.isEmpty()
                             ? DefaultDumpFileName(LinkState.HandboxKind, dump)
                             : Options.Output;

    const qint32 rateFound = port.Baud();
    int dataMode = 1;
    const int mode = resuming ? resumed.DataMode : Options.Mode;
    if (mode == 0) {
        dataMode = ChooseDataMode(port, nullptr);
    } else {
        // As the data-mode question's run-up, without the question.
        RefreshLog(port);
        QueryMode(port);
        if (mode == 2 && (LinkState.InDownloadMode || !LinkState.PeekOK)) {
            err << "hexvac-dump: "
                << (resuming ? "--resume: the dump was read by peeks" : "--mode peek")
                << ": this handbox "
                << (LinkState.InDownloadMode ? "is in download mode" : "does not answer peeks")
                << "; use --mode download" << Qt::endl;
            return ExitUsage;
        }
        if (!LinkState.InDownloadMode)
            SlowBaudPrompt(port);
        dataMode = mode;
    }
    if (StopSignalled() || !port.Open() || !LinkState.ScopeFound) {
        const bool stopped = StopSignalled();
        ResetRateWithoutAsking(port, rateFound);
        err << "hexvac-dump: "
            << (stopped ? "stopped before the dump began" : "the handbox went away") << Qt::endl;
        return EndedBeforeTheDump(out, stopped);
    }

    const int portNumber = port.ComNumber(); // a lost port is forgotten during the run
    QElapsedTimer clock;
    clock.start();
    TDumpResult result;
    {
        TConsoleDumpFace face(DumpBytes(dump, LinkState.HandboxKind, dataMode));
        result =
            resuming ? ResumeDump(port, file, face) : RunDump(port, dump, dataMode, file, face);
    }
    // Back at the rate the handbox was found at, when this tool raised it.
    ResetRateWithoutAsking(port, rateFound);
    const double seconds = double(std::max<qint64>(1, clock.elapsed())) / 1000.0;
    // A continued dump's rate counts what this run read.
    const qint64 read = result.Bytes - result.ResumedFrom;
    out << file << ": " << DumpResultText(result) << " (" << model << " on COM" << portNumber
        << ", " << (dataMode == 1 ? "download mode" : "peeks") << ", "
        << QString::number(seconds, 'f', 1) << " s, "
        << QString::number(double(read) / seconds, 'f', 0) << " bytes/s";
    if (result.ResumedFrom > 0)
        out << ", continued after " << result.ResumedFrom << " bytes";
    out << ")" << Qt::endl;
    return ExitFor(result.Outcome);
}
