#pragma once
// The reading side of a dump: one half-block or peek word read until it is
// good, the handbox checked after a reply that did not come, download mode
// entered and left, and the file the bytes go to.

#include "link/DumpRun.h"

#include <QByteArray>
#include <QChar>
#include <QFile>
#include <QString>
#include <functional>

class TApdComPort;

// The file of a run. Nothing is buffered on our side: every block reaches
// the system as it is written, so a run that is killed loses at most the
// block it was reading.
class TDumpFile {
public:
    explicit TDumpFile(const QString& Name)
        : file_(Name) {}
    bool Create();
    // Throws TFileFailure with the system's reason.
    void Write(const QByteArray& Bytes, TDumpResult& Result);
    // Closes the file; false when the system reports a failure.
    bool Close();
    QString Reason() const;

private:
    QFile file_;
};

struct TFileFailure {
    QString Reason;
};
// The handbox or its port went away; Reason says how.
struct TRunLost {
    QString Reason;
};
// A stop request came in the middle of a read: that piece is not kept.
struct TRunStopped {};

// Reads the pieces of one run from the handbox it started with.
class TDumpReader {
public:
    TDumpReader(TApdComPort& Port, TDumpFace& Face, TDumpResult& Result, bool Verify)
        : Port(Port)
        , Face(Face)
        , Result(Result)
        , Verify(Verify) {}

    // Reads one piece of Size bytes (at the full address Where, in hex) with
    // ReadOnce, which returns what came, possibly less. A piece that comes
    // back short is read again; with Verify, it is read until two whole
    // reads agree. A piece that never comes whole is padded and counted.
    QByteArray ReadPiece(int Size, const QString& Where,
                         const std::function<QByteArray()>& ReadOnce);

    // The handbox's mode letter ("GALPDI"), asked up to Asks times while no
    // answer comes or the answer is no mode letter; ' ' when none came.
    QChar AskModeLetter(int Asks);

    // After a reply that did not come: throws TRunLost unless the same
    // handbox still answers, in the mode the run expects.
    void CheckStillThere();

    TApdComPort& Port;
    TDumpFace& Face;
    TDumpResult& Result;
    const bool Verify;
    bool DownloadMode = true; // what the handbox must say to be the same one
};

// Sends 04 hex and asks until the handbox says it is in download mode.
bool EnterDownloadMode(TDumpReader& Reader);
// Sends "I" and puts the port back at 9600 when the handbox says it is in
// download mode, or no longer answers; never throws.
void LeaveDownloadMode(TDumpReader& Reader);

// What the run says of a port that went away.
QString PortGoneText();
