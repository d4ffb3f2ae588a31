#pragma once
// What hexvac-dump shows while a dump runs: on a terminal, one line on
// standard error redrawn in place (label, bar, bytes, rate, time left);
// elsewhere nothing. A stop signal (Ctrl-C, SIGTERM, SIGHUP) is the run's
// Cancel, so the handbox still leaves download mode.

#include "link/DumpRun.h"

#include <QElapsedTimer>

class TConsoleDumpFace final : public TDumpFace {
public:
    // Expected: the bytes the run will write when complete.
    explicit TConsoleDumpFace(qint64 Expected);
    ~TConsoleDumpFace() override;
    TConsoleDumpFace(const TConsoleDumpFace&) = delete;
    TConsoleDumpFace& operator=(const TConsoleDumpFace&) = delete;

    bool CancelRequested() override;
    void SetLabel(const QString& Text) override { label_ = Text; }
    void SetProgress(int, int) override {}
    void SetSpinner(const QString&) override {}
    void BytesWritten(qint64 Total) override;

private:
    void Draw(qint64 Total);

    qint64 expected_;
    bool show_;
    bool shown_ = false;
    qint64 lastDrawMs_ = -1;
    QElapsedTimer clock_;
    QString label_;
};
