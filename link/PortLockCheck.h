#pragma once
// Taking back a port that was lent to another program: the port is opened
// again and, when a handbox was found before, checked for being the same
// handbox in the same state. The port lock window shows what this finds.

#include "link/StdFuncsMeade.h"

#include <QString>

// What taking the port back found: the port lock window's result code and
// what to tell the user about it.
struct TPortLockVerdict {
    // "LOCK" (carry on), or "LOCKLostPort", "LOCKLostScope", "LOCKLostDnld",
    // "LOCKLostType" (port selection detects afresh).
    QString ResultCode = QStringLiteral("LOCK");
    QString Message;     // empty: nothing to tell
    bool Notice = false; // a one-second notice rather than a message to dismiss
};

// Reopens Request.Port (which may be null) if no other program holds it,
// logs the reconnection, and checks the handbox against Request's
// WasInDownloadMode, WasParked and SavedType when LinkState.ScopeFound.
// Every step is logged on the port; nothing is shown. Request.ResultCode is
// not read. A port or handbox that fails on the way (any standard exception
// of the port or the exchange) gives "LOCKLostPort" or "LOCKLostScope"
// without a message.
TPortLockVerdict ReconnectLentPort(const TPortLockRequest& Request);
