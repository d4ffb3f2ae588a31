// How fast and how cheaply the command exchange runs a dump's block reads:
// 2000 counted exchanges of 5 bytes out and 128 bytes in against hexvac-sim,
// which runs as a process of its own so that this process's CPU time is the
// exchange's alone. Once with the line unpaced, once paced at 115200 baud.
//
// Prints exchanges per second, the ratio of the ideal line time to the time
// taken (1.0 = the line's limit), and CPU time over wall time while paced.

#include "link/StdDefs.h"
#include "serial/ApdComPort.h"
#include "serial/Exchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <ctime>
#include <memory>

namespace {

constexpr int Exchanges = 2000;
constexpr int BlockBytes = 128;
constexpr int CommandBytes = 5;
constexpr int PacedRate = 115200;

struct Run {
    double perSecond = 0;
    double lineRatio = 0;
    double cpuRatio = 0;
    int shortReplies = 0;
};

// Starts hexvac-sim and returns the port number its banner names, or 0.
int StartSimulator(QProcess& sim, const QStringList& options) {
    sim.setProgram(QStringLiteral(HEXVAC_SIM_PROGRAM));
    sim.setArguments(QStringList{"--model", "497", "--download-mode"} + options);
    sim.start();
    if (!sim.waitForReadyRead(10000))
        return 0;
    const QString banner = QString::fromLocal8Bit(sim.readLine());
    const auto match = QRegularExpression(QStringLiteral("on COM(\\d+)")).match(banner);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

Run Measure(int rate, bool paced) {
    QProcess sim;
    QStringList options{"--baud", QString::number(rate)};
    if (paced)
        options << "--pace";
    Run run;
    const int port = StartSimulator(sim, options);
    if (port == 0) {
        QTextStream(stderr) << "hexvac-sim did not start\n";
        return run;
    }
    {
        TApdComPort com;
        com.SetComNumber(port);
        com.SetBaud(rate);
        com.SetOpen(true);
        CreateExchangeTimers(com);
        RouteExchangeEvents(com, PortEventsModelText);
        // The simulator starts in download mode, and the link state must say
        // so: in normal mode a reply's first byte 15 hex is the busy signal,
        // and a block that starts with it would be dropped and sent again.
        LinkState.InDownloadMode = true;

        QByteArray reply;
        const std::clock_t cpu0 = std::clock();
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < Exchanges; ++i) {
            const char block = char(0x80 + (i / 2) % 0x80);
            const char half = (i % 2) ? char(0x80) : char(0x00);
            SendCommand(com, QByteArray("R") + char(2) + block + half + char(BlockBytes),
                        BlockBytes, 10000, false, reply);
            if (reply.size() != BlockBytes)
                ++run.shortReplies;
        }
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        const double cpuSeconds = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        const double idealSeconds = Exchanges * (CommandBytes + BlockBytes) * 10.0 / rate;
        run.perSecond = Exchanges / seconds;
        run.lineRatio = idealSeconds / seconds;
        run.cpuRatio = cpuSeconds / seconds;
    }
    sim.terminate();
    sim.waitForFinished(5000);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const Run unpaced = Measure(PacedRate, false);
    out << "unpaced: " << Exchanges << " block reads, " << qRound(unpaced.perSecond)
        << " exchanges/s, CPU/wall " << unpaced.cpuRatio << ", short replies "
        << unpaced.shortReplies << Qt::endl;
    const Run paced = Measure(PacedRate, true);
    out << "paced at " << PacedRate << ": " << qRound(paced.perSecond) << " exchanges/s, "
        << "line time ratio " << paced.lineRatio << ", CPU/wall " << paced.cpuRatio
        << ", short replies " << paced.shortReplies << Qt::endl;
    out << "unpaced_per_s=" << qRound(unpaced.perSecond)
        << " paced_line_ratio=" << QString::number(paced.lineRatio, 'f', 3)
        << " paced_cpu_ratio=" << QString::number(paced.cpuRatio, 'f', 3) << Qt::endl;
    return unpaced.shortReplies + paced.shortReplies == 0 ? 0 : 1;
}
