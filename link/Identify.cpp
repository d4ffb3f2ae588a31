#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/StdFuncsMisc.h"
#include "common/StopSignals.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"

#include <QStringList>
#include <functional>

namespace {

// Identification takes no decision on a single answer. The line has no
// checksum: one flipped bit turns the model code of a 497 (0F hex) into a
// 497 mkII's (1F hex), and with it the page range a dump reads, or garbles
// the firmware date that sets the rates offered. Each question is asked
// until an answer agrees with an earlier one, at most this many times.
constexpr int AgreementAsks = 4;

// What asking one question came to.
struct TAsked {
    bool Agreed = false;
    // The answer two replies agreed on; empty when the handbox twice said
    // nothing at all.
    QByteArray Answer;
    // Every reply, in order.
    QList<QByteArray> Heard;
};

// Asks a question until two replies agree. Ask sends it once and returns
// the reply, empty for none; LastSilence tells it that this reply, if empty
// too, settles the question as unanswered, so its time-out is the one
// worth reporting (the others are a reply lost on the line, asked again
// quietly). Silence agrees with silence only when nothing else was heard,
// so two lost replies never outvote an answer. The asking ends early on a
// stop request, a port gone, or an identification that the exchange ran
// meanwhile (its result stands).
TAsked AskUntilAgreed(TApdComPort& Port, const std::function<QByteArray(bool LastSilence)>& Ask) {
    TAsked asked;
    const int before = Port.Exchange.Identifications;
    while (asked.Heard.size() < AgreementAsks && !StopSignalled() && Port.Open() &&
           Port.Exchange.Identifications == before) {
        const bool onlySilence =
            !asked.Heard.isEmpty() && asked.Heard.count(QByteArray()) == asked.Heard.size();
        const QByteArray reply = Ask(onlySilence);
        const bool agrees = reply.isEmpty() ? onlySilence : asked.Heard.contains(reply);
        asked.Heard.append(reply);
        if (agrees) {
            asked.Agreed = true;
            asked.Answer = reply;
            break;
        }
    }
    return asked;
}

// A question answered up to "#".
TAsked AskTerminated(TApdComPort& Port, const QByteArray& Command) {
    return AskUntilAgreed(Port, [&](bool LastSilence) {
        QByteArray reply;
        Port.Exchange.QuietTimeout = !LastSilence;
        SendCommandTerminated(Port, Command, "#", reply, Timing::IdentityReplyMs);
        Port.Exchange.QuietTimeout = false;
        return reply;
    });
}

// The mode letter (the first character of the mode text), empty for none.
TAsked AskModeLetter(TApdComPort& Port) {
    return AskUntilAgreed(Port, [&](bool) {
        const QString mode = QueryMode(Port);
        return mode.isEmpty() || mode.front() == QLatin1Char(' ') ? QByteArray()
                                                                  : mode.left(1).toLatin1();
    });
}

// A reply as the log shows it: plain text quoted, anything else in hex.
QString Shown(const QByteArray& Reply) {
    if (Reply.isEmpty())
        return QStringLiteral("nothing");
    if (IsPlainText(Reply))
        return QLatin1Char('"') + QString::fromLatin1(Reply) + QLatin1Char('"');
    QStringList bytes;
    for (const char byte : Reply)
        bytes << ByteToHex(static_cast<quint8>(byte), 2);
    return bytes.join(QLatin1Char(' '));
}

// No two replies agreed: the handbox counts as not identified, which no
// dump can read, rather than as whatever one spoilt byte made of it. Said
// plainly when the replies themselves disagreed, not when a stop request or
// a lost port cut the asking short (those are reported where they happen).
QString NotIdentified(TApdComPort& Port, const QString& What, const TAsked& Asked) {
    LinkState.HandboxKind = htNone;
    LinkState.BaudClass = bcNone;
    if (Asked.Heard.size() == AgreementAsks) {
        QStringList heard;
        for (const QByteArray& reply : Asked.Heard)
            heard << Shown(reply);
        Port.Log.AddStringToLog(QStringLiteral("Scope not identified: its ") + What +
                                QStringLiteral(" came back as ") +
                                heard.join(QStringLiteral(", ")));
        ShowMessageAt(Port.parent(), QStringLiteral("Scope not identified: its ") + What +
                                         QStringLiteral(" came back different each time "
                                                        "(a noisy line?)"));
    }
    return QStringLiteral("Unknown");
}

// The dates that decide a firmware's class, and the markers standing in for
// the dates of handboxes that have none to tell.
TDateTime Date(const char* dayMonthYear) {
    return StrToDate(QLatin1String(dayMonthYear));
}

// The firmware date of a reply; a date the firmware garbled (or did not
// send) counts as none, and the log says why, so the handbox is not left
// half identified.
TDateTime DateOfReply(TApdComPort& Port, const QString& Text) {
    try {
        return FirmwareDateOfReply(Text);
    } catch (const EConvertError&) {
        Port.Log.AddStringToLog(QStringLiteral("Firmware date not understood: \"") + Text +
                                QStringLiteral("\""));
        return 0;
    }
}

QString IdentifyInDownloadMode(TApdComPort& Port) {
    const TAsked code = AskUntilAgreed(Port, [&](bool LastSilence) {
        QByteArray reply;
        Port.Exchange.QuietTimeout = !LastSilence;
        SendCommand(Port, "T", 1, Timing::IdentityReplyMs, false, reply);
        Port.Exchange.QuietTimeout = false;
        return reply.left(1);
    });
    if (!code.Agreed)
        return NotIdentified(Port, QStringLiteral("model code"), code);
    if (const std::optional<DownloadModel> model = DownloadModelOfReply(code.Answer)) {
        LinkState.HandboxKind = model->Kind;
        return QLatin1String(model->Name);
    }
    return QStringLiteral("Unknown");
}

} // namespace

QString GetFirmwareDateText(TApdComPort& Port) {
    if (!HasNormalCommandSet(LinkState.HandboxKind))
        return {};
    const TAsked date = AskTerminated(Port, ":GVD#");
    return date.Agreed ? QString::fromLatin1(date.Answer) : QString();
}

TDateTime GetFirmwareDate(TApdComPort& Port) {
    if (!LinkState.ScopeFound || !HasNormalCommandSet(LinkState.HandboxKind))
        return 0;
    EnsureFixedDateFormat();
    return DateOfReply(Port, GetFirmwareDateText(Port));
}

QString IdentifyHandbox(TApdComPort& Port) {
    QString result = QStringLiteral(" ");
    LinkState.HandboxKind = htNone;
    LinkState.ProductName.clear();
    LinkState.BaudClass = bcNone;
    if (!LinkState.ScopeFound)
        return result;
    EnsureFixedDateFormat();

    // The last mode query asked is the one that agreed, so the download and
    // parked flags it set are the agreed ones.
    const TAsked mode = AskModeLetter(Port);
    if (!mode.Agreed)
        return NotIdentified(Port, QStringLiteral("mode"), mode);
    const char c = mode.Answer.isEmpty() ? ' ' : mode.Answer.front();
    if (c == 'D')
        return IdentifyInDownloadMode(Port);
    if (c == 'G') {
        LinkState.HandboxKind = htGermanMount;
        LinkState.FirmwareDate = Date("01/01/1950");
        return QStringLiteral("1697CDS");
    }
    if (c == 'I') {
        LinkState.HandboxKind = htUnknown;
        LinkState.FirmwareDate = Date("01/01/1900");
        return QStringLiteral("PARKED");
    }

    const int before = Port.Exchange.Identifications;
    const TAsked product = AskTerminated(Port, ProductNameQuery);
    if (Port.Exchange.Identifications != before)
        return Port.Exchange.LastIdentity; // identified again while a reply was lost
    if (!product.Agreed)
        return NotIdentified(Port, QStringLiteral("product name"), product);
    result = QString::fromLatin1(product.Answer);
    LinkState.ProductName = result;
    LinkState.HandboxKind = KindOfProduct(product.Answer);

    TDateTime date = 0;
    if (HasNormalCommandSet(LinkState.HandboxKind)) {
        const TAsked dateText = AskTerminated(Port, ":GVD#");
        if (Port.Exchange.Identifications != before)
            return Port.Exchange.LastIdentity;
        if (!dateText.Agreed)
            return NotIdentified(Port, QStringLiteral("firmware date"), dateText);
        date = DateOfReply(Port, QString::fromLatin1(dateText.Answer));
    }
    LinkState.FirmwareDate = date;

    switch (LinkState.HandboxKind) {
    case htAutostar497:
        if (date >= Date("29/06/2004"))
            LinkState.BaudClass = bcAutostar2004;
        if (date >= Date("01/08/2008")) {
            LinkState.HandboxKind = htAutostar497mkII;
            result = QStringLiteral("497mkII");
        }
        break;
    case htRCX400:
        LinkState.BaudClass = bcFast;
        break;
    case htLX200GPS:
        LinkState.BaudClass = date >= Date("19/09/2005")   ? bcFast
                              : date >= Date("01/10/2004") ? bcGPS2004
                                                           : bcGPSBefore2004;
        break;
    case htUnknown:
        LinkState.BaudClass = bcUnknownProduct;
        break;
    default:
        break;
    }
    if (!product.Answer.isEmpty()) {
        ++Port.Exchange.Identifications;
        Port.Exchange.LastIdentity = result;
    }
    return result;
}

void InstallLinkHooks() {
    ExchangeHooks().IdentifyHandbox = [](TApdComPort& Port) {
        IdentifyHandbox(Port);
    };
    // Restarting detection is what the "AutoDetect" item does; a program
    // being stopped looks for no handbox any more.
    ExchangeHooks().RestartDetection = [] {
        if (StopSignalled())
            return;
        if (TMenuItem* item = AutoDetectItem())
            item->Click();
    };
    RegisterStatusText([](TApdComPort& Port) { return StatusText(Port, true); });
}
