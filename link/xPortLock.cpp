#include "link/xPortLock.h"

#include "common/StdFuncsMisc.h"
#include "common/StdFuncsMiscWindows.h"
#include "common/UiHost.h"
#include "link/PortLockCheck.h"
#include "serial/ApdComPort.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QShowEvent>
#include <QToolButton>

namespace {

constexpr int ClientWidth = 191;
constexpr int ClientHeight = 112;
constexpr int CaptionHeight = 16;
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
    : QDialog(Owner) {
    bool captionInside = false;
    setWindowFlags(DialogWithoutTitleButtons(captionInside));
    setObjectName(QStringLiteral("PortLock"));
    setFont(ClassicFont());
    setFixedSize(ClientWidth, ClientHeight);
    if (captionInside) {
        // No title bar: the window draws its single border and shows its
        // caption above the buttons, where the client area has room.
        auto* border = new QFrame(this);
        border->setFrameStyle(QFrame::Box | QFrame::Plain);
        border->setGeometry(0, 0, ClientWidth, ClientHeight);
        auto* caption = new QLabel(this);
        caption->setObjectName(QStringLiteral("Caption"));
        caption->setAlignment(Qt::AlignCenter);
        caption->setGeometry(1, 3, ClientWidth - 2, CaptionHeight);
        connect(this, &QWidget::windowTitleChanged, caption, &QLabel::setText);
    }
    setWindowTitle(QStringLiteral("PortLock"));
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
    TPortLockRequest saved;
    saved.Port = Port;
    saved.SavedType = SavedType;
    saved.WasInDownloadMode = WasInDownloadMode;
    saved.WasParked = WasParked;
    const TPortLockVerdict verdict = ReconnectLentPort(saved);
    if (verdict.Notice)
        FlashMessageAt(this, verdict.Message);
    else if (!verdict.Message.isEmpty())
        ShowMessageAt(this, verdict.Message);
    ResultCode = verdict.ResultCode;
    closing_ = true;
    done(QDialog::Accepted);
}

void ShowPortLockWindow(TPortLockRequest& Request) {
    // The program is ending: the port stays as it was left, and nobody waits.
    if (UiDialogsEnded())
        return;
    TPortLock window(QApplication::activeWindow());
    window.Port = Request.Port;
    window.ResultCode = Request.ResultCode;
    window.SavedType = Request.SavedType;
    window.WasInDownloadMode = Request.WasInDownloadMode;
    window.WasParked = Request.WasParked;
    window.exec();
    Request.ResultCode = window.ResultCode;
}
