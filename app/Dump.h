#pragma once

#include <memory>
// The main window: page range and options of a memory dump, the link status,
// and the menus through which the user picks the port, checks or changes the
// baud rate and sees the version.

#include "common/MenuItem.h"
#include "common/StatusPanel.h"
#include "serial/ApdComPort.h"

#include <QMainWindow>

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
    // with its file kept, and then the program quits.
    void StopRequested();

    // The number that makes this instance's trace and log file names unique.
    quint64 InstanceNumber();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
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
    void ApdComTriggerTimer(quint16 TriggerHandle);
    void ApdComPortTriggerData(quint16 TriggerHandle);
    void ApdComTriggerAvail(quint16 Count);
    void ApdComPortLost();
    void About1Click();
    void CBLowRamClick();
    void CBLowOnlyClick();

    bool dumpRunning_ = false; // a run, maybe cancelled, has not wound down yet
    // A "Scope Sources" item chosen during a run: taken once the run has
    // ended cleanly.
    std::shared_ptr<TMenuItem> sourceAfterRun_;
    bool quitAfterRun_ = false; // a stop signal came during a run
    QWidget* client_ = nullptr;
    QMenu* scopeSourcesMenu_ = nullptr;
    QMenu* setBaudRateMenu_ = nullptr;
    TStatusPanel statusPanel_;
};
