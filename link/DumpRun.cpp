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
#include <functional>

namespace {

constexpr int HalfBlock = 128;       // bytes one block read returns
constexpr int BlockCommandBytes = 5; // "R", page, address high and low, count
constexpr int PeekWordBytes = 2;
constexpr int PeekCommandBytes = 4;  // ":EP" and "#" around the decimal address
constexpr int PeekReplyBytes = 7;    // at most: "-32768#"
constexpr int WordsPerPass = 0x4000; // peeks of one 32 KiB half page
const char* const Spinner[] = {"|", "/", "-", "\\"};

QByteArray ReadHalfBlock(TDumpReader& Reader, int Page, int Block, int Low, qint64 Offset) {
    const QByteArray command =
        DecodeHexEscapes(QStringLiteral("R[%1][%2][%3][80]")
                             .arg(FormatHex(0, Page), FormatHex(0, Block), FormatHex(2, Low))
                             .toLatin1());
    const TDumpPiece piece{Offset, qint64(Page) * 0x10000 + qint64(Block) * 0x100 + Low, HalfBlock};
    return Reader.ReadPiece(piece, BlockCommandBytes + HalfBlock, [&] {
        QByteArray reply;
        SendCommand(Reader.Port, command, HalfBlock, Timing::BlockReplyMs, false, reply);
        return reply;
    });
}

QByteArray ReadWord(TDumpReader& Reader, quint64 Address, qint64 Offset) {
    const TDumpPiece piece{Offset, qint64(Address), PeekWordBytes};
    const int lineBytes =
        PeekCommandBytes + int(QByteArray::number(Address).size()) + PeekReplyBytes;
    return Reader.ReadPiece(piece, lineBytes, [&] {
        try {
            return HexToBytes(PeekWord(Reader.Port, Address), false).left(PeekWordBytes);
        } catch (const EConvertError&) {
            return QByteArray(); // a reply mangled on the line: read again
        }
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
                if (Reader.PassOver(2 * HalfBlock))
                    continue; // a continued dump's file holds it already
                QByteArray bytes = ReadHalfBlock(Reader, page, block, 0x00, Reader.Next);
                ProcessPendingMessages();
                bytes += ReadHalfBlock(Reader, page, block, 0x80, Reader.Next + HalfBlock);
                ProcessPendingMessages();
                File.Write(bytes, Reader.Result);
                Reader.Next += bytes.size();
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

// What a run does once the handbox is ready to be read, before its first
// page: nothing for a new run, the checks and the re-reads of a continued one.
using TStartReading = std::function<void(TDumpReader&)>;

void DownloadPath(TDumpReader& Reader, const TDumpOptions& Options, TDumpFile& File,
                  const TStartReading& Start) {
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
        Start(Reader);
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

void PeekPath(TDumpReader& Reader, const TDumpOptions& Options, TDumpFile& File,
              const TStartReading& Start) {
    TDumpFace& face = Reader.Face;
    Reader.DownloadMode = false;
    Reader.Result.PieceSize = PeekWordBytes;
    Start(Reader);
    bool includeLow = Options.IncludeLow;
    for (int page = Options.FromPage; page <= Options.ToPage && !face.CancelRequested(); ++page) {
        while (!face.CancelRequested()) {
            quint64 address = quint64(page) * 0x10000 + (includeLow ? 0 : 0x8000);
            face.SetProgress(WordsPerPass - 1, 0);
            face.SetLabel(includeLow ? QStringLiteral("Doing LowRam")
                                     : QStringLiteral("PG:") + FormatHex(2, page));
            ProcessPendingMessages();
            for (int i = 0; i < WordsPerPass && !face.CancelRequested(); ++i, address += 2) {
                if (Reader.PassOver(PeekWordBytes))
                    continue; // a continued dump's file holds it already
                const QByteArray bytes = ReadWord(Reader, address, Reader.Next);
                File.Write(bytes, Reader.Result);
                Reader.Next += bytes.size();
                face.BytesWritten(Reader.Result.Bytes);
                face.SetProgress(WordsPerPass - 1, i);
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

QByteArray ReadDumpPiece(TDumpReader& Reader, const TDumpPiece& Piece) {
    if (!Reader.DownloadMode)
        return ReadWord(Reader, quint64(Piece.Address), Piece.Offset);
    const qint64 inPage = Piece.Address & 0xFFFF;
    return ReadHalfBlock(Reader, int(Piece.Address >> 16), int(inPage >> 8), int(inPage & 0xFF),
                         Piece.Offset);
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
    return RunDumpInto(Port, Options, DataMode, FileName, Face, nullptr);
}

TDumpResult RunDumpInto(TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                        const QString& FileName, TDumpFace& Face,
                        const TContinuation* Continuation) {
    TDumpResult result;
    const TDumpOptions options = EffectiveDumpOptions(Options);
    TDumpFile file(FileName);
    TManifestKeeper manifest(FileName);
    // A new run starts its file and its manifest before it says a word to
    // the handbox; a continued one touches neither until it knows the file
    // is this handbox's (ContinueReading).
    if (!Continuation) {
        QString error;
        if (!file.Create() || !manifest.Begin(Port, options, DataMode, error)) {
            result.Outcome = TDumpOutcome::FileError;
            result.Error = error.isEmpty() ? file.Reason() : error;
            return result;
        }
    }
    const TLinkHold hold(Port);
    TDumpReader reader(Port, Face, result, options.Verify);
    reader.PieceCounted = [&] {
        manifest.Update(result);
    };
    const TStartReading start = [&](TDumpReader& Reader) {
        if (Continuation)
            ContinueReading(Reader, file, manifest, *Continuation);
    };
    {
        const BusyCursorScope busy;
        try {
            if (DataMode == 1)
                DownloadPath(reader, options, file, start);
            else
                PeekPath(reader, options, file, start);
        } catch (const TRunStopped&) {
        } catch (const TNotThisDump& differs) {
            result.Outcome = TDumpOutcome::NotThisDump;
            result.Error = differs.Reason;
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
    // A continued run refused before it began leaves the manifest alone.
    if (const QString error = manifest.End(result); !error.isEmpty()) {
        // Said as the dump's own file errors are: a dump whose manifest
        // cannot be written cannot be checked or continued.
        result.Outcome = TDumpOutcome::FileError;
        result.Error = error;
    }
    return result;
}
