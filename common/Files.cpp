#include "common/StdFuncsMisc.h"

#include <QFileInfo>

qint64 FileSizeOf(const QString& FileName) {
    if (FileName.isEmpty())
        return -1;
    const QFileInfo info(QFileInfo(FileName).absoluteFilePath());
    if (!info.exists())
        return -1;
    // A folder is found too, as a directory search finds it, with no size.
    return info.isDir() ? 0 : info.size();
}
