// Reading and writing the handbox's memory in normal mode, a word or a byte
// at a time, and finding out which forms of the two commands it answers.

#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/StdFuncsMisc.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

#include <limits>

namespace {

// The extended forms carry the address (peek) or address x 256 + byte
// (poke) plus this.
constexpr quint64 ExtendedPeekOffset = 33554432; // 2000000 hex
// The normal poke reaches only B600-B7FF: the value sent is the full value
// less B60000 hex.
constexpr qint64 NormalPokeFirst = 0xB60000;
constexpr qint64 NormalPokeLast = 0xB7FFFF;
constexpr int PeekMs = 5000;
constexpr int ProbeMs = 500;
constexpr int PokeMs = 1000;
constexpr int MaxPeekDigits = 600;
// A normal-form reply is the word as a signed 16-bit number; anything
// outside what 16 bits can say is not a word the handbox sent.
constexpr qint64 LowestWordReply = -32768;
constexpr qint64 HighestWordReply = 65535;
// The byte the poke test writes and restores.
const QString PokeTestAddress = QStringLiteral("B611");
// Where the normal-form poke of the test byte lands on firmware that reads
// every ":EN" value in the extended form (address x 256 + byte): the value
// sent for B611 names 0011 there.
const QString MisreadPokeAddress = QStringLiteral("0011");

bool PeekAllowed() {
    return HasNormalCommandSet(LinkState.HandboxKind) && LinkState.PeekOK;
}

bool probeAnswered = false; // some probe of the running test got a reply

QByteArray Probe(TApdComPort& Port, const QByteArray& Command) {
    QByteArray reply;
    QuietTimeout = true;
    SendCommandTerminated(Port, Command, "#", reply, ProbeMs);
    QuietTimeout = false;
    probeAnswered = probeAnswered || !reply.isEmpty();
    return reply;
}

// No probe got any reply: a firmware without peek, or a handbox that has
// stopped answering. Only the mode query tells them apart; a handbox gone
// is lost, not found and fine.
void CheckStillAnswering(TApdComPort& Port) {
    if (probeAnswered || !Port.Open() || QueryMode(Port) != QLatin1String(" "))
        return;
    LinkLost(Port);
    Port.Log.AddStringToLog(QStringLiteral("No response from scope "));
    FlashMessageAt(Port.parent(), QStringLiteral("Scope no longer responding"));
}

QString ByteText(int Byte) {
    return FormatHex(2, Byte & 0xFF);
}

// Pokes the byte at the test address and reads it back; restores the old
// byte when the write took. A poke acknowledged but not read back did not
// work: the byte it changed elsewhere is put back.
void TestPoke(TApdComPort& Port) {
    const int before = PeekByte(Port, PokeTestAddress);
    const int misreadBefore = PeekByte(Port, MisreadPokeAddress);
    const int changed = (before + 1) % 256;
    LinkState.PokeOK = true; // so that the poke below is sent
    LinkState.PokeOK = PokeText(Port, PokeTestAddress + ByteText(changed));
    if (!LinkState.PokeOK)
        return;
    try {
        if (PeekByte(Port, PokeTestAddress) == changed) {
            PokeText(Port, PokeTestAddress + ByteText(before));
            LinkState.PokeOK = PeekByte(Port, PokeTestAddress) == before;
            return;
        }
        // The same command with the byte that was there writes it back
        // wherever the firmware put the first one.
        if (PeekByte(Port, MisreadPokeAddress) != misreadBefore) {
            Port.Log.AddStringToLog(QStringLiteral("Poke wrote to ") + MisreadPokeAddress +
                                    QStringLiteral(", not ") + PokeTestAddress +
                                    QStringLiteral(": put back"));
            PokeText(Port, PokeTestAddress + ByteText(misreadBefore));
        }
        LinkState.PokeOK = false;
    } catch (const EConvertError&) {
        // A read-back that is no word leaves the handbox's byte possibly
        // changed: put the old one back before the error goes up, and do not
        // count an unchecked poke as working.
        PokeText(Port, PokeTestAddress + ByteText(before));
        LinkState.PokeOK = false;
        throw;
    }
}

} // namespace

QString PeekWord(TApdComPort& Port, quint64 Address) {
    if (!PeekAllowed())
        return {};
    QByteArray reply;
    SendCommandTerminated(Port, ":EP" + QByteArray::number(Address) + "#", "#", reply, PeekMs);
    if (reply.startsWith('x'))
        return QString::fromLatin1(reply.mid(1, MaxPeekDigits));
    // The firmware answers the word 8000 hex as minus zero.
    if (reply == "-0")
        return QStringLiteral("8000");
    bool ok = false;
    const qint64 value = reply.toLongLong(&ok);
    if (!ok || value < LowestWordReply || value > HighestWordReply)
        throw EConvertError(QStringLiteral("'%1' is not a valid peek reply")
                                .arg(QString::fromLatin1(reply))
                                .toStdString());
    return FormatHex(4, value);
}

int PeekByte(TApdComPort& Port, const QString& Text) {
    if (!PeekAllowed())
        return 0;
    bool ok = false;
    const quint64 address = Text.toULongLong(&ok, 16);
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid hexadecimal address").arg(Text).toStdString());
    const QString word = PeekWord(Port, address);
    const int byte = word.left(2).toInt(&ok, 16);
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid peek word").arg(word).toStdString());
    return byte;
}

bool PokeText(TApdComPort& Port, const QString& Text) {
    if (Text.isEmpty())
        return false;
    QString digits = Text;
    if (digits.startsWith(QLatin1Char('$')))
        digits.remove(0, 1);
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, 16);
    // A value past 32 bits is as unconvertible as one with a stray letter.
    if (!ok || value > std::numeric_limits<qint32>::max())
        return false;
    return PokeValue(Port, static_cast<qint32>(value));
}

bool PokeValue(TApdComPort& Port, qint32 Value) {
    // The value is address x 256 + byte and goes out unsigned: a negative
    // one names no byte, and "-" in the command is not the firmware's to read.
    if ((!LinkState.PokeOK && !LinkState.ExtPokeOK) || Value < 0)
        return false;
    qint64 sent = Value;
    if (!LinkState.ExtPokeOK) {
        if (Value < NormalPokeFirst || Value > NormalPokeLast)
            return false;
        sent = Value - NormalPokeFirst;
    }
    QByteArray reply;
    QuietTimeout = true;
    SendCommand(Port, ":EN" + QByteArray::number(sent) + "#", 1, PokeMs, false, reply);
    QuietTimeout = false;
    return reply == "#";
}

void TestPeekPoke(TApdComPort& Port) {
    LinkState.PokeOK = LinkState.ExtPokeOK = LinkState.PeekOK = LinkState.ExtPeekOK = false;
    const std::uint8_t kind = LinkState.HandboxKind;
    if (!HasNormalCommandSet(kind))
        return;
    Port.Log.AddStringToLog(QStringLiteral("Test for Peek and Poke capability"));
    if (!PortIsFree(Port))
        return;
    if (kind == htAutostar497mkII)
        return; // its firmware has neither command

    probeAnswered = false;
    auto allWork = [] {
        LinkState.ExtPeekOK = LinkState.PeekOK = LinkState.PokeOK = LinkState.ExtPokeOK = true;
    };
    if (kind == htAutostar497) {
        if (Probe(Port, ":EP" + QByteArray::number(64 + ExtendedPeekOffset) + "#") == "x3C37") {
            allWork();
        } else {
            LinkState.PeekOK = Probe(Port, ":EP64#") == "15415";
            if (LinkState.PeekOK)
                TestPoke(Port);
        }
    } else {
        if (Probe(Port, ":EP" + QByteArray::number(96 + ExtendedPeekOffset) + "#") == "x3730")
            allWork();
        else
            LinkState.PeekOK = Probe(Port, ":EP96#") == "14128";
    }
    CheckStillAnswering(Port);

    if (LinkState.ExtPeekOK)
        Port.Log.AddStringToLog(QStringLiteral("Extended Peek Tested and Working"));
    else if (LinkState.PeekOK)
        Port.Log.AddStringToLog(QStringLiteral("Peek Tested and Working"));
    if (LinkState.ExtPokeOK)
        Port.Log.AddStringToLog(QStringLiteral("Extended Poke Tested and Working"));
    else if (LinkState.PokeOK)
        Port.Log.AddStringToLog(QStringLiteral("Poke Tested and Working"));
}
