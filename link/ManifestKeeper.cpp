// A run's manifest: begun before the run's first question to the handbox,
// brought up to date when a piece is zero-filled or left unverified, and
// ended with the run's summary.

#include "link/DumpRead.h"

#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"
#include "serial/ApdComPort.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// What a manifest written before the end says of the run.
const QString NotEnded = QStringLiteral("Dump started, not ended");

} // namespace

TManifestKeeper::TManifestKeeper(const QString& FileName)
    : file_(FileName) {}

bool TManifestKeeper::Begin(const TApdComPort& Port, const TDumpOptions& Options, int DataMode,
                            QString& Error) {
    // Known only once the file is there: a device or a pipe gets none.
    kept_ = QFileInfo(file_).isFile();
    if (!kept_)
        return true;
    TDumpManifest& m = manifest_;
    m.Tool = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    m.Version = QStringLiteral(HEXVAC_VERSION);
    m.Kind = LinkState.HandboxKind;
    m.KindName = HandboxStatusWord(LinkState.HandboxKind);
    m.ProductName = LinkState.ProductName;
    m.FirmwareDate = FirmwareDateOfLink();
    m.BaudClass = LinkState.BaudClass;
    m.Port = QStringLiteral("COM%1").arg(Port.ComNumber());
    m.LineRate = Port.Baud();
    m.DataMode = DataMode == 1 ? 1 : 2;
    m.Options = Options;
    m.PieceBytes = DataMode == 1 ? 128 : 2;
    m.ExpectedBytes = DumpBytes(Options, LinkState.HandboxKind, DataMode);
    m.Start = QDateTime::currentDateTimeUtc();
    m.Outcome = TDumpOutcome::Incomplete;
    m.Summary = NotEnded;
    started_ = true;
    Error = Write();
    return Error.isEmpty();
}

void TManifestKeeper::Continue(const TDumpManifest& Previous, const TApdComPort& Port,
                               qint64 Keep) {
    kept_ = true;
    manifest_ = Previous;
    manifest_.Resumes << TDumpResume{QDateTime::currentDateTimeUtc(), Keep,
                                     QStringLiteral("COM%1").arg(Port.ComNumber()), Port.Baud()};
    manifest_.Ended = false;
    manifest_.End = {};
    manifest_.Outcome = TDumpOutcome::Incomplete;
    manifest_.Summary = NotEnded;
    started_ = true;
    if (const QString error = Write(); !error.isEmpty())
        throw TFileFailure{error};
}

void TManifestKeeper::Take(const TDumpResult& Result) {
    manifest_.ReadAgain = Result.ReadAgain;
    manifest_.ZeroFilled = Result.ZeroFilledPieces;
    manifest_.Unverified = Result.UnverifiedPieces;
}

void TManifestKeeper::Update(const TDumpResult& Result) {
    if (!started_ || !kept_)
        return;
    Take(Result);
    if (const QString error = Write(); !error.isEmpty())
        throw TFileFailure{error};
}

QString TManifestKeeper::End(const TDumpResult& Result) {
    if (!started_ || !kept_)
        return {};
    Take(Result);
    manifest_.Outcome = Result.Outcome;
    manifest_.Summary = DumpResultText(Result);
    manifest_.End = QDateTime::currentDateTimeUtc();
    manifest_.Ended = true;
    return Write();
}

QString TManifestKeeper::Write() {
    QString error;
    if (!WriteDumpManifest(file_, manifest_, error))
        return error;
    return {};
}
