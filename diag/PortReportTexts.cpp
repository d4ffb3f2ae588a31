// The port property report's row labels, the texts of its enumerated fields,
// and how each record field is written into its row.

#include "diag/PortEnum.h"
#include "diag/PortReport.h"

#include "common/StdFuncsMisc.h"

#include <initializer_list>

namespace {

const QString GroupMark = QStringLiteral("----------");

QString Decimal(quint32 Value) {
    return QString::number(Value);
}

// Capability masks and rates are shown as the driver's bit pattern.
QString Hex8(quint32 Value) {
    return FormatHex(8, static_cast<qint64>(Value));
}

QString Char(quint8 Value) {
    return QStringLiteral("x") + ByteToHex(Value, 0);
}

QString Flag(quint32 Word, int Bit) {
    return (Word >> Bit) & 1u ? QStringLiteral("Y") : QStringLiteral(" ");
}

// One flag row per bit, in the order given.
void AddFlags(QStringList& Rows, quint32 Word, std::initializer_list<int> Bits) {
    for (const int bit : Bits)
        Rows << Flag(Word, bit);
}

QString EnumText(quint32 Value, std::initializer_list<const char*> Texts) {
    // The last text stands for every value beyond the table.
    const quint32 last = static_cast<quint32>(Texts.size() - 1);
    return QString::fromLatin1(*(Texts.begin() + (Value < last ? Value : last)));
}

} // namespace

const QStringList& ReportLabels() {
    static const QStringList labels = {
        // Rows 1 to 9: the port and its configuration.
        "Port ID", "***** Comm Config *****", "Size", "Version", "Reserved", "ProviderSubType",
        "ProviderOffset", "ProviderSize", "ProviderData",
        // Rows 10 to 18: the driver's properties.
        "***** Comm Prop *****", "PacketLength", "PacketVersion", "ServiceMask", "Reserved1",
        "MaxTxQueue", "MaxRxQueue", "MaxBaud", "ProvSubType",
        // Rows 19 to 29.
        "Provider Capabilities", "   DTRDSR", "   RTSCTS", "   RLSD", "   PARITY_CHECK",
        "   XONXOFF", "   SETXCHAR", "   TOTALTIMEOUTS", "   INTTIMEOUTS", "   SPECIALCHARS",
        "   16BITMODE",
        // Rows 30 to 37.
        "Settable Params", "   PARITY", "   BAUD", "   DATABITS", "   STOPBITS", "   HANDSHAKING",
        "   PARITY_CHECK", "   RLSD",
        // Rows 38 to 58.
        "Settable Bauds", "   75", "   110", "   134.5", "   150", "   300", "   600", "   1200",
        "   1800", "   2400", "   4800", "   7200", "   9600", "   14400", "   19200", "   38400",
        "   56000", "   128000", "   115200", "   57600", "   User Definable",
        // Rows 59 to 65.
        "Settable Data Len", "   5 bits", "   6 bits", "   7 bits", "   8 bits", "   16 bits",
        "   Special via HW",
        // Rows 66 to 74.
        "Settable Stop/Parity", "   1 stop", "   1.5 stop", "   2 stop", "   NONE", "   ODD",
        "   EVEN", "   MARK", "   SPACE",
        // Rows 75 to 79.
        "CurrentTxQueue", "CurrentRxQueue", "ProvSpec1", "ProvSpec2", "ProvChar",
        // Rows 80 to 85: the time-outs.
        "***** Comm Timeout *****", "ReadIntervalTimeout", "ReadTotalTimeoutMultiplier",
        "ReadTotalTimeoutConstant", "WriteTotalTimeoutMultiplier", "WriteTotalTimeoutConstant",
        // Rows 86 to 113: the line settings.
        "**** CommConfig DCB ****", "Baud Rate", "Binary Mode", "Parity Enabled",
        "Cts out Flow Control", "Dsr out Flow Control", "Dtr Flow Type", "Dsr Sensitivity",
        "TX Continues On Xoff", "XON/XOFF out flow control", "XON/XOFF in flow control",
        "Enable Error Replacement", "Enable Null Stripping", "Rts Flow Control", "Abort On Error",
        "Reserved", "Reserved", "Xmit XON  Threshold", "Xmit XOFF Threshold", "Bits per Byte",
        "Parity", "StopBits", "Tx/Rx XON Char", "Tx/Rx XOFF Char", "Error Replace Char", "Eof Char",
        "Event Char", "Reserved",
        // Rows 114 to 123: the device database.
        "***** More Stuff *****", "Enum", "Class", "Device", "Manufacturer", "Device Desc",
        "Friendly Name", "Location", "Service", "Hardware ID"};
    return labels;
}

QString ServiceMaskText(quint32 Value) {
    return Value == 1 ? QStringLiteral("Serial Comm") : IntToBits(Value & 0xFFFFu, 2);
}

QString ProvSubTypeText(quint32 Value) {
    switch (Value) {
    case 0:
        return QStringLiteral("UNSPECIFIED");
    case 1:
        return QStringLiteral("RS232");
    case 2:
        return QStringLiteral("PARALLELPORT");
    case 3:
        return QStringLiteral("RS422");
    case 4:
        return QStringLiteral("RS423");
    case 5:
        return QStringLiteral("RS449");
    case 6:
        return QStringLiteral("MODEM");
    case 33:
        return QStringLiteral("FAX");
    case 34:
        return QStringLiteral("SCANNER");
    case 256:
        return QStringLiteral("NETWORK_BRIDGE");
    case 257:
        return QStringLiteral("LAT");
    case 258:
        return QStringLiteral("TCPIP_TELNET");
    case 259:
        return QStringLiteral("X25");
    default:
        return QStringLiteral("DUNNO");
    }
}

QString ParityText(quint32 Value) {
    return EnumText(Value, {"None", "Odd", "Even", "Mark", "Space", "Dunno"});
}

QString StopBitsText(quint32 Value) {
    return EnumText(Value, {"1", "1.5", "2", "Dunno"});
}

QString DtrControlText(quint32 Value) {
    return EnumText(Value, {"DISABLE", "ENABLE", "HANDSHAKE", "Dunno"});
}

QString RtsControlText(quint32 Value) {
    return EnumText(Value, {"DISABLE", "ENABLE", "HANDSHAKE", "TOGGLE"});
}

QString ReportFieldText(const std::string& Bytes) {
    const std::string::size_type zero = Bytes.find('\0');
    const std::string::size_type end = zero == std::string::npos ? Bytes.size() : zero;
    std::string::size_type first = 0;
    std::string::size_type last = end;
    while (first < last && static_cast<unsigned char>(Bytes[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(Bytes[last - 1]) <= ' ')
        --last;
    return QString::fromLatin1(Bytes.data() + first, static_cast<qsizetype>(last - first));
}

QStringList ConfigRows(const TCommConfig& Config) {
    return {Decimal(Config.dwSize),
            Decimal(Config.wVersion),
            Decimal(Config.wReserved),
            ProvSubTypeText(Config.dwProviderSubType),
            Decimal(Config.dwProviderOffset),
            Decimal(Config.dwProviderSize),
            ReportFieldText(Config.ProviderData)};
}

QStringList PropRows(const TCommProp& Prop) {
    QStringList rows = {Decimal(Prop.wPacketLength),
                        Decimal(Prop.wPacketVersion),
                        ServiceMaskText(Prop.dwServiceMask),
                        Decimal(Prop.dwReserved1),
                        Decimal(Prop.dwMaxTxQueue),
                        Decimal(Prop.dwMaxRxQueue),
                        Hex8(Prop.dwMaxBaud),
                        ProvSubTypeText(Prop.dwProvSubType)};
    rows << GroupMark;
    AddFlags(rows, Prop.dwProvCapabilities, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    rows << GroupMark;
    AddFlags(rows, Prop.dwSettableParams, {0, 1, 2, 3, 4, 5, 6});
    rows << GroupMark;
    AddFlags(rows, Prop.dwSettableBaud,
             {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 28});
    rows << GroupMark;
    AddFlags(rows, Prop.wSettableData, {0, 1, 2, 3, 4, 5});
    rows << GroupMark;
    AddFlags(rows, Prop.wSettableStopParity, {0, 1, 2, 8, 9, 10, 11, 12});
    rows << Decimal(Prop.dwCurrentTxQueue) << Decimal(Prop.dwCurrentRxQueue)
         << Decimal(Prop.dwProvSpec1) << Decimal(Prop.dwProvSpec2)
         << ReportFieldText(Prop.ProvChar);
    return rows;
}

QStringList TimeoutRows(const TCommTimeouts& Timeouts) {
    return {Decimal(Timeouts.ReadIntervalTimeout), Decimal(Timeouts.ReadTotalTimeoutMultiplier),
            Decimal(Timeouts.ReadTotalTimeoutConstant),
            Decimal(Timeouts.WriteTotalTimeoutMultiplier),
            Decimal(Timeouts.WriteTotalTimeoutConstant)};
}

QStringList DcbRows(const TDcb& Dcb) {
    const quint32 flags = Dcb.Flags;
    QStringList rows = {Decimal(Dcb.BaudRate)};
    AddFlags(rows, flags, {0, 1, 2, 3});
    rows << DtrControlText((flags >> 4) & 3u);
    AddFlags(rows, flags, {6, 7, 8, 9, 10, 11});
    rows << RtsControlText((flags >> 12) & 3u);
    AddFlags(rows, flags, {14});
    // The unused bits 31 down to 15 of the flags word.
    rows << IntToBits(flags, 4).left(17);
    rows << Decimal(Dcb.wReserved) << Decimal(Dcb.XonLim) << Decimal(Dcb.XoffLim)
         << Decimal(Dcb.ByteSize) << ParityText(Dcb.Parity) << StopBitsText(Dcb.StopBits)
         << Char(Dcb.XonChar) << Char(Dcb.XoffChar) << Char(Dcb.ErrorChar) << Char(Dcb.EofChar)
         << Char(Dcb.EvtChar) << Decimal(Dcb.wReserved1);
    return rows;
}

QStringList DeviceRows(const TDevRegProps& Record) {
    return {Record.EnumeratorName(),
            Record.Class(),
            Record.PhysicalDeviceObjectName(),
            Record.Mfg(),
            Record.DeviceDesc(),
            Record.FriendlyName(),
            Record.LocationInformation(),
            Record.Service(),
            Record.HardwareID()};
}
