#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"

namespace {

// A question whose reply was lost is asked again, up to this many times in all.
constexpr int IdentityAsks = 2;

// The reply to an identity question, asked again while none comes or what
// comes is no plain text (mangled on the line), unless an identification
// inside the exchange has done the work meanwhile (its result stands). A lost
// reply is only worth a word to the user when asking again did not help:
// the asks before the last time out quietly, and only the last one's
// time-out goes on to find out what became of the handbox.
QByteArray AskIdentity(TApdComPort& Port, const QByteArray& Command) {
    const int before = Port.Exchange.Identifications;
    QByteArray reply;
    for (int ask = 0; ask < IdentityAsks && !IsPlainText(reply) && Port.Open() &&
                      Port.Exchange.Identifications == before;
         ++ask) {
        Port.Exchange.QuietTimeout = ask + 1 < IdentityAsks;
        SendCommandTerminated(Port, Command, "#", reply, Timing::IdentityReplyMs);
        Port.Exchange.QuietTimeout = false;
    }
    return reply;
}

// The dates that decide a firmware's class, and the markers standing in for
// the dates of handboxes that have none to tell.
TDateTime Date(const char* dayMonthYear) {
    return StrToDate(QLatin1String(dayMonthYear));
}

QString IdentifyInDownloadMode(TApdComPort& Port) {
    QByteArray reply;
    SendCommand(Port, "T", 1, Timing::IdentityReplyMs, false, reply);
    if (const std::optional<DownloadModel> model = DownloadModelOfReply(reply)) {
        LinkState.HandboxKind = model->Kind;
        return QLatin1String(model->Name);
    }
    return QStringLiteral("Unknown");
}

} // namespace

QString GetFirmwareDateText(TApdComPort& Port) {
    if (!HasNormalCommandSet(LinkState.HandboxKind))
        return {};
    return QString::fromLatin1(AskIdentity(Port, ":GVD#"));
}

TDateTime GetFirmwareDate(TApdComPort& Port) {
    if (!LinkState.ScopeFound || !HasNormalCommandSet(LinkState.HandboxKind))
        return 0;
    EnsureFixedDateFormat();
    const QString text = GetFirmwareDateText(Port);
    try {
        return FirmwareDateOfReply(text);
    } catch (const EConvertError&) {
        // A date the firmware garbled (or did not send) must not leave the
        // handbox half identified: it counts as no date, and the log says why.
        Port.Log.AddStringToLog(QStringLiteral("Firmware date not understood: \"") + text +
                                QStringLiteral("\""));
        return 0;
    }
}

QString IdentifyHandbox(TApdComPort& Port) {
    QString result = QStringLiteral(" ");
    LinkState.HandboxKind = htNone;
    LinkState.ProductName.clear();
    LinkState.BaudClass = bcNone;
    if (!LinkState.ScopeFound)
        return result;
    EnsureFixedDateFormat();

    const QString mode = QueryMode(Port);
    const QChar c = mode.isEmpty() ? QChar(QLatin1Char(' ')) : mode.front();
    if (c == QLatin1Char('D'))
        return IdentifyInDownloadMode(Port);
    if (c == QLatin1Char('G')) {
        LinkState.HandboxKind = htGermanMount;
        LinkState.FirmwareDate = Date("01/01/1950");
        return QStringLiteral("1697CDS");
    }
    if (c == QLatin1Char('I')) {
        LinkState.HandboxKind = htUnknown;
        LinkState.FirmwareDate = Date("01/01/1900");
        return QStringLiteral("PARKED");
    }

    const int before = Port.Exchange.Identifications;
    const QByteArray product = AskIdentity(Port, ProductNameQuery);
    if (product.isEmpty() && Port.Exchange.Identifications != before)
        return Port.Exchange.LastIdentity; // identified again while this reply was lost
    result = QString::fromLatin1(product);
    LinkState.ProductName = result;
    LinkState.HandboxKind = KindOfProduct(product);
    const TDateTime date = GetFirmwareDate(Port);
    if (Port.Exchange.Identifications != before)
        return Port.Exchange.LastIdentity;
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
    if (!product.isEmpty()) {
        ++Port.Exchange.Identifications;
        Port.Exchange.LastIdentity = result;
    }
    return result;
}

void InstallLinkHooks() {
    ExchangeHooks().IdentifyHandbox = [](TApdComPort& Port) {
        IdentifyHandbox(Port);
    };
    // Restarting detection is what the "AutoDetect" item does.
    ExchangeHooks().RestartDetection = [] {
        if (TMenuItem* item = AutoDetectItem())
            item->Click();
    };
    RegisterStatusText([](TApdComPort& Port) { return StatusText(Port, true); });
}
