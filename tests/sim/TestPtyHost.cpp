// The simulated handbox on a real pseudo-terminal, seen from a plain POSIX
// client: the port link, the rate check, reopening, pacing, and the faults.

#include "PosixClient.h"
#include "common/Timing.h"
#include "common/VirtualPorts.h"
#include "sim/PtyHost.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Long enough for any answer of this simulator, short enough to keep the
// silent cases quick.
constexpr int AnswerMs = 2000;
constexpr int SilenceMs = 250;

std::unique_ptr<PtyHost> StartHost(const HandboxSettings& Settings = {},
                                   const LineOptions& Options = {},
                                   std::ostream* Trace = nullptr) {
    auto host = std::make_unique<PtyHost>(HandboxEngine(Settings), Options);
    host->SetTrace(Trace);
    std::string error;
    if (!host->Open(error)) {
        qWarning("cannot open the host: %s", error.c_str());
        return nullptr;
    }
    host->Start();
    return host;
}

bool Exists(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

using TestClock = std::chrono::steady_clock;

// Start bit, eight data bits, stop bit.
std::chrono::microseconds CharTime(int Rate) {
    return std::chrono::microseconds(10'000'000 / Rate);
}

// What a program must do before it changes the rate or closes the port: let
// its output drain, then give the last byte, which may still be in the UART,
// its character time and a margin.
bool LetOutputLeave(PosixClient& Client, int Rate) {
    if (!Client.Drain())
        return false;
    std::this_thread::sleep_for(CharTime(Rate) +
                                std::chrono::milliseconds(Timing::LineDrainMarginMs));
    return true;
}

// A handbox in download mode at Rate is sent "I"; then the program puts the
// line back to 9600, as QSerialPort puts back on close the settings it found
// at open, and closes the port. Careful, it first lets the "I" leave; else
// it waits a quarter of a character time (the host has read the "I" by then,
// but it is still on the line). Tells what the next program finds: 'A' when
// the "I" was heard (normal mode, at 9600), 'D' when not (still in download
// mode at Rate), '?' when neither. Early: the line was put back within one
// character time of the write.
char LeaveDownloadModeAndClose(int Rate, bool Careful, bool& Early) {
    HandboxSettings settings;
    settings.Baud = Rate;
    settings.DownloadMode = true;
    auto host = StartHost(settings);
    if (!host)
        return '?';
    {
        PosixClient client(host->LinkPath());
        if (!client.TieInputSpeed() || !client.SetSpeed(static_cast<unsigned>(Rate)))
            return '?';
        const TestClock::time_point wrote = TestClock::now();
        if (!client.Write("I"))
            return '?';
        if (!Careful)
            std::this_thread::sleep_for(CharTime(Rate) / 4);
        else if (!LetOutputLeave(client, Rate))
            return '?';
        if (!client.SetSpeed(9600))
            return '?';
        Early = TestClock::now() - wrote < CharTime(Rate);
    }
    PosixClient next(host->LinkPath());
    if (!next.SetSpeed(9600) || !next.Write("\x06"))
        return '?';
    if (next.Read(1, SilenceMs) == "A")
        return 'A';
    if (!next.SetSpeed(static_cast<unsigned>(Rate)) || !next.Write("\x06"))
        return '?';
    return next.Read(1, AnswerMs) == "D" ? 'D' : '?';
}

} // namespace

class TestPtyHost : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_; // stands in for $XDG_RUNTIME_DIR: private, 0700

private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit().constData(), 1);
    }

    void PortLinkAppearsAndDisappears() {
        auto first = StartHost();
        auto second = StartHost();
        QVERIFY(first && second);
        const std::string folder = runtime_.path().toStdString() + "/hexvac/ports";
        QCOMPARE(VirtualPortsFolder(), folder);
        QVERIFY(CheckVirtualPortsFolder(folder).Trusted());
        QCOMPARE(first->PortNumber(), FirstSimulatorPort);
        QCOMPARE(second->PortNumber(), FirstSimulatorPort + 1);
        QCOMPARE(QFileInfo(QString::fromStdString(first->LinkPath())).fileName(), "COM200");
        QCOMPARE(QFileInfo(QString::fromStdString(first->LinkPath())).symLinkTarget(),
                 QString::fromStdString(first->DevicePath()));

        // A live port is never taken over.
        const LineOptions taken = With(&LineOptions::PortNumber, FirstSimulatorPort);
        PtyHost clash(HandboxEngine(HandboxSettings{}), taken);
        std::string error;
        QVERIFY(!clash.Open(error));
        QVERIFY(error.find("COM200") != std::string::npos);

        const std::string link = first->LinkPath();
        first->Stop();
        QVERIFY(!Exists(link));
        QVERIFY(Exists(second->LinkPath()));

        // A link left behind by a simulator that crashed is taken over.
        QCOMPARE(::symlink("/dev/pts/no-such-pty", link.c_str()), 0);
        auto third = StartHost(HandboxSettings{}, taken);
        QVERIFY(third);
        QCOMPARE(third->LinkPath(), link);
    }

    void RefusesAFolderOthersCanWrite() {
        const std::string folder = VirtualPortsFolder();
        std::string error;
        QVERIFY(!MakeVirtualPortsFolder(error).empty());
        QCOMPARE(::chmod(folder.c_str(), 0777), 0);
        QVERIFY(!CheckVirtualPortsFolder(folder).Trusted());
        QVERIFY(MakeVirtualPortsFolder(error).empty());
        PtyHost host(HandboxEngine(HandboxSettings{}), LineOptions{});
        QVERIFY(!host.Open(error));
        QCOMPARE(::chmod(folder.c_str(), 0700), 0);
        QVERIFY(CheckVirtualPortsFolder(folder).Trusted());
    }

    void AnswersOnlyAtItsOwnRate_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("wrongRate");
        QTest::newRow("9600") << 9600 << 19200;
        QTest::newRow("14400 custom") << 14400 << 9600;
        QTest::newRow("28800 custom") << 28800 << 38400;
        QTest::newRow("115200") << 115200 << 57600;
    }

    void AnswersOnlyAtItsOwnRate() {
        QFETCH(int, rate);
        QFETCH(int, wrongRate);
        auto host = StartHost(With(&HandboxSettings::Baud, rate));
        QVERIFY(host);
        PosixClient client(host->LinkPath());
        QVERIFY(client.IsOpen());
        QVERIFY(client.SetSpeed(wrongRate));
        QVERIFY(client.Write("\x06:GVP#"));
        QCOMPARE(client.Read(1, SilenceMs), std::string());
        QVERIFY(client.SetSpeed(rate));
        QVERIFY(client.Write("\x06:GVP#"));
        QCOMPARE(client.Read(10, AnswerMs), std::string("AAutostar#"));
    }

    // A standard rate is set with its classic termios constant, so that
    // whatever reads the line back knows it (Wine's GetCommState refuses a
    // rate it finds given only as a number); other rates as numbers.
    void StandardRatesAreSetWithTheirClassicConstants_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<unsigned>("code");
        constexpr unsigned GivenAsNumber = 0010000; // BOTHER of <asm/termbits.h>
        QTest::newRow("9600") << 9600 << unsigned(B9600);
        QTest::newRow("115200") << 115200 << unsigned(B115200);
        QTest::newRow("14400 custom") << 14400 << GivenAsNumber;
    }

    void StandardRatesAreSetWithTheirClassicConstants() {
        QFETCH(int, rate);
        QFETCH(unsigned, code);
        auto host = StartHost(With(&HandboxSettings::Baud, rate));
        QVERIFY(host);
        const int fd = ::open(host->LinkPath().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        termios settings{};
        const bool read = ::tcgetattr(fd, &settings) == 0;
        ::close(fd);
        QVERIFY(read);
        QCOMPARE(unsigned(settings.c_cflag & CBAUD), code);
        // The input speed field is clear: input at the output rate.
        QCOMPARE(unsigned(settings.c_cflag & (CBAUD << 16)), code == unsigned(B9600) ||
                                                                     code == unsigned(B115200)
                                                                 ? 0u
                                                                 : unsigned(code << 16));
    }

    void TraceShowsEachCommandAndItsReply() {
        std::ostringstream trace;
        auto host = StartHost({}, {}, &trace);
        QVERIFY(host);
        PosixClient client(host->LinkPath());
        QVERIFY(client.SetSpeed(9600));
        QVERIFY(client.Write("\x06:GVP#"));
        QCOMPARE(client.Read(10, AnswerMs), std::string("AAutostar#"));
        host->Stop(); // the trace is the host thread's until then
        QCOMPARE(trace.str(), std::string("heard [06] answered A\nheard :GVP# answered Autostar#\n"));
    }

    void BaudChangeIsAnsweredAtTheOldRate() {
        auto host = StartHost(With(&HandboxSettings::Model, HandboxModel::Lx200Gps));
        QVERIFY(host);
        PosixClient client(host->LinkPath());
        QVERIFY(client.SetSpeed(9600));
        QVERIFY(client.Write(":SB3#"));
        QCOMPARE(client.Read(1, AnswerMs), std::string("1"));
        QVERIFY(client.Write("\x06"));
        QCOMPARE(client.Read(1, SilenceMs), std::string());
        QVERIFY(client.SetSpeed(28800));
        QVERIFY(client.Write("\x06"));
        QCOMPARE(client.Read(1, AnswerMs), std::string("A"));
    }

    void ByteIsJudgedAtTheRateInForceWhenItLeaves() {
        // A change made while the byte is still on the line proves something
        // only when it came within one character time of the write: a test
        // thread held off the CPU longer than that was a careful program.
        // Such rounds are repeated. So are the careful rounds that go unheard,
        // which happens only when the host's thread is held off the CPU
        // longer than the margin (a loaded machine); a line that judges by
        // the wrong moment fails every round.
        //
        // The clients make the input speed follow the output speed, as Hexvac
        // does: the host starts the line with both set, and the standard
        // rates set only the output speed.
        for (const int rate : {9600, 1200}) {
            auto host = StartHost(With(&HandboxSettings::Baud, rate));
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.TieInputSpeed());
            // Changed to twice the rate while the ACK is on the line: at once
            // at 9600; at 1200 after a quarter of its character time, when
            // the host has read it. It leaves at the new rate: not heard.
            const auto pause = rate == 9600 ? std::chrono::microseconds(0) : CharTime(rate) / 4;
            bool early = false;
            for (int round = 0; round < 10 && !early; ++round) {
                QVERIFY(client.SetSpeed(static_cast<unsigned>(rate)));
                const TestClock::time_point wrote = TestClock::now();
                QVERIFY(client.Write("\x06"));
                std::this_thread::sleep_for(pause);
                QVERIFY(client.SetSpeed(static_cast<unsigned>(2 * rate)));
                early = TestClock::now() - wrote < CharTime(rate);
                const std::string reply = client.Read(1, SilenceMs);
                if (early)
                    QVERIFY2(reply.empty(), qPrintable(QString("at %1").arg(rate)));
            }
            QVERIFY(early);
            // Changed once the ACK is out: heard, and the answer comes
            // whatever rate the program is at by then.
            std::string reply;
            for (int round = 0; round < 3 && reply.empty(); ++round) {
                QVERIFY(client.SetSpeed(static_cast<unsigned>(rate)));
                QVERIFY(client.Write("\x06"));
                QVERIFY(LetOutputLeave(client, rate));
                QVERIFY(client.SetSpeed(static_cast<unsigned>(2 * rate)));
                reply = client.Read(1, SilenceMs);
            }
            QVERIFY2(reply == "A", qPrintable(QString("at %1").arg(rate)));
        }
        // The same on closing the port: the "I" that leaves download mode is
        // lost when the old settings are put back before it has left, heard
        // when the program waits for it.
        constexpr int DownloadRate = 1200;
        bool early = false;
        char found = '?';
        for (int round = 0; round < 10 && !early; ++round)
            found = LeaveDownloadModeAndClose(DownloadRate, false, early);
        QVERIFY(early);
        QCOMPARE(found, 'D');
        found = '?';
        for (int round = 0; round < 3 && found != 'A'; ++round)
            found = LeaveDownloadModeAndClose(DownloadRate, true, early);
        QCOMPARE(found, 'A');
        {
            // Closed right after the write, the rate left as it was: the "I"
            // is still on the line and reaches the handbox after the close.
            HandboxSettings download;
            download.Baud = DownloadRate;
            download.DownloadMode = true;
            auto host = StartHost(download);
            QVERIFY(host);
            {
                PosixClient client(host->LinkPath());
                QVERIFY(client.TieInputSpeed());
                QVERIFY(client.SetSpeed(DownloadRate));
                QVERIFY(client.Write("I"));
            }
            QTest::qSleep(50); // the "I" has long arrived before the rate changes
            PosixClient next(host->LinkPath());
            QVERIFY(next.SetSpeed(9600));
            QVERIFY(next.Write("\x06"));
            QCOMPARE(next.Read(1, AnswerMs), std::string("A"));
        }
    }

    void KeepsServingWhenTheProgramReopens() {
        auto host = StartHost({}, With(&LineOptions::LatencyMs, 100));
        QVERIFY(host);
        for (int round = 0; round < 3; ++round) {
            PosixClient client(host->LinkPath());
            QVERIFY(client.IsOpen());
            QVERIFY(client.SetSpeed(9600));
            // Only its own answer: nothing left over from the last round.
            QVERIFY(client.Write("\x06"));
            const std::string reply = client.Read(2, 100 + SilenceMs);
            QVERIFY2(reply == "A",
                     qPrintable(QString("round %1: '%2'").arg(round).arg(reply.c_str())));
            // The answer to this is due after the close, and the port is
            // open again by then: it must not reach the next round.
            QVERIFY(client.Write(":GVD#"));
            QTest::qSleep(20);
        }
        QVERIFY(Exists(host->DevicePath()));
    }

    void VanishMakesTheDeviceGoAway() {
        auto host = StartHost({}, With(&LineOptions::VanishAfter, 1));
        QVERIFY(host);
        const std::string device = host->DevicePath();
        const std::string link = host->LinkPath();
        PosixClient client(link);
        QVERIFY(client.SetSpeed(9600));
        QVERIFY(client.Write("\x06"));
        QCOMPARE(client.Read(1, AnswerMs), std::string("A"));
        QVERIFY(client.Write("\x06"));
        QCOMPARE(client.Read(1, AnswerMs), std::string());
        QVERIFY(client.LastError() == EIO || client.LastError() == 0); // hung up
        QVERIFY(host->Vanished());
        QVERIFY(!Exists(link));
        QVERIFY(!Exists(device));
        QVERIFY(!PosixClient(link).IsOpen());
    }

    void PacingTakesTheLineTime() {
        // A 128-byte block at 9600 baud: 5 + 128 bytes of 10 bits, 139 ms.
        const auto blockTimeMs = [](bool pace) {
            auto host = StartHost(InDownloadMode(), With(&LineOptions::Pace, pace));
            if (!host)
                return -1.0;
            PosixClient client(host->LinkPath());
            client.SetSpeed(9600);
            QElapsedTimer timer;
            timer.start();
            client.Write(std::string("R\x02\x80\x00\x80", 5));
            const std::string block = client.Read(128, 5000);
            return block.size() == 128 ? double(timer.nsecsElapsed()) / 1e6 : -1.0;
        };
        const double paced = blockTimeMs(true);
        const double unpaced = blockTimeMs(false);
        qInfo("128-byte block at 9600 baud: %.1f ms paced, %.1f ms unpaced", paced, unpaced);
        QVERIFY(paced > 0 && unpaced >= 0);
        QVERIFY(paced >= 0.9 * 133.0);
        QVERIFY(paced < 1000.0);
        QVERIFY(unpaced < paced / 2);
    }

    void ReportsBlockReadsWithTheirLineTime() {
        // Two block reads at 9600 baud, paced: from the first command's
        // arrival, 128 + 5 + 128 bytes of 10 bits each, 272 ms.
        auto host = StartHost(InDownloadMode(), With(&LineOptions::Pace, true));
        QVERIFY(host);
        std::ostringstream report;
        host->SetBlockReport(&report);
        {
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(9600));
            for (const char low : {'\x00', '\x80'}) {
                QVERIFY(client.Write(std::string("R\x02\x80", 3) + low + '\x80'));
                QCOMPARE(client.Read(128, AnswerMs).size(), std::size_t(128));
            }
            QVERIFY(client.Write("\x06")); // not a block read
            QCOMPARE(client.Read(1, AnswerMs), std::string("D"));
        }
        host->Stop();
        int count = 0;
        double seconds = 0;
        QCOMPARE(std::sscanf(report.str().c_str(), "hexvac-sim: %d block reads in %lf s", &count,
                             &seconds),
                 2);
        QCOMPARE(count, 2);
        QVERIFY2(seconds >= 0.26 && seconds < 1.0, qPrintable(QString::number(seconds)));
    }

    void LatencyDelaysEveryReply() {
        auto host = StartHost({}, With(&LineOptions::LatencyMs, 150));
        QVERIFY(host);
        PosixClient client(host->LinkPath());
        QVERIFY(client.SetSpeed(9600));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(client.Write("\x06"));
        QCOMPARE(client.Read(1, AnswerMs), std::string("A"));
        QVERIFY(timer.elapsed() >= 140);
    }

    void FaultsSpoilTheRepliesTheyAreAskedTo() {
        {
            auto host = StartHost({}, With(&LineOptions::DropEvery, 2));
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(9600));
            for (const char* expected : {"A", "", "A", ""}) {
                QVERIFY(client.Write("\x06"));
                QCOMPARE(client.Read(1, *expected ? AnswerMs : SilenceMs), std::string(expected));
            }
        }
        {
            auto host = StartHost({}, With(&LineOptions::GarbageEvery, 1));
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(9600));
            QVERIFY(client.Write(":GVP#"));
            const std::string garbage = client.Read(9, AnswerMs);
            QCOMPARE(garbage.size(), std::size_t{9});
            const std::string real = "Autostar#";
            for (std::size_t i = 0; i < real.size(); ++i)
                QVERIFY(garbage[i] != real[i]);
        }
        {
            auto host = StartHost({}, With(&LineOptions::Echo, true));
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(4800)); // a loopback cable does not care
            QVERIFY(client.Write(std::string("\x06:GVP#\x00", 7)));
            QCOMPARE(client.Read(7, AnswerMs), std::string("\x06:GVP#\x00", 7));
        }
        {
            auto host = StartHost({}, With(&LineOptions::HangAfter, 2));
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(9600));
            QVERIFY(client.Write("\x06:GVP#"));
            QCOMPARE(client.Read(10, AnswerMs), std::string("AAutostar#"));
            QVERIFY(client.Write("\x06"));
            QCOMPARE(client.Read(1, SilenceMs), std::string());
            QVERIFY(Exists(host->DevicePath()));
        }
    }
};

HEXVAC_TEST(TestPtyHost);
#include "TestPtyHost.moc"
