#include "sim/LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

std::optional<LineSpeed> ReadLineSpeed(int Fd) {
    struct termios2 settings {};
    if (::ioctl(Fd, TCGETS2, &settings) != 0)
        return std::nullopt;
    return LineSpeed{settings.c_ispeed, settings.c_ospeed};
}

bool SetRawLine(int Fd, unsigned Rate) {
    struct termios2 settings {};
    if (::ioctl(Fd, TCGETS2, &settings) != 0)
        return false;
    // What cfmakeraw() does: no line editing, no translation of bytes (a
    // binary block may hold CR or NUL), no echo back to the sender.
    settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = Rate;
    settings.c_ospeed = Rate;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::ioctl(Fd, TCSETS2, &settings) == 0;
}
