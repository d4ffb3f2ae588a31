#include "link/Replies.h"

#include "common/HexDigit.h"
#include "common/StdFuncsMisc.h"

#include <QStringList>
#include <array>

namespace {

constexpr int MaxPeekDigits = 600;
// A normal-form reply is the word as a signed 16-bit number; anything
// outside what 16 bits can say is not a word the handbox sent.
constexpr qint64 LowestWordReply = -32768;
constexpr qint64 HighestWordReply = 65535;

// Mode letters only a handbox gives: G German mount, A Alt/Az, L land,
// P polar, D download mode, I parked.
const QString HandboxLetters = QStringLiteral("GALPDI");

constexpr std::array<std::pair<quint8, DownloadModel>, 5> DownloadCodes = {{
    {7, {"Autostar 494", htUnknown}},
    {10, {"Autostar 495", htAutostar497Dnld}},
    {14, {"LX2001", htLX2001Dnld}},
    {15, {"Autostar 497", htAutostar497Dnld}},
    {31, {"MarkII 497", htMkIIDnld}},
}};

bool AllHexDigits(const QByteArray& Text) {
    if (Text.isEmpty())
        return false;
    for (char c : Text)
        if (HexDigitValue(c) < 0)
            return false;
    return true;
}

[[noreturn]] void NotAPeekReply(const QByteArray& Reply) {
    throw EConvertError(QStringLiteral("'%1' is not a valid peek reply")
                            .arg(QString::fromLatin1(Reply))
                            .toStdString());
}

} // namespace

QString PeekWordOfReply(const QByteArray& Reply) {
    if (Reply.startsWith('x')) {
        const QByteArray digits = Reply.mid(1, MaxPeekDigits);
        if (!AllHexDigits(digits))
            NotAPeekReply(Reply);
        return QString::fromLatin1(digits);
    }
    // The firmware answers the word 8000 hex as minus zero.
    if (Reply == "-0")
        return QStringLiteral("8000");
    bool ok = false;
    const qint64 value = Reply.toLongLong(&ok);
    if (!ok || value < LowestWordReply || value > HighestWordReply)
        NotAPeekReply(Reply);
    return FormatHex(4, value);
}

int HighByteOfWord(const QString& Word) {
    const QByteArray high = Word.left(2).toLatin1();
    if (high.size() != 2 || !AllHexDigits(high))
        throw EConvertError(
            QStringLiteral("'%1' is not a valid peek word").arg(Word).toStdString());
    return high.toInt(nullptr, 16);
}

bool IsPlainText(const QByteArray& Reply) {
    if (Reply.isEmpty())
        return false;
    for (char c : Reply)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

std::uint8_t KindOfProduct(const QByteArray& Product) {
    if (Product.isEmpty())
        return htUnknown;
    if (Product.startsWith("Auto"))
        return htAutostar497;
    if (Product == "LX2001")
        return htLX200GPS;
    if (Product == "RCX400")
        return htRCX400;
    return htUnknown;
}

std::optional<DownloadModel> DownloadModelOfReply(const QByteArray& Reply) {
    if (Reply.isEmpty())
        return std::nullopt;
    for (const auto& [code, model] : DownloadCodes)
        if (quint8(Reply.front()) == code)
            return model;
    return std::nullopt;
}

QString DayMonthYear(const QString& Text) {
    static const QStringList months = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int month = static_cast<int>(months.indexOf(Text.left(3).toUpper()));
    if (month < 0)
        return {};
    return Text.mid(4, 2) + QStringLiteral("/%1/").arg(month + 1, 2, 10, QLatin1Char('0')) +
           Text.mid(7, 4);
}

TDateTime FirmwareDateOfReply(const QString& Text) {
    return StrToDate(DayMonthYear(Text));
}

bool SaysParked(const QByteArray& Reply) {
    return Reply.toUpper().contains("PARK");
}

QString DescribeModeReply(const QByteArray& Reply) {
    if (Reply.isEmpty())
        return {};
    switch (Reply.front()) {
    case 'A':
        return QStringLiteral("Alt/AZ");
    case 'D':
        return QStringLiteral("Download Mode");
    case 'G':
        return QStringLiteral("GEM 1697-CDC");
    case 'L':
        return QStringLiteral("Land/Terrestrial");
    case 'P':
        return QStringLiteral("Polar");
    default:
        return QString::fromLatin1(Reply);
    }
}

QChar ModeLetterOf(const QString& Mode, bool Parked) {
    const QChar letter = AnswerLetterOf(Mode, Parked);
    return IsHandboxLetter(letter) ? letter : QLatin1Char(' ');
}

QChar AnswerLetterOf(const QString& Mode, bool Parked) {
    if (Parked)
        return QLatin1Char('I');
    // Some firmware puts "?" before its letter.
    if (Mode.size() > 1 && Mode.front() == QLatin1Char('?'))
        return Mode.at(1);
    return Mode.isEmpty() ? QLatin1Char(' ') : Mode.front();
}

bool IsHandboxLetter(QChar Letter) {
    return Letter != QLatin1Char(' ') && HandboxLetters.contains(Letter);
}

bool BaudChangeAccepted(const QByteArray& Reply) {
    return Reply == "1";
}
