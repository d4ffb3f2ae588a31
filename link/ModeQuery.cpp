#include "link/Replies.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/StopSignals.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

namespace {

constexpr char ACK = 0x06;

// The held ACK exchange: whatever arrives within the hold time.
QByteArray AskMode(TApdComPort& Port) {
    QByteArray reply;
    SendCommand(Port, QByteArray(1, ACK), 1, Timing::ModeHoldMs, true, reply);
    return reply;
}

// A probe that a handbox that is not parked leaves unanswered.
QByteArray ProbeParked(TApdComPort& Port, const QByteArray& Command) {
    return SendQuietProbe(Port, Command, Timing::ParkProbeMs);
}

} // namespace

QString QueryMode(TApdComPort& Port) {
    QByteArray reply = AskMode(Port);
    QString mode;
    bool parked = SaysParked(reply);
    if (!parked) {
        // ">D" is a handbox just switching to download mode: ask once more.
        if (reply == ">D")
            reply = AskMode(Port);
        if (reply.isEmpty() || reply.front() == ACK)
            reply = " ";
        mode = DescribeModeReply(reply);
        // A program being stopped (its stop ended the ACK's wait) asks no more.
        if (mode == QLatin1String(" ") && !StopSignalled()) {
            const QByteArray ed = ProbeParked(Port, "#:ED#");
            mode = QString::fromLatin1(ed);
            parked = SaysParked(ed);
            if (!parked && !StopSignalled()) {
                const QByteArray ec = ProbeParked(Port, "#:EC#");
                mode = QString::fromLatin1(ec);
                parked = SaysParked(ec);
            }
        }
    }
    LinkState.Parked = parked;
    if (parked)
        mode = QStringLiteral("Is Parked");
    else if (mode.isEmpty())
        mode = QStringLiteral(" ");
    LinkState.InDownloadMode = mode.startsWith(QLatin1Char('D'));
    return mode;
}
