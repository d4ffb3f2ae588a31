#include "link/StdDefs.h"

#include "common/StdFuncsMisc.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <array>
#include <cmath>

TLinkState LinkState;

QString HandboxStatusWord(std::uint8_t Kind) {
    switch (Kind) {
    case htUnknown:
        return QStringLiteral("Unknown type");
    case htAutostar497:
        return QStringLiteral("Autostar 495/497");
    case htAutostar497mkII:
        return QStringLiteral("Autostar 497mkII");
    case htLX200GPS:
        return QStringLiteral("LX200GPS");
    case htRCX400:
        return QStringLiteral("RCX400");
    case htGermanMount:
        return QStringLiteral("1697-CDS");
    case htAutostar497Dnld:
        return QStringLiteral("AS 497 Dnld");
    case htMkIIDnld:
        return QStringLiteral("A 497mkII Dnld");
    default: // none, and the LX2001 in download mode, which has no word of its own
        return QStringLiteral("???");
    }
}

void TLinkState::ForgetHandbox() {
    ScopeFound = false;
    HandboxKind = htNone;
    ProductName.clear();
    BaudClass = bcNone;
    PeekOK = false;
    PokeOK = false;
}

void TLinkState::ForgetFoundHandbox() {
    ForgetHandbox();
    FirmwareDate = 0;
}

void ResetLinkState() {
    LinkState.ForgetHandbox();
    LinkState.SelectingPort = false;
    LinkState.CurrentBaud = 9600;
    LinkState.PortOpen = false;
    LinkState.ExtPeekOK = false;
    LinkState.ExtPokeOK = false;
    LinkState.InDownloadMode = false;
    LinkState.Parked = false;
    LinkState.NoAutoDetect = true;
}

// ---- Formats ----------------------------------------------------------------------

namespace {

// Qt's date pattern ("d/M/yy", "dd.MM.yyyy") as a D/M/Y short date format.
QString ToShortDateFormat(const QString& qtPattern) {
    QString format;
    for (QChar c : qtPattern) {
        if (c == QLatin1Char('d'))
            format += QLatin1Char('D');
        else if (c == QLatin1Char('y'))
            format += QLatin1Char('Y');
        else
            format += c;
    }
    return format;
}

// The first character of a date pattern that is not a field letter.
QChar SeparatorOf(const QString& pattern) {
    for (QChar c : pattern)
        if (!c.isLetter())
            return c;
    return QLatin1Char('/');
}

QString WithoutTimeZone(QString pattern) {
    pattern.remove(QLatin1Char('t'));
    return pattern.trimmed();
}

TFormatSettings SystemFormats() {
    const QLocale system; // the user's locale (the system's unless set otherwise)
    const QString datePattern = system.dateFormat(QLocale::ShortFormat);
    return {system.groupSeparator().isEmpty() ? QChar(QLatin1Char(','))
                                              : system.groupSeparator().at(0),
            system.decimalPoint().isEmpty() ? QChar(QLatin1Char('.')) : system.decimalPoint().at(0),
            SeparatorOf(datePattern), ToShortDateFormat(datePattern),
            WithoutTimeZone(system.timeFormat(QLocale::LongFormat))};
}

const QDate DateEpoch(1899, 12, 30);

// The short date format as a Qt pattern; "/" stands for the date separator.
QString QtDatePattern() {
    QString pattern;
    for (QChar c : FormatSettings.ShortDateFormat) {
        const QChar u = c.toUpper();
        if (u == QLatin1Char('D'))
            pattern += QLatin1Char('d');
        else if (u == QLatin1Char('M'))
            pattern += QLatin1Char('M');
        else if (u == QLatin1Char('Y'))
            pattern += QLatin1Char('y');
        else if (c == QLatin1Char('/'))
            pattern += QLatin1Char('\'') + FormatSettings.DateSeparator + QLatin1Char('\'');
        else
            pattern += QLatin1Char('\'') + c + QLatin1Char('\'');
    }
    return pattern;
}

[[noreturn]] void NotADate(const QString& text) {
    throw EConvertError(QStringLiteral("'%1' is not a valid date").arg(text).toStdString());
}

} // namespace

QDate ToQDate(TDateTime value) {
    return DateEpoch.addDays(static_cast<qint64>(value));
}

TFormatSettings FormatSettings = SystemFormats();

void SetFixedFormats() {
    FormatSettings.ThousandSeparator = QLatin1Char(',');
    FormatSettings.DecimalSeparator = QLatin1Char('.');
    FormatSettings.DateSeparator = QLatin1Char('/');
    FormatSettings.ShortDateFormat = FixedShortDateFormat;
}

void LoadSystemFormats() {
    FormatSettings = SystemFormats();
}

void EnsureFixedDateFormat() {
    // The separator goes back with the format: every date literal of the
    // program is written with "/", and would not convert under another one.
    if (FormatSettings.ShortDateFormat != FixedShortDateFormat ||
        FormatSettings.DateSeparator != QLatin1Char('/')) {
        FormatSettings.ShortDateFormat = FixedShortDateFormat;
        FormatSettings.DateSeparator = QLatin1Char('/');
    }
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    const QDate date(Year, Month, Day);
    if (!date.isValid())
        NotADate(QStringLiteral("%1/%2/%3").arg(Day).arg(Month).arg(Year));
    return static_cast<TDateTime>(DateEpoch.daysTo(date));
}

TDateTime StrToDate(const QString& Text) {
    EnsureFixedDateFormat();
    const QStringList parts = Text.trimmed().split(FormatSettings.DateSeparator);
    if (parts.size() != 3)
        NotADate(Text);

    // The fields come in the order their letters first appear in the format.
    std::array<int, 3> order{};
    int found = 0;
    for (QChar c : FormatSettings.ShortDateFormat.toUpper()) {
        const int field = c == QLatin1Char('D')   ? 0
                          : c == QLatin1Char('M') ? 1
                          : c == QLatin1Char('Y') ? 2
                                                  : -1;
        if (field < 0)
            continue;
        bool seen = false;
        for (int i = 0; i < found; ++i)
            seen = seen || order[i] == field;
        if (!seen && found < 3)
            order[found++] = field;
    }
    if (found != 3)
        NotADate(Text);

    std::array<int, 3> value{}; // day, month, year
    for (int i = 0; i < 3; ++i) {
        const QString part = parts[i].trimmed();
        bool ok = !part.isEmpty() && part.size() <= 4;
        for (QChar c : part)
            ok = ok && c.isDigit();
        if (!ok)
            NotADate(Text);
        value[order[i]] = part.toInt();
        if (order[i] == 2 && part.size() <= 2)
            value[2] += value[2] < 50 ? 2000 : 1900;
    }
    const QDate date(value[2], value[1], value[0]);
    if (!date.isValid())
        NotADate(Text);
    return static_cast<TDateTime>(DateEpoch.daysTo(date));
}

QString DateToStr(TDateTime Date) {
    return ToQDate(Date).toString(QtDatePattern());
}

QString DateTimeToStr(TDateTime DateTime) {
    const QDate date = ToQDate(DateTime);
    const double fraction = DateTime - std::trunc(DateTime);
    QString text = date.toString(QtDatePattern());
    if (fraction > 0) {
        const QTime time =
            QTime(0, 0).addMSecs(static_cast<int>(std::lround(fraction * 86400000.0)));
        text += QLatin1Char(' ') + time.toString(FormatSettings.LongTimeFormat);
    }
    return text;
}
