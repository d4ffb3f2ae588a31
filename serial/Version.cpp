#include "serial/Version.h"

#include "common/ExeVersion.h"
#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>

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

QString ProgramVersion() {
    return QString::fromStdString(
        ExecutableVersion(QCoreApplication::applicationFilePath().toStdString()));
}

QString GetVersionText() {
    return VersionTextFor(QCoreApplication::applicationFilePath(), ProgramVersion());
}
