#pragma once
// hexvac-dump --log FILE: the communications log of one run, as the
// window's log view would show it (the header, then every line the view
// keeps), written to a file the user named however the run ends.

#include "serial/CommLog.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

class TApdComPort;

class TRunLog {
public:
    // With an empty FileName no log is kept and Start always succeeds.
    TRunLog(TApdComPort& Port, const QString& FileName);
    // Writes the log to the file. A failure is shown in the plain message
    // box: by then the run's own outcome has been decided.
    ~TRunLog();
    TRunLog(const TRunLog&) = delete;
    TRunLog& operator=(const TRunLog&) = delete;

    // Checks that FileName can be written (it is made empty) and starts
    // keeping the log whole: ExitComplete. Otherwise ExitFile with Error
    // set, and nothing kept.
    int Start(QString& Error);

private:
    TApdComPort& port_;
    QString fileName_;
    // The port's own log file, appended to at every refresh, in a folder
    // only this user can enter: restarting the log deletes and remakes it.
    std::unique_ptr<QTemporaryDir> rawFolder_;
    TLogFileKeeper keeper_;
};
