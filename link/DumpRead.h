#pragma once
// The reading side of a dump: one half-block or peek word read until it is
// good, the handbox checked after a reply that did not come, download mode
// entered and left, and the file the bytes go to.

#include "link/DumpManifest.h"
#include "link/DumpRun.h"
#include "link/ReplyWatch.h"

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
    // Opens the file of an interrupted dump to go on after its first Keep
    // bytes; what follows them goes.
    bool OpenToContinue(qint64 Keep);
    // Throws TFileFailure with the system's reason.
    void Write(const QByteArray& Bytes, TDumpResult& Result);
    // Writes Bytes over the file's bytes at Offset (a piece read again),
    // then goes on at the end. Throws TFileFailure.
    void WriteAt(qint64 Offset, const QByteArray& Bytes);
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

    // Reads Piece with ReadOnce, which sends its command and returns what
    // came, possibly less; LineBytes is what one read puts on the line,
    // command and reply. A piece that comes back short is read again; with
    // Verify, it is read until two whole reads agree. A piece that never
    // comes whole is padded and counted. The first reads of a piece wait
    // only as long as the reply watch allows: a reply lost then is read
    // again at once.
    QByteArray ReadPiece(const TDumpPiece& Piece, int LineBytes,
                         const std::function<QByteArray()>& ReadOnce);

    // A continued dump passes over what its file holds already: true (and
    // the place moves on) when the next Size bytes of the file are kept.
    bool PassOver(int Size);

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
    qint64 Next = 0;          // the file offset of the next piece
    qint64 KeepTo = 0;        // a continued dump: the bytes its file keeps
    TReplyWatch Watch{Port};
    // Called when a piece has been counted as zero-filled or unverified,
    // before it goes to the file.
    std::function<void()> PieceCounted;
};

// Reads one piece of a dump from the reader's handbox: a half-block in
// download mode, a peek word otherwise.
QByteArray ReadDumpPiece(TDumpReader& Reader, const TDumpPiece& Piece);

// The manifest of a run, kept beside its file. Only a regular file gets
// one: a dump into a device or a pipe has nowhere beside it to keep one.
class TManifestKeeper {
public:
    explicit TManifestKeeper(const QString& FileName);
    // A new run: who, what and when, and that it has not ended. False,
    // with Error, when it cannot be written.
    bool Begin(const TApdComPort& Port, const TDumpOptions& Options, int DataMode, QString& Error);
    // A run that goes on with Previous's file after its first Keep bytes.
    // Throws TFileFailure.
    void Continue(const TDumpManifest& Previous, const TApdComPort& Port, qint64 Keep);
    // A piece was zero-filled or could not be verified: said before it is
    // written, so that the manifest never claims it. Throws TFileFailure.
    void Update(const TDumpResult& Result);
    // The run has ended: how. The error when the manifest cannot be written.
    QString End(const TDumpResult& Result);

private:
    void Take(const TDumpResult& Result);
    QString Write();

    QString file_;
    bool kept_ = false;
    bool started_ = false;
    TDumpManifest manifest_;
};

// A dump that goes on where an interrupted one stopped.
struct TContinuation {
    TDumpManifest Previous; // the interrupted run's manifest
    qint64 Keep = 0;        // the bytes of the file that stay
    // The whole block compared with the handbox's memory before going on
    // (its offset, and the file's bytes there); none when Compare is empty.
    qint64 CompareAt = 0;
    QByteArray Compare;
    QList<TDumpPiece> ReadAgain; // zero-filled pieces among the kept bytes
};

// Once the handbox is ready to be read: compares the block, then opens the
// file, records the continuation in the manifest and reads the zero-filled
// pieces again. Throws TNotThisDump when the block differs, before
// anything is written.
void ContinueReading(TDumpReader& Reader, TDumpFile& File, TManifestKeeper& Keeper,
                     const TContinuation& Continuation);
struct TNotThisDump {
    QString Reason;
};

// RunDump, or with Continuation the rest of an interrupted dump.
TDumpResult RunDumpInto(TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                        const QString& FileName, TDumpFace& Face,
                        const TContinuation* Continuation);

// Sends 04 hex and asks until the handbox says it is in download mode.
bool EnterDownloadMode(TDumpReader& Reader);
// Sends "I" and puts the port back at 9600 when the handbox says it is in
// download mode, or no longer answers; never throws.
void LeaveDownloadMode(TDumpReader& Reader);

// Counts a zero-filled or unverified piece: in Counter, in At (the summary
// names the first few by address) and in Pieces (the manifest lists all).
void CountPiece(int& Counter, QStringList& At, QList<TDumpPiece>& Pieces, const TDumpPiece& Piece);

// The found handbox's firmware date as a day; invalid when it has none.
QDate FirmwareDateOfLink();

// What the run says of a port that went away.
QString PortGoneText();
