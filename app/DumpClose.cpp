// How the main window ends, and what keeps it able to: every handler's
// boundary, the commands that are off while the handbox is busy, closing
// (a Cancel first when a run reads) and the stop signals.

#include "app/Dump.h"

#include "app/LinkCommandScope.h"
#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/UiHost.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

bool TFHexvac::Handle(const std::function<void()>& Body) {
    if (ended_)
        return true; // the window has closed: nothing more happens
    ++handlerDepth_;
    const bool ok = RunHandler(Body);
    --handlerDepth_;
    if (handlerDepth_ == 0 && (closePending_ || stopPending_))
        QTimer::singleShot(0, this, [this] { AfterHandlers(); });
    return ok;
}

void TFHexvac::AfterHandlers() {
    if (handlerDepth_ > 0 || ended_)
        return;
    if (stopPending_) {
        FinishStop();
    } else if (closePending_) {
        closePending_ = false;
        close();
    }
}

bool TFHexvac::LinkCommandMayStart(const QString& What) {
    // The menus are off meanwhile; a command that comes all the same (from
    // a shortcut or a queued click) is refused at once, so the run or the
    // search never waits on it.
    if (linkCommands_ == 0 && !stopPending_)
        return true;
    ApdCom.Log.AddStringToLog(QStringLiteral("Not now: ") + What);
    return false;
}

void TFHexvac::UpdateCommands() {
    const bool ending = stopPending_ || ended_;
    const bool busy = linkCommands_ > 0 || ending;
    if (dumpRunning_)
        SBLoad->setEnabled(!CancelRequested && !ending); // "Cancel"
    else
        SBLoad->setEnabled(!busy && LinkState.ScopeFound);
    scopeSourcesMenu_->menuAction()->setEnabled(!busy);
    setBaudRateMenu_->menuAction()->setEnabled(!busy);
    baudCheck_->setEnabled(!busy);
    ShowStatus();
}

void TFHexvac::ShowStatus() {
    // A note says why "Run" is off, or how the last run ended; the link
    // status is then a hover away.
    const QString note = linkCommands_ > 0 && !busyNote_.isEmpty() ? busyNote_ : resultNote_;
    SBarPanel0->setText(note.isEmpty() ? statusPanel_.Text() : note);
    SBarPanel0->setToolTip(note.isEmpty() ? QString() : statusPanel_.Text());
}

void TFHexvac::RequestCancel() {
    if (!dumpRunning_ || CancelRequested)
        return;
    CancelRequested = true;
    SBLoad->setText(QStringLiteral("Run"));
    busyNote_ = QStringLiteral("Stopping the dump");
    SetBusyCursor(false);
    // A reply that may never come is not waited for.
    AbortExchange(ApdCom);
    UpdateCommands();
}

void TFHexvac::StopRequested() {
    if (ended_ || stopPending_)
        return;
    stopPending_ = true;
    ApdCom.Log.AddStringToLog(QStringLiteral("Stop requested"));
    // From now on nothing is shown or asked; what is open closes.
    CurrentUiHost().EndDialogs();
    CloseModalWindows();
    RequestCancel();
    AbortExchange(ApdCom);
    UpdateCommands();
    if (handlerDepth_ == 0)
        FinishStop();
    // Otherwise the handlers running wind down first (Handle).
}

void TFHexvac::FinishStop() {
    if (ended_)
        return;
    RunHandler([this] { ResetRateWithoutAsking(ApdCom); });
    FormClose();
    hide();
    QuitProgram();
}

void TFHexvac::CloseModalWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible())
            continue;
        // A dialog ended as rejected (also the port lock window, which
        // takes no Escape) ends its loop once the handlers running in it
        // have returned; the port lock window then leaves the port as it is,
        // and no new search starts.
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->done(QDialog::Rejected);
        else if (window->isModal())
            window->close();
    }
}

bool TFHexvac::FormCloseQuery() {
    bool canClose = !LinkState.SelectingPort;
    if (canClose && LinkState.PortOpen)
        canClose = CloseCheck(ApdCom);
    return canClose;
}

void TFHexvac::closeEvent(QCloseEvent* Event) {
    if (ended_) {
        Event->accept();
        return;
    }
    Event->ignore();
    if (stopPending_)
        return; // the stop closes the window itself
    if (handlerDepth_ > 0) {
        if (LinkState.SelectingPort && !dumpRunning_)
            return; // refused while a port selection runs
        // Closing during a run is its Cancel: the run ends as a cancel
        // does, and the window closes, through the close check, once it
        // has wound down.
        closePending_ = true;
        RequestCancel();
        return;
    }
    bool canClose = true;
    // An error in the check (a port failing under it) must not keep the
    // window from closing: it is shown, and the window closes.
    Handle([this, &canClose] {
        const LinkCommandScope command(*this, QStringLiteral("Closing"));
        canClose = FormCloseQuery();
    });
    closePending_ = false; // a second close meanwhile was this one
    if (!canClose && !stopPending_)
        return;
    FormClose();
    Event->accept();
    if (stopPending_)
        QuitProgram();
}

void TFHexvac::FormClose() {
    ended_ = true;
    Timer1->stop();
    const QString traceName = ApdCom.TraceName;
    const QString logName = ApdCom.Log.LogName;
    LinkState.ScopeFound = false;
    RunHandler([this] { ApdCom.SetOpen(false); });
    ProcessPendingMessages();
    if (QFile::exists(traceName))
        QFile::remove(traceName);
    if (QFile::exists(logName))
        QFile::remove(logName);
    UpdateCommands();
}
