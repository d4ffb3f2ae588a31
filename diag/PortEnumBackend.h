#pragma once
// The platform side of port enumeration: what the system's device database
// says about each device, and whether a port can be opened now.
//
// Plain C++ on the standard library (no Qt), so the Windows backend can be
// cross-compiled and tested apart from the rest. One system backend per
// platform is built in (PortEnumWindows.cpp or PortEnumLinux.cpp); tests
// install one that lists only their own ports.

#include <array>
#include <memory>
#include <string>
#include <vector>

// Number of device property codes a device record holds (0..28).
inline constexpr int DevRegPropCount = 29;

struct TPortDevice {
    std::string PortName;                           // "COM3"; empty when the device has none
    std::array<std::string, DevRegPropCount> Props; // raw texts; empty when missing
};

enum class TPortState {
    Available,   // can be opened now with exclusive access
    Held,        // exists, but another program (or this one) has it open
    Absent,      // no such port, or nothing behind it
    NoPermission // exists, but this user may not open it
};

// Who may open a port: its device, who owns it and who may read and write
// it. Empty texts where the system has no such notion.
struct TPortAccess {
    std::string Device;             // "/dev/ttyUSB0"
    std::string Group;              // "dialout"; the number when it has no name
    std::string Owner;              // "root"; the number when it has no name
    unsigned Mode = 0;              // the permission bits, 0660
    bool GroupMayReadWrite = false; // the group may both read and write it
    bool RootGroup = false;         // the group is the superuser's (gid 0)
};

// A folder the port list leaves out although it exists, and why: "it is
// writable by others".
struct TIgnoredFolder {
    std::string Folder; // empty: none
    std::string Reason;
};

class TPortEnumBackend {
public:
    virtual ~TPortEnumBackend() = default;
    // Present devices of the serial port class, in the system's order.
    virtual std::vector<TPortDevice> PortClassDevices() = 0;
    // Devices of every class; with IncludeAbsent also those not present now.
    virtual std::vector<TPortDevice> AllDevices(bool IncludeAbsent) = 0;
    // Whether the port can be opened now with exclusive access.
    virtual TPortState Probe(const std::string& PortName) = 0;
    // The device and group behind PortName, for advice when Probe says
    // NoPermission.
    virtual TPortAccess AccessOf(const std::string& /*PortName*/) { return {}; }
    // The virtual ports folder when it exists but is not listed, because
    // anyone but this user could put a port there.
    virtual TIgnoredFolder IgnoredPortsFolder() { return {}; }
};

// The backend of the system the program was built for.
std::unique_ptr<TPortEnumBackend> MakeSystemPortEnumBackend();
