#pragma once
// Starting the port's traffic log afresh, and showing it in the port's log
// view (LogMemo) when one is attached.

#include "serial/ComLog.h"

#include <QStringList>
#include <QTime>

class TApdComPort;

// Restarts the log: the old log file is deleted, logging starts on an empty
// buffer, and a port that is set gets the program's version text and the
// time of day (Now, "hh:mm:ss:zzz") as its first lines. Tag becomes 0 and an
// attached view is emptied. Failures are shown in the plain message box.
void ClearLog(TApdComPort& Port);
void ClearLog(TApdComPort& Port, const QTime& Now);

// With a view attached: appends the buffer to the log file, reloads the view
// with the file's filtered lines when the file's size changed since the last
// reload (Tag), and restarts logging on an empty buffer. True when the view
// was reloaded. Without a view: false, and nothing else happens.
bool RefreshLog(TApdComPort& Port);

// The log as a view shows it, up to now: the buffer is appended to the log
// file first, as a refresh does, and the attached view (if any) stays. Empty
// when nothing has been logged yet.
QStringList CurrentLogLines(TApdComPort& Port);

// A view that shows nothing but keeps the log file whole: with it attached,
// every refresh (the exchange's, when the buffer is nearly full, and the
// program's own) appends the buffer to the file before the buffer could
// drop its oldest lines.
class TLogFileKeeper final : public TLogView {
public:
    void Clear() override {}
    void SetLines(const QStringList&) override {}
    void ScrollToEnd() override {}
    bool ShowsLines() const override { return false; }
};
