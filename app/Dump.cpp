#include "app/Dump.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "common/UiHost.h"
#include "link/DumpRun.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "link/xPortLock.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"
#include "serial/Version.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

TFHexvac::TFHexvac(QWidget* Parent)
    : QMainWindow(Parent)
    , ApdCom(this) {
    setObjectName(QStringLiteral("FHexvac"));
    CreateControls();
    FormCreate();
}

TFHexvac::~TFHexvac() {
    // The core must not write into a panel that is going away.
    if (LinkState.StatusPanel == &statusPanel_)
        RegisterStatusPanel(nullptr);
    // Nor may a late detection restart walk menus that are going away.
    if (RegisteredMenus().SourceMenu == &ScopeSources)
        RegisterMenus(nullptr, nullptr, {}, {});
}

quint64 TFHexvac::InstanceNumber() {
    // A native window handle is unique across the desktop only where the
    // windowing system hands one out for the whole session; elsewhere (and
    // whenever it is 0) the process id keeps two instances apart.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("windows") || platform == QLatin1String("xcb")) {
        if (const WId handle = winId())
            return static_cast<quint64>(handle);
    }
    return static_cast<quint64>(QCoreApplication::applicationPid());
}

void TFHexvac::FormCreate() {
    RegisterMenus(
        &ScopeSources, &SetBaudRate1, [this](TMenuItem* Item) { OnSelectBaud(Item); },
        [this](TMenuItem* Item) { OnSelectSource(Item); });
    RegisterPortLockWindow(ShowPortLockWindow);
    connect(&ApdCom, &TApdComPort::TriggerTimer, this, &TFHexvac::ApdComTriggerTimer);
    connect(&ApdCom, &TApdComPort::TriggerData, this, &TFHexvac::ApdComPortTriggerData);
    connect(&ApdCom, &TApdComPort::TriggerAvail, this, &TFHexvac::ApdComTriggerAvail);
    connect(&ApdCom, &TApdComPort::PortLost, this, &TFHexvac::ApdComPortLost);
    RegisterStatusPanel(&statusPanel_);
    InstallLinkHooks();

    ResetLinkState();
    SetFixedFormats();

    LinkState.AppDir =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();

    ApdCom.AwaitingReply = false;
    ApdCom.HoldFullTime = false;

    // Beside the program while it runs from a writable folder, as always;
    // an installed one keeps them in the user's state folder.
    const QString base = InstanceFilesFolder(LinkState.AppDir) + QStringLiteral("Hexvac") +
                         QString::number(InstanceNumber());
    ApdCom.TraceName = (base + QStringLiteral(".TRC")).left(255);
    ApdCom.Log.LogName = (base + QStringLiteral(".LOG")).left(255);

    ApdCom.SetBaud(9600);
    ApdCom.DataBits = 8;
    ApdCom.Parity = TParity::pNone;
    ApdCom.StopBits = 1;
    ApdCom.SWFlowOptions = TSWFlowOptions::swfNone;

    Label4->setText(QString());
}

void TFHexvac::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFHexvac::FormShow() {
    Timer1->start(Timing::Scaled(Timing::StartupQuestionMs));
}

void TFHexvac::Timer1Timer() {
    Timer1->stop();
    const int answer = AskQuestion(this, QStringLiteral("Try to AutoDetect a connected scope"),
                                   QStringLiteral("YES"), QStringLiteral("NO"), 2);
    // Closing the question without a button counts as "NO".
    LinkState.NoAutoDetect = answer != 1;
    OnSelectSource(&ScopeSources);
}

void TFHexvac::OnSelectSource(TMenuItem* Item) {
    if (dumpRunning_) {
        // The run must first end cleanly (download mode left, file kept);
        // the choice is taken when it has.
        sourceAfterRun_ = Item->weak_from_this().lock();
        CancelRequested = true;
        AbortExchange(ApdCom);
        return;
    }
    QString result;
    if (!SelectPort(Item, ApdCom, result))
        return; // the port lock window ended it
    LinkState.SelectingPort = false;
    SBLoad->setEnabled(false);
    const bool mkII =
        LinkState.HandboxKind == htAutostar497mkII || LinkState.HandboxKind == htMkIIDnld;
    CBLowRam->setEnabled(!mkII);
    CBLowOnly->setEnabled(CBLowRam->isEnabled());
    if (LinkState.ScopeFound) {
        RefreshPortStatus(ApdCom);
        SBLoad->setEnabled(true);
        ApplyPageLimit();
    }
    statusPanel_.SetText(StatusText(ApdCom, !LinkState.NoAutoDetect));
    LinkState.NoAutoDetect = false;
    RefreshLog(ApdCom);
    SetBusyCursor(false);
}

void TFHexvac::ApplyPageLimit() {
    int limit = -1;
    switch (LinkState.HandboxKind) {
    case htAutostar497:
    case htAutostar497Dnld:
        limit = 0x1F;
        break;
    case htAutostar497mkII:
    case htMkIIDnld:
        limit = 0x1F;
        // The mkII's download reads whole pages: the low-memory choices do not apply.
        CBLowRam->setChecked(false);
        CBLowOnly->setChecked(false);
        break;
    case htLX200GPS:
    case htLX2001Dnld:
        limit = 0x6F;
        break;
    case htRCX400:
        limit = 0x7F;
        break;
    default:
        return;
    }
    RxTo->setMaximum(limit);
    RxTo->setValue(limit);
}

void TFHexvac::ScopeSourcesClick() {
    RefreshPorts(ApdCom);
}

void TFHexvac::OnSelectBaud(TMenuItem* Item) {
    ProcessPendingMessages();
    if (LinkState.PortOpen && SetScopeBaud(ApdCom, Item->Tag()))
        RefreshPortStatus(ApdCom);
}

void TFHexvac::BaudCheck1Click() {
    QChar mode;
    if (BaudTest(ApdCom, nullptr, mode, false) == -1)
        if (TMenuItem* autoDetect = AutoDetectItem())
            OnSelectSource(autoDetect);
}

// The log up to now, which the "refer log for details" messages point to.
void TFHexvac::ShowLog1Click() {
    const QStringList lines = CurrentLogLines(ApdCom);
    if (lines.isEmpty()) {
        ShowMessageAt(this, QStringLiteral("Nothing is logged yet: the log starts when a port "
                                           "is opened"));
        return;
    }
    CurrentUiHost().ShowLogWindow(this, QStringLiteral("Communications Log"), lines);
}

// The port's events go straight to the command exchange.
void TFHexvac::ApdComTriggerTimer(quint16 TriggerHandle) {
    OnExchangeTimer(ApdCom, TriggerHandle);
}

void TFHexvac::ApdComPortTriggerData(quint16 TriggerHandle) {
    OnTerminator(ApdCom, TriggerHandle);
}

void TFHexvac::ApdComTriggerAvail(quint16 Count) {
    OnBytesAvailable(ApdCom, Count, PortEventsModelText);
}

void TFHexvac::ApdComPortLost() {
    OnPortLost(ApdCom);
}

void TFHexvac::StopRequested() {
    if (dumpRunning_) {
        quitAfterRun_ = true;
        CancelRequested = true;
        AbortExchange(ApdCom);
        return;
    }
    ApdCom.Log.AddStringToLog(QStringLiteral("Stop requested"));
    FormClose();
    QCoreApplication::quit();
}

void TFHexvac::About1Click() {
    ShowMessageAt(this, GetVersionText());
}

// "Only" always implies "Include 0000-7FFF".
void TFHexvac::CBLowRamClick() {
    if (CBLowOnly->isChecked() && !CBLowRam->isChecked())
        CBLowOnly->setChecked(false);
}

void TFHexvac::CBLowOnlyClick() {
    if (CBLowOnly->isChecked() && !CBLowRam->isChecked())
        CBLowRam->setChecked(true);
}

bool TFHexvac::FormCloseQuery() {
    bool canClose = !LinkState.SelectingPort;
    if (canClose && LinkState.PortOpen)
        canClose = CloseCheck(ApdCom);
    return canClose;
}

void TFHexvac::closeEvent(QCloseEvent* Event) {
    if (!FormCloseQuery()) {
        Event->ignore();
        return;
    }
    FormClose();
    Event->accept();
}

void TFHexvac::FormClose() {
    const QString traceName = ApdCom.TraceName;
    const QString logName = ApdCom.Log.LogName;
    LinkState.ScopeFound = false;
    ApdCom.SetOpen(false);
    ProcessPendingMessages();
    if (QFile::exists(traceName))
        QFile::remove(traceName);
    if (QFile::exists(logName))
        QFile::remove(logName);
}

void TFHexvac::changeEvent(QEvent* Event) {
    // The user changed the regional settings: take them, as the platform
    // would; every date parse puts the fixed date format back first.
    if (Event->type() == QEvent::LocaleChange)
        LoadSystemFormats();
    QMainWindow::changeEvent(Event);
}

// ---- The dump ---------------------------------------------------------------------

namespace {

// The window as the dump run sees it.
class WindowDumpFace final : public TDumpFace {
public:
    explicit WindowDumpFace(TFHexvac& Window)
        : w_(Window) {}
    bool CancelRequested() override { return w_.CancelRequested; }
    void SetLabel(const QString& Text) override { w_.Label4->setText(Text); }
    void SetProgress(int Maximum, int Position) override {
        w_.PB1->setMaximum(std::max(Maximum, 1));
        w_.PB1->setValue(Position);
    }
    void SetSpinner(const QString& Text) override { w_.Label2->setText(Text); }

private:
    TFHexvac& w_;
};

} // namespace

void TFHexvac::SBLoadClick() {
    if (SBLoad->text() == QLatin1String("Cancel")) {
        CancelRequested = true;
        SBLoad->setText(QStringLiteral("Run"));
        SetBusyCursor(false);
        // A reply that may never come is not waited for.
        AbortExchange(ApdCom);
        return;
    }
    // A cancelled run still finishing its last block: nothing starts meanwhile.
    if (dumpRunning_)
        return;
    CancelRequested = false;
    TDumpOptions options;
    options.FromPage = RxFrom->value();
    options.ToPage = RxTo->value();
    options.IncludeLow = CBLowRam->isChecked();
    options.LowOnly = CBLowOnly->isChecked();
    if (!options.LowOnly && options.ToPage < options.FromPage) {
        ShowMessageAt(this, QStringLiteral("From page must be lest than or equal to To page"));
        return;
    }
    if (!KindCanBeDumped(LinkState.HandboxKind))
        return;

    // The save dialog SD1: "bin" files, asking before overwriting one.
    const QString fileName =
        AskSaveFileName(this, DefaultDumpFileName(LinkState.HandboxKind, options),
                        QStringLiteral("StdBinaryDumpFile ( *.bin )"), QStringLiteral("bin"));
    if (fileName.isEmpty())
        return;

    dumpRunning_ = true;
    TDumpResult result;
    {
        // The run talks to this handbox only, from its first question on.
        const TLinkHold hold(ApdCom);
        const int dataMode = ChooseDataMode(ApdCom, this);
        if (ApdCom.Open() && LinkState.ScopeFound && !CancelRequested) {
            SBLoad->setText(QStringLiteral("Cancel"));
            WindowDumpFace face(*this);
            result = RunDump(ApdCom, options, dataMode, fileName, face);
        } else {
            result.Outcome = CancelRequested ? TDumpOutcome::Cancelled : TDumpOutcome::PortLost;
        }
    }
    SBLoad->setText(QStringLiteral("Run"));
    PB1->setValue(0);
    SetBusyCursor(false);
    dumpRunning_ = false;
    // The rate or the mode may have changed: the status line says what is now.
    RefreshPortStatus(ApdCom);
    statusPanel_.SetText(StatusText(ApdCom, true));
    RefreshLog(ApdCom);
    if (quitAfterRun_) {
        StopRequested();
        return;
    }
    // "Couldnt go into download mode" has been said already.
    if (result.Outcome != TDumpOutcome::Complete && result.Outcome != TDumpOutcome::NoDownloadMode)
        ShowMessageAt(this, DumpResultText(result));

    // What waited for the run's end: a source chosen meanwhile, or, with the
    // handbox gone, a search for it as after any lost link.
    std::shared_ptr<TMenuItem> source = std::move(sourceAfterRun_);
    if (!source && result.Outcome == TDumpOutcome::PortLost && !LinkState.ScopeFound)
        if (TMenuItem* autoDetect = AutoDetectItem())
            source = autoDetect->weak_from_this().lock();
    if (source)
        OnSelectSource(source.get());
}
