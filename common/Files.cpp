#include "common/StdFuncsMisc.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifndef HEXVAC_INSTALL_BINDIR
#define HEXVAC_INSTALL_BINDIR ""
#endif

qint64 FileSizeOf(const QString& FileName) {
    if (FileName.isEmpty())
        return -1;
    const QFileInfo info(QFileInfo(FileName).absoluteFilePath());
    if (!info.exists())
        return -1;
    // A folder is found too, as a directory search finds it, with no size.
    return info.isDir() ? 0 : info.size();
}

QString UserStateFolder() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    const QString state = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
#elif defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    const QString state = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    // The XDG base directories: a relative $XDG_STATE_HOME is to be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
#endif
    return QDir::cleanPath(state + QStringLiteral("/hexvac"));
}

namespace {

// Whether this user may make files in Folder. On Windows a folder's
// attributes say nothing of that (QFileInfo finds "Program Files" writable
// to everyone), so a file is made there and removed again to find out.
bool MayWriteIn(const QFileInfo& Folder) {
#ifdef Q_OS_WIN
    QTemporaryFile probe(Folder.absoluteFilePath() + QStringLiteral("/hexvac-XXXXXX.tmp"));
    return probe.open();
#else
    return Folder.isWritable();
#endif
}

} // namespace

QString InstanceFilesFolderFor(const QString& ProgramFolder, const QString& InstalledFolder) {
    const QFileInfo program(ProgramFolder);
    const bool installed =
        !InstalledFolder.isEmpty() &&
        QDir::cleanPath(program.absoluteFilePath()) == QDir::cleanPath(InstalledFolder);
    QString folder = ProgramFolder;
    if (installed || ProgramFolder.isEmpty() || !program.isDir() || !MayWriteIn(program)) {
        folder = UserStateFolder();
        QDir().mkpath(folder);
    }
    folder = QDir::toNativeSeparators(QDir::cleanPath(folder));
    return folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
}

QString InstanceFilesFolder(const QString& ProgramFolder) {
    return InstanceFilesFolderFor(ProgramFolder, QStringLiteral(HEXVAC_INSTALL_BINDIR));
}
