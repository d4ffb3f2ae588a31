// Port lines built from what a backend lists, and the Linux backend over a
// made-up sysfs tree with real pseudo-terminals as virtual ports. No test
// here opens a device of the machine.

#include "common/UiHost.h"
#include "common/VirtualPorts.h"
#include "diag/PortEnum.h"
#include "diag/PortEnumLinux.h"
#include "tests/support/FakePorts.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <functional>
#include <map>
#include <pty.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList Texts(const TPortList& List) {
    QStringList texts;
    for (const TPortListLine& line : List)
        texts << line.Text;
    return texts;
}

// A pseudo-terminal pair, closed at the end of the test.
struct TPty {
    int Master = -1;
    int Slave = -1;
    std::string Path;
    TPty() {
        char name[256] = {};
        if (::openpty(&Master, &Slave, name, nullptr, nullptr) == 0)
            Path = name;
    }
    ~TPty() {
        if (Slave >= 0)
            ::close(Slave);
        if (Master >= 0)
            ::close(Master);
    }
};

} // namespace

class TestPortEnum : public QObject {
    Q_OBJECT

    DeviceListBackend* backend_ = nullptr;
    std::unique_ptr<TPortEnumBackend> previous_;
    QTemporaryDir root_;

    void Write(const QString& Path, const QByteArray& Text) {
        QDir().mkpath(QFileInfo(Path).path());
        QFile file(Path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Text);
    }
    void Link(const QString& Target, const QString& Path) {
        QDir().mkpath(QFileInfo(Path).path());
        QVERIFY(QFile::link(Target, Path));
    }
    // A bus device under sys/devices with its subsystem and attributes.
    QString Device(const QString& DevPath, const QString& Subsystem,
                   const std::map<QString, QByteArray>& Attrs = {}) {
        const QString dir = root_.filePath("sys/devices/" + DevPath);
        QDir().mkpath(dir);
        QFile::link("/sys/bus/" + Subsystem, dir + "/subsystem");
        for (const auto& [name, text] : Attrs)
            Write(dir + "/" + name, text + "\n");
        return dir;
    }
    // A tty of /sys/class/tty, with its device and that device's driver.
    void Tty(const QString& Name, const QString& DeviceDir, const QString& Driver,
             const QByteArray& Type = {}) {
        const QString dir = root_.filePath("sys/class/tty/" + Name);
        QDir().mkpath(dir);
        if (!DeviceDir.isEmpty()) {
            Link(DeviceDir, dir + "/device");
            if (!Driver.isEmpty())
                Link("/sys/bus/any/drivers/" + Driver, DeviceDir + "/driver");
        }
        if (!Type.isEmpty())
            Write(dir + "/type", Type + "\n");
    }
    TLinuxPortPaths Paths() {
        TLinuxPortPaths paths;
        paths.SysRoot = root_.filePath("sys").toStdString();
        paths.DevRoot = root_.filePath("dev").toStdString();
        paths.UdevDataRoot = root_.filePath("udev").toStdString();
        paths.LockFolders = {root_.filePath("lock").toStdString()};
        paths.VirtualFolder = root_.filePath("ports").toStdString();
        paths.CharDevRoot = root_.filePath("sys/dev/char").toStdString();
        return paths;
    }
    // The virtual ports folder, closed to others as it must be to count.
    std::string PortsFolder() {
        const QString folder = QString::fromStdString(Paths().VirtualFolder);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        return folder.toStdString();
    }
    std::map<int, TLinuxSerialPort> PortsByNumber(bool IncludeAbsent = false) {
        std::map<int, TLinuxSerialPort> ports;
        for (auto& port : ListLinuxSerialPorts(Paths(), IncludeAbsent))
            ports[port.Number] = port;
        return ports;
    }

private slots:
    void init() {
        auto backend = std::make_unique<DeviceListBackend>();
        backend_ = backend.get();
        previous_ = InstallPortEnumBackend(std::move(backend));
    }
    void cleanup() { InstallPortEnumBackend(std::move(previous_)); }

    void PortClassLinesKeepSystemOrderAndMarkOnlyFreePorts() {
        backend_->Add("COM10", {{12, "USB Serial Port (COM10)"}}, TPortState::Available);
        backend_->Add("COM2", {{12, "  Prolific\t\r\n"}}, TPortState::Held);
        backend_->Add("COM3", {}, TPortState::Available);
        backend_->Add("com5", {{12, "lower case"}}, TPortState::Available);
        backend_->Add("LPT1", {{12, "Printer Port"}}, TPortState::Available);
        backend_->Add("", {{12, "no port name"}}, TPortState::Available);
        backend_->Add(std::string("COM4\0", 5), {{12, std::string("Modem\0(COM9)", 12)}},
                      TPortState::Absent);
        TPortList list;
        list.push_back({"stale", std::make_unique<TDevRegProps>()});
        GetPortsClassList(list);
        QCOMPARE(Texts(list),
                 QStringList({"COM10\t: USB Serial Port (COM10)\t - ( Available )",
                              "COM2\t: Prolific", "COM3\t:  \t - ( Available )", "COM4\t: Modem"}));
        for (const TPortListLine& line : list)
            QVERIFY(!line.Props);
        // Only COM ports are ever opened.
        QCOMPARE(backend_->Probed, std::vector<std::string>({"COM10", "COM2", "COM3", "COM4"}));
    }

    void DeviceListGivesEveryDeviceWithItsRecord() {
        backend_->Add("LPT1", {{11, "(Standard port types)"}, {0, "Printer Port"}});
        backend_->Add("", {{1, std::string("ACPI\\PNP0A03\0*PNP0A03\0\0", 23)}});
        backend_->Add("COM7", {{11, "FTDI"}, {0, "USB Serial Port"}, {28, "\x01\x02"}});
        backend_->Add("com5", {});
        TPortList list;
        GetDeviceList(list, false, true);
        QVERIFY(backend_->LastIncludeAbsent);
        QCOMPARE(Texts(list),
                 QStringList({"LPT1\t :=  Mfg: (Standard port types) : Printer Port",
                              "    \t :=  Mfg:   :  ", "COM7\t :=  Mfg: FTDI : USB Serial Port",
                              "com5\t :=  Mfg:   :  "}));
        QVERIFY(list[1].Props);
        QCOMPARE(list[1].Props->HardwareID(), QString("ACPI\\PNP0A03")); // first of the list
        QCOMPARE(list[1].Props->FriendlyName(), QString(" "));
        QCOMPARE(list[2].Props->Fields[28], QString(" ")); // control characters only

        GetDeviceList(list, true, false);
        QVERIFY(!backend_->LastIncludeAbsent);
        QCOMPARE(Texts(list), QStringList({"COM7\t :=  Mfg: FTDI : USB Serial Port"}));
        QCOMPARE(list[0].Props->Mfg(), QString("FTDI"));
    }

    void PortWithoutPermissionIsReportedOnceWithAdviceThatHelps() {
        const QString first = "COM33 (/dev/ttyUSB0) cannot be opened: permission denied.";
        const QString join = "\nJoin the group \"dialout\" that the device belongs to "
                             "(sudo usermod -aG dialout $USER), then log in again.";
        const struct {
            const char* name;
            TPortAccess access;
            QString text;
        } rows[] = {
            {"group may read and write",
             {"/dev/ttyUSB0", "dialout", "root", 0660, true, false},
             first + join},
            {"group may only write",
             {"/dev/ttyUSB0", "tty", "alice", 0620, false, false},
             first + "\nThe device belongs to user \"alice\" and group \"tty\" (mode 0620); "
                     "this user may not read and write it."},
            {"group may only read",
             {"/dev/ttyUSB0", "dialout", "root", 0640, false, false},
             first + "\nThe device belongs to user \"root\" and group \"dialout\" (mode "
                     "0640); this user may not read and write it."},
            {"the superuser's group",
             {"/dev/ttyUSB0", "root", "root", 0660, true, true},
             first + "\nThe device belongs to user \"root\" and group \"root\" (mode 0660); "
                     "this user may not read and write it."},
            {"nothing known", {}, "COM33 cannot be opened: permission denied."},
        };
        for (const auto& row : rows) {
            // A new backend, which also forgets what was reported.
            auto fresh = std::make_unique<DeviceListBackend>();
            backend_ = fresh.get();
            InstallPortEnumBackend(std::move(fresh));
            backend_->Access = row.access;
            backend_->Add("COM33", {{12, "ttyUSB0 FT232R USB UART"}}, TPortState::NoPermission);
            ScriptedUiHost host;
            ScopedUiHost scoped(host);
            TPortList list;
            GetPortsClassList(list);
            GetPortsClassList(list);
            QCOMPARE(Texts(list), QStringList({"COM33\t: ttyUSB0 FT232R USB UART"}));
            QVERIFY2(host.Entries().size() == 1, row.name);
            QCOMPARE(host.Entries()[0].kind, ScriptedUiHost::Kind::Plain);
            QVERIFY2(host.Entries()[0].text == row.text, qPrintable(host.Entries()[0].text));
        }
    }

    void IgnoredPortsFolderIsReportedOncePerFolderAndReason() {
        backend_->Add("COM3", {}, TPortState::Available);
        backend_->Ignored = {"/run/user/7/hexvac/ports", "it is writable by others"};
        ScriptedUiHost host;
        ScopedUiHost scoped(host);
        TPortList list;
        GetPortsClassList(list);
        GetDeviceList(list, true, false);
        GetPortsClassList(list);
        // The port list's log line says it every time.
        QCOMPARE(IgnoredPortsFolderNote(), host.Texts().value(0));
        backend_->Ignored.Reason = "it is not owned by you";
        GetPortsClassList(list);
        backend_->Ignored = {};
        GetPortsClassList(list);
        QCOMPARE(IgnoredPortsFolderNote(), QString());
        QCOMPARE(host.Texts(),
                 QStringList({"The virtual ports folder /run/user/7/hexvac/ports is ignored: it "
                              "is writable by others.",
                              "The virtual ports folder /run/user/7/hexvac/ports is ignored: it "
                              "is not owned by you."}));
        QCOMPARE(Texts(list), QStringList({"COM3\t:  \t - ( Available )"}));
    }

    void SysfsGivesRealPortsWithTheirNumbers() {
        QVERIFY(root_.isValid());
        Write(root_.filePath("sys/class/tty/console/active"), "tty0 ttyS0\n");
        Tty("tty0", {}, {});
        Tty("ttyS0", Device("pnp0/00:00", "pnp", {{"id", "PNP0501"}}), "serial", "4");
        Tty("ttyS1", Device("platform/serial8250", "platform"), "serial8250", "0");
        Tty("ttyS2", Device("pnp0/00:01", "pnp", {{"id", "PNP0501"}}), "serial", "4");
        Device("usb1/1-1", "usb",
               {{"idVendor", "0403"},
                {"idProduct", "6001"},
                {"manufacturer", "FTDI"},
                {"product", "FT232R USB UART"},
                {"busnum", "1"}});
        Device("usb1/1-1/1-1:1.0", "usb", {{"bInterfaceNumber", "00"}});
        Tty("ttyUSB0", Device("usb1/1-1/1-1:1.0/ttyUSB0", "usb-serial"), "ftdi_sio");
        Tty("ttyAMA10", Device("platform/fe201000.serial", "amba"), "uart-pl011");
        Tty("ttyAMA2", Device("platform/fe202000.serial", "amba"), "uart-pl011");
        Write(root_.filePath("sys/class/tty/ttyAMA2/dev"), "204:66\n");
        Write(root_.filePath("udev/c204:66"), "S:serial/by-path/x\nE:ID_PATH=platform-fe202000\n"
                                              "E:ID_MODEL_FROM_DATABASE=16550A UART\n"
                                              "E:ID_VENDOR_FROM_DATABASE=Acme\nE:ID_MODEL=x\n");
        Tty("ttyXR0", Device("platform/nodriver", "platform"), {});

        // Virtual ports: COM3 takes ttyS2's number, COM97 the first free one.
        std::string error;
        const std::string folder = PortsFolder();
        TPty com3, com97;
        QVERIFY(RegisterVirtualPort(folder, 3, com3.Path, error) == 3);
        QVERIFY(RegisterVirtualPort(folder, 97, com97.Path, error) == 97);
        Link(root_.filePath("gone"), QString::fromStdString(VirtualPortLink(folder, 50)));
        Write(root_.filePath("plain"), "x");
        Link(root_.filePath("plain"), QString::fromStdString(VirtualPortLink(folder, 51)));

        auto ports = PortsByNumber();
        QCOMPARE(std::vector<int>({3, 33, 97, 98, 99}), [&] {
            std::vector<int> numbers;
            for (const auto& entry : ports)
                numbers.push_back(entry.first);
            return numbers;
        }());
        QCOMPARE(ports[3].OpenPath, VirtualPortLink(folder, 3));
        QCOMPARE(ports[3].Device.Props[12], com3.Path.substr(5) + " Virtual port");
        QCOMPARE(ports[98].Name, std::string("ttyAMA2"));
        QCOMPARE(ports[99].Name, std::string("ttyAMA10"));
        const auto& usb = ports[33].Device.Props;
        QCOMPARE(usb[12], std::string("ttyUSB0 FT232R USB UART"));
        QCOMPARE(usb[0], std::string("FT232R USB UART"));
        QCOMPARE(usb[1], std::string("0403:6001"));
        QCOMPARE(usb[4], std::string("ftdi_sio"));
        QCOMPARE(usb[7], std::string("Ports"));
        QCOMPARE(usb[11], std::string("FTDI"));
        QCOMPARE(usb[13], std::string("1-1:1.0"));
        QCOMPARE(usb[14], Paths().DevRoot + "/ttyUSB0");
        QCOMPARE(usb[22], std::string("usb"));
        // What only udev knows, from the udev source the paths name.
        const auto& amba = ports[98].Device.Props;
        QCOMPARE(amba[0], std::string("16550A UART"));
        QCOMPARE(amba[11], std::string("Acme"));
        QCOMPARE(amba[12], std::string("ttyAMA2 16550A UART"));
        QCOMPARE(amba[13], std::string("platform-fe202000"));
        QCOMPARE(ports[99].Device.Props[0], std::string()); // no udev record

        // The legacy ttyS1 is known but not present; the console never shows.
        auto all = PortsByNumber(true);
        QVERIFY(all.count(2) == 1 && !all[2].Present);
        QVERIFY(all.count(1) == 0);

        // Opening a number opens what the list shows under it.
        QCOMPARE(LinuxDeviceForComNumber(Paths(), 98), Paths().DevRoot + "/ttyAMA2");
        QCOMPARE(LinuxDeviceForComNumber(Paths(), 3), VirtualPortLink(folder, 3));
        QCOMPARE(LinuxDeviceForComNumber(Paths(), 2), Paths().DevRoot + "/ttyS1");
        QCOMPARE(LinuxDeviceForComNumber(Paths(), 1), std::string()); // the console
        QCOMPARE(LinuxDeviceForComNumber(Paths(), 100), std::string());
        QCOMPARE(FixedComName(65), std::string("ttyACM0"));
        QCOMPARE(FixedComNumber("ttyACM31"), 96);
        QCOMPARE(FixedComNumber("ttyACM32"), 0);
    }

    void ProbeTellsFreeFromHeldFromAbsent() {
        QVERIFY(root_.isValid());
        const std::string folder = PortsFolder();
        QVERIFY(QDir().mkpath(root_.filePath("lock")));
        std::string error;
        auto pty = std::make_unique<TPty>();
        QVERIFY(RegisterVirtualPort(folder, 201, pty->Path, error) == 201);
        TLinuxPortEnumBackend backend(Paths());

        QCOMPARE(backend.Probe("COM201"), TPortState::Available);
        QCOMPARE(backend.Probe("COM202"), TPortState::Absent);
        // Who owns the device and who may use it, as stat() tells.
        for (const mode_t mode : {0620, 0660, 0640, 0600}) {
            QCOMPARE(::fchmod(pty->Slave, mode), 0);
            struct stat st {};
            QCOMPARE(::stat(pty->Path.c_str(), &st), 0);
            const TPortAccess access = backend.AccessOf("COM201");
            QCOMPARE(access.Device, pty->Path);
            QCOMPARE(access.Mode, unsigned(mode));
            QCOMPARE(access.GroupMayReadWrite, (mode & 060) == 060);
            QCOMPARE(access.RootGroup, st.st_gid == 0);
            QVERIFY(!access.Group.empty());
            const passwd* owner = ::getpwuid(st.st_uid);
            QCOMPARE(access.Owner, owner ? std::string(owner->pw_name) : std::to_string(st.st_uid));
        }
        QCOMPARE(backend.AccessOf("COM202").Device, std::string());

        // QSerialPort's lock file: held while its process lives.
        const QString lock = root_.filePath(
            "lock/LCK.." + QString::fromStdString(pty->Path.substr(5)).replace('/', '_'));
        Write(lock, QByteArray::number(::getpid()) + "\nother\nhost\n");
        QCOMPARE(backend.Probe("COM201"), TPortState::Held);
        Write(lock, "2147483600\nother\nhost\n");
        QCOMPARE(backend.Probe("COM201"), TPortState::Available);
        QFile::remove(lock);

        // Exclusive mode set by whoever has it open.
        QCOMPARE(::ioctl(pty->Slave, TIOCEXCL), 0);
        QCOMPARE(backend.Probe("COM201"), TPortState::Held);
        QCOMPARE(::ioctl(pty->Slave, TIOCNXCL), 0);

        // A real QSerialPort on the port, with the system's lock folders.
        TLinuxPortPaths system = Paths();
        system.LockFolders = SystemLinuxPortPaths().LockFolders;
        TLinuxPortEnumBackend withSystemLocks(system);
        {
            QSerialPort port(QString::fromStdString(VirtualPortLink(folder, 201)));
            QVERIFY(port.open(QIODevice::ReadWrite));
            QCOMPARE(withSystemLocks.Probe("COM201"), TPortState::Held);
        }
        QCOMPARE(withSystemLocks.Probe("COM201"), TPortState::Available);

        // The far end gone: the link dangles and the port is absent.
        pty.reset();
        QCOMPARE(backend.Probe("COM201"), TPortState::Absent);
    }

    void VirtualPortsLeadOnlyToTerminals() {
        QVERIFY(root_.isValid());
        const std::string folder = PortsFolder();
        TPty pty;
        QVERIFY(!pty.Path.empty());
        Write(root_.filePath("plain"), "x");
        QCOMPARE(::mkfifo(root_.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
        QVERIFY(QDir().mkpath(root_.filePath("folder")));
        const struct {
            int number;
            QString target;
            bool listed;
        } rows[] = {
            {150, QString::fromStdString(pty.Path), true},
            {151, "/dev/null", false},
            {152, "/dev/zero", false},
            {153, "/dev/ptmx", false},
            {154, "/dev/tty", false},
            {155, root_.filePath("fifo"), false},
            {156, root_.filePath("folder"), false},
            {157, root_.filePath("plain"), false},
        };
        for (const auto& row : rows)
            Link(row.target, QString::fromStdString(VirtualPortLink(folder, row.number)));
        TLinuxPortEnumBackend backend(Paths());
        auto ports = PortsByNumber();
        for (const auto& row : rows) {
            const QString name = QStringLiteral("COM%1 -> %2").arg(row.number).arg(row.target);
            QVERIFY2(ports.count(row.number) == (row.listed ? 1u : 0u), qPrintable(name));
            QVERIFY2((LinuxDeviceForComNumber(Paths(), row.number) ==
                      VirtualPortLink(folder, row.number)) == row.listed,
                     qPrintable(name));
            QVERIFY2((backend.Probe("COM" + std::to_string(row.number)) == TPortState::Absent) !=
                         row.listed,
                     qPrintable(name));
        }
        QCOMPARE(ports[150].DevicePath, pty.Path);

        // A device sysfs files under "tty" counts, whatever its major.
        Link("../../class/tty", root_.filePath("sys/dev/char/1:3/subsystem"));
        QCOMPARE(PortsByNumber().count(151), 1u);
        QCOMPARE(PortsByNumber().count(152), 0u);
    }

    void UntrustedPortsFolderIsIgnoredAndSaysWhy() {
        QVERIFY(root_.isValid());
        const QString folder = QString::fromStdString(Paths().VirtualFolder);
        const QString parent = root_.path();
        const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        const auto groupWrite =
            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup;
        const auto otherWrite =
            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        const struct {
            const char* name;
            std::function<void()> make;
            std::string reason; // empty: trusted
        } rows[] = {
            {"private", [&] { PortsFolder(); }, ""},
            {"absent", [] {}, ""},
            {"open to all",
             [&] {
                 QFile::setPermissions(QString::fromStdString(PortsFolder()),
                                       all | groupWrite | otherWrite);
             },
             "it is writable by its group and by others"},
            {"open to others",
             [&] {
                 QFile::setPermissions(QString::fromStdString(PortsFolder()), all | otherWrite);
             },
             "it is writable by others"},
            {"open to its group",
             [&] {
                 QFile::setPermissions(QString::fromStdString(PortsFolder()), all | groupWrite);
             },
             "it is writable by its group"},
            {"a link",
             [&] {
                 QDir().mkpath(root_.filePath("elsewhere"));
                 QFile::setPermissions(root_.filePath("elsewhere"), all);
                 Link(root_.filePath("elsewhere"), folder);
             },
             "it is a symbolic link"},
            {"a file", [&] { Write(folder, "x"); }, "it is not a folder"},
            {"parent open to its group",
             [&] {
                 PortsFolder();
                 QFile::setPermissions(parent, all | groupWrite);
             },
             "its parent " + parent.toStdString() + " is writable by its group"},
            {"someone else's",
             [&] {
                 PortsFolder();
                 // Only root may give a folder away; others leave the row out.
                 [[maybe_unused]] const int given =
                     ::lchown(folder.toLocal8Bit().constData(), ::getuid() + 1, gid_t(-1));
             },
             "it is not owned by you"},
        };
        for (const auto& row : rows) {
            // A fresh folder and a private parent for each row.
            QFile::setPermissions(parent, all);
            QFile::remove(folder);
            QDir(folder).removeRecursively();
            row.make();
            if (row.reason == "it is not owned by you" && QFileInfo(folder).ownerId() == ::getuid())
                continue;
            TPty pty;
            if (QFileInfo(folder).isDir() && !QFileInfo(folder).isSymLink())
                QVERIFY(::symlink(pty.Path.c_str(),
                                  VirtualPortLink(folder.toStdString(), 7).c_str()) == 0);
            const bool exists = QFileInfo(folder).exists() || QFileInfo(folder).isSymLink();
            const TVirtualPortsFolderCheck check = CheckVirtualPortsFolder(folder.toStdString());
            QCOMPARE(check.Distrust, exists ? row.reason : std::string("it does not exist"));
            QCOMPARE(check.Present, exists);
            auto backend = std::make_unique<TLinuxPortEnumBackend>(Paths());
            QCOMPARE(backend->IgnoredPortsFolder().Folder,
                     row.reason.empty() ? std::string() : folder.toStdString());
            QCOMPARE(backend->IgnoredPortsFolder().Reason, row.reason);
            QVERIFY2(PortsByNumber().count(7) == (row.reason.empty() && exists ? 1u : 0u),
                     row.name);

            // The user hears of it once, however often the ports are listed.
            ScriptedUiHost host;
            ScopedUiHost scoped(host);
            const auto previous = InstallPortEnumBackend(std::move(backend));
            TPortList list;
            GetPortsClassList(list);
            GetPortsClassList(list);
            InstallPortEnumBackend(std::make_unique<DeviceListBackend>());
            const QStringList expected =
                row.reason.empty()
                    ? QStringList()
                    : QStringList({QStringLiteral("The virtual ports folder %1 is "
                                                  "ignored: %2.")
                                       .arg(folder, QString::fromStdString(row.reason))});
            QVERIFY2(host.Texts() == expected, qPrintable(host.Texts().join('|')));
        }
        QFile::setPermissions(parent, all);
    }
};

HEXVAC_TEST(TestPortEnum);
#include "TestPortEnum.moc"
