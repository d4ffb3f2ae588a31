// Hexvac: reads a telescope handbox's memory over a serial port.

#include "app/AppUiHost.h"
#include "app/Dump.h"
#include "common/StopSignals.h"
#include "common/UiHost.h"
#include "serial/Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <optional>

namespace {

// The window takes no options of its own: only --help and --version, each
// printed to the terminal before any window opens. Qt's own options
// (-platform, -style, ...) are gone from arguments() by now. Returns the exit
// code when the program should end here.
std::optional<int> ReadCommandLine() {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Reads a telescope handbox's memory over a serial port into a raw binary file."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("this text"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("print the program's version"));
    parser.addOptions({help, version});
    QString error;
    if (!parser.parse(QCoreApplication::arguments()))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("unexpected argument ") + parser.positionalArguments().first();
    if (!error.isEmpty()) {
        QTextStream(stderr) << "hexvac: " << error << "\n\n" << parser.helpText();
        return 2;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "hexvac " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The title of its message boxes and the name its settings are kept under.
    QApplication::setApplicationName(QStringLiteral("Memory Hexvac"));
    QApplication::setApplicationVersion(ProgramVersion());
    QGuiApplication::setDesktopFileName(QStringLiteral("hexvac"));
    if (const std::optional<int> exitCode = ReadCommandLine())
        return *exitCode;

    TAppUiHost host;
    const ScopedUiHost useHost(host);

    TFHexvac FHexvac;
    CatchStopSignals([&FHexvac] { FHexvac.StopRequested(); });
    FHexvac.show();
    struct ForgetWindow {
        ~ForgetWindow() { ClearStopHandler(); }
    } forgetWindow;
    return app.exec();
}
