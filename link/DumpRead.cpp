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

void Count(int& Counter, QStringList& At, const QString& Where) {
    if (Counter++ < ReportedPieces)
        At << Where;
}

} // namespace

QString PortGoneText() {
    return QStringLiteral("Currently selected Port is no longer Available");
}

// ---- The file -----------------------------------------------------------------------

bool TDumpFile::Create() {
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void TDumpFile::Write(const QByteArray& Bytes, TDumpResult& Result) {
    if (file_.write(Bytes) != Bytes.size())
        throw TFileFailure{Reason()};
    Result.Bytes += Bytes.size();
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

QByteArray TDumpReader::ReadPiece(int Size, const QString& Where,
                                  const std::function<QByteArray()>& ReadOnce) {
    const int maxReads = Verify ? VerifiedReads : 1 + ReadsAgain;
    const int usualReads = Verify ? 2 : 1;
    QList<QByteArray> whole; // whole reads that no other has agreed with yet
    QByteArray longest;      // the longest short read
    for (int read = 1;; ++read) {
        QByteArray bytes = ReadOnce();
        if (!Port.Open())
            throw TRunLost{PortGoneText()};
        const bool isWhole = bytes.size() >= Size;
        if (isWhole) {
            bytes.truncate(Size);
            if (!Verify || whole.contains(bytes)) {
                if (read > usualReads)
                    ++Result.ReadAgain;
                return bytes;
            }
            whole << bytes;
        } else if (Face.CancelRequested()) {
            throw TRunStopped{}; // the stop cut this read short
        } else if (bytes.size() >= longest.size()) {
            longest = bytes;
        }
        if (read >= maxReads)
            break;
        if (!isWhole || read >= usualReads)
            Port.Log.AddStringToLog(QStringLiteral("Read again at ") + Where +
                                    (isWhole ? QStringLiteral(": two reads differ")
                                             : QStringLiteral(": %1 bytes").arg(bytes.size())));
        if (!isWhole)
            CheckStillThere();
        if (Face.CancelRequested())
            throw TRunStopped{};
    }
    if (!whole.isEmpty()) {
        // Whole every time, but never the same twice: kept, and said.
        Count(Result.Unverified, Result.UnverifiedAt, Where);
        Port.Log.AddStringToLog(QStringLiteral("Unverified block at ") + Where);
        ++Result.ReadAgain;
        return whole.last();
    }
    Count(Result.ShortBlocks, Result.ShortAt, Where);
    Port.Log.AddStringToLog(QStringLiteral("Short block at ") + Where +
                            QStringLiteral(": %1 bytes").arg(longest.size()));
    ++Result.ReadAgain;
    // Padded, so that file offsets keep mapping to addresses.
    return longest + QByteArray(Size - longest.size(), DumpFillByte);
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
