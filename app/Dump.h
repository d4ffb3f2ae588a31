#pragma once

// The main window: page range and options of a memory dump, the link status,
// and the menus through which the user picks the port, checks or changes the
// baud rate and sees the version.

#include "common/MenuItem.h"
#include "common/StatusPanel.h"
#include "serial/ApdComPort.h"

#include <QMainWindow>
#include <functional>

class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QSpinBox;
class QStatusBar;
class QTimer;
class QToolButton;

class TFHexvac : public QMainWindow {
    Q_OBJECT
public:
    explicit TFHexvac(QWidget* Parent = nullptr);
    ~TFHexvac() override;

    // Controls, named as the rest of the program and the tests know them.
    QLabel* Label1 = nullptr;
    QSpinBox* RxFrom = nullptr;
    QLabel* Label3 = nullptr;
    QSpinBox* RxTo = nullptr;
    QCheckBox* CBLowRam = nullptr;
    QCheckBox* CBLowOnly = nullptr;
    QToolButton* SBLoad = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* PB1 = nullptr;
    QStatusBar* SBar = nullptr;
    QLabel* SBarPanel0 = nullptr;
    QTimer* Timer1 = nullptr;

    // The serial port object, owned for the whole run.
    TApdComPort ApdCom;

    // Menus as data; the menu bar mirrors them.
    TMenuItem ScopeSources;
    TMenuItem SetBaudRate1;

    // Set by the "Run"/"Cancel" button, tested by the dump loops.
    bool CancelRequested = false;

    // A stop signal (SIGTERM at logout, Ctrl-C in the terminal it was
    // started from): a run ends as after Cancel, out of download mode and
    // with its file kept, open dialogs and windows are closed, a raised rate
    // is put back without asking, and then the program quits. Nothing is
    // shown from the moment the signal comes.
    void StopRequested();
    // What ends the program after a stop: quits the application. Tests
    // replace it.
    std::function<void()> QuitProgram;

    // The number that makes this instance's trace and log file names unique.
    quint64 InstanceNumber();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    class LinkCommandScope;

    void CreateControls();
    void CreateMenus();
    void MirrorMenu(TMenuItem* Data, QMenu* Menu);
    void AnchorToClientArea();

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void Timer1Timer();
    void OnSelectSource(TMenuItem* Item);
    void ScopeSourcesClick();
    void OnSelectBaud(TMenuItem* Item);
    void BaudCheck1Click();
    void ShowLog1Click();
    void ApplyPageLimit();
    void SBLoadClick();
    void RunDumpToFile();
    void ApdComTriggerTimer(quint16 TriggerHandle);
    void ApdComPortTriggerData(quint16 TriggerHandle);
    void ApdComTriggerAvail(quint16 Count);
    void ApdComPortLost();
    void About1Click();
    void CBLowRamClick();
    void CBLowOnlyClick();

    // Runs Body as a handler of this window: an error that escapes it goes
    // to the standard error box, and once the outermost handler has
    // returned, a close or a stop that came meanwhile is carried out.
    // Nothing runs once the window has closed. False when Body failed.
    bool Handle(const std::function<void()>& Body);
    void AfterHandlers();
    // Whether a command that talks to the handbox may start now; when it
    // may not, What is logged as refused.
    bool LinkCommandMayStart(const QString& What);
    // A run reading: it winds down as after its own Cancel.
    void RequestCancel();
    void FinishStop();
    // Closes the dialogs and modal windows open now (a question counts as
    // closed without an answer, the port lock window as left as it is).
    void CloseModalWindows();
    // "Run", the link's menu commands and the status line, as what is going
    // on allows.
    void UpdateCommands();
    void ShowStatus();

    bool dumpRunning_ = false;  // a run, maybe cancelled, has not wound down yet
    int handlerDepth_ = 0;      // window handlers on the stack
    int linkCommands_ = 0;      // commands talking to the handbox on the stack
    bool closePending_ = false; // the window was closed while a handler ran
    bool stopPending_ = false;  // a stop signal came: the program is ending
    bool ended_ = false;        // the window has closed: nothing more happens
    QString busyNote_;          // why "Run" is off, shown in the status line
    QString resultNote_;        // how the last run ended, until the next command
    QWidget* client_ = nullptr;
    QMenu* scopeSourcesMenu_ = nullptr;
    QMenu* setBaudRateMenu_ = nullptr;
    QAction* baudCheck_ = nullptr;
    TStatusPanel statusPanel_;
};
