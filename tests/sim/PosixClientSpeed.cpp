#include "PosixClient.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetCustomSpeed(int Fd, unsigned Rate) {
    struct termios2 settings {};
    if (::ioctl(Fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = Rate;
    settings.c_ospeed = Rate;
    return ::ioctl(Fd, TCSETS2, &settings) == 0;
}

bool ClearInputSpeed(int Fd) {
    struct termios2 settings {};
    if (::ioctl(Fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~(CBAUD << IBSHIFT);
    return ::ioctl(Fd, TCSETS2, &settings) == 0;
}
