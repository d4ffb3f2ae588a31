// Serial ports on Linux: sysfs and udev for what a port is, the virtual ports
// folder for the ports the simulator and the user link there, and an open
// with the lock-file and exclusive-mode checks for whether a port is free.

#include "diag/PortEnumLinux.h"

#include "common/VirtualPorts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <libudev.h>
#include <map>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h> // makedev on Linux; elsewhere <sys/types.h> has it
#endif
#include <tuple>
#include <unistd.h>

namespace {

// Property codes this backend fills.
enum : std::size_t {
    DeviceDescCode = 0,
    HardwareIdCode = 1,
    CompatibleIdsCode = 2,
    ServiceCode = 4,
    ClassCode = 7,
    DriverCode = 9,
    MfgCode = 11,
    FriendlyNameCode = 12,
    LocationCode = 13,
    DeviceObjectCode = 14,
    BusNumberCode = 21,
    EnumeratorCode = 22,
};

// The one table of fixed COM numbers: ttyS<k> is COM(k+1) and so on.
struct TFixedRange {
    const char* Prefix;
    int First;
};
constexpr TFixedRange FixedRanges[] = {{"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}};
constexpr int FixedRangeSize = 32;
constexpr int FirstFreeNumber = 97;

bool Exists(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0;
}

// The first line of a sysfs attribute, or empty.
std::string ReadAttr(const std::string& Path) {
    std::ifstream in(Path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string BaseName(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string ParentOf(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : Path.substr(0, slash);
}

// The name a link points at, without its folders ("ftdi_sio"), or empty.
std::string LinkBaseName(const std::string& Link) {
    char buffer[4096];
    const ssize_t n = ::readlink(Link.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? BaseName(std::string(buffer, static_cast<std::size_t>(n))) : std::string();
}

std::string RealPath(const std::string& Path) {
    char* real = ::realpath(Path.c_str(), nullptr);
    if (!real)
        return {};
    std::string result(real);
    std::free(real);
    return result;
}

std::vector<std::string> FolderEntries(const std::string& Folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(Folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

// The number at the end of a name ("ttyUSB12" gives 12), or -1.
int TrailingNumber(const std::string& Name, std::string::size_type From) {
    if (From >= Name.size() || Name.size() - From > 3)
        return -1;
    if (Name.size() - From > 1 && Name[From] == '0')
        return -1;
    int value = 0;
    for (auto i = From; i < Name.size(); ++i) {
        if (Name[i] < '0' || Name[i] > '9')
            return -1;
        value = value * 10 + (Name[i] - '0');
    }
    return value;
}

// "ttyAMA2" before "ttyAMA10": the letters, then the number, then the text.
bool NameOrder(const std::string& A, const std::string& B) {
    auto split = [](const std::string& s) {
        auto digits = s.find_last_not_of("0123456789") + 1;
        const std::string prefix = s.substr(0, digits);
        const long number = digits < s.size() ? std::strtol(s.c_str() + digits, nullptr, 10) : -1;
        return std::make_tuple(prefix, number, s);
    };
    return split(A) < split(B);
}

// The names in /sys/class/tty/console/active: probing one of them would type
// into the system console.
std::set<std::string> ConsoleNames(const TLinuxPortPaths& Paths) {
    std::set<std::string> names;
    std::istringstream active(ReadAttr(Paths.SysRoot + "/class/tty/console/active"));
    for (std::string name; active >> name;)
        names.insert(name);
    return names;
}

// Device numbers a virtual port must not lead to: the consoles, /dev/tty,
// /dev/console and /dev/ptmx (whose every open makes a new pseudo-terminal).
std::set<dev_t> ConsoleDevices(const TLinuxPortPaths& Paths, const std::set<std::string>& Names) {
    std::set<dev_t> devices = {makedev(5, 0), makedev(5, 1), makedev(5, 2)};
    for (const std::string& name : Names) {
        unsigned major = 0, minor = 0;
        if (std::sscanf(ReadAttr(Paths.SysRoot + "/class/tty/" + name + "/dev").c_str(), "%u:%u",
                        &major, &minor) == 2)
            devices.insert(makedev(major, minor));
    }
    return devices;
}

// Whether the character device Device is a terminal. The far ends of
// pseudo-terminals (Unix98 majors 136-143, BSD-style major 3) have no sysfs
// entry; any other tty is filed under the "tty" subsystem there, whatever
// major its driver was given.
bool IsTtyDevice(const TLinuxPortPaths& Paths, dev_t Device) {
    const unsigned devMajor = major(Device);
    if ((devMajor >= 136 && devMajor <= 143) || devMajor == 3)
        return true;
    return LinkBaseName(Paths.CharDevRoot + "/" + std::to_string(devMajor) + ":" +
                        std::to_string(minor(Device)) + "/subsystem") == "tty";
}

// The udev properties of a character device, by name.
class TUdevSource {
public:
    virtual ~TUdevSource() = default;
    virtual std::map<std::string, std::string> Properties(dev_t Device) = 0;
};

// The system's udev, through libudev.
class TLibudevSource final : public TUdevSource {
public:
    TLibudevSource()
        : udev_(::udev_new()) {}
    ~TLibudevSource() override {
        if (udev_)
            ::udev_unref(udev_);
    }
    TLibudevSource(const TLibudevSource&) = delete;
    TLibudevSource& operator=(const TLibudevSource&) = delete;

    std::map<std::string, std::string> Properties(dev_t Device) override {
        std::map<std::string, std::string> properties;
        if (!udev_)
            return properties;
        udev_device* device = ::udev_device_new_from_devnum(udev_, 'c', Device);
        if (!device)
            return properties;
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, ::udev_device_get_properties_list_entry(device)) {
            const char* name = ::udev_list_entry_get_name(entry);
            const char* value = ::udev_list_entry_get_value(entry);
            if (name)
                properties[name] = value ? value : "";
        }
        ::udev_device_unref(device);
        return properties;
    }

private:
    udev* udev_;
};

// Files c<major>:<minor> in Root with udev database lines: the E: entries.
class TUdevFileSource final : public TUdevSource {
public:
    explicit TUdevFileSource(std::string Root)
        : root_(std::move(Root)) {}

    std::map<std::string, std::string> Properties(dev_t Device) override {
        std::map<std::string, std::string> properties;
        std::ifstream in(root_ + "/c" + std::to_string(major(Device)) + ":" +
                         std::to_string(minor(Device)));
        for (std::string line; std::getline(in, line);) {
            const auto equals = line.find('=');
            if (line.rfind("E:", 0) == 0 && equals != std::string::npos)
                properties[line.substr(2, equals - 2)] = line.substr(equals + 1);
        }
        return properties;
    }

private:
    std::string root_;
};

std::unique_ptr<TUdevSource> MakeUdevSource(const TLinuxPortPaths& Paths) {
    if (Paths.UdevDataRoot.empty())
        return std::make_unique<TLibudevSource>();
    return std::make_unique<TUdevFileSource>(Paths.UdevDataRoot);
}

std::string FirstOf(std::initializer_list<std::string> Texts) {
    for (const std::string& text : Texts)
        if (!text.empty())
            return text;
    return {};
}

std::string StripHex(const std::string& Text) {
    return Text.rfind("0x", 0) == 0 ? Text.substr(2) : Text;
}

// The property texts of a tty with a driver, from its sysfs folder and udev.
TPortDevice SysfsDevice(const TLinuxPortPaths& Paths, TUdevSource& Udev, const std::string& Name) {
    const std::string classDir = Paths.SysRoot + "/class/tty/" + Name;
    const std::string deviceDir = RealPath(classDir + "/device");
    std::map<std::string, std::string> udev;
    unsigned devMajor = 0, devMinor = 0;
    if (std::sscanf(ReadAttr(classDir + "/dev").c_str(), "%u:%u", &devMajor, &devMinor) == 2)
        udev = Udev.Properties(makedev(devMajor, devMinor));
    TPortDevice device;
    auto& props = device.Props;

    // Walk up from the device to the bus device that says who made it.
    std::string usbInterface, usbDevice, pciDevice, pnpDevice, bus, busDevice;
    const std::string devicesRoot = RealPath(Paths.SysRoot) + "/devices";
    for (std::string dir = deviceDir;
         dir.size() > devicesRoot.size() && dir.rfind(devicesRoot, 0) == 0; dir = ParentOf(dir)) {
        const std::string subsystem = LinkBaseName(dir + "/subsystem");
        if (bus.empty() && !subsystem.empty() && subsystem != "tty" && subsystem != "usb-serial" &&
            subsystem != "serial-base" && subsystem != "serial") {
            bus = subsystem;
            busDevice = dir;
        }
        if (usbInterface.empty() && Exists(dir + "/bInterfaceNumber"))
            usbInterface = dir;
        if (usbDevice.empty() && Exists(dir + "/idVendor")) {
            usbDevice = dir;
            break;
        }
        if (subsystem == "pci" && pciDevice.empty())
            pciDevice = dir;
        if (subsystem == "pnp" && pnpDevice.empty())
            pnpDevice = dir;
    }

    if (!usbDevice.empty()) {
        props[DeviceDescCode] =
            FirstOf({usbInterface.empty() ? std::string() : ReadAttr(usbInterface + "/interface"),
                     ReadAttr(usbDevice + "/product")});
        props[HardwareIdCode] =
            ReadAttr(usbDevice + "/idVendor") + ":" + ReadAttr(usbDevice + "/idProduct");
        props[MfgCode] = ReadAttr(usbDevice + "/manufacturer");
        props[BusNumberCode] = ReadAttr(usbDevice + "/busnum");
    } else if (!pciDevice.empty()) {
        props[HardwareIdCode] = StripHex(ReadAttr(pciDevice + "/vendor")) + ":" +
                                StripHex(ReadAttr(pciDevice + "/device"));
    } else if (!pnpDevice.empty()) {
        props[HardwareIdCode] = ReadAttr(pnpDevice + "/id");
    }
    props[DeviceDescCode] =
        FirstOf({props[DeviceDescCode], udev["ID_MODEL_FROM_DATABASE"], udev["ID_MODEL"]});
    props[MfgCode] = FirstOf({props[MfgCode], udev["ID_VENDOR_FROM_DATABASE"], udev["ID_VENDOR"]});
    props[CompatibleIdsCode] = ReadAttr(deviceDir + "/modalias");
    props[ServiceCode] = LinkBaseName(classDir + "/device/driver");
    props[ClassCode] = "Ports";
    props[DriverCode] = LinkBaseName(classDir + "/device/driver/module");
    props[FriendlyNameCode] =
        props[DeviceDescCode].empty() ? Name : Name + " " + props[DeviceDescCode];
    props[LocationCode] = FirstOf({udev["ID_PATH"], BaseName(busDevice)});
    props[DeviceObjectCode] = Paths.DevRoot + "/" + Name;
    props[EnumeratorCode] = bus;
    return device;
}

std::vector<TLinuxSerialPort> SystemPorts(const TLinuxPortPaths& Paths,
                                          const std::set<std::string>& Consoles,
                                          bool IncludeAbsent) {
    std::vector<TLinuxSerialPort> ports;
    const std::string ttyClass = Paths.SysRoot + "/class/tty/";
    std::unique_ptr<TUdevSource> udev;
    for (const std::string& name : FolderEntries(ttyClass)) {
        if (Consoles.count(name) != 0)
            continue;
        // Virtual consoles, ptmx and the like have no device; a tty with a
        // device but no driver is not usable.
        if (LinkBaseName(ttyClass + name + "/device/driver").empty())
            continue;
        // A legacy ttyS reserved for a UART that is not there has type 0
        // (PORT_UNKNOWN) but still the serial8250 driver.
        const std::string type = ReadAttr(ttyClass + name + "/type");
        const bool present = type.empty() || std::atoi(type.c_str()) != 0;
        if (!present && !(IncludeAbsent && FixedComNumber(name) != 0))
            continue;
        TLinuxSerialPort port;
        port.Name = name;
        port.OpenPath = port.DevicePath = Paths.DevRoot + "/" + name;
        port.Present = present;
        if (!udev)
            udev = MakeUdevSource(Paths);
        port.Device = SysfsDevice(Paths, *udev, name);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<TLinuxSerialPort> VirtualPorts(const TLinuxPortPaths& Paths,
                                           const std::set<dev_t>& ConsoleDevs) {
    std::vector<TLinuxSerialPort> ports;
    const std::string& folder = Paths.VirtualFolder;
    // An untrusted folder is left out whole; IgnoredPortsFolder says why.
    if (folder.empty() || !CheckVirtualPortsFolder(folder).Trusted())
        return ports;
    for (const std::string& entry : FolderEntries(folder)) {
        const int number = entry.rfind("COM", 0) == 0 ? TrailingNumber(entry, 3) : -1;
        if (number < LowestPortNumber || number > HighestPortNumber)
            continue;
        const std::string link = VirtualPortLink(folder, number);
        struct stat st {};
        // Only links to a live terminal: a dangling link is a port whose
        // owner has gone, and a link to /dev/null, a file or a fifo is none.
        if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) ||
            ::stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) ||
            ConsoleDevs.count(st.st_rdev) != 0 || !IsTtyDevice(Paths, st.st_rdev))
            continue;
        TLinuxSerialPort port;
        port.Number = number;
        port.OpenPath = link;
        port.DevicePath = RealPath(link);
        port.Name =
            port.DevicePath.rfind("/dev/", 0) == 0 ? port.DevicePath.substr(5) : port.DevicePath;
        auto& props = port.Device.Props;
        props[DeviceDescCode] = "Virtual port";
        props[ClassCode] = "Ports";
        props[FriendlyNameCode] = port.Name + " Virtual port";
        props[LocationCode] = link;
        props[DeviceObjectCode] = port.DevicePath;
        props[EnumeratorCode] = "virtual";
        ports.push_back(std::move(port));
    }
    return ports;
}

// The name of group or user Number as the reentrant lookup Lookup (getgrgid_r,
// getpwuid_r) finds it, or the number when it has none.
template <typename Entry, typename Id>
std::string NameOrNumber(Id Number, int (*Lookup)(Id, Entry*, char*, std::size_t, Entry**),
                         char* Entry::*Name) {
    std::vector<char> buffer(16384);
    Entry entry{};
    Entry* found = nullptr;
    return Lookup(Number, &entry, buffer.data(), buffer.size(), &found) == 0 && found
               ? std::string(found->*Name)
               : std::to_string(Number);
}

bool ProcessIsAlive(long Pid) {
    return Pid > 0 && (::kill(static_cast<pid_t>(Pid), 0) == 0 || errno == EPERM);
}

// QSerialPort's lock file names a device by its path without "/dev/", with
// "/" turned into "_": LCK..ttyUSB0, LCK..pts_3, LCK.._run_user_1000_....
std::set<std::string> LockFileNames(const TLinuxPortPaths& Paths, const TLinuxSerialPort& Port) {
    std::set<std::string> names;
    for (const std::string& path : {Port.OpenPath, Port.DevicePath}) {
        for (const std::string& root : {Paths.DevRoot + "/", std::string("/dev/")}) {
            std::string name = path.rfind(root, 0) == 0 ? path.substr(root.size()) : path;
            std::replace(name.begin(), name.end(), '/', '_');
            names.insert("LCK.." + name);
        }
    }
    return names;
}

bool HeldByLockFile(const TLinuxPortPaths& Paths, const TLinuxSerialPort& Port) {
    for (const std::string& folder : Paths.LockFolders)
        for (const std::string& name : LockFileNames(Paths, Port)) {
            std::ifstream in(folder + "/" + name);
            long pid = 0;
            if (in >> pid && ProcessIsAlive(pid))
                return true;
        }
    return false;
}

const TLinuxSerialPort* FindPort(const std::vector<TLinuxSerialPort>& Ports,
                                 const std::string& PortName) {
    const int number = PortName.rfind("COM", 0) == 0 ? TrailingNumber(PortName, 3) : -1;
    for (const TLinuxSerialPort& port : Ports)
        if (port.Number == number)
            return &port;
    return nullptr;
}

std::vector<TPortDevice> Devices(const std::vector<TLinuxSerialPort>& Ports) {
    std::vector<TPortDevice> devices;
    for (const TLinuxSerialPort& port : Ports) {
        devices.push_back(port.Device);
        devices.back().PortName = "COM" + std::to_string(port.Number);
    }
    return devices;
}

} // namespace

TLinuxPortPaths SystemLinuxPortPaths() {
    TLinuxPortPaths paths;
    paths.VirtualFolder = VirtualPortsFolder();
    return paths;
}

int FixedComNumber(const std::string& Name) {
    for (const TFixedRange& range : FixedRanges) {
        const std::string prefix = range.Prefix;
        if (Name.rfind(prefix, 0) != 0)
            continue;
        const int k = TrailingNumber(Name, prefix.size());
        return k >= 0 && k < FixedRangeSize ? range.First + k : 0;
    }
    return 0;
}

std::string FixedComName(int Number) {
    for (const TFixedRange& range : FixedRanges)
        if (Number >= range.First && Number < range.First + FixedRangeSize)
            return range.Prefix + std::to_string(Number - range.First);
    return {};
}

std::vector<TLinuxSerialPort> ListLinuxSerialPorts(const TLinuxPortPaths& Paths,
                                                   bool IncludeAbsent) {
    const std::set<std::string> consoles = ConsoleNames(Paths);
    std::vector<TLinuxSerialPort> ports = VirtualPorts(Paths, ConsoleDevices(Paths, consoles));
    std::set<int> taken;
    for (const TLinuxSerialPort& port : ports)
        taken.insert(port.Number);

    std::vector<TLinuxSerialPort> system = SystemPorts(Paths, consoles, IncludeAbsent);
    std::sort(system.begin(), system.end(),
              [](const TLinuxSerialPort& a, const TLinuxSerialPort& b) {
                  return NameOrder(a.Name, b.Name);
              });
    std::vector<TLinuxSerialPort*> others;
    for (TLinuxSerialPort& port : system) {
        port.Number = FixedComNumber(port.Name);
        if (port.Number == 0)
            others.push_back(&port);
        else if (taken.count(port.Number) != 0)
            port.Number = 0; // a virtual port has this number
    }
    int next = FirstFreeNumber;
    for (TLinuxSerialPort* port : others) {
        while (next <= HighestPortNumber && taken.count(next) != 0)
            ++next;
        if (next <= HighestPortNumber)
            port->Number = next++;
    }
    for (TLinuxSerialPort& port : system)
        if (port.Number != 0)
            ports.push_back(std::move(port));
    std::sort(ports.begin(), ports.end(), [](const TLinuxSerialPort& a, const TLinuxSerialPort& b) {
        return a.Number < b.Number;
    });
    return ports;
}

std::string LinuxDeviceForComNumber(const TLinuxPortPaths& Paths, int Number) {
    if (Number < LowestPortNumber || Number > HighestPortNumber)
        return {};
    for (const TLinuxSerialPort& port : ListLinuxSerialPorts(Paths))
        if (port.Number == Number)
            return port.OpenPath;
    const std::string name = FixedComName(Number);
    if (name.empty() || ConsoleNames(Paths).count(name) != 0)
        return {};
    return Paths.DevRoot + "/" + name;
}

TLinuxPortEnumBackend::TLinuxPortEnumBackend(TLinuxPortPaths Paths)
    : paths_(std::move(Paths)) {}

std::vector<TPortDevice> TLinuxPortEnumBackend::PortClassDevices() {
    return Devices(ListLinuxSerialPorts(paths_));
}

std::vector<TPortDevice> TLinuxPortEnumBackend::AllDevices(bool IncludeAbsent) {
    return Devices(ListLinuxSerialPorts(paths_, IncludeAbsent));
}

TPortState TLinuxPortEnumBackend::Probe(const std::string& PortName) {
    const std::vector<TLinuxSerialPort> ports = ListLinuxSerialPorts(paths_);
    const TLinuxSerialPort* port = FindPort(ports, PortName);
    if (!port)
        return TPortState::Absent;
    // The lock file first: it is what tells a held port when we are root,
    // and it spares the other program's line the open below.
    if (HeldByLockFile(paths_, *port))
        return TPortState::Held;
    const int fd = ::open(port->OpenPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            return TPortState::NoPermission;
        case EBUSY:
            return TPortState::Held; // another program set exclusive mode
        default:
            return TPortState::Absent;
        }
    }
    TPortState state = TPortState::Available;
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        state = TPortState::Held;
#endif
    ::close(fd);
    return state;
}

TPortAccess TLinuxPortEnumBackend::AccessOf(const std::string& PortName) {
    const std::vector<TLinuxSerialPort> ports = ListLinuxSerialPorts(paths_);
    const TLinuxSerialPort* port = FindPort(ports, PortName);
    if (!port)
        return {};
    TPortAccess access;
    access.Device = port->DevicePath;
    struct stat st {};
    if (::stat(port->DevicePath.c_str(), &st) == 0) {
        access.Group = NameOrNumber(st.st_gid, ::getgrgid_r, &group::gr_name);
        access.Owner = NameOrNumber(st.st_uid, ::getpwuid_r, &passwd::pw_name);
        access.Mode = static_cast<unsigned>(st.st_mode & 07777);
        access.GroupMayReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        access.RootGroup = st.st_gid == 0;
    }
    return access;
}

TIgnoredFolder TLinuxPortEnumBackend::IgnoredPortsFolder() {
    const std::string& folder = paths_.VirtualFolder;
    if (folder.empty())
        return {};
    TVirtualPortsFolderCheck check = CheckVirtualPortsFolder(folder);
    // No folder at all is the usual case of no virtual ports, not a fault.
    if (!check.Present || check.Trusted())
        return {};
    return {folder, std::move(check.Distrust)};
}

std::unique_ptr<TPortEnumBackend> MakeSystemPortEnumBackend() {
    return std::make_unique<TLinuxPortEnumBackend>();
}
