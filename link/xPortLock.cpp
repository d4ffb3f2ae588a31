#include "link/xPortLock.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/StdFuncsMiscWindows.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <QToolButton>

namespace {

constexpr int ButtonLeft = 39;
constexpr int ButtonWidth = 113;
constexpr int ButtonHeight = 22;

QToolButton* SpeedButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setGeometry(ButtonLeft, top, ButtonWidth, ButtonHeight);
    return button;
}

} // namespace

TPortLock::TPortLock(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("PortLock"));
    setWindowTitle(QStringLiteral("PortLock"));
    setFont(ClassicFont());
    setFixedSize(191, 112);
    SBMinimise = SpeedButton(this, "SBMinimise", QStringLiteral("Minimise"), 21);
    SBReconnect = SpeedButton(this, "SBReconnect", QStringLiteral("Reconnect"), 45);
    SBCancel = SpeedButton(this, "SBCancel", QStringLiteral("Cancel"), 69);
    connect(SBMinimise, &QToolButton::clicked, this, &TPortLock::SBMinimiseClick);
    connect(SBReconnect, &QToolButton::clicked, this, &TPortLock::SBReconnectClick);
    connect(SBCancel, &QToolButton::clicked, this, &TPortLock::SBCancelClick);
}

void TPortLock::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FormShow();
}

void TPortLock::FormShow() {
    if (Port)
        setWindowTitle(QStringLiteral("COM%1 is now free").arg(Port->ComNumber()));
}

void TPortLock::closeEvent(QCloseEvent* Event) {
    if (closing_)
        QDialog::closeEvent(Event);
    else
        Event->ignore();
}

void TPortLock::SBMinimiseClick() {
    // The whole program steps aside; this window stays open with it.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            window->showMinimized();
}

void TPortLock::SBCancelClick() {
    if (reconnecting_)
        return;
    FlashMessageAt(this, QStringLiteral("Autodetect will be run to reset app"));
    if (Port)
        Port->Log.AddStringToLog(QStringLiteral("Port reaquire Cancelled, Default to Autodetect"));
    ResultCode = QStringLiteral("LOCKCancel");
    closing_ = true;
    done(QDialog::Accepted);
}

void TPortLock::SBReconnectClick() {
    // The check pumps window messages while it waits for the handbox; a
    // second Reconnect, or a Cancel, then would act on a half-done check.
    if (reconnecting_)
        return;
    reconnecting_ = true;
    SBReconnect->setEnabled(false);
    SBCancel->setEnabled(false);
    ResultCode = QStringLiteral("LOCK");
    bool reopened = false;
    try {
        RegisteredMenus().CountInUseAsAvailable = false;
        if (!Port || !IsPortAvailable(Port->ComNumber())) {
            ReportPortLocked();
        } else {
            RegisteredMenus().CountInUseAsAvailable = true;
            reopened = Reopen();
            if (!reopened) {
                ReportPortLocked();
            } else {
                Port->FlushInBuffer();
                RefreshLog(*Port);
                ProcessPendingMessages();
                Port->Log.AddStringToLog(QStringLiteral("Port Reconnected ") + LogTimeStamp());
                CreateExchangeTimers(*Port);
                if (LinkState.ScopeFound)
                    Validate();
            }
        }
    } catch (const std::exception&) {
        // The port or the handbox on it can no longer be trusted: "LOCK"
        // would let the program carry on as if nothing had happened, so
        // port selection is asked for a new detection instead.
        ResultCode = reopened ? QStringLiteral("LOCKLostScope") : QStringLiteral("LOCKLostPort");
    }
    RegisteredMenus().CountInUseAsAvailable = true;
    closing_ = true;
    done(QDialog::Accepted);
}

bool TPortLock::Reopen() {
    try {
        Port->SetOpen(true);
        return true;
    } catch (const EPortError&) {
        // Free a moment ago, and taken between that test and this open.
        return false;
    }
}

void TPortLock::ReportPortLocked() {
    ShowMessageAt(this, QStringLiteral("Original Port is Locked\rCant reconnect"));
    if (Port)
        Port->Log.AddStringToLog(QStringLiteral("Port is locked, cant reconnect"));
    ResultCode = QStringLiteral("LOCKLostPort");
}

// Is the handbox on the port the one that was there, in the same state?
void TPortLock::Validate() {
    TApdComPort& port = *Port;
    auto conclude = [&](const QString& alert, const QString& logLine, const QString& code) {
        ShowMessageAt(this, alert);
        port.Log.AddStringToLog(logLine);
        ResultCode = code;
    };
    port.Log.AddStringToLog(QStringLiteral("Validate Connected Scope Type is same as before"));
    const QString mode = QueryMode(port);
    const QChar c = mode.isEmpty() ? QChar(QLatin1Char(' ')) : mode.front();
    if (c == QLatin1Char(' ')) {
        conclude(QStringLiteral("Scope no longer on port"),
                 QStringLiteral("Scope no longer connected to port"),
                 QStringLiteral("LOCKLostScope"));
    } else if (WasInDownloadMode && c == QLatin1Char('D')) {
        conclude(QStringLiteral("Scope on port is in download mode"),
                 QStringLiteral("Scope on port is in download mode"), QStringLiteral("LOCK"));
    } else if (WasParked && c == QLatin1Char('I')) {
        conclude(QStringLiteral("Scope on port is Still Parked"),
                 QStringLiteral("Scope on port is Still Parked"), QStringLiteral("LOCK"));
    } else if (c == QLatin1Char('D')) {
        conclude(QStringLiteral("Scope on port has changed to dnld mode"),
                 QStringLiteral("Scope on port has changed to Download mode"),
                 QStringLiteral("LOCKLostDnld"));
    } else {
        // The date is asked only of the kinds that have one, exactly as the
        // saved type was built: otherwise a 1697 mount, which answers ":GVD#"
        // but was saved without a date, would always count as changed.
        const QString date = GetFirmwareDateText(port);
        QByteArray product;
        SendCommandTerminated(port, ProductNameQuery, "#", product, 5000);
        if (QString::fromLatin1(product) + date != SavedType) {
            conclude(QStringLiteral("Scope on port has changed"),
                     QStringLiteral("Scope on port has changed"), QStringLiteral("LOCKLostType"));
        } else {
            FlashMessageAt(this, QStringLiteral("Reconnected OK"));
            port.Log.AddStringToLog(QStringLiteral("Scope on port revalidated OK"));
        }
    }
}

void ShowPortLockWindow(TPortLockRequest& Request) {
    TPortLock window(QApplication::activeWindow());
    window.Port = Request.Port;
    window.ResultCode = Request.ResultCode;
    window.SavedType = Request.SavedType;
    window.WasInDownloadMode = Request.WasInDownloadMode;
    window.WasParked = Request.WasParked;
    window.exec();
    Request.ResultCode = window.ResultCode;
}
