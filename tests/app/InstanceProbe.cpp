// Starts one main window, prints the trace and log file names it chose, and
// ends: run twice at once, it shows whether two instances keep apart.

#include "app/Dump.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TFHexvac window;
    QTextStream(stdout) << window.ApdCom.TraceName << '\n' << window.ApdCom.Log.LogName << '\n';
    return 0;
}
