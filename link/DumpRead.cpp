// Reading a dump's pieces until they are good, and checking on the handbox
// when a reply does not come.

#include "link/DumpRead.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

namespace {

constexpr int ReadsAgain = 3;     // a short piece is read again this many times
constexpr int VerifiedReads = 6;  // with Verify: reads of one piece until two agree
constexpr int ModeAsks = 3;       // entering and leaving download mode
constexpr int StillThereAsks = 2; // after a reply that did not come
constexpr int LateReplyRounds = 10;
constexpr int ReportedPieces = 5;      // addresses named in the summary
constexpr int DownloadModeBaud = 9600; // where "I" puts the handbox

// Lets a reply that came too late finish arriving and drops it, so that it
// is not taken for the answer to the next question.
void DiscardLateBytes(TApdComPort& Port) {
    for (int round = 0; round < LateReplyRounds && Port.Open(); ++round) {
        Port.FlushInBuffer();
        Port.ReplyBuffer.clear();
        WaitForRepliesInEventLoop(Timing::LateReplyQuietMs);
        if (Port.ReplyBuffer.isEmpty() && !Port.CharReady())
            return;
    }
}

} // namespace

void CountPiece(int& Counter, QStringList& At, QList<TDumpPiece>& Pieces, const TDumpPiece& Piece) {
    if (Counter++ < ReportedPieces)
        At << FormatHex(0, Piece.Address);
    Pieces << Piece;
}

QDate FirmwareDateOfLink() {
    return LinkState.FirmwareDate > 0 ? ToQDate(LinkState.FirmwareDate) : QDate();
}

QString PortGoneText() {
    return QStringLiteral("Currently selected Port is no longer Available");
}

// ---- The file -----------------------------------------------------------------------

bool TDumpFile::Create() {
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool TDumpFile::OpenToContinue(qint64 Keep) {
    return file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered) && file_.resize(Keep) &&
           file_.seek(Keep);
}

void TDumpFile::Write(const QByteArray& Bytes, TDumpResult& Result) {
    if (file_.write(Bytes) != Bytes.size())
        throw TFileFailure{Reason()};
    Result.Bytes += Bytes.size();
}

void TDumpFile::WriteAt(qint64 Offset, const QByteArray& Bytes) {
    const qint64 end = file_.pos();
    if (!file_.seek(Offset) || file_.write(Bytes) != Bytes.size() || !file_.seek(end))
        throw TFileFailure{Reason()};
}

bool TDumpFile::Close() {
    if (!file_.isOpen())
        return true;
    file_.close();
    return file_.error() == QFileDevice::NoError;
}

QString TDumpFile::Reason() const {
    return file_.errorString();
}

// ---- Pieces ---------------------------------------------------------------------------

QByteArray TDumpReader::ReadPiece(const TDumpPiece& Piece, int LineBytes,
                                  const std::function<QByteArray()>& ReadOnce) {
    const int size = Piece.Size;
    const QString where = FormatHex(0, Piece.Address);
    const int maxReads = Verify ? VerifiedReads : 1 + ReadsAgain;
    const int usualReads = Verify ? 2 : 1;
    QList<QByteArray> whole;  // whole reads that no other has agreed with yet
    QByteArray longest;       // the longest short read
    bool failed = false;      // a read of this piece failed: the next ones wait the full time-out
    bool lostUnheard = false; // the read before was lost and nothing of it came
    for (int read = 1;; ++read) {
        const TReplyWatch::TRead got = Watch.Read(ReadOnce, LineBytes, !failed);
        if (lostUnheard) {
            // The lost reply may only have been late, and this read took it:
            // then its own reply follows, and must not become the next one's.
            Watch.DropLateBytes();
            lostUnheard = false;
        }
        if (!Port.Open())
            throw TRunLost{PortGoneText()};
        QByteArray bytes = got.Bytes;
        const bool isWhole = !got.Ended && bytes.size() >= size;
        // A reply cut short by a time-out is taken for nothing, except that
        // a block's bytes that came are its first ones (kept for padding);
        // a word's text cut short could pass for another number.
        if (got.Ended && !DownloadMode)
            bytes.clear();
        if (isWhole) {
            bytes.truncate(size);
            if (!Verify || whole.contains(bytes)) {
                if (read > usualReads)
                    ++Result.ReadAgain;
                return bytes;
            }
            whole << bytes;
        } else if (Face.CancelRequested()) {
            throw TRunStopped{}; // the stop cut this read short
        } else if (bytes.size() >= longest.size()) {
            longest = bytes.left(size);
        }
        if (read >= maxReads)
            break;
        const bool lost = !isWhole && got.Bounded;
        if (lost)
            Port.Log.AddStringToLog(
                QStringLiteral("Read again at %1: reply lost (%2 bytes in %3 ms)")
                    .arg(where)
                    .arg(got.Bytes.size())
                    .arg(got.Ms));
        else if (!isWhole || read >= usualReads)
            Port.Log.AddStringToLog(QStringLiteral("Read again at ") + where +
                                    (isWhole ? QStringLiteral(": two reads differ")
                                             : QStringLiteral(": %1 bytes").arg(bytes.size())));
        if (!isWhole)
            failed = true;
        // A lost reply is read again as soon as the line is quiet; after a
        // reply that did not come in the full time-out, the handbox is first
        // asked whether it is still there.
        if (lost)
            lostUnheard = !Watch.DropLateBytes() && got.Bytes.isEmpty();
        else if (!isWhole)
            CheckStillThere();
        if (Face.CancelRequested())
            throw TRunStopped{};
    }
    if (!whole.isEmpty()) {
        // Whole every time, but never the same twice: kept, and said.
        CountPiece(Result.Unverified, Result.UnverifiedAt, Result.UnverifiedPieces, Piece);
        Port.Log.AddStringToLog(QStringLiteral("Unverified block at ") + where);
        ++Result.ReadAgain;
        if (PieceCounted)
            PieceCounted();
        return whole.last();
    }
    CountPiece(Result.ShortBlocks, Result.ShortAt, Result.ZeroFilledPieces, Piece);
    Port.Log.AddStringToLog(QStringLiteral("Short block at ") + where +
                            QStringLiteral(": %1 bytes").arg(longest.size()));
    ++Result.ReadAgain;
    if (PieceCounted)
        PieceCounted();
    // Padded, so that file offsets keep mapping to addresses.
    return longest + QByteArray(size - longest.size(), DumpFillByte);
}

bool TDumpReader::PassOver(int Size) {
    if (Next + Size > KeepTo)
        return false;
    Next += Size;
    return true;
}

QChar TDumpReader::AskModeLetter(int Asks) {
    const bool wasInDownloadMode = LinkState.InDownloadMode;
    for (int ask = 0; ask < Asks; ++ask) {
        const QChar letter = ModeLetterOf(QueryMode(Port), LinkState.Parked);
        if (!Port.Open())
            throw TRunLost{PortGoneText()};
        if (letter != QLatin1Char(' '))
            return letter;
    }
    LinkState.InDownloadMode = wasInDownloadMode; // a question not answered tells nothing
    return QLatin1Char(' ');
}

void TDumpReader::CheckStillThere() {
    DiscardLateBytes(Port);
    if (!Port.Open())
        throw TRunLost{PortGoneText()};
    const QChar letter = AskModeLetter(StillThereAsks);
    if (Face.CancelRequested())
        throw TRunStopped{};
    if (letter == QLatin1Char(' '))
        throw TRunLost{QStringLiteral("Scope no longer responding")};
    const bool saysDownloadMode = letter == QLatin1Char('D');
    if (saysDownloadMode != DownloadMode)
        throw TRunLost{DownloadMode
                           ? QStringLiteral("Scope was in download mode but cannot now be found?")
                           : QStringLiteral("Scope reacquired but it is now in download mode?")};
}

// ---- Download mode --------------------------------------------------------------------

bool EnterDownloadMode(TDumpReader& Reader) {
    QByteArray ignored;
    SendCommand(Reader.Port, QByteArray(1, '\x04'), 0, Timing::EnterDownloadReplyMs, false,
                ignored);
    WaitInEventLoop(Timing::EnterDownloadSettleMs);
    // One lost answer must not leave a handbox that did switch stranded there.
    return Reader.AskModeLetter(ModeAsks) == QLatin1Char('D');
}

void LeaveDownloadMode(TDumpReader& Reader) {
    TApdComPort& port = Reader.Port;
    try {
        if (!port.Open())
            return;
        const QChar letter = Reader.AskModeLetter(ModeAsks);
        if (letter != QLatin1Char('D') && letter != QLatin1Char(' ')) {
            LinkState.InDownloadMode = false;
            return;
        }
        // Silent, it may still be in download mode with its answers lost:
        // "I" is harmless to a handbox in normal mode.
        if (letter == QLatin1Char(' '))
            port.Log.AddStringToLog(QStringLiteral("No answer to the mode query: sending I"));
        QByteArray ignored;
        SendCommand(port, "I", 0, Timing::LeaveDownloadReplyMs, false, ignored);
        port.SetBaud(DownloadModeBaud);
        LinkState.InDownloadMode = false;
    } catch (const TRunLost&) {
        // Gone: there is nothing left to leave.
    } catch (const std::exception& e) {
        port.Log.AddStringToLog(QStringLiteral("Leaving download mode failed: ") +
                                QString::fromLocal8Bit(e.what()));
    }
}
