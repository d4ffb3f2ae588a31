#include "common/EventWait.h"

#include "common/Timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

void WaitInEventLoop(int Ms) {
    QEventLoop loop;
    QTimer::singleShot(Timing::Scaled(Ms), &loop, &QEventLoop::quit);
    loop.exec();
}
