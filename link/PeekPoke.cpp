// Reading and writing the handbox's memory in normal mode, a word or a byte
// at a time, and finding out which forms of the two commands it answers.

#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

#include <limits>
#include <optional>

namespace {

// The extended forms carry the address (peek) or address x 256 + byte
// (poke) plus this.
constexpr quint64 ExtendedPeekOffset = 33554432; // 2000000 hex
// The normal poke reaches only B600-B7FF: the value sent is the full value
// less B60000 hex.
constexpr qint64 NormalPokeFirst = 0xB60000;
constexpr qint64 NormalPokeLast = 0xB7FFFF;
// How often the test asks a probe or sends a poke, and reads a byte, before
// it gives up.
constexpr int ProbeAsks = 2;
constexpr int TestReadAsks = 3;
// The byte the poke test writes and restores.
const QString PokeTestAddress = QStringLiteral("B611");
// Where the normal-form poke of the test byte lands on firmware that reads
// every ":EN" value in the extended form (address x 256 + byte): the value
// sent for B611 names 0011 there.
const QString MisreadPokeAddress = QStringLiteral("0011");

bool PeekAllowed() {
    return HasNormalCommandSet(LinkState.HandboxKind) && LinkState.PeekOK;
}

QByteArray PeekCommand(quint64 Address) {
    return ":EP" + QByteArray::number(Address) + "#";
}

QString ByteText(int Byte) {
    return FormatHex(2, Byte & 0xFF);
}

enum class Written { Yes, No, Unknown };

// One run of the peek and poke test: its quiet questions, and whether any
// of them got a reply at all.
struct TCapabilityTest {
    TApdComPort& Port;
    bool ProbeAnswered = false;

    // One quiet question of the test: a handbox without the command, or one
    // that lost the reply, leaves it unanswered.
    QByteArray Probe(const QByteArray& Command) {
        const QByteArray reply = SendQuietProbe(Port, Command, Timing::ProbeReplyMs);
        ProbeAnswered = ProbeAnswered || !reply.isEmpty();
        return reply;
    }

    // Whether the handbox answers Command with Expected. A reply lost or mangled
    // on the line would turn a working form into a missing one for the whole
    // session, so a wrong or missing answer is asked once more.
    bool ProbeSays(const QByteArray& Command, const QByteArray& Expected) {
        for (int ask = 0; ask < ProbeAsks && Port.Open(); ++ask)
            if (Probe(Command) == Expected)
                return true;
        return false;
    }

    // The byte at Address as the poke test reads it: quietly, and asked again
    // while the reply is lost or no word. Nothing when it cannot be read.
    std::optional<int> TestRead(const QString& Address) {
        const quint64 address = Address.toULongLong(nullptr, 16);
        for (int ask = 0; ask < TestReadAsks && Port.Open(); ++ask) {
            try {
                return HighByteOfWord(PeekWordOfReply(Probe(PeekCommand(address))));
            } catch (const EConvertError&) {
                // Lost or mangled: ask again.
            }
        }
        return std::nullopt;
    }

    // No probe got any reply: a firmware without peek, or a handbox that has
    // stopped answering. Only the mode query tells them apart; a handbox gone
    // is lost, not found and fine.
    void CheckStillAnswering() {
        if (ProbeAnswered || !Port.Open() || QueryMode(Port) != QLatin1String(" "))
            return;
        LinkLost(Port);
        Port.Log.AddStringToLog(QStringLiteral("No response from scope "));
        FlashMessageAt(Port.parent(), QStringLiteral("Scope no longer responding"));
    }

    // Pokes Value at the test address and reads the byte back. The read-back,
    // not the acknowledgement, says whether the byte is there: an
    // acknowledgement lost on the line may hide a write that took, and a poke
    // whose command was lost is sent again.
    Written TestWrite(int Value) {
        for (int ask = 0; ask < ProbeAsks && Port.Open(); ++ask) {
            const bool acknowledged = PokeText(Port, PokeTestAddress + ByteText(Value));
            const std::optional<int> now = TestRead(PokeTestAddress);
            if (!now)
                return Written::Unknown;
            if (*now == Value)
                return Written::Yes;
            if (acknowledged)
                return Written::No; // taken, but not here
        }
        return Written::No;
    }

    // Pokes the byte at the test address and reads it back; restores the old
    // byte when the write took. A poke acknowledged but not read back did not
    // work: the byte it changed elsewhere is put back. When the handbox cannot
    // be read at all, nothing is written.
    void TestPoke() {
        LinkState.PokeOK = false;
        const std::optional<int> before = TestRead(PokeTestAddress);
        const std::optional<int> misreadBefore = TestRead(MisreadPokeAddress);
        if (!before || !misreadBefore) {
            Port.Log.AddStringToLog(QStringLiteral("Poke not tested: no reply to peek"));
            return;
        }
        const int changed = (*before + 1) % 256;
        LinkState.PokeOK = true; // so that the pokes below are sent
        const Written written = TestWrite(changed);
        if (written == Written::Yes) {
            LinkState.PokeOK = TestWrite(*before) == Written::Yes;
            if (!LinkState.PokeOK)
                Port.Log.AddStringToLog(QStringLiteral("Poke test could not put back ") +
                                        PokeTestAddress + QStringLiteral(": ") + ByteText(*before));
            return;
        }
        if (written == Written::Unknown) {
            // The byte may have changed and cannot be checked: the old one goes
            // back blind, and an unchecked poke does not count as working.
            Port.Log.AddStringToLog(QStringLiteral("Poke not read back: put back"));
            PokeText(Port, PokeTestAddress + ByteText(*before));
            LinkState.PokeOK = false;
            return;
        }
        // The same command with the byte that was there writes it back wherever
        // the firmware put the first one.
        const std::optional<int> misreadNow = TestRead(MisreadPokeAddress);
        if (misreadNow && *misreadNow != *misreadBefore) {
            Port.Log.AddStringToLog(QStringLiteral("Poke wrote to ") + MisreadPokeAddress +
                                    QStringLiteral(", not ") + PokeTestAddress +
                                    QStringLiteral(": put back"));
            PokeText(Port, PokeTestAddress + ByteText(*misreadBefore));
        }
        LinkState.PokeOK = false;
    }
};

} // namespace

QString PeekWord(TApdComPort& Port, quint64 Address) {
    if (!PeekAllowed())
        return {};
    QByteArray reply;
    SendCommandTerminated(Port, PeekCommand(Address), "#", reply, Timing::PeekReplyMs);
    return PeekWordOfReply(reply);
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
    return HighByteOfWord(word);
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
    Port.Exchange.QuietTimeout = true;
    SendCommand(Port, ":EN" + QByteArray::number(sent) + "#", 1, Timing::PokeReplyMs, false, reply);
    Port.Exchange.QuietTimeout = false;
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

    TCapabilityTest test{Port};
    auto allWork = [] {
        LinkState.ExtPeekOK = LinkState.PeekOK = LinkState.PokeOK = LinkState.ExtPokeOK = true;
    };
    if (kind == htAutostar497) {
        if (test.ProbeSays(PeekCommand(64 + ExtendedPeekOffset), "x3C37")) {
            allWork();
        } else {
            LinkState.PeekOK = test.ProbeSays(PeekCommand(64), "15415");
            if (LinkState.PeekOK)
                test.TestPoke();
        }
    } else {
        if (test.ProbeSays(PeekCommand(96 + ExtendedPeekOffset), "x3730"))
            allWork();
        else
            LinkState.PeekOK = test.ProbeSays(PeekCommand(96), "14128");
    }
    test.CheckStillAnswering();

    if (LinkState.ExtPeekOK)
        Port.Log.AddStringToLog(QStringLiteral("Extended Peek Tested and Working"));
    else if (LinkState.PeekOK)
        Port.Log.AddStringToLog(QStringLiteral("Peek Tested and Working"));
    if (LinkState.ExtPokeOK)
        Port.Log.AddStringToLog(QStringLiteral("Extended Poke Tested and Working"));
    else if (LinkState.PokeOK)
        Port.Log.AddStringToLog(QStringLiteral("Poke Tested and Working"));
}
