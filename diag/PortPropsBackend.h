#pragma once
// The platform side of the port property report: the communications
// configuration (with its control block of line settings), the driver's
// properties and the time-outs of one port, and the device its name stands
// for. The records mirror the system's published COMMCONFIG, DCB, COMMPROP
// and COMMTIMEOUTS field for field, so the report reads the same everywhere.
//
// Plain C++ on the standard library (no Qt), like the enumeration backend:
// PortPropsWindows.cpp uses the real calls, PortPropsLinux.cpp fills the
// same records from termios and TIOCGSERIAL; tests install their own.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct TDcb {
    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0; // fBinary is bit 0 ... fAbortOnError bit 14
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};

struct TCommConfig {
    std::uint32_t dwSize = 0;
    std::uint16_t wVersion = 0;
    std::uint16_t wReserved = 0;
    TDcb dcb;
    std::uint32_t dwProviderSubType = 0;
    std::uint32_t dwProviderOffset = 0;
    std::uint32_t dwProviderSize = 0;
    std::string ProviderData; // wcProviderData's bytes, as read
};

struct TCommProp {
    std::uint16_t wPacketLength = 0;
    std::uint16_t wPacketVersion = 0;
    std::uint32_t dwServiceMask = 0;
    std::uint32_t dwReserved1 = 0;
    std::uint32_t dwMaxTxQueue = 0;
    std::uint32_t dwMaxRxQueue = 0;
    std::uint32_t dwMaxBaud = 0;
    std::uint32_t dwProvSubType = 0;
    std::uint32_t dwProvCapabilities = 0;
    std::uint32_t dwSettableParams = 0;
    std::uint32_t dwSettableBaud = 0;
    std::uint16_t wSettableData = 0;
    std::uint16_t wSettableStopParity = 0;
    std::uint32_t dwCurrentTxQueue = 0;
    std::uint32_t dwCurrentRxQueue = 0;
    std::uint32_t dwProvSpec1 = 0;
    std::uint32_t dwProvSpec2 = 0;
    std::string ProvChar; // wcProvChar's bytes, as read
};

struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// What one query of a port gave: each record is missing when its read failed.
struct TPortRecords {
    std::optional<TCommConfig> Config;
    std::optional<TCommProp> Prop;
    std::optional<TCommTimeouts> Timeouts;
};

class TPortPropsBackend {
public:
    virtual ~TPortPropsBackend() = default;
    // The first target of the device name PortName ("COM3"): on Windows its
    // DOS device mapping, elsewhere the device path. Empty when there is none.
    virtual std::string DeviceTarget(const std::string& PortName) = 0;
    // Opens PortName for query only (no reading or writing, no sharing),
    // reads the three records and closes it again. False when the port
    // cannot be opened; then Records is left alone.
    virtual bool ReadPortRecords(const std::string& PortName, TPortRecords& Records) = 0;
};

// The backend of the system the program was built for.
std::unique_ptr<TPortPropsBackend> MakeSystemPortPropsBackend();
