#include "serial/CustomBaud.h"

#include <QSerialPort>

#if defined(__linux__)

// <asm/termbits.h> and <termios.h> both define struct termios: this file
// includes only the former.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool TieInputSpeedToOutput(QSerialPort& Port) {
    const int fd = Port.handle();
    struct termios2 settings {};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    constexpr unsigned InputField = CBAUD << IBSHIFT;
    if ((settings.c_cflag & InputField) == 0)
        return true;
    settings.c_cflag &= ~InputField;
    return ::ioctl(fd, TCSETS2, &settings) == 0;
}

#else

bool TieInputSpeedToOutput(QSerialPort&) {
    return true;
}

#endif
