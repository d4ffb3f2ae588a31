// Shows one of the program's own windows on the display it is given and
// prints its X window id, so that a script can read what the window manager
// made of it: "message", "question" or "portlock".

#include "common/QtUiHost.h"
#include "link/xPortLock.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

// Prints the id of the modal window once its event loop runs.
void PrintModalWindowSoon() {
    QTimer::singleShot(0, [] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            QTextStream(stdout) << w->winId() << Qt::endl;
        } else {
            QTextStream(stderr) << "no modal window\n";
            QCoreApplication::exit(1);
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // As the program names itself: the name the toolkit puts in a caption
    // left empty.
    QApplication::setApplicationName(QStringLiteral("Memory Hexvac"));
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QtUiHost host;
    if (what == QLatin1String("message")) {
        PrintModalWindowSoon();
        host.ShowMessage(nullptr, QStringLiteral("Scope found"));
    } else if (what == QLatin1String("question")) {
        PrintModalWindowSoon();
        host.AskQuestion(nullptr, QStringLiteral("Data Mode required?"), QStringLiteral("YES"),
                         QStringLiteral("NO"), 1);
    } else if (what == QLatin1String("portlock")) {
        TPortLock lock;
        lock.setWindowTitle(QStringLiteral("COM5 free"));
        lock.setModal(true);
        lock.show();
        PrintModalWindowSoon();
        return QApplication::exec();
    } else {
        std::fputs("usage: window_manager_probe message|question|portlock\n", stderr);
        return 2;
    }
    return 0;
}
