#include "common/EventWait.h"

#include "common/Timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

void WaitInEventLoop(int Ms) {
    WaitInEventLoopUnscaled(Timing::Scaled(Ms));
}

void WaitInEventLoopUnscaled(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
