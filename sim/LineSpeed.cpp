#include "sim/LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

struct ClassicRate {
    unsigned Rate;
    unsigned Code;
};

// The rates termios has had a constant for since before any rate could be
// set as a number. A line set with one of them reads back the same through
// every interface (cfgetospeed, TIOCGSERIAL, Wine's GetCommState); one set
// with BOTHER and a number only through termios2, and Wine rejects it.
constexpr ClassicRate ClassicRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The rate's classic constant, or BOTHER: the rate is given as a number.
unsigned SpeedCode(unsigned Rate) {
    for (const ClassicRate& classic : ClassicRates)
        if (classic.Rate == Rate)
            return classic.Code;
    return BOTHER;
}

} // namespace

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
    // A classic rate leaves the input speed field clear (input at the
    // output rate), as a line set with cfsetspeed is; any other rate is
    // given as a number in both directions.
    const unsigned code = SpeedCode(Rate);
    settings.c_cflag |= CS8 | CREAD | CLOCAL | code | (code == BOTHER ? BOTHER << IBSHIFT : 0);
    settings.c_ispeed = Rate;
    settings.c_ospeed = Rate;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::ioctl(Fd, TCSETS2, &settings) == 0;
}
