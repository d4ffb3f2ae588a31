// What a dump is called and what it says: the kinds it reads, their last
// pages, the file names offered and the sentence that ends a run.

#include "link/DumpRun.h"

#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"

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

namespace {

QString Pieces(const TDumpResult& Result, int Count) {
    return Result.PieceSize == 2
               ? QStringLiteral("%1 words of 2 bytes").arg(Count)
               : QStringLiteral("%1 blocks of %2 bytes").arg(Count).arg(Result.PieceSize);
}

QString ShortText(const TDumpResult& Result) {
    return Pieces(Result, Result.ShortBlocks) +
           QStringLiteral(" came back short, first at %1; they are filled with zero bytes")
               .arg(Result.ShortAt.join(QStringLiteral(", ")));
}

QString UnverifiedText(const TDumpResult& Result) {
    return Pieces(Result, Result.Unverified) +
           QStringLiteral(" could not be verified (no two reads agreed), first at %1")
               .arg(Result.UnverifiedAt.join(QStringLiteral(", ")));
}

// What else the user must know of the file: filled, unverified or re-read
// pieces. Empty when there is nothing.
QString Details(const TDumpResult& Result, bool WithShort) {
    QStringList parts;
    if (WithShort && Result.ShortBlocks > 0)
        parts << ShortText(Result);
    if (WithShort && Result.Unverified > 0)
        parts << UnverifiedText(Result);
    if (Result.ReadAgain > 0) {
        const bool words = Result.PieceSize == 2;
        const bool one = Result.ReadAgain == 1;
        const QString piece = words ? (one ? QStringLiteral("word") : QStringLiteral("words"))
                                    : (one ? QStringLiteral("block") : QStringLiteral("blocks"));
        parts << QStringLiteral("%1 %2 read again").arg(Result.ReadAgain).arg(piece);
    }
    return parts.join(QStringLiteral("; "));
}

QString WithDetails(const QString& Text, const TDumpResult& Result, bool WithShort = true) {
    const QString details = Details(Result, WithShort);
    return details.isEmpty() ? Text : Text + QStringLiteral("; ") + details;
}

} // namespace

QString DumpResultText(const TDumpResult& Result) {
    switch (Result.Outcome) {
    case TDumpOutcome::Complete:
        return WithDetails(QStringLiteral("Dump complete: %1 bytes").arg(Result.Bytes), Result);
    case TDumpOutcome::Cancelled:
        return WithDetails(QStringLiteral("Dump cancelled after %1 bytes").arg(Result.Bytes),
                           Result);
    case TDumpOutcome::Incomplete: {
        QStringList parts;
        if (Result.ShortBlocks > 0)
            parts << ShortText(Result);
        if (Result.Unverified > 0)
            parts << UnverifiedText(Result);
        return WithDetails(QStringLiteral("Dump incomplete: ") + parts.join(QStringLiteral("; ")),
                           Result, false);
    }
    case TDumpOutcome::NoDownloadMode:
        return QStringLiteral("Couldnt go into download mode");
    case TDumpOutcome::FileError:
        return WithDetails(QStringLiteral("Dump file error: ") + Result.Error +
                               (Result.Bytes > 0
                                    ? QStringLiteral(" after %1 bytes").arg(Result.Bytes)
                                    : QString()),
                           Result);
    case TDumpOutcome::PortLost:
        return WithDetails(
            QStringLiteral("Dump stopped: the port or the handbox went away after %1 bytes")
                    .arg(Result.Bytes) +
                (Result.Error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(Result.Error)),
            Result);
    case TDumpOutcome::OtherHandbox:
    case TDumpOutcome::NotThisDump:
        return QStringLiteral("Dump not continued: ") + Result.Error;
    case TDumpOutcome::Failed:
        break;
    }
    return WithDetails(QStringLiteral("Dump failed: ") + Result.Error, Result);
}
