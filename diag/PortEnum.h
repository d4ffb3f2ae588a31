#pragma once
// The machine's serial ports, as the system's device database knows them.
//
// GetPortsClassList gives one line per present serial port: "COM3\t: USB
// Serial Port", followed by "\t - ( Available )" when the port can be opened
// now. GetDeviceList gives one line per device with its 29 device property
// texts attached. Each call asks the system afresh, through the platform
// backend (SetupAPI on Windows, sysfs elsewhere) which tests can replace by
// one that lists only their own virtual ports.

#include "diag/PortEnumBackend.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

// The 29 device property texts of a device, by property code 0..28. A
// property that is missing or unreadable holds a single space.
struct TDevRegProps {
    static constexpr int Count = DevRegPropCount;
    std::array<QString, Count> Fields;

    TDevRegProps() { Fields.fill(QStringLiteral(" ")); }
    const QString& DeviceDesc() const { return Fields[0]; }
    const QString& HardwareID() const { return Fields[1]; }
    const QString& Service() const { return Fields[4]; }
    const QString& Class() const { return Fields[7]; }
    const QString& Mfg() const { return Fields[11]; }
    const QString& FriendlyName() const { return Fields[12]; }
    const QString& LocationInformation() const { return Fields[13]; }
    const QString& PhysicalDeviceObjectName() const { return Fields[14]; }
    const QString& EnumeratorName() const { return Fields[22]; }
};

// An ordered list of text lines, each of which may own a property record.
struct TPortListLine {
    QString Text;
    std::unique_ptr<TDevRegProps> Props;
};
using TPortList = std::vector<TPortListLine>;

// The availability mark of a port-class line.
inline const QString AvailableMark = QStringLiteral("\t - ( Available )");

// A present port whose user lacks the right to open it is reported once per
// device (plain message: the group to join when joining it would help, else
// who owns the device), and so is a virtual ports folder left out as
// untrusted, once per folder and reason; nothing else is ever shown.
void GetPortsClassList(TPortList& List);
void GetDeviceList(TPortList& List, bool ComOnly, bool IncludeAbsent);
// Why the virtual ports folder is left out, as a sentence ("The virtual
// ports folder ... is ignored: it is writable by others."), or empty when it
// is used or not there. GetPortsClassList shows it once in the plain message
// box; the port list's log line carries it every time.
QString IgnoredPortsFolderNote();

// ---- Platform backend ---------------------------------------------------------

// A device's record, its 29 texts each cut at the first zero character and
// trimmed of blanks and control characters (" " when nothing is left).
std::unique_ptr<TDevRegProps> GetDevRegProps(const TPortDevice& Device);
// One property of Device by code 0..28, as stored in its record.
QString GetDevRegProp(const TPortDevice& Device, int Code);

// The backend in force: the system's, unless a test installed its own.
TPortEnumBackend& PortEnumBackend();
// Installs Backend (owned) and returns the previous one; null restores the
// system's backend.
std::unique_ptr<TPortEnumBackend> InstallPortEnumBackend(std::unique_ptr<TPortEnumBackend> Backend);
