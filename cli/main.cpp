// hexvac-dump: a handbox's memory into a raw binary file, without a window.

#include "cli/ConsoleUiHost.h"
#include "cli/DumpTool.h"

#include "serial/Version.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hexvac-dump"));
    QCoreApplication::setApplicationVersion(ProgramVersion());
    TDumpToolOptions options;
    QString error;
    if (!ParseDumpToolOptions(QCoreApplication::arguments().mid(1), options, error)) {
        QTextStream(stderr) << "hexvac-dump: " << error << "\n\n" << DumpToolUsage();
        return ExitUsage;
    }
    if (options.Help) {
        QTextStream(stdout) << DumpToolUsage();
        return ExitComplete;
    }
    if (options.Version) {
        QTextStream(stdout) << QCoreApplication::applicationName() << ' '
                            << QCoreApplication::applicationVersion() << '\n';
        return ExitComplete;
    }
    ConsoleUiHost host(options.Yes);
    const ScopedUiHost useHost(host);
    return RunDumpTool(options);
}
