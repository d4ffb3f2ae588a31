#include "cli/RunLog.h"

#include "cli/DumpTool.h"
#include "common/StdFuncsMisc.h"
#include "serial/ApdComPort.h"

#include <QDir>
#include <QFile>

TRunLog::TRunLog(TApdComPort& Port, const QString& FileName)
    : port_(Port)
    , fileName_(FileName) {}

TRunLog::~TRunLog() {
    if (!rawFolder_)
        return;
    const QStringList lines = CurrentLogLines(port_);
    port_.LogMemo = nullptr;
    port_.Log.LogName.clear();
    QByteArray text;
    for (const QString& line : lines)
        text += line.toLatin1() + '\n';
    QFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush())
        ShowPlainMessage(QStringLiteral("Cannot write the log %1: %2")
                             .arg(QDir::toNativeSeparators(fileName_), file.errorString()));
}

int TRunLog::Start(QString& Error) {
    if (fileName_.isEmpty())
        return ExitComplete;
    QFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Error = QStringLiteral("cannot write the log %1: %2")
                    .arg(QDir::toNativeSeparators(fileName_), file.errorString());
        return ExitFile;
    }
    file.close();
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        Error = QStringLiteral("cannot keep the log: %1").arg(folder->errorString());
        return ExitFile;
    }
    port_.Log.LogName = folder->filePath(QStringLiteral("hexvac-dump.LOG"));
    port_.LogMemo = &keeper_;
    rawFolder_ = std::move(folder);
    return ExitComplete;
}
