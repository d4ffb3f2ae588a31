#pragma once
// A bare POSIX serial client for the simulator's host tests: it opens a port
// by path and sets its speed the way any program on Linux would, so the tests
// check the simulated line itself, not Hexvac's serial layer.

#include <string>
#include <string_view>

class PosixClient {
public:
    explicit PosixClient(const std::string& Path);
    ~PosixClient();
    PosixClient(const PosixClient&) = delete;
    PosixClient& operator=(const PosixClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Raw 8N1 at Rate: standard rates through cfsetspeed(), any other rate
    // (14400, 28800) through termios2 with BOTHER.
    bool SetSpeed(unsigned Rate);
    // Clears the input speed field, so that the input speed follows the
    // output speed that SetSpeed() sets, also at the standard rates (which
    // otherwise leave an input speed set by termios2 as it was).
    bool TieInputSpeed();
    bool Write(std::string_view Bytes);
    // tcdrain(). On a pseudo-terminal it returns at once: nothing there
    // waits for the simulated line to carry the bytes.
    bool Drain();
    // Bytes until Count have come or TimeoutMs has passed. LastError() tells
    // whether the line broke (EIO, or 0 for an end of file).
    std::string Read(std::size_t Count, int TimeoutMs);
    int LastError() const { return lastError_; }
    void Close();

private:
    int fd_ = -1;
    int lastError_ = -1; // -1: no error seen
};

// Sets Rate on Fd with TCSETS2 and BOTHER, and clears Fd's input speed
// field; kept apart because their header clashes with <termios.h>.
bool SetCustomSpeed(int Fd, unsigned Rate);
bool ClearInputSpeed(int Fd);
