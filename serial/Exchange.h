#pragma once
// The command exchange: every conversation with the handbox goes through
// here. A command is written and the program waits, handling events, until
// the reply is complete: ended by a terminator ("#"), by a byte count, or by
// a hold time; or until a time-out ends it. At most one exchange runs at a
// time. A time-out while a handbox is known makes the exchange find out what
// became of it, and restart automatic detection if it changed or vanished.

#include <QByteArray>
#include <QString>
#include <functional>

class TApdComPort;

// Reply form of SendCommandTerminated: the bytes received before Terminator,
// or whatever had arrived when the time-out ended the wait; empty when the
// exchange did not start.
void SendCommandTerminated(TApdComPort& Port, const QByteArray& Command,
                           const QByteArray& Terminator, QByteArray& Reply, int TimeoutMs);

// A question a handbox may well leave unanswered (a probe for a command it
// may not have, a parked check): sent until "#" with QuietTimeout set, so
// its time-out is neither logged as a failure nor shown. The reply, empty
// when none came.
QByteArray SendQuietProbe(TApdComPort& Port, const QByteArray& Command, int TimeoutMs);

// Counted form: ends as soon as ExpectedLength bytes are in, or at the
// time-out. With Hold, waits the whole time whatever arrives. Length 0
// without Hold: writes and returns after one pass of event handling.
void SendCommand(TApdComPort& Port, const QByteArray& Command, int ExpectedLength, int TimeoutMs,
                 bool Hold, QByteArray& Reply);

// The model text the program's port events pass to OnBytesAvailable: never
// "LX2001", so every NAK byte is kept as reply data, as download-mode blocks
// need; the exchange itself tells a busy handbox's lone NAK.
inline const QString PortEventsModelText = QStringLiteral("ert");

// The port's three events, routed here by the port's owner.
void OnBytesAvailable(TApdComPort& Port, quint16 Count, const QString& ModelText);
void OnTerminator(TApdComPort& Port, quint16 Handle);
void OnExchangeTimer(TApdComPort& Port, quint16 Handle);
// The port's device went away.
void OnPortLost(TApdComPort& Port);

// Connects the port's three events (and the loss of its device) to the
// handlers above, with the model text the bytes-available handler is given.
void RouteExchangeEvents(TApdComPort& Port, const QString& ModelText);

// True when the selected port has disappeared: the user is told, the port
// closed and deselected.
bool CheckPortLost(TApdComPort& Port);

// True when no exchange is running; otherwise a one-second notice says so.
bool PortIsFree(TApdComPort& Port);

// Forgets the handbox: the link was lost.
void LinkLost(TApdComPort& Port);

// Ends the running exchange's wait now, as a silent time-out: the caller gets
// what had arrived so far. For a stop request (Cancel, Ctrl-C) that must not
// wait out a reply that may never come. Nothing happens when none runs.
void AbortExchange(TApdComPort& Port);

// ---- A run's hold on the link ---------------------------------------------------

// While a run (a dump reading page after page) holds the link, the run talks
// to the handbox it started with and to no other. A reply time-out is logged
// and ends the exchange, and the run reads again or gives up by itself; a
// lost port is logged and closed. Neither reacquires the handbox, shows a
// message or restarts detection, which could open another port under the
// running dump. Holds nest.
class TLinkHold {
public:
    explicit TLinkHold(TApdComPort& Port);
    ~TLinkHold();
    TLinkHold(const TLinkHold&) = delete;
    TLinkHold& operator=(const TLinkHold&) = delete;

private:
    TApdComPort& port_;
};
bool LinkHeldByRun(const TApdComPort& Port);

// ---- Exchange state ---------------------------------------------------------------
// The state itself is the port's (TApdComPort::Exchange, serial/ExchangeState.h).

// Creates the two exchange timers on the open port (replacing any left from
// before), and removes them again.
void CreateExchangeTimers(TApdComPort& Port);
void RemoveExchangeTimers(TApdComPort& Port);

// The most bytes one reply may collect. Far above any reply of the protocol;
// a line that streams without end hits it and the exchange ends as a time-out.
inline constexpr int MaxReplyBytes = 65536;

// Hooks filled by the units above: identifying the handbox again after a
// time-out (sets HandboxKind), and restarting automatic detection. Until
// they are set, neither does anything.
struct TExchangeHooks {
    std::function<void(TApdComPort&)> IdentifyHandbox;
    std::function<void()> RestartDetection;
};
void SetExchangeHooks(TExchangeHooks Hooks);
// The hooks in force, for a unit that fills in its own.
TExchangeHooks& ExchangeHooks();
