// Continuing an interrupted dump: is it this handbox's, where does it go
// on, and does the file still hold this handbox's memory?

#include "link/DumpResume.h"

#include "common/StdFuncsMisc.h"
#include "link/DumpRead.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/CommLog.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

namespace {

// A continued dump keeps whole blocks of its file, and compares the last of
// them with the handbox.
constexpr qint64 Block = 256;

bool Overlaps(const TDumpPiece& Piece, qint64 At, qint64 Size) {
    return Piece.Offset < At + Size && At < Piece.Offset + Piece.Size;
}

QString SameRangeProblem(const TDumpManifest& Manifest, const TDumpOptions& Options) {
    const TDumpOptions wanted = EffectiveDumpOptions(Options);
    const TDumpOptions& read = Manifest.Options;
    if (wanted.FromPage == read.FromPage && wanted.ToPage == read.ToPage &&
        wanted.IncludeLow == read.IncludeLow && wanted.LowOnly == read.LowOnly)
        return {};
    return QStringLiteral("it holds another range: ") + ManifestDescription(Manifest);
}

// Where the file goes on, what it compares first, and which of its pieces
// are read again. False, with Error, when the file cannot be read.
bool PlanContinuation(const QString& FileName, const TDumpManifest& Manifest, TContinuation& Plan,
                      QString& Error) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Error = FileName + QStringLiteral(": ") + file.errorString();
        return false;
    }
    Plan.Previous = Manifest;
    // A block cut short by the interruption is read again.
    Plan.Keep = std::min(file.size(), Manifest.ExpectedBytes) / Block * Block;
    for (const TDumpPiece& piece : Manifest.ZeroFilled)
        if (piece.Offset + piece.Size <= Plan.Keep)
            Plan.ReadAgain << piece;
    // The last whole block that holds the handbox's bytes, not zero fill.
    for (qint64 at = Plan.Keep - Block; at >= 0; at -= Block) {
        const bool filled =
            std::any_of(Manifest.ZeroFilled.begin(), Manifest.ZeroFilled.end(),
                        [&](const TDumpPiece& p) { return Overlaps(p, at, Block); });
        if (filled)
            continue;
        if (!file.seek(at) || (Plan.Compare = file.read(Block)).size() != Block) {
            Error = FileName + QStringLiteral(": ") + file.errorString();
            return false;
        }
        Plan.CompareAt = at;
        break;
    }
    return true;
}

// The block at Offset of the file, as the handbox's memory holds it now;
// throws TRunLost when it does not come whole.
QByteArray ReadBlockAgain(TDumpReader& Reader, const TDumpManifest& Manifest, qint64 Offset) {
    TDumpResult counted; // these reads are the check's, not the dump's
    TDumpReader check(Reader.Port, Reader.Face, counted, false);
    check.DownloadMode = Reader.DownloadMode;
    const int size = Manifest.PieceBytes;
    QByteArray bytes;
    for (qint64 at = Offset; at < Offset + Block; at += size) {
        const qint64 address =
            DumpAddressAt(Manifest.Options, Manifest.Kind, Manifest.DataMode, at);
        bytes += ReadDumpPiece(check, TDumpPiece{at, address, size});
    }
    if (counted.ShortBlocks > 0)
        throw TRunLost{QStringLiteral("the handbox did not answer the block at %1, which is "
                                      "compared with the file before going on")
                           .arg(FormatHex(0, counted.ZeroFilledPieces.first().Address))};
    return bytes;
}

} // namespace

QString OtherHandboxReason(const TDumpManifest& Manifest) {
    QStringList differs;
    if (LinkState.HandboxKind != Manifest.Kind)
        differs << QStringLiteral("it was read from a %1, this is a %2")
                       .arg(Manifest.KindName, HandboxStatusWord(LinkState.HandboxKind));
    if (LinkState.ProductName != Manifest.ProductName)
        differs << QStringLiteral("its handbox named itself \"%1\", this one \"%2\"")
                       .arg(Manifest.ProductName, LinkState.ProductName);
    const QDate date = FirmwareDateOfLink();
    if (date != Manifest.FirmwareDate)
        differs << QStringLiteral("its firmware is of %1, this one's of %2")
                       .arg(Manifest.FirmwareDate.isValid()
                                ? Manifest.FirmwareDate.toString(Qt::ISODate)
                                : QStringLiteral("no date"),
                            date.isValid() ? date.toString(Qt::ISODate)
                                           : QStringLiteral("no date"));
    if (differs.isEmpty())
        return {};
    return QStringLiteral("this is not the handbox the file was read from: ") +
           differs.join(QStringLiteral("; "));
}

std::optional<TDumpManifest> ResumableDump(const QString& FileName, const TDumpOptions& Options,
                                           QString* Why) {
    TDumpManifest manifest;
    QString problem;
    if (!ReadDumpManifest(FileName, manifest, problem)) {
    } else if (manifest.Outcome != TDumpOutcome::Incomplete &&
               manifest.Outcome != TDumpOutcome::Cancelled) {
        problem = QStringLiteral("the dump ended \"%1\"").arg(OutcomeWord(manifest.Outcome));
    } else if (!QFileInfo(FileName).isFile()) {
        problem = FileName + QStringLiteral(": no such file beside its manifest");
    } else if (problem = OtherHandboxReason(manifest); problem.isEmpty()) {
        problem = SameRangeProblem(manifest, Options);
    }
    if (Why)
        *Why = problem;
    if (!problem.isEmpty())
        return std::nullopt;
    return manifest;
}

TDumpResult ResumeDump(TApdComPort& Port, const QString& FileName, TDumpFace& Face) {
    TDumpResult refused;
    TDumpManifest manifest;
    QString problem;
    if (!ReadDumpManifest(FileName, manifest, problem)) {
        refused.Outcome = TDumpOutcome::Failed;
    } else if (manifest.Outcome == TDumpOutcome::Complete && manifest.Ended) {
        refused.Outcome = TDumpOutcome::Failed;
        problem = QStringLiteral("the dump is complete: there is nothing to continue");
    } else if (problem = OtherHandboxReason(manifest); !problem.isEmpty()) {
        refused.Outcome = TDumpOutcome::OtherHandbox;
    }
    if (!problem.isEmpty()) {
        refused.Error = problem;
        return refused;
    }
    RefreshLog(Port);
    QueryMode(Port);
    if (manifest.DataMode != 1 && (LinkState.InDownloadMode || !LinkState.PeekOK)) {
        refused.Outcome = TDumpOutcome::Failed;
        refused.Error = QStringLiteral("the dump was read by peeks, and this handbox ") +
                        (LinkState.InDownloadMode ? QStringLiteral("is in download mode")
                                                  : QStringLiteral("does not answer peeks"));
        return refused;
    }
    TContinuation plan;
    if (!PlanContinuation(FileName, manifest, plan, problem)) {
        refused.Outcome = TDumpOutcome::FileError;
        refused.Error = problem;
        return refused;
    }
    return RunDumpInto(Port, manifest.Options, manifest.DataMode, FileName, Face, &plan);
}

void ContinueReading(TDumpReader& Reader, TDumpFile& File, TManifestKeeper& Keeper,
                     const TContinuation& Continuation) {
    const TDumpManifest& previous = Continuation.Previous;
    if (!Continuation.Compare.isEmpty()) {
        const QByteArray again = ReadBlockAgain(Reader, previous, Continuation.CompareAt);
        // Read twice before the file is called another's: one reply mangled
        // on the line must not turn a good file away.
        if (again != Continuation.Compare &&
            ReadBlockAgain(Reader, previous, Continuation.CompareAt) != Continuation.Compare)
            throw TNotThisDump{
                QStringLiteral("the file's block at offset %1 differs from the handbox's memory "
                               "at %2: the file does not hold this handbox's memory")
                    .arg(Continuation.CompareAt)
                    .arg(FormatHex(0, DumpAddressAt(previous.Options, previous.Kind,
                                                    previous.DataMode, Continuation.CompareAt)))};
    }
    if (!File.OpenToContinue(Continuation.Keep))
        throw TFileFailure{File.Reason()};
    // The result reads as if the dump had run in one go: the bytes kept,
    // the pieces read again and left unverified before.
    TDumpResult& result = Reader.Result;
    result.Bytes = result.ResumedFrom = Reader.KeepTo = Continuation.Keep;
    result.ReadAgain = previous.ReadAgain;
    for (const TDumpPiece& piece : previous.Unverified)
        if (piece.Offset + piece.Size <= Continuation.Keep)
            CountPiece(result.Unverified, result.UnverifiedAt, result.UnverifiedPieces, piece);
    Keeper.Continue(previous, Reader.Port, Continuation.Keep);
    Reader.Face.BytesWritten(result.Bytes);
    for (const TDumpPiece& piece : Continuation.ReadAgain) {
        Reader.Port.Log.AddStringToLog(QStringLiteral("Zero-filled before, read again at ") +
                                       FormatHex(0, piece.Address));
        File.WriteAt(piece.Offset, ReadDumpPiece(Reader, piece));
    }
    Keeper.Update(result);
}
