#pragma once
// The machine's serial ports on Linux, from sysfs and the udev database, and
// the COM numbers they take. Plain C++ and POSIX, no Qt.
//
// A port is a tty under /sys/class/tty whose device has a driver, leaving
// out a legacy ttyS with no UART behind it (sysfs "type" 0) and every device
// in /sys/class/tty/console/active, plus every virtual port: a link COM<n>
// in the user's virtual ports folder that leads to a terminal device (a
// pseudo-terminal, or a character device that sysfs files under "tty"), but
// never to a console, /dev/tty or /dev/ptmx. A link to anything else
// (/dev/null, a file, a fifo) is no port; what it leads to is found with
// stat() alone, never by opening it.
//
// COM numbers: a virtual port COM<n> is port n; ttyS<k> is COM(k+1),
// ttyUSB<k> COM(33+k), ttyACM<k> COM(65+k) for k < 32; any other serial
// device takes the next number from 97 up that no port has, in name order.
// A system device whose number a virtual port has taken is not listed.
//
// Device property texts, by code (empty where Linux has no equivalent):
//
// | Code | Field                    | Linux source                                        |
// |------|--------------------------|-----------------------------------------------------|
// |    0 | DeviceDesc               | USB "interface" or "product" attribute, else udev   |
// |      |                          | ID_MODEL_FROM_DATABASE / ID_MODEL; "Virtual port"   |
// |    1 | HardwareID               | vendor:product in hex (USB idVendor:idProduct, PCI  |
// |      |                          | vendor:device), else the PNP "id" ("PNP0501")       |
// |    2 | CompatibleIDs            | the device's "modalias"                             |
// |    4 | Service                  | the driver's name (device/driver)                   |
// |    7 | Class                    | "Ports"                                             |
// |    9 | Driver                   | the driver's kernel module (device/driver/module)   |
// |   11 | Mfg                      | USB "manufacturer", else udev                       |
// |      |                          | ID_VENDOR_FROM_DATABASE / ID_VENDOR                 |
// |   12 | FriendlyName             | the tty's name, then DeviceDesc ("ttyUSB0 FT232R    |
// |      |                          | USB UART")                                          |
// |   13 | LocationInformation      | udev ID_PATH, else the sysfs name of the device on  |
// |      |                          | its bus ("1-1.2:1.0"); a virtual port: its link     |
// |   14 | PhysicalDeviceObjectName | the device node ("/dev/ttyUSB0", "/dev/pts/3")      |
// |   21 | BusNumber                | USB "busnum"                                        |
// |   22 | EnumeratorName           | the bus: "usb", "pci", "pnp", "platform", "virtual" |
// | else | (codes 3, 5, 6, 8, 10, 15-20, 23-28)  | none                                   |

#include "diag/PortEnumBackend.h"

#include <string>
#include <vector>

// Where the backend looks; tests point these at a fake tree.
struct TLinuxPortPaths {
    std::string SysRoot = "/sys";
    std::string DevRoot = "/dev";
    // Empty: udev properties come from libudev. Otherwise a folder of files
    // c<major>:<minor> in the form of udev's database, read instead.
    std::string UdevDataRoot;
    std::vector<std::string> LockFolders = {"/var/lock", "/run/lock"};
    std::string VirtualFolder; // the virtual ports folder; empty for none
    // sysfs's character devices by number, which tells whether what a
    // virtual port leads to is a tty.
    std::string CharDevRoot = "/sys/dev/char";
};

// The paths of this machine, with the user's virtual ports folder.
TLinuxPortPaths SystemLinuxPortPaths();

struct TLinuxSerialPort {
    int Number = 0;         // the n of COM<n>
    std::string Name;       // "ttyUSB0"; a virtual port: its target's, "pts/3"
    std::string OpenPath;   // what to open: the node, or the virtual port's link
    std::string DevicePath; // the device node the port leads to
    bool Present = true;    // false: a legacy ttyS with no UART behind it
    TPortDevice Device;
};

// The fixed COM number of a ttyS, ttyUSB or ttyACM name, or 0.
int FixedComNumber(const std::string& Name);
// The tty name with fixed COM number Number ("ttyUSB0" for 33), or empty.
std::string FixedComName(int Number);

// The ports, in COM number order. With IncludeAbsent also the legacy ttyS
// entries without a UART (never the console).
std::vector<TLinuxSerialPort> ListLinuxSerialPorts(const TLinuxPortPaths& Paths,
                                                   bool IncludeAbsent = false);

// The path to open for COM<Number>: a listed port's, else the node of its
// fixed tty name (which need not exist; never a console), else empty.
std::string LinuxDeviceForComNumber(const TLinuxPortPaths& Paths, int Number);

class TLinuxPortEnumBackend final : public TPortEnumBackend {
public:
    explicit TLinuxPortEnumBackend(TLinuxPortPaths Paths = SystemLinuxPortPaths());
    std::vector<TPortDevice> PortClassDevices() override;
    std::vector<TPortDevice> AllDevices(bool IncludeAbsent) override;
    // Opens the port (read-write, no controlling tty, non-blocking) and
    // closes it at once. Held: a QSerialPort lock file LCK..<name> with a
    // live process, a refused exclusive open (EBUSY), or exclusive mode set
    // by another program (seen by root, whose open TIOCEXCL does not stop).
    TPortState Probe(const std::string& PortName) override;
    // The device's owner, group and mode, from stat().
    TPortAccess AccessOf(const std::string& PortName) override;
    TIgnoredFolder IgnoredPortsFolder() override;

private:
    TLinuxPortPaths paths_;
};
