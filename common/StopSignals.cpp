#include "common/StopSignals.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> stopped{false};
std::function<void()> onStop;

void RunOnStop() {
    if (onStop)
        onStop();
}

#if defined(Q_OS_WIN)

BOOL WINAPI OnConsoleEvent(DWORD Event) {
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && Event != CTRL_CLOSE_EVENT)
        return FALSE;
    stopped = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &RunOnStop, Qt::QueuedConnection);
    return TRUE;
}

#else

// The handler only writes to a pipe (safe in a handler); the event loop
// watches the other end.
int pipeFds[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    stopped = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

#endif

} // namespace

void CatchStopSignals(std::function<void()> OnStop) {
    onStop = std::move(OnStop);
    stopped = false;
#if defined(Q_OS_WIN)
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
#else
    if (pipeFds[0] < 0) {
        if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        auto* notifier =
            new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
            char bytes[64];
            while (::read(pipeFds[0], bytes, sizeof bytes) > 0) {
            }
            RunOnStop();
        });
    }
    // Without SA_RESTART, a blocking system call returns at the signal.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
#endif
}

void ClearStopHandler() {
    onStop = nullptr;
}

bool StopSignalled() {
    return stopped;
}

bool WaitForInputUnlessStopped() {
#if defined(Q_OS_WIN)
    return !stopped;
#else
    while (!stopped) {
        pollfd fds[2] = {{0, POLLIN, 0}, {pipeFds[0], POLLIN, 0}};
        const int n = ::poll(fds, pipeFds[0] >= 0 ? 2 : 1, -1);
        if (n < 0 && errno != EINTR)
            return true; // let the read itself find out what is wrong
        if (n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            return !stopped;
    }
    return false;
#endif
}
