// The manifest beside a dump file, as JSON, and the check of a file
// against it.

#include "link/DumpManifest.h"

#include "common/StdFuncsMisc.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

// What the first key says, so that no other JSON file is taken for a manifest.
const QString FormatName = QStringLiteral("hexvac dump manifest 1");
const QString Download = QStringLiteral("download");
const QString Peek = QStringLiteral("peek");

QString HexText(qint64 Value, int Width = 0) {
    return FormatHex(Width, Value);
}

// A hex text of the manifest, or -1 when it is none.
qint64 HexValue(const QJsonValue& Value) {
    bool ok = false;
    const qint64 number = Value.toString().toLongLong(&ok, 16);
    return ok && number >= 0 ? number : -1;
}

QJsonValue TimeValue(const QDateTime& Time) {
    return Time.isValid() ? QJsonValue(Time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QDateTime TimeOf(const QJsonValue& Value) {
    return QDateTime::fromString(Value.toString(), Qt::ISODate);
}

QJsonArray PiecesValue(const QList<TDumpPiece>& Pieces) {
    QJsonArray array;
    for (const TDumpPiece& piece : Pieces)
        array.append(QJsonObject{{QStringLiteral("address"), HexText(piece.Address)},
                                 {QStringLiteral("offset"), piece.Offset},
                                 {QStringLiteral("bytes"), piece.Size}});
    return array;
}

bool PiecesOf(const QJsonValue& Value, QList<TDumpPiece>& Pieces) {
    for (const auto& item : Value.toArray()) {
        const QJsonObject o = item.toObject();
        TDumpPiece piece;
        piece.Address = HexValue(o.value(QStringLiteral("address")));
        piece.Offset = o.value(QStringLiteral("offset")).toInteger(-1);
        piece.Size = o.value(QStringLiteral("bytes")).toInt(0);
        if (piece.Address < 0 || piece.Offset < 0 || piece.Size <= 0)
            return false;
        Pieces << piece;
    }
    return true;
}

const struct {
    TDumpOutcome Outcome;
    const char* Word;
} OutcomeWords[] = {
    {TDumpOutcome::Complete, "complete"},     {TDumpOutcome::Cancelled, "cancelled"},
    {TDumpOutcome::Incomplete, "incomplete"}, {TDumpOutcome::PortLost, "lost"},
    {TDumpOutcome::FileError, "file error"},
};

QJsonObject ToJson(const TDumpManifest& M) {
    QJsonArray resumes;
    for (const TDumpResume& r : M.Resumes)
        resumes.append(QJsonObject{{QStringLiteral("start"), TimeValue(r.Start)},
                                   {QStringLiteral("fromByte"), r.FromByte},
                                   {QStringLiteral("port"), r.Port},
                                   {QStringLiteral("lineRate"), r.LineRate}});
    const QJsonObject handbox{
        {QStringLiteral("kind"), M.Kind},
        {QStringLiteral("kindName"), M.KindName},
        {QStringLiteral("productName"), M.ProductName},
        {QStringLiteral("firmwareDate"), M.FirmwareDate.isValid()
                                             ? QJsonValue(M.FirmwareDate.toString(Qt::ISODate))
                                             : QJsonValue()},
        {QStringLiteral("baudClass"), M.BaudClass}};
    return QJsonObject{
        {QStringLiteral("format"), FormatName},
        {QStringLiteral("tool"), M.Tool},
        {QStringLiteral("version"), M.Version},
        {QStringLiteral("handbox"), handbox},
        {QStringLiteral("port"), M.Port},
        {QStringLiteral("lineRate"), M.LineRate},
        {QStringLiteral("mode"), M.DataMode == 1 ? Download : Peek},
        {QStringLiteral("fromPage"), HexText(M.Options.FromPage, 2)},
        {QStringLiteral("toPage"), HexText(M.Options.ToPage, 2)},
        {QStringLiteral("includeLow"), M.Options.IncludeLow},
        {QStringLiteral("lowOnly"), M.Options.LowOnly},
        {QStringLiteral("verify"), M.Options.Verify},
        {QStringLiteral("start"), TimeValue(M.Start)},
        {QStringLiteral("end"), M.Ended ? TimeValue(M.End) : QJsonValue()},
        {QStringLiteral("outcome"), OutcomeWord(M.Outcome)},
        {QStringLiteral("summary"), M.Summary},
        {QStringLiteral("bytes"), M.Bytes},
        {QStringLiteral("expectedBytes"), M.ExpectedBytes},
        {QStringLiteral("pieceBytes"), M.PieceBytes},
        {QStringLiteral("readAgain"), M.ReadAgain},
        {QStringLiteral("zeroFilled"), PiecesValue(M.ZeroFilled)},
        {QStringLiteral("unverified"), PiecesValue(M.Unverified)},
        {QStringLiteral("resumes"), resumes},
        {QStringLiteral("sha256"), QString::fromLatin1(M.Sha256)},
    };
}

// Whether the range, the sizes and the pieces of a manifest fit together.
// A continued dump keeps as many bytes of the file as the manifest's size
// allows and writes a piece read again at the offset the manifest gives, so
// a manifest edited by hand, or another tool's, must not make it cut the
// file short or put a block where another belongs.
bool Consistent(const TDumpManifest& M) {
    if ((!M.Options.LowOnly && M.Options.FromPage > M.Options.ToPage) ||
        M.ExpectedBytes != DumpBytes(M.Options, M.Kind, M.DataMode) ||
        M.PieceBytes != (M.DataMode == 1 ? 128 : 2) || M.Bytes > M.ExpectedBytes)
        return false;
    const auto fits = [&](const TDumpPiece& Piece) {
        return Piece.Size == M.PieceBytes && Piece.Offset % M.PieceBytes == 0 &&
               Piece.Offset + Piece.Size <= M.ExpectedBytes &&
               Piece.Address == DumpAddressAt(M.Options, M.Kind, M.DataMode, Piece.Offset);
    };
    return std::all_of(M.ZeroFilled.begin(), M.ZeroFilled.end(), fits) &&
           std::all_of(M.Unverified.begin(), M.Unverified.end(), fits);
}

// False when the JSON is not a dump's manifest.
bool FromJson(const QJsonObject& o, TDumpManifest& M) {
    if (o.value(QStringLiteral("format")).toString() != FormatName)
        return false;
    M.Tool = o.value(QStringLiteral("tool")).toString();
    M.Version = o.value(QStringLiteral("version")).toString();
    const QJsonObject handbox = o.value(QStringLiteral("handbox")).toObject();
    const int kind = handbox.value(QStringLiteral("kind")).toInt(-1);
    M.Kind = std::uint8_t(kind);
    M.KindName = handbox.value(QStringLiteral("kindName")).toString();
    M.ProductName = handbox.value(QStringLiteral("productName")).toString();
    M.FirmwareDate =
        QDate::fromString(handbox.value(QStringLiteral("firmwareDate")).toString(), Qt::ISODate);
    M.BaudClass = handbox.value(QStringLiteral("baudClass")).toInt();
    M.Port = o.value(QStringLiteral("port")).toString();
    M.LineRate = o.value(QStringLiteral("lineRate")).toInt();
    const QString mode = o.value(QStringLiteral("mode")).toString();
    M.DataMode = mode == Download ? 1 : 2;
    const qint64 from = HexValue(o.value(QStringLiteral("fromPage")));
    const qint64 to = HexValue(o.value(QStringLiteral("toPage")));
    M.Options.FromPage = int(from);
    M.Options.ToPage = int(to);
    M.Options.IncludeLow = o.value(QStringLiteral("includeLow")).toBool();
    M.Options.LowOnly = o.value(QStringLiteral("lowOnly")).toBool();
    M.Options.Verify = o.value(QStringLiteral("verify")).toBool();
    M.Start = TimeOf(o.value(QStringLiteral("start")));
    M.End = TimeOf(o.value(QStringLiteral("end")));
    M.Ended = M.End.isValid();
    const QString outcome = o.value(QStringLiteral("outcome")).toString();
    bool known = false;
    for (const auto& w : OutcomeWords)
        if (outcome == QLatin1String(w.Word)) {
            M.Outcome = w.Outcome;
            known = true;
        }
    M.Summary = o.value(QStringLiteral("summary")).toString();
    M.Bytes = o.value(QStringLiteral("bytes")).toInteger(-1);
    M.ExpectedBytes = o.value(QStringLiteral("expectedBytes")).toInteger(-1);
    M.PieceBytes = o.value(QStringLiteral("pieceBytes")).toInt(0);
    M.ReadAgain = o.value(QStringLiteral("readAgain")).toInt();
    M.Sha256 = o.value(QStringLiteral("sha256")).toString().toLatin1();
    for (const auto& item : o.value(QStringLiteral("resumes")).toArray()) {
        const QJsonObject r = item.toObject();
        M.Resumes << TDumpResume{TimeOf(r.value(QStringLiteral("start"))),
                                 r.value(QStringLiteral("fromByte")).toInteger(),
                                 r.value(QStringLiteral("port")).toString(),
                                 r.value(QStringLiteral("lineRate")).toInt()};
    }
    return known && kind >= 0 && kind <= 0xFF && (mode == Download || mode == Peek) && from >= 0 &&
           from <= 0x7F && to >= 0 && to <= 0x7F && M.Bytes >= 0 && M.ExpectedBytes >= 0 &&
           M.Sha256.size() == 64 && (M.PieceBytes == 2 || M.PieceBytes == 128) &&
           PiecesOf(o.value(QStringLiteral("zeroFilled")), M.ZeroFilled) &&
           PiecesOf(o.value(QStringLiteral("unverified")), M.Unverified) && Consistent(M);
}

QString PagesText(const TDumpOptions& Options) {
    if (Options.LowOnly)
        return QStringLiteral("addresses 0000-7FFF of page ") + HexText(Options.FromPage, 2);
    return QStringLiteral("pages %1 to %2%3")
        .arg(HexText(Options.FromPage, 2), HexText(Options.ToPage, 2),
             Options.IncludeLow ? QStringLiteral(" and addresses 0000-7FFF") : QString());
}

} // namespace

QString ManifestFileName(const QString& DumpFile) {
    return DumpFile + QStringLiteral(".json");
}

QString OutcomeWord(TDumpOutcome Outcome) {
    for (const auto& w : OutcomeWords)
        if (w.Outcome == Outcome)
            return QLatin1String(w.Word);
    // Not read to the end for another reason (download mode refused, an
    // error): the file holds less than the range.
    return QStringLiteral("incomplete");
}

QByteArray FileSha256(const QString& FileName, qint64& Size, QString& Error) {
    QFile file(FileName);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        Error = FileName + QStringLiteral(": ") + file.errorString();
        return {};
    }
    Size = file.size();
    return hash.result().toHex();
}

bool WriteDumpManifest(const QString& DumpFile, TDumpManifest& Manifest, QString& Error) {
    const QByteArray sha = FileSha256(DumpFile, Manifest.Bytes, Error);
    if (sha.isEmpty())
        return false;
    Manifest.Sha256 = sha;
    const QString name = ManifestFileName(DumpFile);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(ToJson(Manifest)).toJson()) < 0 || !file.commit()) {
        Error = name + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool ReadDumpManifest(const QString& DumpFile, TDumpManifest& Manifest, QString& Error) {
    const QString name = ManifestFileName(DumpFile);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        Error = name + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(1 << 20), &parse);
    Manifest = {};
    if (parse.error != QJsonParseError::NoError || !FromJson(document.object(), Manifest)) {
        Error = name + QStringLiteral(": not the manifest of a dump");
        return false;
    }
    return true;
}

QString ManifestDescription(const TDumpManifest& M) {
    QString handbox = M.KindName;
    QStringList said;
    if (!M.ProductName.isEmpty())
        said << QLatin1Char('"') + M.ProductName + QLatin1Char('"');
    if (M.FirmwareDate.isValid())
        said << QStringLiteral("firmware ") + M.FirmwareDate.toString(Qt::ISODate);
    if (!said.isEmpty())
        handbox += QStringLiteral(" (") + said.join(QStringLiteral(", ")) + QLatin1Char(')');
    QString text =
        QStringLiteral("%1 of %2 on %3 at %4 baud, %5, read by %6 %7 from %8")
            .arg(PagesText(M.Options), handbox, M.Port)
            .arg(M.LineRate)
            .arg(M.DataMode == 1 ? QStringLiteral("download mode") : QStringLiteral("peeks"),
                 M.Tool, M.Version, M.Start.toString(Qt::ISODate));
    text += M.Ended ? QStringLiteral(" to ") + M.End.toString(Qt::ISODate)
                    : QStringLiteral(", not ended");
    if (!M.Resumes.isEmpty())
        text += QStringLiteral(", continued %1 time%2")
                    .arg(M.Resumes.size())
                    .arg(M.Resumes.size() == 1 ? QString() : QStringLiteral("s"));
    text += QStringLiteral(": %1 (%2 of %3 bytes): %4")
                .arg(OutcomeWord(M.Outcome))
                .arg(M.Bytes)
                .arg(M.ExpectedBytes)
                .arg(M.Summary);
    return text;
}

TDumpCheck CheckDumpFile(const QString& DumpFile) {
    TDumpCheck check;
    TDumpManifest manifest;
    QString error;
    if (!ReadDumpManifest(DumpFile, manifest, error)) {
        check.Text = DumpFile + QStringLiteral(": cannot be checked: ") + error;
        return check;
    }
    qint64 size = 0;
    const QByteArray sha = FileSha256(DumpFile, size, error);
    if (sha.isEmpty()) {
        check.Text = DumpFile + QStringLiteral(": cannot be checked: ") + error;
        return check;
    }
    check.Read = true;
    check.Matches = size == manifest.Bytes && sha == manifest.Sha256;
    check.Text =
        check.Matches
            ? QStringLiteral("%1: the file is the one that was read (%2 bytes, SHA-256 %3)")
                  .arg(DumpFile)
                  .arg(size)
                  .arg(QString::fromLatin1(sha))
            : QStringLiteral("%1: the file is NOT the one that was read: it holds %2 bytes with "
                             "SHA-256 %3; the manifest says %4 bytes with SHA-256 %5")
                  .arg(DumpFile)
                  .arg(size)
                  .arg(QString::fromLatin1(sha))
                  .arg(manifest.Bytes)
                  .arg(QString::fromLatin1(manifest.Sha256));
    check.Text += QStringLiteral("\nmanifest: ") + ManifestDescription(manifest);
    return check;
}
