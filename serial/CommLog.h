#pragma once
// Starting the port's traffic log afresh, and showing it in the port's log
// view (LogMemo) when one is attached.

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
