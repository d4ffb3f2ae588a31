#pragma once
// The manifest beside a dump file: a small JSON file ("FILE.json") that
// says which handbox, firmware, port, range and mode the file was read
// from, how the run ended, which pieces were zero-filled or could not be
// verified, and the SHA-256 of the file as written. It is written when the
// run starts and again when it ends, however it ends, and never claims more
// than the file holds: its hash and byte count are always of the file as
// it is when the manifest is written.

#include "link/DumpRun.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>

// A run that continued an interrupted dump.
struct TDumpResume {
    QDateTime Start;
    qint64 FromByte = 0; // the bytes the file held and kept
    QString Port;
    qint32 LineRate = 0;
};

struct TDumpManifest {
    QString Tool;    // the program that read it: "hexvac" or "hexvac-dump"
    QString Version; // its version
    // The handbox, as identified when the run started.
    std::uint8_t Kind = 0;
    QString KindName;    // the word the status line shows for Kind
    QString ProductName; // its answer to ":GVP#"; empty in download mode
    QDate FirmwareDate;  // invalid when it has none
    int BaudClass = 0;
    QString Port; // "COM200"
    qint32 LineRate = 0;
    int DataMode = 1; // 1 download-mode blocks, 2 peeks
    TDumpOptions Options;
    QDateTime Start, End; // UTC; End is invalid while the run has not ended
    TDumpOutcome Outcome = TDumpOutcome::Incomplete;
    bool Ended = false;       // false: written at the start, the run never said how it ended
    QString Summary;          // the sentence that ended the run
    qint64 Bytes = 0;         // the file's size, of which Sha256 is the hash
    qint64 ExpectedBytes = 0; // the size of the complete dump
    int PieceBytes = 128;
    int ReadAgain = 0;
    QList<TDumpPiece> ZeroFilled;
    QList<TDumpPiece> Unverified;
    QByteArray Sha256; // lower-case hex
    QList<TDumpResume> Resumes;
};

// "FILE.json" for the dump file FILE.
QString ManifestFileName(const QString& DumpFile);

// The manifest's word for an outcome: "complete", "cancelled", "incomplete",
// "lost" or "file error".
QString OutcomeWord(TDumpOutcome Outcome);

// The SHA-256 of a file's bytes in lower-case hex, and its size; empty when
// it cannot be read (Error says why).
QByteArray FileSha256(const QString& FileName, qint64& Size, QString& Error);

// Writes Manifest beside DumpFile, after hashing the file: Bytes and Sha256
// are set from the file as it is now. Replaces the old manifest in one step,
// so a reader never sees half of one. False, with Error, when it cannot.
bool WriteDumpManifest(const QString& DumpFile, TDumpManifest& Manifest, QString& Error);

// Reads the manifest beside DumpFile. False, with Error, when there is none
// or it is not a dump's manifest.
bool ReadDumpManifest(const QString& DumpFile, TDumpManifest& Manifest, QString& Error);

// What --check says of a dump file.
struct TDumpCheck {
    bool Read = false;    // the manifest and the file could be read
    bool Matches = false; // the file is the one the manifest describes
    QString Text;         // lines for the user: the verdict, then what the manifest says
};
TDumpCheck CheckDumpFile(const QString& DumpFile);

// What the manifest says the file holds, in one line.
QString ManifestDescription(const TDumpManifest& Manifest);
