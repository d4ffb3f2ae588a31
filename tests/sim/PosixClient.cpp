#include "PosixClient.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PosixClient::PosixClient(const std::string& Path) {
    fd_ = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

PosixClient::~PosixClient() {
    Close();
}

void PosixClient::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PosixClient::SetSpeed(unsigned Rate) {
    speed_t standard = 0;
    switch (Rate) {
    case 1200:
        standard = B1200;
        break;
    case 2400:
        standard = B2400;
        break;
    case 4800:
        standard = B4800;
        break;
    case 9600:
        standard = B9600;
        break;
    case 19200:
        standard = B19200;
        break;
    case 38400:
        standard = B38400;
        break;
    case 57600:
        standard = B57600;
        break;
    case 115200:
        standard = B115200;
        break;
    default:
        break;
    }
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (standard != 0)
        return ::cfsetspeed(&settings, standard) == 0 && ::tcsetattr(fd_, TCSANOW, &settings) == 0;
    return ::tcsetattr(fd_, TCSANOW, &settings) == 0 && SetCustomSpeed(fd_, Rate);
}

bool PosixClient::TieInputSpeed() {
    return ClearInputSpeed(fd_);
}

bool PosixClient::Write(std::string_view Bytes) {
    return ::write(fd_, Bytes.data(), Bytes.size()) == static_cast<ssize_t>(Bytes.size());
}

bool PosixClient::Drain() {
    return ::tcdrain(fd_) == 0;
}

std::string PosixClient::Read(std::size_t Count, int TimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    std::string out;
    while (out.size() < Count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, Count - out.size()));
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EAGAIN) {
            lastError_ = n == 0 ? 0 : errno;
            break;
        }
    }
    return out;
}
