#pragma once
// The port property report's records on Linux, from the terminal settings
// (termios) and, where the driver answers it, TIOCGSERIAL. Plain C++ and
// POSIX, no Qt.
//
// COM<n> is the port the enumeration lists under that number
// (PortEnumLinux.h); its target is the device it leads to ("/dev/ttyUSB0",
// or for a virtual port the terminal its link points at, "/dev/pts/3"). The
// port is opened read-only, without becoming the controlling terminal and
// without waiting for carrier, only to read; its line settings are not
// touched, exclusive mode is not set, and it is closed at once. (The
// driver's open of a port nobody holds raises DTR and RTS, as it does for
// any open on Linux.) A device that is not a terminal has none of the three
// records; a port that cannot be opened (gone, held in exclusive mode,
// no permission) has no handle.
//
// | Record field                  | Linux source or fixed value                                 |
// |-------------------------------|-------------------------------------------------------------|
// | COMMCONFIG dwSize             | 52, the size of the system's record                         |
// | wVersion / wReserved          | 1 / 0                                                       |
// | dwProviderSubType             | as dwProvSubType                                            |
// | dwProviderOffset, Size, Data  | 0, 0, empty: no provider data                               |
// | COMMPROP wPacketLength        | 64, the size of the system's record                         |
// | wPacketVersion                | 2                                                           |
// | dwServiceMask                 | 1 (serial communication)                                    |
// | dwReserved1                   | 0                                                           |
// | dwMaxTxQueue, dwMaxRxQueue    | 0: the tty layer imposes no maximum                         |
// | dwMaxBaud                     | the rate bit of the UART's baud_base when it is one of the  |
// |                               | 19 listed rates (115200 for a 16550), else User Definable   |
// | dwProvSubType                 | 1 RS232 when TIOCGSERIAL answers (a UART, a USB adapter),   |
// |                               | else 0 UNSPECIFIED                                          |
// | dwProvCapabilities            | RTSCTS, RLSD, PARITY_CHECK, XONXOFF, SETXCHAR,              |
// |                               | TOTALTIMEOUTS, INTTIMEOUTS, SPECIALCHARS: what every tty    |
// |                               | offers; no DTR/DSR flow control, no 16-bit mode             |
// | dwSettableParams              | all seven                                                   |
// | dwSettableBaud                | the listed rates Linux has a speed constant for (all but    |
// |                               | 7200, 14400, 56000, 128000) up to baud_base when known,     |
// |                               | and User Definable: any other rate is set as BOTHER         |
// | wSettableData                 | 5, 6, 7 and 8 bits                                          |
// | wSettableStopParity           | 1 and 2 stop bits; none, odd, even, mark, space (CMSPAR)    |
// | dwCurrentTxQueue, RxQueue     | the UART's FIFO size (xmit_fifo_size), else 0               |
// | dwProvSpec1 / dwProvSpec2     | the UART type code / its IRQ, else 0 / 0                    |
// | wcProvChar                    | the UART type's name ("16550A"), else empty                 |
// | ReadIntervalTimeout           | VMIN 0, VTIME 0: 4294967295 (return what is there);         |
// | ReadTotalTimeoutMultiplier    | VMIN 0, VTIME t: 4294967295, 4294967295, 100 t (wait up to  |
// | ReadTotalTimeoutConstant      | 100 t ms for the first byte); VMIN > 0, VTIME t: 100 t ms   |
// |                               | between bytes, 0, 0; VMIN > 0, VTIME 0: 0, 0, 0 (block)     |
// | Write time-outs               | 0, 0: a write on Linux has no time-out                      |
// | DCB DCBlength                 | 28, the size of the system's record                         |
// | BaudRate                      | the output rate (TCGETS2, so a custom rate is exact)        |
// | fBinary                       | 1: there is no text mode                                    |
// | fParity                       | PARENB with INPCK (parity checked on input)                 |
// | fOutxCtsFlow                  | CRTSCTS                                                     |
// | fOutxDsrFlow, fDsrSensitivity | 0: Linux has no DSR flow control                            |
// | fDtrControl                   | 1 ENABLE: DTR is raised while the port is open (dropped at  |
// |                               | the last close when HUPCL is set)                           |
// | fTXContinueOnXoff             | 1: sending XOFF does not stop our own output                |
// | fOutX / fInX                  | IXON / IXOFF                                                |
// | fErrorChar, ErrorChar         | INPCK without IGNPAR and PARMRK: a byte received with a     |
// |                               | parity or framing error is read as 0; ErrorChar 0           |
// | fNull, fAbortOnError          | 0: no such settings                                         |
// | fRtsControl                   | 2 HANDSHAKE with CRTSCTS, else 1 ENABLE                     |
// | XonLim / XoffLim              | 128 / 128: the line discipline's fixed throttle thresholds  |
// | ByteSize                      | CSIZE: 5 to 8                                               |
// | Parity                        | PARENB off: 0 none; with CMSPAR: 3 mark (PARODD) or 4       |
// |                               | space; else 1 odd (PARODD) or 2 even                        |
// | StopBits                      | CSTOPB: 2 (two), else 0 (one)                               |
// | XonChar / XoffChar / EofChar  | VSTART / VSTOP / VEOF                                       |
// | EvtChar, wReserved (both)     | 0: no such settings                                         |
//
// A pseudo-terminal (a virtual port such as the simulator's) has no
// TIOCGSERIAL: it shows provider subtype UNSPECIFIED, MaxBaud User
// Definable, every rate with a speed constant settable, queue sizes 0,
// ProvSpec1 and ProvSpec2 0 and an empty ProvChar. Its rate, stop bits,
// flow control, characters and time-outs are read like any port's, but the
// kernel keeps every pty at 8 data bits without parity whatever a program
// sets, so a pty always shows "8" and "None".

#include "diag/PortEnumLinux.h"
#include "diag/PortPropsBackend.h"

#include <cstdint>
#include <optional>

// What the records are made of: the terminal settings (flag words with the
// kernel's bit values, the rate as a number) ...
struct TLinuxLineSettings {
    std::uint32_t IFlag = 0;
    std::uint32_t CFlag = 0;
    std::uint32_t Rate = 0;
    std::uint8_t Start = 0, Stop = 0, Eof = 0, Min = 0, Time = 0; // VSTART ... VTIME
};

// ... and what TIOCGSERIAL tells of the UART, where the driver answers it.
struct TLinuxUartInfo {
    int Type = 0; // the kernel's PORT_ code: 4 for a 16550A
    int Irq = 0;
    int FifoSize = 0;
    int BaudBase = 0;
};

// The three records of a terminal, by the table above.
TPortRecords LinuxPortRecords(const TLinuxLineSettings& Line,
                              const std::optional<TLinuxUartInfo>& Uart);

class TLinuxPortPropsBackend final : public TPortPropsBackend {
public:
    explicit TLinuxPortPropsBackend(TLinuxPortPaths Paths = SystemLinuxPortPaths());
    std::string DeviceTarget(const std::string& PortName) override;
    bool ReadPortRecords(const std::string& PortName, TPortRecords& Records) override;

private:
    TLinuxPortPaths paths_;
};
