#include "serial/LineDrain.h"

#include "common/Timing.h"

#include <QSerialPort>
#include <chrono>
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

void WaitUntilSent(QSerialPort& Port, int Baud, int BitsPerChar) {
    // Bytes still in QSerialPort's own buffer go to the driver first; a
    // command is far smaller than the driver's queue, so this seldom waits.
    Port.flush();
    if (const qint64 queued = Port.bytesToWrite(); queued > 0 && Baud > 0)
        Port.waitForBytesWritten(int(1000 + queued * BitsPerChar * 1000LL / Baud));
    DrainDriver(Port);
    const auto lastCharacter =
        std::chrono::microseconds(Baud > 0 ? (BitsPerChar * 1000000LL + Baud - 1) / Baud : 0);
    std::this_thread::sleep_for(lastCharacter +
                                std::chrono::milliseconds(Timing::LineDrainMarginMs));
}
