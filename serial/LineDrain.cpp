#include "serial/LineDrain.h"

#include <QSerialPort>
#include <thread>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <cerrno>
#include <termios.h>
#endif

namespace {

// Waits until the driver has handed every queued byte to the hardware.
void DrainDriver(QSerialPort& Port) {
#if defined(Q_OS_WIN)
    ::FlushFileBuffers(reinterpret_cast<HANDLE>(Port.handle()));
#else
    const int fd = Port.handle();
    if (fd < 0)
        return;
    while (::tcdrain(fd) != 0 && errno == EINTR) {
    }
#endif
}

} // namespace

std::chrono::microseconds LineTime(qint64 Bytes, int Baud, int BitsPerChar) {
    if (Baud <= 0)
        return std::chrono::microseconds(0);
    return std::chrono::microseconds((Bytes * BitsPerChar * 1000000LL + Baud - 1) / Baud);
}

void WaitUntilSent(QSerialPort& Port, int Baud, int BitsPerChar,
                   std::chrono::steady_clock::time_point SentBy) {
    // Bytes still in QSerialPort's own buffer go to the driver first; a
    // command is far smaller than the driver's queue, so this seldom waits.
    Port.flush();
    if (const qint64 queued = Port.bytesToWrite(); queued > 0)
        Port.waitForBytesWritten(int(1000 + LineTime(queued, Baud, BitsPerChar).count() / 1000));
    DrainDriver(Port);
    // The shift register still holds the last character when the queue is empty.
    const auto until =
        std::max(SentBy, std::chrono::steady_clock::now() + LineTime(1, Baud, BitsPerChar));
    std::this_thread::sleep_until(until);
}
