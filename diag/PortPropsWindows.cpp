// The port property report's records on Windows: the system's own
// COMMCONFIG, COMMPROP and COMMTIMEOUTS of a port opened for query only, and
// its DOS device mapping, copied into the plain records.

#ifdef _WIN32

#include "diag/PortPropsBackend.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

constexpr DWORD DosDeviceBufferSize = 1000;

// The raw bytes of a one-character WCHAR field; the report cuts them at the
// first zero byte.
std::string WideCharBytes(const WCHAR (&Field)[1]) {
    return std::string(reinterpret_cast<const char*>(Field), sizeof Field);
}

TDcb CopyDcb(const DCB& Dcb) {
    TDcb dcb;
    dcb.DCBlength = Dcb.DCBlength;
    dcb.BaudRate = Dcb.BaudRate;
    dcb.Flags = Dcb.fBinary | Dcb.fParity << 1 | Dcb.fOutxCtsFlow << 2 | Dcb.fOutxDsrFlow << 3 |
                Dcb.fDtrControl << 4 | Dcb.fDsrSensitivity << 6 | Dcb.fTXContinueOnXoff << 7 |
                Dcb.fOutX << 8 | Dcb.fInX << 9 | Dcb.fErrorChar << 10 | Dcb.fNull << 11 |
                Dcb.fRtsControl << 12 | Dcb.fAbortOnError << 14 | Dcb.fDummy2 << 15;
    dcb.wReserved = Dcb.wReserved;
    dcb.XonLim = Dcb.XonLim;
    dcb.XoffLim = Dcb.XoffLim;
    dcb.ByteSize = Dcb.ByteSize;
    dcb.Parity = Dcb.Parity;
    dcb.StopBits = Dcb.StopBits;
    dcb.XonChar = static_cast<std::uint8_t>(Dcb.XonChar);
    dcb.XoffChar = static_cast<std::uint8_t>(Dcb.XoffChar);
    dcb.ErrorChar = static_cast<std::uint8_t>(Dcb.ErrorChar);
    dcb.EofChar = static_cast<std::uint8_t>(Dcb.EofChar);
    dcb.EvtChar = static_cast<std::uint8_t>(Dcb.EvtChar);
    dcb.wReserved1 = Dcb.wReserved1;
    return dcb;
}

// The configuration, read into a buffer of the size the driver asks for
// (its provider data follows the fixed record) but never smaller than the
// fixed record, of which only the fixed part is kept.
std::optional<TCommConfig> ReadConfig(HANDLE Port) {
    COMMCONFIG probe{};
    DWORD wanted = 0;
    ::GetCommConfig(Port, &probe, &wanted); // fails by design: it only tells the size
    const std::size_t bytes = std::max<std::size_t>(wanted, sizeof(COMMCONFIG));
    // Whole records, so the buffer is aligned as the record must be.
    std::vector<COMMCONFIG> buffer((bytes + sizeof(COMMCONFIG) - 1) / sizeof(COMMCONFIG));
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(COMMCONFIG));
    if (!::GetCommConfig(Port, buffer.data(), &size))
        return std::nullopt;
    const COMMCONFIG& read = buffer.front();
    TCommConfig config;
    config.dwSize = read.dwSize;
    config.wVersion = read.wVersion;
    config.wReserved = read.wReserved;
    config.dcb = CopyDcb(read.dcb);
    config.dwProviderSubType = read.dwProviderSubType;
    config.dwProviderOffset = read.dwProviderOffset;
    config.dwProviderSize = read.dwProviderSize;
    config.ProviderData = WideCharBytes(read.wcProviderData);
    return config;
}

std::optional<TCommProp> ReadProp(HANDLE Port) {
    COMMPROP read{};
    if (!::GetCommProperties(Port, &read))
        return std::nullopt;
    TCommProp prop;
    prop.wPacketLength = read.wPacketLength;
    prop.wPacketVersion = read.wPacketVersion;
    prop.dwServiceMask = read.dwServiceMask;
    prop.dwReserved1 = read.dwReserved1;
    prop.dwMaxTxQueue = read.dwMaxTxQueue;
    prop.dwMaxRxQueue = read.dwMaxRxQueue;
    prop.dwMaxBaud = read.dwMaxBaud;
    prop.dwProvSubType = read.dwProvSubType;
    prop.dwProvCapabilities = read.dwProvCapabilities;
    prop.dwSettableParams = read.dwSettableParams;
    prop.dwSettableBaud = read.dwSettableBaud;
    prop.wSettableData = read.wSettableData;
    prop.wSettableStopParity = read.wSettableStopParity;
    prop.dwCurrentTxQueue = read.dwCurrentTxQueue;
    prop.dwCurrentRxQueue = read.dwCurrentRxQueue;
    prop.dwProvSpec1 = read.dwProvSpec1;
    prop.dwProvSpec2 = read.dwProvSpec2;
    prop.ProvChar = WideCharBytes(read.wcProvChar);
    return prop;
}

std::optional<TCommTimeouts> ReadTimeouts(HANDLE Port) {
    COMMTIMEOUTS read{};
    if (!::GetCommTimeouts(Port, &read))
        return std::nullopt;
    return TCommTimeouts{read.ReadIntervalTimeout, read.ReadTotalTimeoutMultiplier,
                         read.ReadTotalTimeoutConstant, read.WriteTotalTimeoutMultiplier,
                         read.WriteTotalTimeoutConstant};
}

class TWindowsPortPropsBackend final : public TPortPropsBackend {
public:
    std::string DeviceTarget(const std::string& PortName) override {
        // The answer is a list of zero-terminated targets; the first is kept.
        std::vector<char> targets(DosDeviceBufferSize, '\0');
        if (::QueryDosDeviceA(PortName.c_str(), targets.data(), DosDeviceBufferSize) == 0)
            return {};
        targets.back() = '\0';
        return std::string(targets.data());
    }

    bool ReadPortRecords(const std::string& PortName, TPortRecords& Records) override {
        // No read or write access: the port is only queried.
        const std::string path = "\\\\.\\" + PortName;
        const HANDLE port = ::CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE)
            return false;
        Records.Config = ReadConfig(port);
        Records.Prop = ReadProp(port);
        Records.Timeouts = ReadTimeouts(port);
        ::CloseHandle(port);
        return true;
    }
};

} // namespace

std::unique_ptr<TPortPropsBackend> MakeSystemPortPropsBackend() {
    return std::make_unique<TWindowsPortPropsBackend>();
}

#endif // _WIN32
