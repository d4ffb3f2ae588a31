#include "common/EventWait.h"

#include "common/Timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

namespace {

void SleepInEventLoop(int WallMs) {
    QEventLoop loop;
    QTimer::singleShot(WallMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

void WaitInEventLoop(int Ms) {
    SleepInEventLoop(Timing::Scaled(Ms));
}

void WaitForRepliesInEventLoop(int Ms) {
    SleepInEventLoop(Timing::ScaledReplyWait(Ms));
}

void WaitInEventLoopUnscaled(int Ms) {
    SleepInEventLoop(Ms);
}
