#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

bool CloseCheck(TApdComPort& Port) {
    bool canClose = true;
    QObject* window = Port.parent();
    if (Port.Open()) {
        // Is anything still answering the ACK?
        Port.ReplyBuffer.clear();
        Port.PutString(QByteArray(1, '\x06'));
        WaitForRepliesInEventLoop(Timing::CloseListenMs);
        ProcessPendingMessages();
        if (!Port.ReplyBuffer.isEmpty()) {
            QByteArray reply;
            SendCommand(Port, QByteArray(1, '\x06'), 1, Timing::CloseModeReplyMs, false, reply);
            if (reply == "D")
                canClose = AskQuestion(window, QStringLiteral("Scope is still in download mode"),
                                       QStringLiteral("Abort close"),
                                       QStringLiteral("Close anyway"), 1) == 2;
        }
    }
    if (canClose && LinkState.ScopeFound && LinkState.CurrentBaud != DefaultScopeBaud) {
        const int answer = AskQuestion(
            window, QStringLiteral("Scope is currently set to %1 baud").arg(LinkState.CurrentBaud),
            QStringLiteral("Reset to 9600 and close"), QStringLiteral("Close Anyway"), 1);
        if (answer == 1)
            canClose = SetScopeBaud(Port, DefaultScopeBaud);
    }
    return canClose;
}

void ResetRateWithoutAsking(TApdComPort& Port, qint32 Rate) {
    if (Port.Open() && LinkState.ScopeFound && !LinkState.InDownloadMode && Port.Baud() != Rate &&
        AcceptsBaudChange(LinkState.HandboxKind))
        SetScopeBaud(Port, Rate);
}
