// The port property report: its columns and rows from made-up ports, what a
// port that cannot be read leaves blank, and the Linux backend reading a
// real pseudo-terminal through a virtual port. No test opens a device of
// the machine.

#include "common/UiHost.h"
#include "common/VirtualPorts.h"
#include "diag/PortEnum.h"
#include "diag/PortPropsLinux.h"
#include "diag/PortReport.h"
#include "tests/support/FakePorts.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <tuple>
#include <unistd.h>

namespace {

// Ports that open and give their records, or a port that does not open.
class TRecordsBackend final : public TPortPropsBackend {
public:
    std::map<std::string, TPortRecords> Ports; // a port missing here does not open
    std::string DeviceTarget(const std::string& PortName) override {
        return "\\Device\\Serial_" + PortName + std::string("\0 junk", 6);
    }
    bool ReadPortRecords(const std::string& PortName, TPortRecords& Records) override {
        const auto it = Ports.find(PortName);
        if (it == Ports.end())
            return false;
        Records = it->second;
        return true;
    }
};

// Records in which the fields the tests look at have values of their own.
TPortRecords FullRecords(std::uint32_t Baud) {
    TCommConfig config;
    config.dwSize = 52;
    config.dwProviderSubType = 1;
    config.ProviderData = std::string(" \x01X\0Y", 5);
    TDcb& dcb = config.dcb;
    dcb.BaudRate = Baud;
    // fBinary, fOutxCtsFlow, DTR 3, fOutX, RTS 3, and bit 31 of the unused ones.
    dcb.Flags = 0x1u | 0x4u | (3u << 4) | 0x100u | (3u << 12) | 0x80000000u;
    dcb.XonLim = 2048;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    dcb.StopBits = 2;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.wReserved1 = 65535;
    TCommProp prop;
    prop.wPacketLength = 64;
    prop.dwServiceMask = 1;
    prop.dwMaxTxQueue = 4294967295u;
    prop.dwMaxBaud = 0x10000000;
    prop.dwProvSubType = 33;
    prop.dwProvCapabilities = 0x2;                 // RTSCTS
    prop.dwSettableBaud = (1u << 17) | 0x10000000; // 115200, user definable
    prop.wSettableStopParity = 0x0004 | 0x1000;    // 2 stop, space
    prop.dwProvSpec2 = 7;
    return {config, prop, TCommTimeouts{4294967295u, 0, 0, 10, 5000}};
}

QStringList ColumnTexts(const TReportTable& Table, int Column) {
    QStringList texts;
    for (int row = 0; row < Table.RowCount(); ++row)
        texts << Table.Cell(row, Column);
    return texts;
}

// Checks the texts of the given rows (counted from 1) of a column.
void ExpectRows(const QStringList& Column, const std::map<int, QString>& Rows) {
    for (const auto& [no, text] : Rows)
        QVERIFY2(Column.value(no - 1) == text,
                 qPrintable(QStringLiteral("row %1: \"%2\"").arg(no).arg(Column.value(no - 1))));
}

const QString Blank = QStringLiteral(" ");
const QString Mark = QStringLiteral("**********");

} // namespace

class TestPortReport : public QObject {
    Q_OBJECT

    DeviceListBackend* devices_ = nullptr;
    TRecordsBackend* records_ = nullptr;
    std::unique_ptr<TPortEnumBackend> previousDevices_;
    std::unique_ptr<TPortPropsBackend> previousRecords_;

private slots:
    void init() {
        auto devices = std::make_unique<DeviceListBackend>();
        devices_ = devices.get();
        previousDevices_ = InstallPortEnumBackend(std::move(devices));
        auto records = std::make_unique<TRecordsBackend>();
        records_ = records.get();
        previousRecords_ = InstallPortPropsBackend(std::move(records));
    }
    void cleanup() {
        InstallPortEnumBackend(std::move(previousDevices_));
        InstallPortPropsBackend(std::move(previousRecords_));
    }

    void EnumeratedFieldsNameTheirEdgeValues() {
        QCOMPARE(ServiceMaskText(0), QString(16, QLatin1Char('0')));
        QCOMPARE(ServiceMaskText(0x12345), QString("0010001101000101")); // low 16 bits
        QCOMPARE(ProvSubTypeText(259), QString("X25"));
        QCOMPARE(ProvSubTypeText(7), QString("DUNNO"));
        QCOMPARE(ParityText(5), QString("Dunno"));
        QCOMPARE(StopBitsText(1), QString("1.5"));
        QCOMPARE(StopBitsText(255), QString("Dunno"));
    }

    void ReportHasOneColumnPerComPortInPortOrder() {
        devices_->Add("COM10", {{22, "USB"}, {1, std::string("FTDIBUS\\VID_0403\0second", 23)}});
        devices_->Add("COM2", {{22, "ACPI"}, {11, "(Standard port types)"}});
        devices_->Add("LPT1", {{22, "ACPI"}});
        devices_->Add("", {{0, "no port name"}});
        devices_->Add("COM3");
        records_->Ports["COM2"] = FullRecords(9600);
        records_->Ports["COM3"] = FullRecords(19200);
        records_->Ports["COM10"] = FullRecords(115200);
        records_->Ports["LPT1"] = FullRecords(1);
        ScriptedUiHost host;
        ScopedUiHost scoped(host);

        TReportTable table;
        ShowPortDetails(table);
        QCOMPARE(host.Texts(), QStringList());
        QCOMPARE(table.RowCount(), ReportRowCount);
        QStringList captions;
        for (const TReportColumn& column : table.Columns)
            captions << column.Caption + "/" + QString::number(column.Width);
        QCOMPARE(captions, QStringList({"No/30", "Desc/150", "COM2/90", "COM3/90", "COM10/90"}));

        QCOMPARE(ColumnTexts(table, 1), ReportLabels());
        ExpectRows(ColumnTexts(table, 0), {{1, "1"}, {123, "123"}});
        // clang-format off
        ExpectRows(ReportLabels(), {{1, "Port ID"}, {5, "Reserved"}, {20, "   DTRDSR"},
            {58, "   User Definable"}, {86, "**** CommConfig DCB ****"}, {101, "Reserved"},
            {102, "Reserved"}, {103, "Xmit XON  Threshold"}, {113, "Reserved"},
            {123, "Hardware ID"}});

        // Each value in its own row.
        ExpectRows(ColumnTexts(table, 2), {{1, "\\Device\\Serial_COM2"}, {2, Mark}, {3, "52"},
            {6, "RS232"}, {9, "X"}, {10, Mark}, {11, "64"}, {13, "Serial Comm"},
            {15, "4294967295"}, {17, "10000000"}, {18, "FAX"}, {19, "----------"}, {20, Blank},
            {21, "Y"}, {56, "Y"}, {57, Blank}, {58, "Y"}, {69, "Y"}, {73, Blank}, {74, "Y"},
            {78, "7"}, {79, ""}, {80, Mark}, {81, "4294967295"}, {85, "5000"}, {86, Mark},
            {87, "9600"}, {88, "Y"}, {89, Blank}, {90, "Y"}, {92, "Dunno"}, {95, "Y"},
            {99, "TOGGLE"}, {101, "10000000000000000"}, {103, "2048"}, {105, "7"}, {106, "Even"},
            {107, "2"}, {108, "x11"}, {109, "x13"}, {112, "x00"}, {113, "65535"}, {114, Mark},
            {115, "ACPI"}, {118, "(Standard port types)"}, {119, Blank}});
        // clang-format on

        ExpectRows(ColumnTexts(table, 3), {{87, "19200"}});
        ExpectRows(ColumnTexts(table, 4),
                   {{87, "115200"}, {115, "USB"}, {123, "FTDIBUS\\VID_0403"}});
    }

    void UnreadablePortsKeepBlanksAndSayWhy() {
        const std::map<int, std::string> device = {{22, "ACPI"}, {12, "Communications Port"}};
        devices_->Add("COM4", device);
        devices_->Add("COM5", {{22, "ACPI"}});
        devices_->Add("COM6", {{22, "PCI"}});
        devices_->Add("COM7", device);
        TPortRecords noConfig = FullRecords(9600);
        noConfig.Config.reset();
        records_->Ports["COM4"] = noConfig;
        records_->Ports["COM6"] = TPortRecords();
        records_->Ports["COM7"] = FullRecords(9600);
        ScriptedUiHost host;
        ScopedUiHost scoped(host);

        TReportTable table;
        ShowPortDetails(table);
        QCOMPARE(host.Texts(),
                 QStringList({"Failed to get Config for COM4", "Failed to get Handle to COM5",
                              "Failed to get Config for COM6", "Failed to get Prop for COM6",
                              "Failed to get Timeouts for COM6"}));
        for (const ScriptedUiHost::Entry& entry : host.Entries())
            QCOMPARE(entry.kind, ScriptedUiHost::Kind::Plain);

        // No configuration: rows 3 to 9 and 87 to 113 blank, every other row
        // as a port read whole (COM7) shows it.
        const QStringList com4 = ColumnTexts(table, 2);
        const QStringList com7 = ColumnTexts(table, 5);
        for (int no = 2; no <= ReportRowCount; ++no) {
            const bool blank = (no >= 3 && no <= 9) || (no >= 87 && no <= 113);
            QVERIFY2(com4[no - 1] == (blank ? Blank : com7[no - 1]),
                     qPrintable(QString::number(no)));
        }
        ExpectRows(com7, {{3, "52"}, {87, "9600"}});

        // Not opened: only the device target.
        QStringList com5(ReportRowCount, Blank);
        com5[0] = "\\Device\\Serial_COM5";
        QCOMPARE(ColumnTexts(table, 3), com5);

        // Opened but nothing read: the marks and the device rows.
        const QStringList com6 = ColumnTexts(table, 4);
        ExpectRows(com6,
                   {{2, Mark}, {10, Mark}, {80, Mark}, {86, Mark}, {114, Mark}, {115, "PCI"}});
        QCOMPARE(com6.count(Blank), ReportRowCount - 1 - 5 - 1);
    }

    void LinuxSettingsAndUartMapOntoTheRecords() {
        // A 16550A at 7 bits, mark parity checked on input, two stop bits,
        // XON/XOFF both ways, 300 ms between bytes.
        TLinuxLineSettings line{
            INPCK | IXON | IXOFF, CS7 | PARENB | PARODD | CMSPAR | CSTOPB, 115200, 17, 19, 4, 1, 3};
        TPortRecords records = LinuxPortRecords(line, TLinuxUartInfo{4, 4, 16, 115200});
        QVERIFY(records.Config && records.Prop && records.Timeouts);
        const TDcb& dcb = records.Config->dcb;
        QCOMPARE(std::vector<int>(
                     {int(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits, dcb.EofChar}),
                 std::vector<int>({115200, 7, 3, 2, 4}));
        // Binary, parity, DTR enable, TX continues, XON/XOFF out and in,
        // error replacement, RTS enable.
        QCOMPARE(dcb.Flags, 0x1u | 0x2u | 0x10u | 0x80u | 0x100u | 0x200u | 0x400u | 0x1000u);
        const TCommProp& prop = *records.Prop;
        QCOMPARE(prop.dwProvSubType, 1u);   // RS232
        QCOMPARE(prop.dwMaxBaud, 1u << 17); // 115200
        // Every rate with a speed constant up to 115200, and any other rate.
        const std::uint32_t needBother = (1u << 10) | (1u << 12) | (1u << 15) | (1u << 16);
        QCOMPARE(prop.dwSettableBaud, (0x7FFFFu & ~needBother) | (1u << 28));
        QCOMPARE(prop.dwCurrentRxQueue, 16u);
        QCOMPARE(prop.ProvChar, std::string("16550A"));
        QCOMPARE(records.Timeouts->ReadIntervalTimeout, 300u);
        QCOMPARE(records.Timeouts->ReadTotalTimeoutConstant, 0u);

        // Space, odd and even parity with errors ignored, 5 and 6 bits; no
        // UART; a read that returns at once.
        line.Min = line.Time = 0;
        line.IFlag = INPCK | IGNPAR;
        for (const auto& [cflag, bits, parity] : {std::tuple{CS5 | PARENB | CMSPAR, 5, 4},
                                                  {CS6 | PARENB | PARODD, 6, 1},
                                                  {CS5 | PARENB, 5, 2}}) {
            line.CFlag = cflag;
            records = LinuxPortRecords(line, std::nullopt);
            QCOMPARE(int(records.Config->dcb.ByteSize), bits);
            QCOMPARE(int(records.Config->dcb.Parity), parity);
            QCOMPARE(records.Config->dcb.Flags & 0x400u, 0u);
        }
        QCOMPARE(records.Prop->dwProvSubType, 0u);
        QCOMPARE(records.Prop->dwMaxBaud, 1u << 28);
        QCOMPARE(records.Timeouts->ReadIntervalTimeout, 4294967295u);
        QCOMPARE(records.Timeouts->ReadTotalTimeoutMultiplier, 0u);
    }

    void LinuxBackendReadsAPseudoTerminalThroughItsVirtualPort() {
        QTemporaryDir root; // private to this user, as the ports folder must be
        QVERIFY(root.isValid());
        // No system ports: only the virtual ports folder.
        const TLinuxPortPaths paths{root.filePath("sys").toStdString(),
                                    root.filePath("dev").toStdString(),
                                    root.filePath("udev").toStdString(),
                                    {},
                                    root.filePath("ports").toStdString()};
        QVERIFY(QDir().mkdir(root.filePath("ports")));
        QVERIFY(QFile::setPermissions(root.filePath("ports"), QFileDevice::ReadOwner |
                                                                  QFileDevice::WriteOwner |
                                                                  QFileDevice::ExeOwner));
        int master = -1, slave = -1;
        char ptyPath[256] = {};
        QCOMPARE(::openpty(&master, &slave, ptyPath, nullptr, nullptr), 0);
        const auto closePty = qScopeGuard([&] {
            ::close(slave);
            ::close(master);
        });
        std::string error;
        QCOMPARE(RegisterVirtualPort(paths.VirtualFolder, 42, ptyPath, error), 42);

        // 19200 7E2 with XON/XOFF out; the kernel keeps a pty at 8 bits
        // without parity, so those read back as 8 and none.
        termios tio{};
        QCOMPARE(::tcgetattr(slave, &tio), 0);
        ::cfmakeraw(&tio);
        tio.c_cflag = (tio.c_cflag & ~(CSIZE | PARODD)) | CS7 | PARENB | CSTOPB;
        tio.c_iflag |= IXON;
        tio.c_cc[VSTART] = 0x05;
        tio.c_cc[VSTOP] = 0x06;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 5;
        QCOMPARE(::cfsetospeed(&tio, B19200), 0);
        QCOMPARE(::cfsetispeed(&tio, B19200), 0);
        QCOMPARE(::tcsetattr(slave, TCSANOW, &tio), 0);

        InstallPortEnumBackend(std::make_unique<TLinuxPortEnumBackend>(paths));
        InstallPortPropsBackend(std::make_unique<TLinuxPortPropsBackend>(paths));
        ScriptedUiHost host;
        ScopedUiHost scoped(host);
        TReportTable table;
        ShowPortDetails(table);
        QCOMPARE(host.Texts(), QStringList());
        QCOMPARE(table.ColumnCount(), 3);
        QCOMPARE(table.Columns[2].Caption, QString("COM42"));
        // clang-format off
        ExpectRows(ColumnTexts(table, 2), {{1, QString(ptyPath)},
            {6, "UNSPECIFIED"}, // a pty is no serial line
            {17, "10000000"},
            {81, "4294967295"}, {82, "4294967295"}, {83, "500"}, // up to 500 ms for a byte
            {87, "19200"}, {95, "Y"}, {96, Blank}, {99, "ENABLE"}, // IXON, no IXOFF
            {105, "8"}, {106, "None"}, {107, "2"}, {108, "x05"}, {109, "x06"},
            {119, "Virtual port"}});
        // clang-format on

        // A custom rate and hardware flow control, read while the program
        // that set them still has the port (with exclusive mode cleared, as
        // otherwise only root could open it beside that program).
        TPortRecords records;
        {
            QSerialPort port(QString::fromStdString(VirtualPortLink(paths.VirtualFolder, 42)));
            QVERIFY(port.open(QIODevice::ReadWrite));
            QVERIFY(port.setBaudRate(250000));
            QVERIFY(port.setFlowControl(QSerialPort::HardwareControl));
            QCOMPARE(::ioctl(port.handle(), TIOCNXCL), 0);
            QVERIFY(PortPropsBackend().ReadPortRecords("COM42", records));
        }
        QVERIFY(records.Config && records.Prop && records.Timeouts);
        QCOMPARE(records.Config->dcb.BaudRate, 250000u);
        QCOMPARE(records.Config->dcb.Flags & 0x3004u, 0x2004u); // CTS out, RTS handshake

        // Ports that are not there give neither target nor handle.
        QCOMPARE(PortPropsBackend().DeviceTarget("COM43"), std::string());
        QVERIFY(!PortPropsBackend().ReadPortRecords("COM43", records));
        QVERIFY(!PortPropsBackend().ReadPortRecords("COM4x", records));
    }
};

HEXVAC_TEST(TestPortReport);
#include "TestPortReport.moc"
