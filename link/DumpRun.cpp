// One memory dump, in download mode or by peeks, written in address order.

#include "link/DumpRun.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QFile>

namespace {

constexpr int HalfBlock = 128;            // bytes one block read returns
constexpr int WordsPerPass = 0x4000;      // peeks of one 32 KiB half page
constexpr int EnterDownloadWaitMs = 1000; // after the 04 hex byte
constexpr int BlockReplyMs = 10000;
constexpr int ReportedShortBlocks = 5; // addresses named in the report
const char* const Spinner[] = {"|", "/", "-", "\\"};

// Writes into the dump file; a failure stops the run with the system's reason.
class DumpFile {
public:
    explicit DumpFile(const QString& name)
        : file_(name) {}
    bool Create() { return file_.open(QIODevice::WriteOnly | QIODevice::Truncate); }
    void Write(const QByteArray& bytes, TDumpResult& result) {
        if (file_.write(bytes) != bytes.size())
            throw FileFailure{file_.errorString()};
        result.Bytes += bytes.size();
    }
    QString Reason() const { return file_.errorString(); }
    struct FileFailure {
        QString reason;
    };

private:
    QFile file_;
};

struct PortGone {};

// One half-block of 128 bytes, exactly: a short reply is padded so that
// file offsets keep mapping to addresses, and is counted.
QByteArray ReadHalfBlock(TApdComPort& Port, int Page, int Block, int Low, TDumpResult& Result) {
    const QByteArray command =
        DecodeHexEscapes(QStringLiteral("R[%1][%2][%3][80]")
                             .arg(FormatHex(0, Page), FormatHex(0, Block), FormatHex(2, Low))
                             .toLatin1());
    QByteArray reply;
    SendCommand(Port, command, HalfBlock, BlockReplyMs, false, reply);
    if (!Port.Open())
        throw PortGone{};
    if (reply.size() < HalfBlock) {
        if (Result.ShortBlocks++ < ReportedShortBlocks)
            Result.ShortAt << FormatHex(0, qint64(Page) * 0x10000 + Block * 0x100 + Low);
        Port.Log.AddStringToLog(QStringLiteral("Short block at ") +
                                FormatHex(0, qint64(Page) * 0x10000 + Block * 0x100 + Low) +
                                QStringLiteral(": %1 bytes").arg(reply.size()));
        reply.append(QByteArray(HalfBlock - reply.size(), DumpFillByte));
    }
    return reply.left(HalfBlock);
}

bool InDownloadModeNow(TApdComPort& Port) {
    return QueryMode(Port).startsWith(QLatin1Char('D'));
}

void DownloadPath(TApdComPort& Port, const TDumpOptions& Options, DumpFile& File, TDumpFace& Face,
                  TDumpResult& Result) {
    const bool mkII =
        LinkState.HandboxKind == htAutostar497mkII || LinkState.HandboxKind == htMkIIDnld;
    bool includeLow = Options.IncludeLow;
    int firstBlock = includeLow ? 0x00 : mkII ? 0x00 : 0x80;
    int lastBlock = includeLow ? 0x7F : 0xFF;
    const int maximum = lastBlock - firstBlock;

    if (!LinkState.InDownloadMode) {
        QByteArray ignored;
        SendCommand(Port, QByteArray(1, '\x04'), 0, 5000, false, ignored);
        WaitInEventLoop(EnterDownloadWaitMs);
        if (!InDownloadModeNow(Port)) {
            ShowMessageAt(Port.parent(), QStringLiteral("Couldnt go into download mode"));
            Result.Outcome = TDumpOutcome::NoDownloadMode;
            return;
        }
    }
    try {
        for (int page = Options.FromPage; page <= Options.ToPage; ++page) {
            const QString pageText = FormatHex(0, page);
            Face.SetProgress(maximum, 0);
            while (!Face.CancelRequested()) {
                Face.SetLabel(includeLow ? QStringLiteral("Doing LowRam")
                                         : QStringLiteral("PG:") + pageText);
                ProcessPendingMessages();
                for (int block = firstBlock; block <= lastBlock && !Face.CancelRequested();
                     ++block) {
                    QByteArray bytes = ReadHalfBlock(Port, page, block, 0x00, Result);
                    ProcessPendingMessages();
                    bytes += ReadHalfBlock(Port, page, block, 0x80, Result);
                    ProcessPendingMessages();
                    File.Write(bytes, Result);
                    Face.BytesWritten(Result.Bytes);
                    RefreshLog(Port);
                    ProcessPendingMessages();
                    const int position = block - firstBlock;
                    Face.SetProgress(maximum, position);
                    Face.SetSpinner(QLatin1String(Spinner[position % 4]));
                }
                RefreshLog(Port);
                if (Options.LowOnly || !includeLow)
                    break;
                // The low memory is read once; then this page's upper half.
                includeLow = false;
                firstBlock = 0x80;
                lastBlock = 0xFF;
            }
            if (Options.LowOnly)
                break;
        }
    } catch (const PortGone&) {
        Result.Outcome = TDumpOutcome::PortLost;
        return;
    }
    // Leave download mode, also after a cancel.
    if (InDownloadModeNow(Port)) {
        QByteArray ignored;
        SendCommand(Port, "I", 0, 2000, false, ignored);
        Port.SetBaud(9600);
    }
}

void PeekPath(TApdComPort& Port, const TDumpOptions& Options, DumpFile& File, TDumpFace& Face,
              TDumpResult& Result) {
    bool includeLow = Options.IncludeLow;
    for (int page = Options.FromPage; page <= Options.ToPage; ++page) {
        while (!Face.CancelRequested()) {
            quint64 address = quint64(page) * 0x10000 + (includeLow ? 0 : 0x8000);
            Face.SetProgress(WordsPerPass - 1, 0);
            Face.SetLabel(includeLow ? QStringLiteral("Doing LowRam")
                                     : QStringLiteral("PG:") + FormatHex(2, page));
            ProcessPendingMessages();
            for (int i = 0; i < WordsPerPass && !Face.CancelRequested(); ++i) {
                const QString word = PeekWord(Port, address);
                if (!Port.Open())
                    throw PortGone{};
                QByteArray bytes = HexToBytes(word, false).left(2);
                // A word shorter than two bytes keeps its place in the file.
                bytes.append(QByteArray(2 - bytes.size(), DumpFillByte));
                File.Write(bytes, Result);
                Face.BytesWritten(Result.Bytes);
                Face.SetProgress(WordsPerPass - 1, i);
                address += 2;
                ProcessPendingMessages();
                Face.SetSpinner(QLatin1String(Spinner[i % 4]));
            }
            RefreshLog(Port);
            if (!includeLow)
                break;
            includeLow = false;
            if (Options.LowOnly)
                break;
        }
        if (Options.LowOnly)
            break;
    }
}

} // namespace

bool KindCanBeDumped(std::uint8_t Kind) {
    return (Kind >= htAutostar497 && Kind <= htRCX400) ||
           (Kind >= htAutostar497Dnld && Kind <= htLX2001Dnld);
}

int PageLimitOf(std::uint8_t Kind) {
    switch (Kind) {
    case htAutostar497:
    case htAutostar497Dnld:
    case htAutostar497mkII:
    case htMkIIDnld:
        return 0x1F;
    case htLX200GPS:
    case htLX2001Dnld:
        return 0x6F;
    case htRCX400:
        return 0x7F;
    default:
        return -1;
    }
}

QString DefaultDumpFileName(std::uint8_t Kind, const TDumpOptions& Options) {
    QString prefix;
    switch (Kind) {
    case htAutostar497:
    case htAutostar497Dnld:
        prefix = QStringLiteral("497");
        break;
    case htAutostar497mkII:
    case htMkIIDnld:
        prefix = QStringLiteral("497mkII");
        break;
    case htLX200GPS:
        prefix = QStringLiteral("GPS");
        break;
    case htRCX400:
        prefix = QStringLiteral("RCX");
        break;
    case htLX2001Dnld:
        prefix = QStringLiteral("ASII??");
        break;
    default:
        return {};
    }
    const QString range = QStringLiteral("x") + FormatHex(0, Options.FromPage) +
                          QStringLiteral("tox") + FormatHex(0, Options.ToPage) +
                          QStringLiteral(".bin");
    if (Options.LowOnly)
        return prefix + QStringLiteral("Dump LowRAMOnly.bin");
    if (Options.IncludeLow)
        return prefix + QStringLiteral("Dump LowRamand") + range;
    return prefix + QStringLiteral("Dump ") + range;
}

int ChooseDataMode(TApdComPort& Port, QObject* Control) {
    RefreshLog(Port);
    QueryMode(Port);
    int dataMode = 1;
    if (!LinkState.InDownloadMode) {
        SlowBaudPrompt(Port);
        if (LinkState.PeekOK)
            dataMode = AskQuestion(Control, QStringLiteral("Data Mode required"),
                                   QStringLiteral("Download"), QStringLiteral("Peek"), 1);
    }
    return dataMode;
}

TDumpResult RunDump(TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                    const QString& FileName, TDumpFace& Face) {
    TDumpResult result;
    TDumpOptions options = Options;
    // "Only" reads the low memory once, with page From, whatever "to" says.
    if (options.LowOnly) {
        options.IncludeLow = true;
        options.ToPage = options.FromPage;
    }
    DumpFile file(FileName);
    if (!file.Create()) {
        result.Outcome = TDumpOutcome::FileError;
        result.Error = file.Reason();
        return result;
    }
    SetBusyCursor(true);
    try {
        if (DataMode == 1)
            DownloadPath(Port, options, file, Face, result);
        else
            PeekPath(Port, options, file, Face, result);
    } catch (const DumpFile::FileFailure& failure) {
        result.Outcome = TDumpOutcome::FileError;
        result.Error = failure.reason;
    } catch (const PortGone&) {
        result.Outcome = TDumpOutcome::PortLost;
    } catch (const std::exception& e) {
        result.Outcome = TDumpOutcome::Failed;
        result.Error = QString::fromLocal8Bit(e.what());
    }
    RefreshLog(Port);
    Face.SetProgress(0, 0);
    SetBusyCursor(false);
    if (result.Outcome == TDumpOutcome::Complete) {
        if (Face.CancelRequested())
            result.Outcome = TDumpOutcome::Cancelled;
        else if (result.ShortBlocks > 0)
            result.Outcome = TDumpOutcome::Incomplete;
    }
    return result;
}

QString DumpResultText(const TDumpResult& Result) {
    switch (Result.Outcome) {
    case TDumpOutcome::Complete:
        return QStringLiteral("Dump complete: %1 bytes").arg(Result.Bytes);
    case TDumpOutcome::Cancelled:
        return QStringLiteral("Dump cancelled after %1 bytes").arg(Result.Bytes);
    case TDumpOutcome::Incomplete:
        return QStringLiteral("Dump incomplete: %1 blocks of 128 bytes came back short, "
                              "first at %2; they are filled with zero bytes")
            .arg(Result.ShortBlocks)
            .arg(Result.ShortAt.join(QStringLiteral(", ")));
    case TDumpOutcome::NoDownloadMode:
        return QStringLiteral("Couldnt go into download mode");
    case TDumpOutcome::FileError:
        return QStringLiteral("Dump file error: ") + Result.Error;
    case TDumpOutcome::PortLost:
        return QStringLiteral("Dump stopped: the port or the handbox went away after %1 bytes")
            .arg(Result.Bytes);
    case TDumpOutcome::Failed:
        break;
    }
    return QStringLiteral("Dump failed: ") + Result.Error;
}
