// Finding the rate a handbox runs at, and switching it (and the port) to
// another one.

#include "common/EventWait.h"
#include "common/ProcessingBox.h"
#include "common/StdFuncsMisc.h"
#include "common/StopSignals.h"
#include "common/TestBauds.h"
#include "common/Timing.h"
#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"

#include <exception>

namespace {

QString ComName(const TApdComPort& Port) {
    return QStringLiteral("COM") + QString::number(Port.ComNumber());
}

QString AtRate(qint32 Rate) {
    return QStringLiteral("at ") + QString::number(Rate) + QStringLiteral(" Baud ");
}

void DiscardPending(TApdComPort& Port) {
    Port.FlushInBuffer();
    Port.FlushOutBuffer();
}

// Sets the port's rate with nothing left over from the old one on either
// side. What was written (the flush "#") still goes out at the old rate:
// the port drains before it changes.
void SwitchPortRate(TApdComPort& Port, qint32 Rate) {
    Port.FlushInBuffer();
    Port.SetBaud(Rate);
    DiscardPending(Port);
    ProcessPendingMessages();
}

// A lone "#" ends whatever half-command the handbox may be holding from
// noise at a wrong rate, so that the mode query starts clean.
void SendFlush(TApdComPort& Port) {
    QByteArray ignored;
    SendCommand(Port, QByteArrayLiteral("#"), 0, Timing::FlushProbeMs, false, ignored);
    ProcessPendingMessages();
}

void ReportFound(TApdComPort& Port, TProcessingBox* ProgressWindow, bool Quiet, qint32 Rate) {
    if (!Quiet)
        ShowMessageAt(Port.parent(), QStringLiteral("Scope found on ") + ComName(Port) +
                                         QLatin1Char(' ') + AtRate(Rate));
    else if (!ProgressWindow)
        FlashMessageAt(Port.parent(), QStringLiteral("Scope found on ") + ComName(Port) +
                                          QLatin1Char(' ') + AtRate(Rate));
    else
        ProgressWindow->SetLabel2(QStringLiteral("Scope found ") + AtRate(Rate));
}

// What every way out of the baud test leaves behind: the exchange loud again,
// the status line and baud menu showing the port's rate and, when the test
// was ended by an error, the port back at the rate it started with rather
// than at whichever rate was being tried.
class BaudTestExit {
public:
    BaudTestExit(TApdComPort& Port, qint32 RateBefore)
        : port_(Port)
        , rateBefore_(RateBefore)
        , exceptions_(std::uncaught_exceptions()) {}
    ~BaudTestExit() {
        port_.Exchange.QuietTimeout = false;
        try {
            if (std::uncaught_exceptions() > exceptions_ && port_.Baud() != rateBefore_)
                port_.SetBaud(rateBefore_);
        } catch (...) {
            // A destructor may raise nothing, and the error on its way out
            // is the one the caller needs to see.
        }
        try {
            RefreshPortStatus(port_);
        } catch (...) {
            // A destructor may raise nothing; the status line stays as it was.
        }
    }
    BaudTestExit(const BaudTestExit&) = delete;
    BaudTestExit& operator=(const BaudTestExit&) = delete;

private:
    TApdComPort& port_;
    qint32 rateBefore_;
    int exceptions_;
};

} // namespace

int BaudTest(TApdComPort& Port, TProcessingBox* ProgressWindow, QChar& ModeChar, bool Quiet) {
    const qint32 rateBefore = Port.Baud();
    ModeChar = QLatin1Char(' ');
    const BaudTestExit exit(Port, rateBefore);

    DiscardPending(Port);
    ProcessPendingMessages();
    Port.Exchange.QuietTimeout = Quiet;
    Port.Log.AddStringToLog(QStringLiteral("---Test Bauds--- on ") + ComName(Port));
    SendFlush(Port);
    if (ProgressWindow) {
        ProgressWindow->SetLabel1(QStringLiteral("Try ") + ComName(Port));
        ProgressWindow->SetLabel2(AtRate(rateBefore));
    }

    Port.Exchange.QuietTimeout = Quiet;
    Port.Log.AddStringToLog(QStringLiteral("Test Current Baud : ") + QString::number(rateBefore));
    ModeChar = AnswerLetterOf(QueryMode(Port), LinkState.Parked);
    Port.Exchange.QuietTimeout = false;
    if (IsHandboxLetter(ModeChar)) {
        ReportFound(Port, ProgressWindow, Quiet, rateBefore);
        return rateBefore;
    }

    Port.Log.AddStringToLog(QStringLiteral("---ReTest All Bauds---"));
    for (const int rate : TestBauds) {
        if (StopSignalled())
            break; // the tool is being stopped: no need to try the other rates
        SwitchPortRate(Port, rate);
        Port.Exchange.QuietTimeout = Quiet;
        SendFlush(Port);
        Port.Exchange.QuietTimeout = Quiet;
        Port.Log.AddStringToLog(QStringLiteral("Test Baud : ") + QString::number(rate));
        const QString mode = QueryMode(Port);
        ProcessPendingMessages();
        if (ProgressWindow)
            ProgressWindow->SetLabel2(AtRate(rate));
        ModeChar = AnswerLetterOf(mode, LinkState.Parked);
        Port.Exchange.QuietTimeout = false;
        if (IsHandboxLetter(ModeChar)) {
            ReportFound(Port, ProgressWindow, Quiet, rate);
            return rate;
        }
    }

    if (StopSignalled()) {
        SwitchPortRate(Port, rateBefore);
        return -1;
    }
    const QString none =
        QStringLiteral("All Bauds tried on ") + ComName(Port) + QStringLiteral(", no scope found");
    if (Quiet)
        FlashMessageAt(Port.parent(), none);
    else
        ShowMessageAt(Port.parent(), none);
    if (ProgressWindow)
        ProgressWindow->SetLabel2(QStringLiteral("All Bauds tried"));
    SwitchPortRate(Port, rateBefore);
    return -1;
}

bool SetScopeBaud(TApdComPort& Port, qint32 Rate) {
    if (AcceptsBaudChange(LinkState.HandboxKind)) {
        const std::optional<int> index = TestBaudIndex(Rate);
        if (!index) {
            ShowMessageAt(Port.parent(), QStringLiteral("Baud :") + QString::number(Rate) +
                                             QStringLiteral(" not valid for scope"));
            return false;
        }
        // The handbox answers "1" at the old rate and only then switches.
        QByteArray reply;
        SendCommand(Port, QByteArrayLiteral(":SB") + QByteArray::number(*index) + '#', 1,
                    Timing::BaudChangeReplyMs, false, reply);
        if (!BaudChangeAccepted(reply))
            return false;
        Port.SetBaud(Rate);
        FlashMessageAt(Port.parent(), QStringLiteral("New Baud Accepted"));
        return true;
    }
    if (LinkState.ScopeFound)
        return false; // a handbox that cannot change its rate: the port stays with it
    // Rate comes from a menu tag; a value no port could run at is refused
    // rather than kept as if it were set.
    if (Rate <= 0)
        return false;
    try {
        Port.SetBaud(Rate);
    } catch (const std::exception&) {
        return false;
    }
    FlashMessageAt(Port.parent(), QStringLiteral("New Baud Accepted"));
    return true;
}

void SlowBaudPrompt(TApdComPort& Port) {
    if (LinkState.CurrentBaud >= LinkState.MaxBaud)
        return;
    const int answer = AskQuestion(Port.parent(),
                                   QStringLiteral("Current baud is set to ") +
                                       QString::number(LinkState.CurrentBaud) +
                                       QStringLiteral(" ( which is slow )"),
                                   QStringLiteral("Set to ") + QString::number(LinkState.MaxBaud),
                                   QStringLiteral("Continue"), 1);
    if (answer != 1)
        return;
    SetScopeBaud(Port, LinkState.MaxBaud);
    RefreshPortStatus(Port);
}
