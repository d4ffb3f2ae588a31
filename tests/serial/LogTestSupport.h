#pragma once
// What the log tests share: a private folder with a log file name that each
// test starts without, and the lines and entry data they read back.

#include "common/StdFuncsMisc.h"
#include "serial/ComLog.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

struct LogFolder {
    QTemporaryDir Dir;
    const QString LogName = Dir.filePath(QStringLiteral("Hexvac42.LOG"));
    // No log file yet; false when the folder could not be made.
    bool Fresh() {
        QFile::remove(LogName);
        return Dir.isValid();
    }
};

// The bytes of an entry line's data column.
inline QByteArray DataOf(const QString& Line) {
    return DecodeHexEscapes(Line.mid(TLogLayout::DataColumn - 1).toLatin1());
}

inline QStringList FileLines(const QString& Name) {
    QFile file(Name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}
