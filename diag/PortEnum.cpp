// Port lines from the devices the platform backend lists, and the registry
// of that backend.

#include "diag/PortEnum.h"

#include "common/StdFuncsMisc.h"

#include <exception>
#include <set>

namespace {

struct TBackendRegistry {
    std::unique_ptr<TPortEnumBackend> Installed;
    std::unique_ptr<TPortEnumBackend> System;
    // Ports already reported as not permitted, so a user is told once.
    std::set<std::string> ReportedNoPermission;
    // Ignored folders already reported, with their reasons.
    std::set<std::pair<std::string, std::string>> ReportedIgnoredFolders;
};

TBackendRegistry& Registry() {
    static TBackendRegistry registry;
    return registry;
}

// The text up to the first zero byte, without leading or trailing blanks and
// control characters. Backends hand over raw property bytes, which may carry
// the zero terminator, a second string of a multi-string list, or padding.
QString CleanText(const std::string& Raw) {
    const std::string::size_type zero = Raw.find('\0');
    const std::string text = zero == std::string::npos ? Raw : Raw.substr(0, zero);
    std::string::size_type first = 0;
    std::string::size_type last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return QString::fromLocal8Bit(text.data() + first, static_cast<qsizetype>(last - first));
}

QString PropText(const std::string& Raw) {
    const QString text = CleanText(Raw);
    return text.isEmpty() ? QStringLiteral(" ") : text;
}

// Only "COM" at the very start, in capitals, makes a COM port ("com5" does not).
bool IsComName(const QString& PortName) {
    return PortName.startsWith(QLatin1String("COM"));
}

QString Local(const std::string& Text) {
    return QString::fromLocal8Bit(Text.c_str());
}

void ReportNoPermission(TPortEnumBackend& Backend, const QString& PortName) {
    const TPortAccess access = Backend.AccessOf(PortName.toStdString());
    if (!Registry()
             .ReportedNoPermission.insert(PortName.toStdString() + '|' + access.Device)
             .second)
        return;
    QString text = PortName;
    if (!access.Device.empty())
        text += QStringLiteral(" (%1)").arg(Local(access.Device));
    text += QStringLiteral(" cannot be opened: permission denied.");
    // Joining the group helps only when the group may read and write the
    // device, and the superuser's group is no group to join.
    if (!access.Group.empty() && access.GroupMayReadWrite && !access.RootGroup)
        text += QStringLiteral("\nJoin the group \"%1\" that the device belongs to "
                               "(sudo usermod -aG %1 $USER), then log in again.")
                    .arg(Local(access.Group));
    else if (!access.Owner.empty())
        text += QStringLiteral("\nThe device belongs to user \"%1\" and group \"%2\" "
                               "(mode %3); this user may not read and write it.")
                    .arg(Local(access.Owner), Local(access.Group),
                         QStringLiteral("%1").arg(access.Mode, 4, 8, QLatin1Char('0')));
    ShowPlainMessage(text);
}

// A virtual ports folder that exists but is left out, told once per folder
// and reason.
void ReportIgnoredFolder(TPortEnumBackend& Backend) {
    const TIgnoredFolder ignored = Backend.IgnoredPortsFolder();
    if (ignored.Folder.empty() ||
        !Registry().ReportedIgnoredFolders.insert({ignored.Folder, ignored.Reason}).second)
        return;
    ShowPlainMessage(IgnoredPortsFolderNote());
}

} // namespace

QString IgnoredPortsFolderNote() {
    try {
        const TIgnoredFolder ignored = PortEnumBackend().IgnoredPortsFolder();
        if (!ignored.Folder.empty())
            return QStringLiteral("The virtual ports folder %1 is ignored: %2.")
                .arg(Local(ignored.Folder), Local(ignored.Reason));
    } catch (const std::exception&) {
        // A folder that cannot even be looked at is no folder to report.
    }
    return {};
}

std::unique_ptr<TDevRegProps> GetDevRegProps(const TPortDevice& Device) {
    auto props = std::make_unique<TDevRegProps>();
    for (int code = 0; code < TDevRegProps::Count; ++code)
        props->Fields[static_cast<std::size_t>(code)] = GetDevRegProp(Device, code);
    return props;
}

QString GetDevRegProp(const TPortDevice& Device, int Code) {
    if (Code < 0 || Code >= TDevRegProps::Count)
        return QStringLiteral(" ");
    return PropText(Device.Props[static_cast<std::size_t>(Code)]);
}

void GetPortsClassList(TPortList& List) {
    List.clear();
    TPortEnumBackend& backend = PortEnumBackend();
    try {
        ReportIgnoredFolder(backend);
        for (const TPortDevice& device : backend.PortClassDevices()) {
            const QString name = CleanText(device.PortName);
            if (!IsComName(name))
                continue;
            const TPortState state = backend.Probe(name.toStdString());
            if (state == TPortState::NoPermission)
                ReportNoPermission(backend, name);
            QString text = name + QStringLiteral("\t: ") + GetDevRegProp(device, 12);
            if (state == TPortState::Available)
                text += AvailableMark;
            List.push_back({text, nullptr});
        }
    } catch (const std::exception&) {
        // The listing never fails outward: whatever the system could not
        // tell counts as no ports.
        List.clear();
    }
}

void GetDeviceList(TPortList& List, bool ComOnly, bool IncludeAbsent) {
    List.clear();
    TPortEnumBackend& backend = PortEnumBackend();
    try {
        ReportIgnoredFolder(backend);
        for (const TPortDevice& device : backend.AllDevices(IncludeAbsent)) {
            const QString name = CleanText(device.PortName);
            const bool hasName = !name.isEmpty();
            if (ComOnly && !(hasName && IsComName(name)))
                continue;
            auto props = GetDevRegProps(device);
            const QString tail = QStringLiteral("\t :=  Mfg: ") + props->Mfg() +
                                 QStringLiteral(" : ") + props->DeviceDesc();
            List.push_back({(hasName ? name : QStringLiteral("    ")) + tail, std::move(props)});
        }
    } catch (const std::exception&) {
        List.clear();
    }
}

TPortEnumBackend& PortEnumBackend() {
    TBackendRegistry& registry = Registry();
    if (registry.Installed)
        return *registry.Installed;
    if (!registry.System)
        registry.System = MakeSystemPortEnumBackend();
    return *registry.System;
}

std::unique_ptr<TPortEnumBackend>
InstallPortEnumBackend(std::unique_ptr<TPortEnumBackend> Backend) {
    TBackendRegistry& registry = Registry();
    registry.ReportedNoPermission.clear();
    registry.ReportedIgnoredFolders.clear();
    std::swap(registry.Installed, Backend);
    return Backend;
}
