// Fuzzes the hex and bit codecs of common/Codecs.cpp. The input is used as
// text (a reply or a template that may hold any byte), as the bytes of a
// round trip, and, through its first bytes, as the numbers formatted.
//
// Each check is a property the codecs promise to their callers: the parsers
// either throw EConvertError or return exactly what the text names, and what
// the formatters write parses back to the value they were given.

#include "common/StdFuncsMisc.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Require(bool Holds, const char* What) {
    if (!Holds) {
        std::fprintf(stderr, "fuzz_codecs: property violated: %s\n", What);
        std::abort();
    }
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsUpperHexText(const QString& Text) {
    for (QChar c : Text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    return true;
}

// The input's first eight bytes as a big-endian number (missing bytes are 0).
qint64 ValueOf(const QByteArray& Data) {
    quint64 value = 0;
    for (int k = 0; k < 8; ++k)
        value = (value << 8) | static_cast<quint8>(k < Data.size() ? Data[k] : 0);
    return static_cast<qint64>(value);
}

// Every "[" followed two places later by "]" is a group: good when the two
// characters between are hex digits. No scan order is assumed here: good
// groups cannot overlap (a "[" is no hex digit), so each one is replaced.
void CheckDecodeHexEscapes(const QByteArray& Text) {
    qsizetype good = 0;
    qsizetype bad = 0;
    for (qsizetype j = 0; j + 3 < Text.size(); ++j) {
        if (Text[j] != '[' || Text[j + 3] != ']')
            continue;
        if (IsHexDigit(Text[j + 1]) && IsHexDigit(Text[j + 2]))
            ++good;
        else
            ++bad;
    }
    QByteArray decoded;
    bool threw = false;
    try {
        decoded = DecodeHexEscapes(Text);
    } catch (const EConvertError&) {
        threw = true;
    }
    Require(threw == (bad > 0), "DecodeHexEscapes throws exactly for a group that is not hex");
    if (threw)
        return;
    Require(decoded.size() <= Text.size(), "DecodeHexEscapes never grows its input");
    Require(decoded.size() == Text.size() - 3 * good,
            "DecodeHexEscapes replaces every hex group by one byte and nothing else");
    if (!Text.contains('['))
        Require(decoded == Text, "DecodeHexEscapes copies a text without groups unchanged");
}

// Any bytes, written with every "[" and some other bytes as "[hh]" groups,
// decode back to themselves.
void CheckEscapeRoundTrip(const QByteArray& Data, quint8 Flags) {
    QByteArray text;
    for (qsizetype k = 0; k < Data.size(); ++k) {
        const char c = Data[k];
        const bool escape = c == '[' || ((static_cast<quint8>(c) ^ k ^ Flags) & 1) != 0;
        if (!escape) {
            text += c;
            continue;
        }
        QByteArray hex = ByteToHex(static_cast<quint8>(c), 2).toLatin1();
        if (Flags & 2)
            hex = hex.toLower();
        text += '[' + hex + ']';
    }
    QByteArray decoded;
    try {
        decoded = DecodeHexEscapes(text);
    } catch (const EConvertError&) {
        Require(false, "DecodeHexEscapes accepts groups that ByteToHex wrote");
    }
    Require(decoded == Data, "DecodeHexEscapes gives back the escaped bytes");
}

// HexToBytes of any text: it throws, or each byte is the pair it came from.
void CheckHexToBytes(const QByteArray& Data) {
    const QString text = QString::fromLatin1(Data);
    const qsizetype pairs = Data.size() / 2;
    for (bool stopAtZero : {false, true}) {
        // Pairs before the first "00" (with StopAtZero), or all of them.
        qsizetype used = pairs;
        if (stopAtZero)
            for (qsizetype k = 0; k < pairs; ++k)
                if (Data[2 * k] == '0' && Data[2 * k + 1] == '0') {
                    used = k;
                    break;
                }
        bool allHex = true;
        for (qsizetype k = 0; k < 2 * used; ++k)
            allHex = allHex && IsHexDigit(Data[k]);

        QByteArray bytes;
        bool threw = false;
        try {
            bytes = HexToBytes(text, stopAtZero);
        } catch (const EConvertError&) {
            threw = true;
        }
        Require(threw == !allHex, "HexToBytes throws exactly for a pair that is not hex");
        if (threw)
            continue;
        Require(bytes.size() == used, "HexToBytes gives one byte per pair");
        for (qsizetype k = 0; k < used; ++k)
            Require(ByteToHex(static_cast<quint8>(bytes[k]), 2) ==
                        QString::fromLatin1(Data.mid(2 * k, 2)).toUpper(),
                    "HexToBytes gives the byte each pair names");
    }

    // Characters outside Latin-1 are never taken for hex digits.
    const QString wide = QString::fromUtf8(Data);
    try {
        const QByteArray bytes = HexToBytes(wide, false);
        Require(bytes.size() == wide.size() / 2, "HexToBytes gives one byte per pair");
        for (qsizetype k = 0; k < 2 * bytes.size(); ++k)
            Require(wide[k].unicode() < 0x80 && IsHexDigit(static_cast<char>(wide[k].unicode())),
                    "HexToBytes accepts hex digits only");
    } catch (const EConvertError&) {
    }
}

// Bytes written with ByteToHex read back with HexToBytes.
void CheckHexRoundTrip(const QByteArray& Data, quint8 Flags) {
    QString text;
    for (char c : Data)
        text += ByteToHex(static_cast<quint8>(c), 2);
    Require(text.size() == 2 * Data.size(), "ByteToHex(x, 2) writes two digits");
    if (Flags & 4)
        text = text.toLower();
    if (Flags & 8)
        text += QLatin1Char('F'); // a last unpaired digit is ignored
    try {
        Require(HexToBytes(text, false) == Data, "HexToBytes(ByteToHex) gives the bytes back");
        const qsizetype zero = Data.indexOf('\0');
        Require(HexToBytes(text, true) == (zero < 0 ? Data : Data.left(zero)),
                "HexToBytes with StopAtZero ends at the first zero byte");
    } catch (const EConvertError&) {
        Require(false, "HexToBytes accepts what ByteToHex wrote");
    }
}

void CheckFormatHex(qint64 Value, int Width) {
    const quint64 bits = static_cast<quint64>(Value);
    const QString hex = FormatHex(Width, Value);
    Require(IsUpperHexText(hex), "FormatHex writes upper-case hex digits only");
    Require(ByteToHex(Value, Width) == FormatHex(Width, Value & 0xFF),
            "ByteToHex formats the low byte");
    bool ok = false;
    if (Width <= 0) {
        Require(hex.size() >= 2 && hex.size() <= 16 && hex.size() % 2 == 0,
                "FormatHex(0) writes an even number of digits, at most 16");
        Require(hex.size() == 2 || !hex.startsWith(QLatin1String("00")),
                "FormatHex(0) writes the fewest digits");
        Require(hex.toULongLong(&ok, 16) == bits && ok, "FormatHex(0) reads back as the value");
        // The same digits, as bytes: the value big-endian, without leading zero bytes.
        QByteArray expected;
        for (qsizetype k = 0; k < hex.size() / 2; ++k)
            expected.prepend(static_cast<char>(bits >> (8 * k)));
        try {
            Require(HexToBytes(hex, false) == expected, "HexToBytes(FormatHex(0)) gives the bytes");
        } catch (const EConvertError&) {
            Require(false, "HexToBytes accepts what FormatHex wrote");
        }
        return;
    }
    Require(hex.size() == Width, "FormatHex writes exactly Width digits");
    const qsizetype kept = qMin<qsizetype>(Width, 16);
    for (qsizetype k = 0; k < Width - kept; ++k)
        Require(hex[k] == QLatin1Char('0'), "FormatHex fills on the left with zeros");
    const quint64 mask = kept == 16 ? ~quint64(0) : (quint64(1) << (4 * kept)) - 1;
    Require(hex.right(kept).toULongLong(&ok, 16) == (bits & mask) && ok,
            "FormatHex keeps the value's low digits");
}

void CheckBits(const QByteArray& Data, qint64 Value, int ByteCount) {
    for (qsizetype k = 0; k < qMin<qsizetype>(Data.size(), 16); ++k) {
        const quint8 byte = static_cast<quint8>(Data[k]);
        const QString bits = ByteToBits(byte);
        bool ok = false;
        Require(bits.size() == 8 && bits.toUInt(&ok, 2) == byte && ok,
                "ByteToBits writes the byte's eight bits");
    }
    const QString bits = IntToBits(Value, ByteCount);
    Require(bits.size() == qsizetype(8) * ByteCount, "IntToBits writes eight bits per byte");
    const qsizetype kept = qMin<qsizetype>(bits.size(), 64);
    for (qsizetype k = 0; k < bits.size() - kept; ++k)
        Require(bits[k] == QLatin1Char('0'), "IntToBits fills on the left with zeros");
    const quint64 mask = kept == 64 ? ~quint64(0) : (quint64(1) << kept) - 1;
    bool ok = false;
    Require(bits.right(kept).toULongLong(&ok, 2) == (static_cast<quint64>(Value) & mask) && ok,
            "IntToBits writes the value's low bytes, most significant first");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QByteArray data(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    const quint8 flags = Size > 0 ? Data[Size - 1] : 0;
    const qint64 value = ValueOf(data);

    CheckDecodeHexEscapes(data);
    CheckEscapeRoundTrip(data, flags);
    CheckHexToBytes(data);
    CheckHexRoundTrip(data, flags);
    // Widths from -3 to 36: zero and below, the usual 2 to 8, and past the 16
    // digits a 64-bit value has.
    CheckFormatHex(value, static_cast<int>(flags % 40) - 3);
    // 1 to 16 bytes: the bit rows of the port report, and wider than a value.
    CheckBits(data, value, 1 + (flags >> 4));
    return 0;
}
