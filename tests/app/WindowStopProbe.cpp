// The window program as main() runs it (stop signals caught, the program
// ending when its window does), dumping page 2 of a simulated handbox on a
// machine whose only serial port is that handbox's, into the file named on
// the command line. A test sends it a stop signal mid-dump; when the program
// has ended it prints whether the handbox is still in download mode and
// every message, notice or error box shown after the run began (its own
// question is not one).

#include "app/Dump.h"
#include "common/StopSignals.h"
#include "tests/support/LinkFixture.h"

#include <QApplication>
#include <QSpinBox>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    LinkFixture link;
    link.Begin(10, LinkFixture::FakePorts);
    SimHandbox sim;
    if (!link.Start(sim))
        return 2;
    link.Ports().AddPort(sim.PortNumber(), "pts handbox");

    int runStart = 0;
    {
        TFHexvac window;
        CatchStopSignals([&window] { window.StopRequested(); });
        link.Ui.Answer(1); // "YES": the handbox's mode as it is
        window.show();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (!window.SBLoad->isEnabled())
                return;
            poll.stop();
            link.Ui.AnswerSaveFile(QString::fromLocal8Bit(argv[1]));
            window.RxFrom->setValue(2);
            window.RxTo->setValue(2);
            runStart = int(link.Ui.Entries().size());
            QTextStream(stdout) << "run" << Qt::endl;
            window.SBLoad->click();
        });
        poll.start(20);
        QApplication::exec();
        ClearStopHandler();
    }
    QTextStream out(stdout);
    out << "download=" << int(sim.Host().Engine().InDownloadMode()) << '\n';
    const auto& entries = link.Ui.Entries();
    for (int i = runStart; i < entries.size(); ++i)
        if (entries[i].kind == ScriptedUiHost::Kind::Message ||
            entries[i].kind == ScriptedUiHost::Kind::Notice ||
            entries[i].kind == ScriptedUiHost::Kind::Plain)
            out << "shown: " << entries[i].text << '\n';
    link.End();
    return 0;
}
