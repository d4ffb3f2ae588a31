#include "serial/Exchange.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "link/StdDefs.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int BusyResends = 5;
TExchangeHooks hooks;

// The log is refreshed before an exchange when its buffer runs low.
constexpr int LowLogSpace = 25000;
constexpr char NAK = 0x15;

// Sleeps in the event loop while StillWaiting() holds: the port's events
// (bytes, a trigger, a timer) end the wait.
//
// Posted events are handled before each look at the condition. Windows'
// event dispatcher handles them when processEvents starts and then sleeps
// until a window message comes, whether they ended the wait or not; the
// port's timers and its line's notifier arrive there as posted events, so an
// exchange ended by one would sleep on.
template <typename Condition> void WaitWhile(Condition StillWaiting) {
    for (;;) {
        QCoreApplication::sendPostedEvents();
        if (!StillWaiting())
            return;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void RefreshLogWhenLow(TApdComPort& Port) {
    if (Port.Log.FreeSpace() < LowLogSpace) {
        RefreshLog(Port);
        ProcessPendingMessages();
    }
}

void DisarmTimer(TApdComPort& Port, quint16 Handle) {
    if (Handle != 0)
        Port.SetTimerTrigger(Handle, Timing::ParkedTimerTicks, false);
}

// The terminator without leading and trailing blanks and control characters.
int TrimmedLength(const QByteArray& Terminator) {
    qsizetype first = 0;
    qsizetype last = Terminator.size();
    while (first < last && static_cast<unsigned char>(Terminator[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(Terminator[last - 1]) <= ' ')
        --last;
    return static_cast<int>(last - first);
}

// Ends the running exchange's wait now: its timers and its terminator
// trigger go, and the wait loop sees it is over.
void EndWait(TApdComPort& Port) {
    try {
        DisarmTimer(Port, Port.Exchange.ReplyTimer);
        DisarmTimer(Port, Port.Exchange.HoldTimer);
        if (Port.Exchange.TerminatorTrigger != 0)
            Port.RemoveTrigger(Port.Exchange.TerminatorTrigger);
    } catch (const EPortError&) {
        // A trigger already gone: the wait ends all the same.
    }
    Port.Exchange.TerminatorTrigger = 0;
    Port.HoldFullTime = false;
    Port.AwaitingReply = false;
}

// The busy signal ends the running exchange at once: the handbox has done
// nothing and will send nothing more for this command.
void EndBusyExchange(TApdComPort& Port) {
    Port.Exchange.BusyAnswered = true;
    EndWait(Port);
}

} // namespace

void SetExchangeHooks(TExchangeHooks Hooks) {
    hooks = std::move(Hooks);
}

TExchangeHooks& ExchangeHooks() {
    return hooks;
}

void CreateExchangeTimers(TApdComPort& Port) {
    RemoveExchangeTimers(Port);
    Port.Exchange.ReplyTimer = Port.AddTimerTrigger();
    Port.Exchange.HoldTimer = Port.AddTimerTrigger();
}

void RemoveExchangeTimers(TApdComPort& Port) {
    for (quint16* timer : {&Port.Exchange.ReplyTimer, &Port.Exchange.HoldTimer}) {
        if (*timer != 0) {
            try {
                Port.RemoveTrigger(*timer);
            } catch (const EPortError&) {
                // Not this port's, or gone already.
            }
            *timer = 0;
        }
    }
}

namespace {

// Whether an exchange may start: the port is still there and open, and no
// other exchange runs. A port already given up (lost and reported, or never
// opened) answers nothing.
bool MayStartExchange(TApdComPort& Port) {
    return !CheckPortLost(Port) && Port.Open() && PortIsFree(Port);
}

} // namespace

namespace {

void TerminatedOnce(TApdComPort& Port, const QByteArray& Command, const QByteArray& Terminator,
                    QByteArray& Reply, int TimeoutMs) {
    Reply.clear();
    const int ticks = Timing::TicksFor(TimeoutMs);
    if (!MayStartExchange(Port))
        return;

    const BusyCursorScope busy;
    Port.AwaitingReply = true;
    try {
        RefreshLogWhenLow(Port);
        Port.ReplyBuffer.clear();
        Port.Exchange.TerminatorLength = TrimmedLength(Terminator);
        Port.Exchange.TerminatorTrigger = Port.AddDataTrigger(Terminator);
        ProcessPendingMessages();
        if (!Port.Open()) {
            // The device went away during the pass, which has handled it.
            if (Port.Exchange.TerminatorTrigger != 0)
                Port.RemoveTrigger(Port.Exchange.TerminatorTrigger);
            Port.Exchange.TerminatorTrigger = 0;
            Port.AwaitingReply = false;
            Port.Exchange.QuietTimeout = false;
            return;
        }
        Port.SetTimerTrigger(Port.Exchange.ReplyTimer, ticks, true);
        Port.PutString(Command);
        WaitWhile([&Port] { return Port.AwaitingReply; });
    } catch (...) {
        // Whatever the error, the exchange cannot go on and nothing may be
        // left waiting on it; the error itself goes on to the caller.
        Port.AwaitingReply = false;
        try {
            DisarmTimer(Port, Port.Exchange.ReplyTimer);
            if (Port.Exchange.TerminatorTrigger != 0)
                Port.RemoveTrigger(Port.Exchange.TerminatorTrigger);
        } catch (const EPortError&) {
            // A trigger gone with the port: the error above is the one to raise.
        }
        Port.Exchange.TerminatorTrigger = 0;
        Port.Exchange.QuietTimeout = false;
        throw;
    }
    Port.Exchange.QuietTimeout = false;
    Reply = Port.ReplyBuffer;
}

void CountedOnce(TApdComPort& Port, const QByteArray& Command, int ExpectedLength, int TimeoutMs,
                 bool Hold, QByteArray& Reply) {
    Reply.clear();
    const int ticks = Timing::TicksFor(TimeoutMs);
    if (!MayStartExchange(Port))
        return;

    const BusyCursorScope busy;
    Port.AwaitingReply = true;
    RefreshLogWhenLow(Port);
    struct Cleanup {
        TApdComPort& port;
        QByteArray& reply;
        ~Cleanup() {
            // Disarmed also when the port has closed meanwhile: a timer left
            // running would end some later wait, or none.
            try {
                DisarmTimer(port, port.Exchange.ReplyTimer);
                DisarmTimer(port, port.Exchange.HoldTimer);
            } catch (...) {
                // A destructor may raise nothing, and a timer that cannot be
                // disarmed belongs to a port already gone.
            }
            reply = port.ReplyBuffer;
            port.AwaitingReply = false;
        }
    } cleanup{Port, Reply};

    Port.ReplyBuffer.clear();
    Port.HoldFullTime = Hold;
    ProcessPendingMessages();
    if (!Port.Open())
        return; // the device went away during the pass, which has handled it
    Port.SetTimerTrigger(Port.Exchange.HoldTimer, ticks, Port.HoldFullTime);
    Port.SetTimerTrigger(Port.Exchange.ReplyTimer, ticks, ExpectedLength > 0 && !Port.HoldFullTime);
    Port.PutString(Command);
    ProcessPendingMessages();
    WaitWhile([&Port, ExpectedLength] {
        return Port.AwaitingReply &&
               (Port.HoldFullTime || Port.ReplyBuffer.size() < ExpectedLength);
    });
}

// A busy handbox answers a lone NAK and does nothing: the same command is
// sent again after a pause, a few times, before the exchange gives up.
template <typename Exchange>
void SendAgainWhileBusy(TApdComPort& Port, QByteArray& Reply, Exchange Once) {
    const bool quiet = Port.Exchange.QuietTimeout;
    for (int attempt = 0;; ++attempt) {
        Port.Exchange.BusyAnswered = false;
        Port.Exchange.QuietTimeout = quiet;
        Once();
        if (!Port.Exchange.BusyAnswered)
            return;
        Port.Exchange.BusyAnswered = false;
        Reply.clear();
        if (attempt == BusyResends || !Port.Open()) {
            FlashMessageAt(Port.parent(),
                           QStringLiteral("Scope has returned busy signal. Please retry command"));
            return;
        }
        WaitInEventLoop(Timing::BusyResendMs);
        if (!Port.Open())
            return;
        Port.FlushInBuffer();
        Port.Log.AddStringToLog(QStringLiteral("Scope busy: sending again"));
    }
}

} // namespace

void SendCommandTerminated(TApdComPort& Port, const QByteArray& Command,
                           const QByteArray& Terminator, QByteArray& Reply, int TimeoutMs) {
    SendAgainWhileBusy(Port, Reply,
                       [&] { TerminatedOnce(Port, Command, Terminator, Reply, TimeoutMs); });
}

QByteArray SendQuietProbe(TApdComPort& Port, const QByteArray& Command, int TimeoutMs) {
    QByteArray reply;
    Port.Exchange.QuietTimeout = true;
    SendCommandTerminated(Port, Command, "#", reply, TimeoutMs);
    Port.Exchange.QuietTimeout = false;
    return reply;
}

void SendCommand(TApdComPort& Port, const QByteArray& Command, int ExpectedLength, int TimeoutMs,
                 bool Hold, QByteArray& Reply) {
    SendAgainWhileBusy(Port, Reply,
                       [&] { CountedOnce(Port, Command, ExpectedLength, TimeoutMs, Hold, Reply); });
}

void OnBytesAvailable(TApdComPort& Port, quint16 Count, const QString& ModelText) {
    (void)ModelText; // the busy signal is told by the mode, whatever the model
    try {
        for (int i = 0; i < Count; ++i) {
            const char byte = Port.GetChar();
            if (Port.ReplyBuffer.size() >= MaxReplyBytes)
                continue; // past the cap the rest is dropped; the time-out below ends it
            // No answer of normal mode starts with NAK: as the first byte of
            // a reply it is the busy signal, not data (in download mode a
            // block may hold any byte).
            const bool busySignal = byte == NAK && Port.ReplyBuffer.isEmpty() &&
                                    !LinkState.InDownloadMode && Port.AwaitingReply;
            if (!busySignal) {
                Port.ReplyBuffer.append(byte);
                continue;
            }
            Port.Log.AddStringToLog(QStringLiteral("NAK at") +
                                    QString::fromLatin1(Port.ReplyBuffer));
            EndBusyExchange(Port);
            return;
        }
    } catch (...) {
        // A handler of the port's event: nothing may escape into the event
        // loop. A byte that cannot be read ends this event; the exchange's
        // timer still ends the wait.
    }
    if (Port.ReplyBuffer.size() >= MaxReplyBytes && Port.AwaitingReply && !Port.HoldFullTime) {
        // A line that never stops sending: end the exchange as its time-out
        // would, once this event has been handled.
        try {
            DisarmTimer(Port, Port.Exchange.ReplyTimer);
        } catch (const EPortError&) {
            // The port is gone: the time-out below ends the exchange all the same.
        }
        QPointer<TApdComPort> port(&Port);
        QTimer::singleShot(0, &Port, [port] {
            if (port && port->AwaitingReply)
                OnExchangeTimer(*port, port->Exchange.ReplyTimer);
        });
    }
}

void OnPortLost(TApdComPort& Port) {
    // A device gone mid-exchange ends the wait now, as the next timer event
    // would find it gone.
    if (Port.AwaitingReply)
        OnExchangeTimer(Port, Port.Exchange.ReplyTimer);
}

void OnTerminator(TApdComPort& Port, quint16 Handle) {
    try {
        DisarmTimer(Port, Port.Exchange.ReplyTimer);
        if (Handle == Port.Exchange.TerminatorTrigger) {
            Port.RemoveTrigger(Port.Exchange.TerminatorTrigger);
            Port.Exchange.TerminatorTrigger = 0;
            Port.Exchange.QuietTimeout = false;
            for (int i = 0; i < Port.Exchange.TerminatorLength && Port.CharReady(); ++i)
                Port.GetChar();
            Port.AwaitingReply = false;
        }
    } catch (...) {
        // A handler of the port's event: nothing may escape into the event
        // loop, and errors of the port here are of no consequence to the reply.
    }
}

void RouteExchangeEvents(TApdComPort& Port, const QString& ModelText) {
    QObject::connect(&Port, &TApdComPort::TriggerAvail, &Port, [&Port, ModelText](quint16 Count) {
        OnBytesAvailable(Port, Count, ModelText);
    });
    QObject::connect(&Port, &TApdComPort::TriggerData, &Port,
                     [&Port](quint16 Handle) { OnTerminator(Port, Handle); });
    QObject::connect(&Port, &TApdComPort::TriggerTimer, &Port,
                     [&Port](quint16 Handle) { OnExchangeTimer(Port, Handle); });
    QObject::connect(&Port, &TApdComPort::PortLost, &Port, [&Port] { OnPortLost(Port); });
}

bool PortIsFree(TApdComPort& Port) {
    if (!Port.AwaitingReply)
        return true;
    FlashMessageAt(Port.parent(), QStringLiteral("Still awaiting response from scope"));
    return false;
}

bool CheckPortLost(TApdComPort& Port) {
    if (Port.ComNumber() == 0 || IsPortStillThere(Port))
        return false;
    const QString gone = QStringLiteral("Currently selected Port is no longer Available");
    // A run reports the loss once, when it has ended.
    if (LinkHeldByRun(Port))
        Port.Log.AddStringToLog(gone);
    else
        ShowPlainMessage(gone);
    Port.SetOpen(false);
    Port.SetComNumber(0);
    RefreshPortStatus(Port);
    return true;
}

TLinkHold::TLinkHold(TApdComPort& Port)
    : port_(Port) {
    ++Port.Exchange.LinkHolds;
}

TLinkHold::~TLinkHold() {
    --port_.Exchange.LinkHolds;
}

bool LinkHeldByRun(const TApdComPort& Port) {
    return Port.Exchange.LinkHolds > 0;
}

void AbortExchange(TApdComPort& Port) {
    if (!Port.AwaitingReply)
        return;
    Port.Log.AddStringToLog(QStringLiteral("Exchange stopped on request"));
    EndWait(Port);
    Port.Exchange.QuietTimeout = false;
}

void LinkLost(TApdComPort& Port) {
    Port.ReplyBuffer.clear();
    LinkState.ForgetFoundHandbox();
}

// ---- Time-outs and reacquisition ------------------------------------------------------

namespace {

void RestartDetection() {
    if (hooks.RestartDetection)
        hooks.RestartDetection();
}

// Drains what the handbox still sends, waiting up to six steps for the
// first byte.
void Drain(TApdComPort& Port) {
    for (;;) {
        while (Port.CharReady())
            Port.GetChar();
        int steps = 0;
        while (!Port.CharReady() && steps < 6) {
            WaitForRepliesInEventLoop(Timing::ReacquireDrainStepMs);
            ++steps;
        }
        if (steps > 0)
            return;
    }
}

// A time-out while a handbox was known: what became of it?
void Reacquire(TApdComPort& Port) {
    QObject* window = Port.parent();
    ShowMessageAt(window, QStringLiteral("Timeout from scope, refer log for details"));
    Port.PutString("#");
    WaitInEventLoop(Timing::ReacquireFlushMs);
    ProcessPendingMessages();
    Port.FlushInBuffer();
    Drain(Port);

    Port.ReplyBuffer.clear();
    Port.PutString(QByteArray(1, '\x06'));
    WaitForRepliesInEventLoop(Timing::ReacquireListenMs);
    ProcessPendingMessages();

    const QByteArray answer = Port.ReplyBuffer;
    if (answer.isEmpty() || answer[0] == '\x06') {
        LinkLost(Port);
        Port.Log.AddStringToLog(QStringLiteral("No response from scope "));
        FlashMessageAt(window, QStringLiteral("Scope no longer responding, trying to reacquire"));
        Port.AwaitingReply = false;
        RestartDetection();
        return;
    }

    if (!LinkState.InDownloadMode && answer[0] == 'D') {
        LinkState.InDownloadMode = true;
        ShowMessageAt(window, QStringLiteral("Scope reacquired but it is now in download mode?"));
        Port.AwaitingReply = false;
        RestartDetection();
    } else if (LinkState.InDownloadMode && answer[0] != 'D') {
        Port.AwaitingReply = false;
        LinkState.InDownloadMode = false;
        ShowMessageAt(window,
                      QStringLiteral("Scope was in download mode but cannot now be found?"));
        RestartDetection();
    } else {
        Port.AwaitingReply = false;
        const std::uint8_t previousKind = LinkState.HandboxKind;
        if (hooks.IdentifyHandbox)
            hooks.IdentifyHandbox(Port);
        if (HasNormalCommandSet(previousKind) && LinkState.HandboxKind != previousKind) {
            const QString changed =
                QStringLiteral("Scope reacquired but it has changed type???????");
            FlashMessageAt(window, changed);
            Port.Log.AddStringToLog(changed);
            RestartDetection();
        } else {
            Port.Log.AddStringToLog(QStringLiteral(" Scope still there. Chk command syntax "));
        }
    }
    if (Port.Open())
        Port.FlushInBuffer();
    Port.ReplyBuffer.clear();
}

} // namespace

void OnExchangeTimer(TApdComPort& Port, quint16 Handle) {
    // A time-out that belongs to an exchange that has ended (a run that was
    // stopped, a port closed under its wait) is dropped: it has nothing left
    // to end, and what it would say is about a question no longer asked.
    if (!Port.AwaitingReply)
        return;
    try {
        if (CheckPortLost(Port)) {
            LinkLost(Port);
            Port.AwaitingReply = false;
            if (!LinkHeldByRun(Port))
                RestartDetection();
            return;
        }
    } catch (...) {
        // A handler of the port's event: nothing may escape into the event
        // loop. Telling the user of the loss failed; the wait ends anyway.
        Port.AwaitingReply = false;
        return;
    }
    try {
        if (!Port.HoldFullTime && Port.Exchange.TerminatorTrigger != 0) {
            try {
                Port.RemoveTrigger(Port.Exchange.TerminatorTrigger);
            } catch (const EPortError&) {
                // Gone already.
            }
            Port.Exchange.TerminatorTrigger = 0;
        }
        if (Handle == Port.Exchange.ReplyTimer) {
            DisarmTimer(Port, Port.Exchange.ReplyTimer);
            if (Port.Exchange.QuietTimeout) {
                Port.Exchange.QuietTimeout = false;
            } else {
                Port.Log.AddStringToLog(QStringLiteral("Action Timed out "));
                if (LinkHeldByRun(Port) || Port.Exchange.Reacquiring) {
                    // The run holding the link reads again or gives up; a
                    // time-out of the reacquisition's own questions (the
                    // handbox answers the ACK but nothing else) is left to
                    // the running reacquisition: another would never end.
                } else if (LinkState.ScopeFound) {
                    Port.Exchange.Reacquiring = true;
                    struct Done {
                        bool& reacquiring;
                        ~Done() { reacquiring = false; }
                    } done{Port.Exchange.Reacquiring};
                    Reacquire(Port);
                } else
                    ShowMessageAt(Port.parent(),
                                  QStringLiteral("Action Timed out, refer log for details"));
            }
        }
        if (Handle == Port.Exchange.HoldTimer) {
            Port.HoldFullTime = false;
            DisarmTimer(Port, Port.Exchange.HoldTimer);
        }
    } catch (...) {
        // A handler of the port's event: nothing may escape into the event
        // loop. Whatever failed, the exchange must not be left waiting.
    }
    Port.AwaitingReply = false;
}
