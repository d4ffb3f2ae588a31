#include "common/HexDigit.h"
#include "common/StdFuncsMisc.h"

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

namespace {

// The byte named by two hex digits; anything else is a conversion error.
char PairToByte(char high, char low) {
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    if (h < 0 || l < 0)
        throw EConvertError(QStringLiteral("'%1%2' is not a valid hexadecimal byte")
                                .arg(QChar::fromLatin1(high), QChar::fromLatin1(low))
                                .toStdString());
    return static_cast<char>(h * 16 + l);
}

} // namespace

QString FormatHex(int Width, qint64 Value) {
    // Negative values are shown as their 64-bit two's complement.
    QString digits = QString::number(static_cast<quint64>(Value), 16).toUpper();
    if (Width <= 0) {
        if (digits.size() % 2 != 0)
            digits.prepend(QLatin1Char('0'));
        return digits;
    }
    if (digits.size() > Width)
        return digits.right(Width);
    return digits.rightJustified(Width, QLatin1Char('0'));
}

QString ByteToHex(qint64 Value, int Width) {
    return FormatHex(Width, Value & 0xFF);
}

QByteArray DecodeHexEscapes(const QByteArray& Text) {
    QByteArray result;
    result.reserve(Text.size());
    qsizetype i = 0;
    while (i < Text.size()) {
        if (Text[i] == '[' && i + 3 < Text.size() && Text[i + 3] == ']') {
            result.append(PairToByte(Text[i + 1], Text[i + 2]));
            i += 4;
        } else {
            result.append(Text[i]);
            ++i;
        }
    }
    return result;
}

QByteArray HexToBytes(const QString& Text, bool StopAtZero) {
    QByteArray result;
    const QByteArray latin = Text.toLatin1();
    const qsizetype pairs = latin.size() / 2;
    result.reserve(pairs);
    for (qsizetype k = 0; k < pairs; ++k) {
        const char high = latin[2 * k];
        const char low = latin[2 * k + 1];
        if (StopAtZero && high == '0' && low == '0')
            break;
        // A character outside Latin-1 became '?', which fails here as it should.
        result.append(PairToByte(high, low));
    }
    return result;
}

QString ByteToBits(quint8 Value) {
    QString bits(8, QLatin1Char('0'));
    for (int k = 7; k >= 0; --k)
        if (Value & (1u << k))
            bits[7 - k] = QLatin1Char('1');
    return bits;
}

QString IntToBits(qint64 Value, int ByteCount) {
    const QString hex = FormatHex(2 * ByteCount, Value);
    QString bits;
    bits.reserve(8 * ByteCount);
    for (qsizetype k = 0; k + 1 < hex.size(); k += 2)
        bits += ByteToBits(static_cast<quint8>(hex.mid(k, 2).toUInt(nullptr, 16)));
    return bits;
}
