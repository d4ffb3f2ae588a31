// The port property report's records on Linux: the terminal settings read
// through a query-only open, and the UART details TIOCGSERIAL gives where
// the driver has them. The header's table is the whole mapping.

#include "diag/PortPropsLinux.h"

#include <charconv>
#include <fcntl.h>
#include <iterator>
#include <sys/ioctl.h>
#include <unistd.h>

#ifdef __linux__
// termios2 rather than <termios.h>: TCGETS2 gives the rate as a number, a
// custom (BOTHER) rate included, where cfgetospeed only gives a constant.
#include <asm/termbits.h>
#include <linux/serial.h>
#else
#include <termios.h>
#endif

namespace {

// The rates of the settable-baud bits 0 to 18, in bit order, and whether
// Linux has a speed constant for the rate (the others need BOTHER).
struct TListedRate {
    std::uint32_t Rate;
    bool HasSpeedConstant;
};
constexpr TListedRate ListedRates[] = {
    {75, true},     {110, true},     {134, true},    {150, true},   {300, true},
    {600, true},    {1200, true},    {1800, true},   {2400, true},  {4800, true},
    {7200, false},  {9600, true},    {14400, false}, {19200, true}, {38400, true},
    {56000, false}, {128000, false}, {115200, true}, {57600, true}};
constexpr std::uint32_t UserDefinableBaud = 1u << 28;

// Fixed values of fields Linux has no counterpart for.
constexpr std::uint32_t CommConfigSize = 52; // sizeof(COMMCONFIG)
constexpr std::uint16_t CommConfigVersion = 1;
constexpr std::uint16_t CommPropSize = 64; // sizeof(COMMPROP)
constexpr std::uint16_t CommPropVersion = 2;
constexpr std::uint32_t SerialCommService = 1;
constexpr std::uint32_t SubTypeUnspecified = 0;
constexpr std::uint32_t SubTypeRs232 = 1;
// RTSCTS, RLSD, PARITY_CHECK, XONXOFF, SETXCHAR, TOTALTIMEOUTS, INTTIMEOUTS,
// SPECIALCHARS.
constexpr std::uint32_t TtyCapabilities = 0x01FE;
constexpr std::uint32_t AllSettableParams = 0x007F;
constexpr std::uint16_t DataBits5To8 = 0x000F;
// One and two stop bits; none, odd, even, mark and space parity.
constexpr std::uint16_t StopAndParity = 0x1F05;
// n_tty throttles the sender when fewer than 128 bytes of its buffer are
// free and lets it go on when fewer than 128 are left to read.
constexpr std::uint16_t ThrottleThreshold = 128;
constexpr std::uint32_t NoTimeout = 0xFFFFFFFFu; // MAXDWORD
constexpr std::uint32_t MsPerVtime = 100;

enum : std::uint32_t {
    FlagBinary = 1u << 0,
    FlagParity = 1u << 1,
    FlagOutxCtsFlow = 1u << 2,
    DtrEnable = 1u << 4,
    FlagTxContinueOnXoff = 1u << 7,
    FlagOutX = 1u << 8,
    FlagInX = 1u << 9,
    FlagErrorChar = 1u << 10,
    RtsEnable = 1u << 12,
    RtsHandshake = 2u << 12,
};

std::optional<TLinuxLineSettings> ReadLineSettings(int Fd) {
    TLinuxLineSettings line;
#ifdef __linux__
    termios2 tio{};
    if (::ioctl(Fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    line.Rate = tio.c_ospeed;
#else
    termios tio{};
    if (::tcgetattr(Fd, &tio) != 0)
        return std::nullopt;
    line.Rate = static_cast<std::uint32_t>(::cfgetospeed(&tio)); // the rate itself on BSD
#endif
    line.IFlag = static_cast<std::uint32_t>(tio.c_iflag);
    line.CFlag = static_cast<std::uint32_t>(tio.c_cflag);
    line.Start = tio.c_cc[VSTART];
    line.Stop = tio.c_cc[VSTOP];
    line.Eof = tio.c_cc[VEOF];
    line.Min = tio.c_cc[VMIN];
    line.Time = tio.c_cc[VTIME];
    return line;
}

std::optional<TLinuxUartInfo> ReadUartInfo([[maybe_unused]] int Fd) {
#ifdef __linux__
    serial_struct serial{};
    if (::ioctl(Fd, TIOCGSERIAL, &serial) != 0)
        return std::nullopt;
    return TLinuxUartInfo{serial.type, serial.irq, serial.xmit_fifo_size, serial.baud_base};
#else
    return std::nullopt;
#endif
}

// The names of the kernel's UART type codes 1 to 13 (PORT_8250 ...).
std::string UartTypeName(int Type) {
    static const char* const names[] = {"8250",  "16450",   "16550", "16550A",   "Cirrus",
                                        "16650", "16650V2", "16750", "Startech", "16C950",
                                        "16654", "16850",   "RSA"};
    return Type >= 1 && Type <= static_cast<int>(std::size(names)) ? names[Type - 1] : "";
}

TDcb MakeDcb(const TLinuxLineSettings& Line) {
    TDcb dcb;
    dcb.BaudRate = Line.Rate;
    const bool parity = (Line.CFlag & PARENB) != 0;
    const bool checked = parity && (Line.IFlag & INPCK) != 0;
    std::uint32_t flags = FlagBinary | DtrEnable | FlagTxContinueOnXoff;
    if (checked)
        flags |= FlagParity;
    if (Line.CFlag & CRTSCTS)
        flags |= FlagOutxCtsFlow | RtsHandshake;
    else
        flags |= RtsEnable;
    if (Line.IFlag & IXON)
        flags |= FlagOutX;
    if (Line.IFlag & IXOFF)
        flags |= FlagInX;
    if (checked && (Line.IFlag & (IGNPAR | PARMRK)) == 0)
        flags |= FlagErrorChar;
    dcb.Flags = flags;
    dcb.XonLim = ThrottleThreshold;
    dcb.XoffLim = ThrottleThreshold;
    switch (Line.CFlag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    const bool odd = (Line.CFlag & PARODD) != 0;
#ifdef CMSPAR
    const bool stick = (Line.CFlag & CMSPAR) != 0;
#else
    const bool stick = false;
#endif
    dcb.Parity = !parity ? 0 : stick ? (odd ? 3 : 4) : (odd ? 1 : 2);
    dcb.StopBits = (Line.CFlag & CSTOPB) ? 2 : 0;
    dcb.XonChar = Line.Start;
    dcb.XoffChar = Line.Stop;
    dcb.EofChar = Line.Eof;
    return dcb;
}

TCommConfig MakeConfig(const TLinuxLineSettings& Line, std::uint32_t SubType) {
    TCommConfig config;
    config.dwSize = CommConfigSize;
    config.wVersion = CommConfigVersion;
    config.dcb = MakeDcb(Line);
    config.dwProviderSubType = SubType;
    return config;
}

TCommProp MakeProp(const std::optional<TLinuxUartInfo>& Uart, std::uint32_t SubType) {
    TCommProp prop;
    prop.wPacketLength = CommPropSize;
    prop.wPacketVersion = CommPropVersion;
    prop.dwServiceMask = SerialCommService;
    prop.dwProvSubType = SubType;
    prop.dwProvCapabilities = TtyCapabilities;
    prop.dwSettableParams = AllSettableParams;
    prop.wSettableData = DataBits5To8;
    prop.wSettableStopParity = StopAndParity;
    const auto baudBase =
        static_cast<std::uint32_t>(Uart && Uart->BaudBase > 0 ? Uart->BaudBase : 0);
    prop.dwMaxBaud = UserDefinableBaud;
    prop.dwSettableBaud = UserDefinableBaud;
    for (std::size_t bit = 0; bit < std::size(ListedRates); ++bit) {
        const TListedRate& listed = ListedRates[bit];
        if (listed.Rate == baudBase)
            prop.dwMaxBaud = 1u << bit;
        if (listed.HasSpeedConstant && (baudBase == 0 || listed.Rate <= baudBase))
            prop.dwSettableBaud |= 1u << bit;
    }
    if (Uart) {
        const auto fifo = static_cast<std::uint32_t>(Uart->FifoSize > 0 ? Uart->FifoSize : 0);
        prop.dwCurrentTxQueue = fifo;
        prop.dwCurrentRxQueue = fifo;
        prop.dwProvSpec1 = static_cast<std::uint32_t>(Uart->Type);
        prop.dwProvSpec2 = static_cast<std::uint32_t>(Uart->Irq);
        prop.ProvChar = UartTypeName(Uart->Type);
    }
    return prop;
}

// VMIN and VTIME in the system's terms: a wait for the first byte is a
// total time-out, a wait between bytes an interval time-out.
TCommTimeouts MakeTimeouts(const TLinuxLineSettings& Line) {
    TCommTimeouts timeouts;
    const std::uint32_t ms = Line.Time * MsPerVtime;
    if (Line.Min == 0) {
        timeouts.ReadIntervalTimeout = NoTimeout;
        if (Line.Time != 0) {
            timeouts.ReadTotalTimeoutMultiplier = NoTimeout;
            timeouts.ReadTotalTimeoutConstant = ms;
        }
    } else {
        timeouts.ReadIntervalTimeout = ms;
    }
    return timeouts;
}

std::optional<TLinuxSerialPort> FindPort(const TLinuxPortPaths& Paths,
                                         const std::string& PortName) {
    if (PortName.rfind("COM", 0) != 0)
        return std::nullopt;
    int number = 0;
    const char* end = PortName.data() + PortName.size();
    const auto [last, error] = std::from_chars(PortName.data() + 3, end, number);
    if (error != std::errc() || last != end)
        return std::nullopt;
    for (TLinuxSerialPort& port : ListLinuxSerialPorts(Paths))
        if (port.Number == number)
            return std::move(port);
    return std::nullopt;
}

} // namespace

TLinuxPortPropsBackend::TLinuxPortPropsBackend(TLinuxPortPaths Paths)
    : paths_(std::move(Paths)) {}

std::string TLinuxPortPropsBackend::DeviceTarget(const std::string& PortName) {
    const std::optional<TLinuxSerialPort> port = FindPort(paths_, PortName);
    return port ? port->DevicePath : std::string();
}

bool TLinuxPortPropsBackend::ReadPortRecords(const std::string& PortName, TPortRecords& Records) {
    const std::optional<TLinuxSerialPort> port = FindPort(paths_, PortName);
    if (!port)
        return false;
    // Read-only and non-blocking: no wait for carrier, and nothing is set.
    const int fd = ::open(port->OpenPath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::optional<TLinuxLineSettings> line = ReadLineSettings(fd);
    const std::optional<TLinuxUartInfo> uart = line ? ReadUartInfo(fd) : std::nullopt;
    ::close(fd);
    if (!line)
        return true; // opened, but not a terminal: nothing to report
    Records = LinuxPortRecords(*line, uart);
    return true;
}

TPortRecords LinuxPortRecords(const TLinuxLineSettings& Line,
                              const std::optional<TLinuxUartInfo>& Uart) {
    const std::uint32_t subType = Uart ? SubTypeRs232 : SubTypeUnspecified;
    TPortRecords records;
    records.Config = MakeConfig(Line, subType);
    records.Prop = MakeProp(Uart, subType);
    records.Timeouts = MakeTimeouts(Line);
    return records;
}

std::unique_ptr<TPortPropsBackend> MakeSystemPortPropsBackend() {
    return std::make_unique<TLinuxPortPropsBackend>();
}
