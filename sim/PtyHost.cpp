// The pseudo-terminal's life: creating it and registering the port, the
// serving loop, and taking it all down again.

#include "sim/PtyHost.h"

#include "common/VirtualPorts.h"
#include "sim/LineSpeed.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

PtyHost::PtyHost(HandboxEngine Engine, LineOptions Options)
    : engine_(std::move(Engine))
    , options_(Options)
    , noise_(Options.FlipSeed) {}

PtyHost::~PtyHost() {
    Stop();
}

bool PtyHost::Open(std::string& Error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        Error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    device_ = name;
    // Start raw at the handbox's rate, so a plain terminal tool that does not
    // set the line still talks to it; the program sets its own anyway.
    if (!SetRawLine(master_, static_cast<unsigned>(engine_.Baud())) ||
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
        Error = "cannot set up " + device_ + ": " + std::strerror(errno);
        Close();
        return false;
    }
    // While no one has the slave open the master reports a hang-up at every
    // poll; waiting for the program to open it is done on these events instead.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watch_ < 0 || wake_ < 0 ||
        ::inotify_add_watch(watch_, device_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        Error = std::string("cannot watch ") + device_ + ": " + std::strerror(errno);
        Close();
        return false;
    }
    folder_ = MakeVirtualPortsFolder(Error);
    if (folder_.empty() ||
        (port_ = RegisterVirtualPort(folder_, options_.PortNumber, device_, Error)) < 0) {
        port_ = 0;
        Close();
        return false;
    }
    link_ = VirtualPortLink(folder_, port_);
    return true;
}

void PtyHost::Close() {
    if (!link_.empty())
        UnregisterVirtualPort(link_, device_);
    link_.clear();
    for (int* fd : {&master_, &watch_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (const int wake = wake_.exchange(-1); wake >= 0)
        ::close(wake);
}

void PtyHost::Start() {
    thread_ = std::thread([this] { Run(); });
}

void PtyHost::RequestStop() {
    const int wake = wake_.load();
    if (wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }
}

void PtyHost::Stop() {
    RequestStop();
    if (thread_.joinable())
        thread_.join();
    Close();
}

bool PtyHost::OpenedSinceLastLook() {
    // The watch is read before the line in every round, and a program can
    // only write after its open is queued here, so a command is never
    // mistaken for a leftover.
    alignas(inotify_event) char events[4096];
    bool opened = false;
    ssize_t n;
    while ((n = ::read(watch_, events, sizeof events)) > 0)
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opened = opened || (event->mask & IN_OPEN);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    return opened;
}

bool PtyHost::PeerAttached() const {
    pollfd p{master_, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

namespace {
// Bytes a paced line hands over at once, as a UART's receive FIFO does.
constexpr std::size_t PacedChunkBytes = 8;
} // namespace

std::optional<PtyHost::Clock::time_point> PtyHost::NextWake() const {
    std::optional<Clock::time_point> at;
    // Paced bytes are due every few tens of microseconds at the high rates:
    // wake at the due time itself, not at the next millisecond. Like a UART's
    // receive FIFO, the line hands bytes over a few at a time: wake when a
    // chunk is complete, or when the reply's last byte is due, so the reply
    // still ends exactly on time.
    if (attached_ && !pending_.empty() && !writeBlocked_) {
        const Outgoing& out = pending_.front();
        const auto chunk = std::min<std::size_t>(out.Bytes.size(), PacedChunkBytes);
        at = out.Next + out.Step * static_cast<int>(chunk - 1);
    }
    // A byte on its way in is judged when it has left the program's side,
    // also after the program has closed it.
    if (!received_.empty() && (!at || received_.front().End < *at))
        at = received_.front().End;
    return at;
}

void PtyHost::Run() {
    // Wake at a byte's due time, not up to 50 us after it as the default
    // timer slack allows: a real line is not late.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    attached_ = master_ >= 0 && PeerAttached();
    while (master_ >= 0) {
        timespec timeout{};
        timespec* until = nullptr;
        if (const std::optional<Clock::time_point> at = NextWake()) {
            const auto wait = std::max(Clock::duration::zero(), *at - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            until = &timeout;
        }
        pollfd fds[3] = {{wake_, POLLIN, 0},
                         {watch_, POLLIN, 0},
                         {attached_ ? master_ : -1,
                          static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0}};
        if (::ppoll(fds, 3, until, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        bool reopened = false;
        if (fds[1].revents && OpenedSinceLastLook()) {
            // A port opened afresh holds nothing from before. Replies to a
            // program that closed its side (maybe written after it closed)
            // would otherwise wait in the line for the next one to open it.
            // Bytes that program sent are still on their way and still reach
            // the handbox, but their replies go nowhere (see Arrive).
            ::tcflush(master_, TCOFLUSH);
            ReportBlocks();
            pending_.clear();
            writeBlocked_ = false;
            outputFree_ = Clock::time_point{};
            ++session_;
            attached_ = PeerAttached();
            reopened = true;
        }
        // A program that opened the port, wrote and closed it again between
        // two rounds was never seen attached, but what it wrote was sent all
        // the same: with nobody on the far side now, it is read here.
        if (fds[1].revents && !attached_)
            ReadLeftInput();
        if (attached_ && (fds[2].revents & POLLOUT))
            writeBlocked_ = false;
        // After a reopen the poll may still tell of the earlier program's
        // close: the line is looked at afresh in the next round, rather than
        // taking the new program for gone.
        if (attached_ && !reopened && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0)
                HandleInput(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR) || (fds[2].revents & POLLHUP))
                LineDropped(); // EIO: the program has closed its side
        }
        DeliverArrived();
        if (attached_ && master_ >= 0)
            SendDue();
    }
    ReportBlocks(); // a session cut short by the stop
}

void PtyHost::ReadLeftInput() {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0)
        HandleInput(buffer, static_cast<std::size_t>(n));
}

void PtyHost::LineDropped() {
    // What was still to be sent has nowhere to go, as on a real line whose
    // far end is closed. The master stays open: the program may open the
    // port again, and closing the master would make the device disappear.
    // Bytes it sent before it closed are still on their way in.
    attached_ = false;
    writeBlocked_ = false;
    pending_.clear();
    ReportBlocks();
}

void PtyHost::Vanish() {
    // As a USB adapter pulled out: the device and its port go away at once.
    // The stop and watch descriptors stay until Stop(): another thread may be
    // signalling through them right now.
    pending_.clear();
    received_.clear();
    if (!link_.empty())
        UnregisterVirtualPort(link_, device_);
    link_.clear();
    vanished_ = true; // before the close that the far side sees at once
    ::close(master_);
    master_ = -1;
}
