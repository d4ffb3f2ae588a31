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
    FileError,      // the file could not be created or written
    PortLost,       // the port or the handbox went away
    Failed,         // another error ended the run (see Error)
};

struct TDumpResult {
    TDumpOutcome Outcome = TDumpOutcome::Complete;
    qint64 Bytes = 0;    // bytes written to the file
    int PieceSize = 128; // bytes of one read: a half-block, or a peek word (2)
    int ShortBlocks = 0; // pieces that never came back whole (zero-filled)
    QStringList ShortAt; // full addresses (hex) of the first few of them
    int Unverified = 0;  // with Verify: pieces whose reads never agreed
    QStringList UnverifiedAt;
    int ReadAgain = 0; // pieces that took more reads than usual
    QString Error;     // what went wrong, for FileError, PortLost and Failed
};

// Byte that stands in a short block for every byte that did not arrive.
inline constexpr char DumpFillByte = '\0';

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
// any other value by peeks.
TDumpResult RunDump(TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                    const QString& FileName, TDumpFace& Face);

// A sentence for the user about a result that is not Complete.
QString DumpResultText(const TDumpResult& Result);
