#include "diag/PortNames.h"

#ifndef Q_OS_WIN
#include "diag/PortEnumLinux.h"
#endif

QString DeviceForComNumber(int Number) {
    if (Number < 1 || Number > 255)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(Number);
#else
    // The numbering is the port enumeration's, so a menu item and the port
    // it opens always agree.
    return QString::fromStdString(LinuxDeviceForComNumber(SystemLinuxPortPaths(), Number));
#endif
}
