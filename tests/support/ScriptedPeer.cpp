#include "tests/support/ScriptedPeer.h"

#include "common/VirtualPorts.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

ScriptedPeer::ScriptedPeer() = default;

ScriptedPeer::~ScriptedPeer() {
    if (wake_[1] >= 0) {
        const char c = 'x';
        [[maybe_unused]] const auto n = ::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    if (!link_.empty())
        UnregisterVirtualPort(link_, device_);
    for (int fd : {master_, slave_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

void ScriptedPeer::Answer(const QByteArray& Request, const QByteArray& Reply, int DelayMs) {
    const std::lock_guard lock(mutex_);
    script_.append({Request, Reply, DelayMs});
}

QByteArray ScriptedPeer::Received() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

int ScriptedPeer::Start(QString& Error) {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0 || ::pipe(wake_) != 0) {
        Error = QStringLiteral("openpty failed");
        return 0;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    // The peer keeps a slave descriptor of its own (never read) so that the
    // line is not hung up while the program's side is closed.
    slave_ = slave;
    device_ = name;
    std::string error;
    const std::string folder = MakeVirtualPortsFolder(error);
    const int port = folder.empty() ? -1 : RegisterVirtualPort(folder, 0, device_, error);
    if (port < 0) {
        Error = QString::fromStdString(error);
        return 0;
    }
    link_ = VirtualPortLink(folder, port);
    thread_ = std::thread([this] { Serve(); });
    return port;
}

void ScriptedPeer::Serve() {
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            return;
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        QByteArray reply;
        int delayMs = 0;
        {
            const std::lock_guard lock(mutex_);
            received_.append(buffer, n);
            pending_.append(buffer, n);
            for (qsizetype i = 0; i < script_.size(); ++i) {
                if (pending_.endsWith(script_[i].Request)) {
                    reply = script_[i].Reply;
                    delayMs = script_[i].DelayMs;
                    // A request answered again uses its next scripted reply.
                    for (qsizetype j = i + 1; j < script_.size(); ++j)
                        if (script_[j].Request == script_[i].Request) {
                            script_.removeAt(i);
                            break;
                        }
                    pending_.clear();
                    break;
                }
            }
        }
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (!reply.isEmpty()) [[maybe_unused]]
            const auto w = ::write(master_, reply.constData(), reply.size());
    }
}
