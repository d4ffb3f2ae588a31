#include "app/Dump.h"

#include "app/LinkCommandScope.h"

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
    , ApdCom(this)
    , QuitProgram([] { QCoreApplication::quit(); }) {
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
    Handle([this] {
        const LinkCommandScope command(*this, QStringLiteral("Looking for a scope"));
        const int answer = AskQuestion(this, QStringLiteral("Try to AutoDetect a connected scope"),
                                       QStringLiteral("YES"), QStringLiteral("NO"), 2);
        // Closing the question without a button counts as "NO".
        LinkState.NoAutoDetect = answer != 1;
        OnSelectSource(&ScopeSources);
    });
}

namespace {

// What the status line says while a "Scope Sources" item runs.
QString SelectionNote(const TMenuItem& Item) {
    switch (Item.Tag()) {
    case 998:
        return QStringLiteral("The port is lent out: Reconnect or Cancel to go on");
    case 500:
        return QStringLiteral("Showing the port details");
    case -1:
        return QStringLiteral("Closing the port");
    default:
        return QStringLiteral("Looking for a scope");
    }
}

} // namespace

void TFHexvac::OnSelectSource(TMenuItem* Item) {
    Handle([this, Item] {
        if (stopPending_ || dumpRunning_) {
            // Ending, or a run holds the link (whose menus are off): a
            // detection restart or a late click starts nothing.
            ApdCom.Log.AddStringToLog(QStringLiteral("Not now: ") + Item->Caption());
            return;
        }
        const LinkCommandScope command(*this, SelectionNote(*Item));
        QString result;
        if (!SelectPort(Item, ApdCom, result))
            return; // the port lock window ended it
        LinkState.SelectingPort = false;
        const bool mkII =
            LinkState.HandboxKind == htAutostar497mkII || LinkState.HandboxKind == htMkIIDnld;
        CBLowRam->setEnabled(!mkII);
        CBLowOnly->setEnabled(CBLowRam->isEnabled());
        if (LinkState.ScopeFound) {
            RefreshPortStatus(ApdCom);
            ApplyPageLimit();
        }
        statusPanel_.SetText(StatusText(ApdCom, !LinkState.NoAutoDetect));
        LinkState.NoAutoDetect = false;
        RefreshLog(ApdCom);
        SetBusyCursor(false);
    });
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
    Handle([this] {
        // Opening the menu probes every port item; not under a running command.
        if (linkCommands_ == 0)
            RefreshPorts(ApdCom);
    });
}

void TFHexvac::OnSelectBaud(TMenuItem* Item) {
    Handle([this, Item] {
        if (!LinkCommandMayStart(Item->Caption()))
            return;
        const LinkCommandScope command(*this, QStringLiteral("Changing the baud rate"));
        ProcessPendingMessages();
        if (LinkState.PortOpen && SetScopeBaud(ApdCom, Item->Tag()))
            RefreshPortStatus(ApdCom);
    });
}

void TFHexvac::BaudCheck1Click() {
    Handle([this] {
        if (!LinkCommandMayStart(QStringLiteral("Baud Check")))
            return;
        const LinkCommandScope command(*this, QStringLiteral("Checking the baud rate"));
        QChar mode;
        if (BaudTest(ApdCom, nullptr, mode, false) == -1)
            if (TMenuItem* autoDetect = AutoDetectItem())
                OnSelectSource(autoDetect);
    });
}

// The log up to now, which the "refer log for details" messages point to.
void TFHexvac::ShowLog1Click() {
    Handle([this] {
        const QStringList lines = CurrentLogLines(ApdCom);
        if (lines.isEmpty()) {
            ShowMessageAt(this, QStringLiteral("Nothing is logged yet: the log starts when a port "
                                               "is opened"));
            return;
        }
        CurrentUiHost().ShowLogWindow(this, QStringLiteral("Communications Log"), lines);
    });
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

void TFHexvac::About1Click() {
    Handle([this] { ShowMessageAt(this, GetVersionText()); });
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

void TFHexvac::changeEvent(QEvent* Event) {
    // The user changed the regional settings: take them, as the platform
    // would; every date parse puts the fixed date format back first.
    if (Event->type() == QEvent::LocaleChange)
        LoadSystemFormats();
    QMainWindow::changeEvent(Event);
}
