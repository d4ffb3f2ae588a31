#pragma once
// What the command exchange keeps between the calls and events of one port:
// the port's two timers, the running exchange's terminator, whether its
// time-out is expected, and the guards that keep a time-out from starting a
// second reacquisition or one under a running dump. The port owns it, so a
// new port starts clean and two ports never share a wait.

#include <QString>
#include <QtGlobal>

struct TExchangeState {
    // The next reply time-out is silent: no log line, no message, no
    // reacquisition. Probes that may get no answer set it just before
    // (SendQuietProbe does it for them).
    bool QuietTimeout = false;
    // The two timers of the open port, created by whoever opens it.
    quint16 ReplyTimer = 0;
    quint16 HoldTimer = 0;

    // The running terminated exchange's text trigger, and how many of the
    // terminator's bytes (blanks and control characters trimmed) it reads
    // away when the terminator arrives.
    quint16 TerminatorTrigger = 0;
    int TerminatorLength = 0;
    // The running exchange got the busy signal (a lone NAK).
    bool BusyAnswered = false;

    // A reacquisition after a time-out is running: a time-out of its own
    // questions must not start another.
    bool Reacquiring = false;
    // Runs holding the link (TLinkHold); holds nest.
    int LinkHolds = 0;

    // Identifications that heard the product name, and the name the last one
    // returned: a lost identity reply leads to a reacquisition that
    // identifies the handbox again inside the exchange that lost it, and
    // the asking identification takes that result.
    int Identifications = 0;
    QString LastIdentity;
};
