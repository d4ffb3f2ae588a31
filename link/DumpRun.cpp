// One memory dump, in download mode or by peeks, written in address order.
//
// A run belongs to the handbox it started with: it holds the link, so that
// no time-out or lost port inside it restarts detection and carries on
// against another port, and it ends when that handbox is gone. Whatever way
// it ends, download mode is left where the port survives, and the file keeps
// every block read until then.

#include "link/DumpRun.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "link/DumpRead.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <exception>

namespace {

constexpr int HalfBlock = 128; // bytes one block read returns
constexpr int PeekWordBytes = 2;
constexpr int WordsPerPass = 0x4000; // peeks of one 32 KiB half page
const char* const Spinner[] = {"|", "/", "-", "\\"};

QString FullAddress(int Page, qint64 Offset) {
    return FormatHex(0, qint64(Page) * 0x10000 + Offset);
}

QByteArray ReadHalfBlock(TDumpReader& Reader, int Page, int Block, int Low) {
    const QByteArray command =
        DecodeHexEscapes(QStringLiteral("R[%1][%2][%3][80]")
                             .arg(FormatHex(0, Page), FormatHex(0, Block), FormatHex(2, Low))
                             .toLatin1());
    return Reader.ReadPiece(HalfBlock, FullAddress(Page, Block * 0x100 + Low), [&] {
        QByteArray reply;
        SendCommand(Reader.Port, command, HalfBlock, Timing::BlockReplyMs, false, reply);
        return reply;
    });
}

void ReadPages(TDumpReader& Reader, const TDumpOptions& Options, TDumpFile& File) {
    TDumpFace& face = Reader.Face;
    TApdComPort& port = Reader.Port;
    const bool mkII =
        LinkState.HandboxKind == htAutostar497mkII || LinkState.HandboxKind == htMkIIDnld;
    bool includeLow = Options.IncludeLow;
    int firstBlock = includeLow ? 0x00 : mkII ? 0x00 : 0x80;
    int lastBlock = includeLow ? 0x7F : 0xFF;
    const int maximum = lastBlock - firstBlock;

    for (int page = Options.FromPage; page <= Options.ToPage && !face.CancelRequested(); ++page) {
        const QString pageText = FormatHex(0, page);
        face.SetProgress(maximum, 0);
        while (!face.CancelRequested()) {
            face.SetLabel(includeLow ? QStringLiteral("Doing LowRam")
                                     : QStringLiteral("PG:") + pageText);
            ProcessPendingMessages();
            for (int block = firstBlock; block <= lastBlock && !face.CancelRequested(); ++block) {
                QByteArray bytes = ReadHalfBlock(Reader, page, block, 0x00);
                ProcessPendingMessages();
                bytes += ReadHalfBlock(Reader, page, block, 0x80);
                ProcessPendingMessages();
                File.Write(bytes, Reader.Result);
                face.BytesWritten(Reader.Result.Bytes);
                RefreshLog(port);
                ProcessPendingMessages();
                const int position = block - firstBlock;
                face.SetProgress(maximum, position);
                face.SetSpinner(QLatin1String(Spinner[position % 4]));
            }
            RefreshLog(port);
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
}

void DownloadPath(TDumpReader& Reader, const TDumpOptions& Options, TDumpFile& File) {
    Reader.DownloadMode = true;
    if (!LinkState.InDownloadMode && !EnterDownloadMode(Reader)) {
        ShowMessageAt(Reader.Port.parent(), QStringLiteral("Couldnt go into download mode"));
        Reader.Result.Outcome = TDumpOutcome::NoDownloadMode;
        return;
    }
    // From here on the handbox is in download mode, and every way out of the
    // run takes it out again: the end, a cancel, a file error, a lost reply.
    std::exception_ptr failure;
    try {
        ReadPages(Reader, Options, File);
    } catch (const TRunStopped&) {
    } catch (...) {
        // Whatever the error, it is raised again unchanged once the handbox
        // is out of download mode.
        failure = std::current_exception();
    }
    LeaveDownloadMode(Reader);
    if (failure)
        std::rethrow_exception(failure);
}

void PeekPath(TDumpReader& Reader, const TDumpOptions& Options, TDumpFile& File) {
    TDumpFace& face = Reader.Face;
    Reader.DownloadMode = false;
    Reader.Result.PieceSize = PeekWordBytes;
    bool includeLow = Options.IncludeLow;
    for (int page = Options.FromPage; page <= Options.ToPage && !face.CancelRequested(); ++page) {
        while (!face.CancelRequested()) {
            quint64 address = quint64(page) * 0x10000 + (includeLow ? 0 : 0x8000);
            face.SetProgress(WordsPerPass - 1, 0);
            face.SetLabel(includeLow ? QStringLiteral("Doing LowRam")
                                     : QStringLiteral("PG:") + FormatHex(2, page));
            ProcessPendingMessages();
            for (int i = 0; i < WordsPerPass && !face.CancelRequested(); ++i) {
                const QByteArray bytes =
                    Reader.ReadPiece(PeekWordBytes, FormatHex(0, qint64(address)), [&] {
                        try {
                            return HexToBytes(PeekWord(Reader.Port, address), false)
                                .left(PeekWordBytes);
                        } catch (const EConvertError&) {
                            return QByteArray(); // a reply mangled on the line: read again
                        }
                    });
                File.Write(bytes, Reader.Result);
                face.BytesWritten(Reader.Result.Bytes);
                face.SetProgress(WordsPerPass - 1, i);
                address += PeekWordBytes;
                ProcessPendingMessages();
                face.SetSpinner(QLatin1String(Spinner[i % 4]));
            }
            RefreshLog(Reader.Port);
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
    TDumpFile file(FileName);
    if (!file.Create()) {
        result.Outcome = TDumpOutcome::FileError;
        result.Error = file.Reason();
        return result;
    }
    const TLinkHold hold(Port);
    TDumpReader reader(Port, Face, result, options.Verify);
    {
        const BusyCursorScope busy;
        try {
            if (DataMode == 1)
                DownloadPath(reader, options, file);
            else
                PeekPath(reader, options, file);
        } catch (const TRunStopped&) {
        } catch (const TFileFailure& failure) {
            result.Outcome = TDumpOutcome::FileError;
            result.Error = failure.Reason;
        } catch (const TRunLost& lost) {
            result.Outcome = TDumpOutcome::PortLost;
            result.Error = lost.Reason;
            // The handbox is gone: it must be found again before the next run.
            LinkLost(Port);
        } catch (const std::exception& e) {
            result.Outcome = TDumpOutcome::Failed;
            result.Error = QString::fromLocal8Bit(e.what());
        }
        if (!file.Close() && result.Outcome != TDumpOutcome::FileError) {
            result.Outcome = TDumpOutcome::FileError;
            result.Error = file.Reason();
        }
        RefreshLog(Port);
        Face.SetProgress(0, 0);
    }
    if (result.Outcome == TDumpOutcome::Complete) {
        if (Face.CancelRequested())
            result.Outcome = TDumpOutcome::Cancelled;
        else if (result.ShortBlocks > 0 || result.Unverified > 0)
            result.Outcome = TDumpOutcome::Incomplete;
    }
    return result;
}
