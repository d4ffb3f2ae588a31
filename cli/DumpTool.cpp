// hexvac-dump: find the handbox, then run the same dump as the window's "Run".

#include "cli/DumpTool.h"

#include "common/MenuItem.h"
#include "common/StdFuncsMisc.h"
#include "diag/PortEnum.h"
#include "link/DumpRun.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <csignal>

#ifdef Q_OS_LINUX
#include "diag/PortEnumLinux.h"
#endif
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

bool StderrIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(2) == 1;
#else
    return false;
#endif
}

// Progress on a terminal: a bar, the bytes, the rate and the time left.
class TerminalFace final : public TDumpFace {
public:
    explicit TerminalFace(qint64 Expected)
        : expected_(Expected)
        , show_(StderrIsTerminal()) {
        clock_.start();
    }
    ~TerminalFace() override {
        if (show_ && shown_)
            QTextStream(stderr) << "\n";
    }
    bool CancelRequested() override { return interrupted != 0; }
    void SetLabel(const QString& Text) override { label_ = Text; }
    void SetProgress(int, int) override {}
    void SetSpinner(const QString&) override {}
    void BytesWritten(qint64 Total) override {
        if (!show_ || clock_.elapsed() - last_ < 200)
            return;
        last_ = clock_.elapsed();
        const double seconds = std::max(0.001, clock_.elapsed() / 1000.0);
        const double rate = Total / seconds;
        const int filled = expected_ > 0 ? int(30 * Total / expected_) : 0;
        const qint64 left = rate > 0 ? qint64((expected_ - Total) / rate) : 0;
        QTextStream(stderr) << "\r" << label_.leftJustified(12) << " ["
                            << QString(filled, QLatin1Char('#')).leftJustified(30, QLatin1Char('.'))
                            << "] " << Total << "/" << expected_ << " bytes "
                            << QString::number(rate / 1000.0, 'f', 1) << " kB/s " << left / 60
                            << ":" << QString::number(left % 60).rightJustified(2, '0') << " left ";
        shown_ = true;
    }

private:
    qint64 expected_;
    bool show_;
    bool shown_ = false;
    qint64 last_ = -1000;
    QElapsedTimer clock_;
    QString label_;
};

qint64 ExpectedBytes(const TDumpOptions& Options, std::uint8_t Kind, int DataMode) {
    const bool wholePages =
        DataMode == 1 && (Kind == htAutostar497mkII || Kind == htMkIIDnld) && !Options.IncludeLow;
    if (Options.LowOnly)
        return 0x8000;
    const qint64 pages = std::max(0, Options.ToPage - Options.FromPage + 1);
    return pages * (wholePages ? 0x10000 : 0x8000) + (Options.IncludeLow ? 0x8000 : 0);
}

int ExitFor(TDumpOutcome Outcome) {
    switch (Outcome) {
    case TDumpOutcome::Complete:
        return ExitComplete;
    case TDumpOutcome::FileError:
        return ExitFile;
    default:
        return ExitIncomplete;
    }
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

} // namespace

int RunDumpTool(const TDumpToolOptions& Options) {
    QTextStream out(stdout);
    QTextStream err(stderr);
#ifdef Q_OS_LINUX
    if (Options.VirtualOnly) {
        // No system devices: a sysfs root that does not exist lists none.
        TLinuxPortPaths paths = SystemLinuxPortPaths();
        paths.SysRoot = QStringLiteral("/nonexistent-hexvac-sys").toStdString();
        InstallPortEnumBackend(std::make_unique<TLinuxPortEnumBackend>(paths));
    }
#endif
    TApdComPort port;
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
    RouteExchangeEvents(port, QStringLiteral("ert"));
    ResetLinkState();
    SetFixedFormats();

    if (Options.List) {
        QString portsText;
        BuildPorts(port, portsText);
        CountInUseAsAvailable = false;
        for (int i = 0; i < sources.Count(); ++i) {
            const TMenuItem* item = sources.Item(i);
            if (item->Tag() < 1 || item->Tag() > 255)
                continue;
            QString description =
                item->Caption().mid(QStringLiteral("COM%1").arg(item->Tag()).size());
            if (description.startsWith(QLatin1Char(':')))
                description = description.mid(1).trimmed();
            out << "COM" << item->Tag() << '\t' << description << '\t'
                << (IsPortAvailable(item->Tag()) ? "available" : "in use") << Qt::endl;
        }
        CountInUseAsAvailable = true;
        return ExitComplete;
    }

    LinkState.NoAutoDetect = false;
    if (Options.Port != 0) {
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
    if (!LinkState.ScopeFound) {
        err << "hexvac-dump: no handbox found" << Qt::endl;
        return ExitNoHandbox;
    }
    if (Options.Info) {
        out << InfoLine(port) << Qt::endl;
        return ExitComplete;
    }
    if (!KindCanBeDumped(LinkState.HandboxKind)) {
        err << "hexvac-dump: a " << HandboxStatusWord(LinkState.HandboxKind)
            << " handbox cannot be dumped" << Qt::endl;
        return ExitNoHandbox;
    }

    TDumpOptions dump;
    dump.FromPage = Options.From.value_or(2);
    dump.ToPage = Options.To.value_or(PageLimitOf(LinkState.HandboxKind));
    dump.IncludeLow = Options.IncludeLow;
    dump.LowOnly = Options.Only;
    if (!dump.LowOnly && dump.ToPage < dump.FromPage) {
        err << "hexvac-dump: From page must be lest than or equal to To page" << Qt::endl;
        return ExitUsage;
    }
    const QString file = Options.Output.isEmpty() ? DefaultDumpFileName(LinkState.HandboxKind, dump)
                                                  : Options.Output;

    int dataMode = 1;
    if (Options.Mode == 0) {
        dataMode = ChooseDataMode(port, nullptr);
    } else {
        RefreshLog(port);
        QueryMode(port);
        if (!LinkState.InDownloadMode)
            SlowBaudPrompt(port);
        dataMode = Options.Mode;
        if (dataMode == 2 && (LinkState.InDownloadMode || !LinkState.PeekOK)) {
            err << "hexvac-dump: this handbox cannot be read by peeks now" << Qt::endl;
            return ExitUsage;
        }
    }

    std::signal(SIGINT, OnInterrupt);
    QElapsedTimer clock;
    clock.start();
    TDumpResult result;
    {
        TerminalFace face(ExpectedBytes(dump, LinkState.HandboxKind, dataMode));
        result = RunDump(port, dump, dataMode, file, face);
    }
    std::signal(SIGINT, SIG_DFL);
    const double seconds = clock.elapsed() / 1000.0;
    out << file << ": " << DumpResultText(result) << " ("
        << HandboxStatusWord(LinkState.HandboxKind) << " on COM" << port.ComNumber() << ", "
        << QString::number(seconds, 'f', 2) << " s)" << Qt::endl;
    return ExitFor(result.Outcome);
}
