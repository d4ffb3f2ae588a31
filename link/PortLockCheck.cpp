#include "link/PortLockCheck.h"

#include "common/EventWait.h"
#include "common/Timing.h"
#include "link/StdDefs.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <exception>

namespace {

TPortLockVerdict Concluded(TApdComPort& Port, const QString& Message, const QString& LogLine,
                           const QString& ResultCode) {
    Port.Log.AddStringToLog(LogLine);
    return {ResultCode, Message, false};
}

TPortLockVerdict PortLocked(TApdComPort* Port) {
    if (Port)
        Port->Log.AddStringToLog(QStringLiteral("Port is locked, cant reconnect"));
    return {QStringLiteral("LOCKLostPort"),
            QStringLiteral("Original Port is Locked\rCant reconnect"), false};
}

bool Reopen(TApdComPort& Port) {
    try {
        Port.SetOpen(true);
        return true;
    } catch (const EPortError&) {
        // Free a moment ago, and taken between that test and this open.
        return false;
    }
}

// Is the handbox on the port the one that was there, in the same state?
TPortLockVerdict ValidateReturnedHandbox(TApdComPort& Port, const TPortLockRequest& Saved) {
    Port.Log.AddStringToLog(QStringLiteral("Validate Connected Scope Type is same as before"));
    const QString mode = QueryMode(Port);
    const QChar c = mode.isEmpty() ? QChar(QLatin1Char(' ')) : mode.front();
    if (c == QLatin1Char(' '))
        return Concluded(Port, QStringLiteral("Scope no longer on port"),
                         QStringLiteral("Scope no longer connected to port"),
                         QStringLiteral("LOCKLostScope"));
    if (Saved.WasInDownloadMode && c == QLatin1Char('D'))
        return Concluded(Port, QStringLiteral("Scope on port is in download mode"),
                         QStringLiteral("Scope on port is in download mode"),
                         QStringLiteral("LOCK"));
    if (Saved.WasParked && c == QLatin1Char('I'))
        return Concluded(Port, QStringLiteral("Scope on port is Still Parked"),
                         QStringLiteral("Scope on port is Still Parked"), QStringLiteral("LOCK"));
    if (c == QLatin1Char('D'))
        return Concluded(Port, QStringLiteral("Scope on port has changed to dnld mode"),
                         QStringLiteral("Scope on port has changed to Download mode"),
                         QStringLiteral("LOCKLostDnld"));
    // The date is asked only of the kinds that have one, exactly as the
    // saved type was built: otherwise a 1697 mount, which answers ":GVD#"
    // but was saved without a date, would always count as changed.
    const QString date = GetFirmwareDateText(Port);
    QByteArray product;
    SendCommandTerminated(Port, ProductNameQuery, "#", product, Timing::IdentityReplyMs);
    if (QString::fromLatin1(product) + date != Saved.SavedType)
        return Concluded(Port, QStringLiteral("Scope on port has changed"),
                         QStringLiteral("Scope on port has changed"),
                         QStringLiteral("LOCKLostType"));
    Port.Log.AddStringToLog(QStringLiteral("Scope on port revalidated OK"));
    return {QStringLiteral("LOCK"), QStringLiteral("Reconnected OK"), true};
}

TPortLockVerdict Reconnect(const TPortLockRequest& Request, bool& Reopened) {
    TPortMenus& menus = RegisteredMenus();
    menus.CountInUseAsAvailable = false;
    TApdComPort* port = Request.Port;
    if (!port || !IsPortAvailable(port->ComNumber()))
        return PortLocked(port);
    menus.CountInUseAsAvailable = true;
    Reopened = Reopen(*port);
    if (!Reopened)
        return PortLocked(port);
    port->FlushInBuffer();
    RefreshLog(*port);
    ProcessPendingMessages();
    port->Log.AddStringToLog(QStringLiteral("Port Reconnected ") + LogTimeStamp());
    CreateExchangeTimers(*port);
    if (!LinkState.ScopeFound)
        return {};
    return ValidateReturnedHandbox(*port, Request);
}

} // namespace

TPortLockVerdict ReconnectLentPort(const TPortLockRequest& Request) {
    bool reopened = false;
    TPortLockVerdict verdict;
    try {
        verdict = Reconnect(Request, reopened);
    } catch (const std::exception&) {
        // The port or the handbox on it can no longer be trusted: "LOCK"
        // would let the program carry on as if nothing had happened, so
        // port selection is asked for a new detection instead.
        verdict = {reopened ? QStringLiteral("LOCKLostScope") : QStringLiteral("LOCKLostPort"),
                   QString(), false};
    }
    RegisteredMenus().CountInUseAsAvailable = true;
    return verdict;
}
