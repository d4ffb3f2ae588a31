// Hexvac: reads a telescope handbox's memory over a serial port.

#include "app/AppUiHost.h"
#include "app/Dump.h"
#include "common/StopSignals.h"
#include "common/UiHost.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Memory Hexvac"));

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
