// The bound on a dump's first try of a piece, and the late bytes after a
// try that the bound ended.

#include "link/ReplyWatch.h"

#include "common/EventWait.h"
#include "common/Timing.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"
#include "serial/LineDrain.h"

#include <QObject>
#include <QTimer>
#include <algorithm>

namespace {

// Replies the run must have seen before it judges one lost: the first ones
// wait the full time-out, for a handbox that is slow to start.
constexpr int RepliesBeforeBound = 3;
// The bound: twice the slowest recent reply, and twice the line time of
// what the exchange puts on the line, a reply that no handbox beats.
constexpr int SlowestFactor = 2;
constexpr int LineFactor = 2;
constexpr int BitsPerByte = 10; // start bit, eight data bits, stop bit
// A line that never falls quiet is not waited on for more than this many
// quiet windows; the read that follows finds out what it is.
constexpr int LateRounds = 10;

} // namespace

int TReplyWatch::BoundMs(int LineBytes) const {
    if (seen_ < RepliesBeforeBound)
        return 0;
    const auto last = recent_.begin() + std::min(seen_, Remembered);
    const qint64 slowest = *std::max_element(recent_.begin(), last);
    const qint64 lineMs = LineTime(LineBytes, port_.Baud(), BitsPerByte).count() / 1000 + 1;
    return int(
        std::max<qint64>({Timing::LostReplyFloorMs, SlowestFactor * slowest, LineFactor * lineMs}));
}

void TReplyWatch::Learn(qint64 Ms) {
    recent_[seen_ % Remembered] = Ms;
    ++seen_;
}

TReplyWatch::TRead TReplyWatch::Read(const std::function<QByteArray()>& ReadOnce, int LineBytes,
                                     bool Bounded) {
    TRead read;
    const int bound = Bounded ? BoundMs(LineBytes) : 0;
    read.Bounded = bound > 0;
    bool ended = false;
    // The connections and the timer live for this read only, so that
    // nothing of it reaches the exchange after.
    QObject scope;
    QObject::connect(&port_, &TApdComPort::TriggerTimer, &scope, [&](quint16 Handle) {
        if (Handle == port_.Exchange.ReplyTimer)
            ended = true;
    });
    QTimer cut;
    cut.setSingleShot(true);
    cut.setTimerType(Qt::PreciseTimer);
    QObject::connect(&cut, &QTimer::timeout, &scope, [&] {
        if (!port_.AwaitingReply) {
            // Between two sends of one exchange (a busy handbox's resend):
            // the next send is cut in its turn.
            cut.start(Timing::LostReplyFloorMs);
            return;
        }
        ended = true;
        // Ended as a time-out that is expected: no log line, no message;
        // the dump says itself what it does next.
        port_.Exchange.QuietTimeout = true;
        OnExchangeTimer(port_, port_.Exchange.ReplyTimer);
        port_.Exchange.QuietTimeout = false;
    });
    if (read.Bounded) {
        lastBound_ = bound;
        cut.start(bound);
    }
    sent_.start();
    read.Bytes = ReadOnce();
    read.Ms = int(sent_.elapsed());
    read.Ended = ended;
    if (!ended && !read.Bytes.isEmpty())
        Learn(read.Ms);
    return read;
}

bool TReplyWatch::DropLateBytes() {
    const int quiet = std::max(lastBound_, Timing::LostReplyFloorMs);
    qint64 firstLate = -1;
    QObject scope;
    QObject::connect(&port_, &TApdComPort::TriggerAvail, &scope, [&] {
        if (firstLate < 0)
            firstLate = sent_.elapsed();
    });
    for (int round = 0; round < LateRounds && port_.Open(); ++round) {
        port_.FlushInBuffer();
        port_.ReplyBuffer.clear();
        WaitInEventLoopUnscaled(quiet);
        if (port_.ReplyBuffer.isEmpty() && !port_.CharReady())
            break;
    }
    // A reply that came this late was only late: the bound makes room for it.
    if (firstLate >= 0)
        Learn(firstLate);
    if (port_.Open())
        port_.FlushInBuffer();
    port_.ReplyBuffer.clear();
    return firstLate >= 0;
}
