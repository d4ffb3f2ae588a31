#pragma once
// The port lock window: while it shows, the serial port is free for another
// program. "Reconnect" takes the port back and checks that the same handbox,
// in the same state, is still there; "Cancel" gives up. Its result code tells
// port selection whether to carry on or to detect afresh.

#include "link/StdFuncsMeade.h"

#include <QDialog>

class QToolButton;
class TApdComPort;

class TPortLock : public QDialog {
    Q_OBJECT
public:
    explicit TPortLock(QWidget* Owner = nullptr);

    QToolButton* SBMinimise = nullptr;
    QToolButton* SBReconnect = nullptr;
    QToolButton* SBCancel = nullptr;

    TApdComPort* Port = nullptr;
    QString ResultCode = QStringLiteral("LOCK");
    QString SavedType;
    bool WasInDownloadMode = false;
    bool WasParked = false;

    // Sets the caption to the port that is free now.
    void FormShow();

public slots:
    void SBMinimiseClick();
    void SBReconnectClick();
    void SBCancelClick();
    // Only the two buttons end the window: not Escape, not the close box.
    void reject() override {}

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    bool closing_ = false;
    bool reconnecting_ = false;
};

// Shows the port lock window modally for Request and returns its code there.
void ShowPortLockWindow(TPortLockRequest& Request);
