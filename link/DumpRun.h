#pragma once
// One memory dump: the pages of a handbox's memory read, in download mode
// by blocks of 128 bytes or in normal mode by peeks of one word, into a raw
// file in address order. The main window's "Run" and the hexvac-dump tool
// both drive this one run; each gives it a face (TDumpFace) for its
// progress, labels and the Cancel request.

#include <QString>
#include <QStringList>
#include <cstdint>

class QObject;
class TApdComPort;

struct TDumpOptions {
    int FromPage = 2;
    int ToPage = 2;
    bool IncludeLow = false; // also addresses 0000-7FFF, read once with page From
    bool LowOnly = false;    // only addresses 0000-7FFF
    // Every half-block (or word) read until two reads agree: the block
    // protocol has no checksum, and a reply of the right length with wrong
    // bytes would otherwise pass.
    bool Verify = false;
};

// What a run shows and asks while it reads.
class TDumpFace {
public:
    virtual ~TDumpFace() = default;
    virtual bool CancelRequested() = 0;
    virtual void SetLabel(const QString& Text) = 0; // "PG:02", "Doing LowRam"
    virtual void SetProgress(int Maximum, int Position) = 0;
    virtual void SetSpinner(const QString& Text) = 0; // "|", "/", "-", "\"
    virtual void BytesWritten(qint64 Total) { (void)Total; }
};

enum class TDumpOutcome {
    Complete,       // every byte read
    Cancelled,      // stopped by the user; the file holds what was read
    Incomplete,     // some blocks came back short or unverified; padded there
    NoDownloadMode, // the handbox would not enter download mode
    FileError,      // the file (or its manifest) could not be created or written
    PortLost,       // the port or the handbox went away
    Failed,         // another error ended the run (see Error)
    // A dump that was not continued; the file and its manifest are untouched.
    OtherHandbox, // the handbox is not the one the file was read from (see Error)
    NotThisDump,  // the file's last block differs from the handbox's memory
};

// One read of a dump: a half-block, or a peek word, at a place in the file.
struct TDumpPiece {
    qint64 Offset = 0;  // in the file
    qint64 Address = 0; // full address: page x 10000 hex + address in the page
    int Size = 0;
};

struct TDumpResult {
    TDumpOutcome Outcome = TDumpOutcome::Complete;
    qint64 Bytes = 0;    // bytes in the file, in address order from its start
    int PieceSize = 128; // bytes of one read: a half-block, or a peek word (2)
    int ShortBlocks = 0; // pieces that never came back whole (zero-filled)
    QStringList ShortAt; // full addresses (hex) of the first few of them
    int Unverified = 0;  // with Verify: pieces whose reads never agreed
    QStringList UnverifiedAt;
    // Every zero-filled and every unverified piece, in the order read.
    QList<TDumpPiece> ZeroFilledPieces;
    QList<TDumpPiece> UnverifiedPieces;
    int ReadAgain = 0;      // pieces that took more reads than usual
    QString Error;          // what went wrong, for FileError, PortLost, Failed and the refusals
    qint64 ResumedFrom = 0; // a continued dump: the bytes the file held already
};

// Byte that stands in a short block for every byte that did not arrive.
inline constexpr char DumpFillByte = '\0';

// "Only" reads the low memory once, with page From, whatever "to" says: the
// options as a run reads them.
TDumpOptions EffectiveDumpOptions(const TDumpOptions& Options);
// The bytes a complete dump of Options writes, and the full address of the
// byte at Offset of its file (DataMode as for RunDump).
qint64 DumpBytes(const TDumpOptions& Options, std::uint8_t Kind, int DataMode);
qint64 DumpAddressAt(const TDumpOptions& Options, std::uint8_t Kind, int DataMode, qint64 Offset);

// The handbox kinds a dump can read (2-5 and 7-9).
bool KindCanBeDumped(std::uint8_t Kind);
// The highest page of a kind, or -1 for kinds without a limit.
int PageLimitOf(std::uint8_t Kind);

// The file name the save dialog offers: "497Dump x02tox1F.bin" and the like.
// Empty for a kind that cannot be dumped.
QString DefaultDumpFileName(std::uint8_t Kind, const TDumpOptions& Options);

// Before a run: asks the handbox's mode, offers a faster rate and, when peek
// works too, asks "Data Mode required". 1 = download-mode reads, anything
// else = peek reads.
int ChooseDataMode(TApdComPort& Port, QObject* Control);

// Reads the pages into FileName (created or truncated). DataMode 1 reads in
// download mode (entering it first, leaving it after, also after a cancel),
// any other value by peeks. Beside a regular file it keeps a manifest
// (DumpManifest.h), written when the run starts and again when it ends.
TDumpResult RunDump(TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                    const QString& FileName, TDumpFace& Face);

// A sentence for the user about a result that is not Complete.
QString DumpResultText(const TDumpResult& Result);
