#include "serial/Version.h"

#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>

#ifndef HEXVAC_VERSION
#define HEXVAC_VERSION ""
#endif

namespace {

TDateTime ToDateTime(const QDateTime& local) {
    const TDateTime day = EncodeDate(local.date().year(), local.date().month(), local.date().day());
    return day + local.time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

QString VersionTextFor(const QString& ExecutablePath, const QString& Version) {
    const QFileInfo exe(ExecutablePath);
    if (Version.isEmpty() || ExecutablePath.isEmpty() || !exe.exists()) {
        ShowPlainMessage(QStringLiteral("GetVersionInfo Failed"));
        return QStringLiteral("Ver Unknown");
    }
    const QString created = DateTimeToStr(ToDateTime(exe.lastModified().toLocalTime()));
    return exe.fileName() + QStringLiteral("  Ver: ") + Version + QStringLiteral("   Created ") +
           created;
}

QString GetVersionText() {
    // The version is compiled in from the build's project version; it stands
    // in for the version resource a Windows executable carries.
    return VersionTextFor(QCoreApplication::applicationFilePath(), QStringLiteral(HEXVAC_VERSION));
}
