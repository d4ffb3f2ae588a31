// Hexvac: reads a telescope handbox's memory over a serial port.

#include "app/Dump.h"
#include "common/QtUiHost.h"
#include "common/UiHost.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Memory Hexvac"));

    QtUiHost host;
    const ScopedUiHost useHost(host);

    TFHexvac FHexvac;
    FHexvac.show();
    return app.exec();
}
