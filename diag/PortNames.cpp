#include "diag/PortNames.h"

#include "common/VirtualPorts.h"

#include <QFileInfo>

QString DeviceForComNumber(int Number) {
    if (Number < 1 || Number > 255)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(Number);
#else
    const std::string folder = VirtualPortsFolder();
    if (VirtualPortsFolderIsTrusted(folder)) {
        const QString link = QString::fromStdString(VirtualPortLink(folder, Number));
        const QFileInfo info(link);
        if (info.isSymLink() && info.exists()) // a dangling link counts as no port
            return link;
    }
    struct Range {
        int first;
        const char* prefix;
    };
    for (const Range& r :
         {Range{1, "/dev/ttyS"}, Range{33, "/dev/ttyUSB"}, Range{65, "/dev/ttyACM"}})
        if (Number >= r.first && Number < r.first + 32)
            return QLatin1String(r.prefix) + QString::number(Number - r.first);
    return {};
#endif
}
