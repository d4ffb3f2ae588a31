// The simulated handbox on a real pseudo-terminal, seen from a plain POSIX
// client: the port link, the rate check, reopening, pacing, and the faults.

#include "PosixClient.h"
#include "common/VirtualPorts.h"
#include "sim/PtyHost.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Long enough for any answer of this simulator, short enough to keep the
// silent cases quick.
constexpr int AnswerMs = 2000;
constexpr int SilenceMs = 250;

std::unique_ptr<PtyHost> StartHost(HandboxSettings Settings = {}, LineOptions Options = {}) {
    auto host = std::make_unique<PtyHost>(HandboxEngine(Settings), Options);
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
        QVERIFY(VirtualPortsFolderIsTrusted(folder));
        QCOMPARE(first->PortNumber(), FirstSimulatorPort);
        QCOMPARE(second->PortNumber(), FirstSimulatorPort + 1);
        QCOMPARE(QFileInfo(QString::fromStdString(first->LinkPath())).fileName(), "COM200");
        QCOMPARE(QFileInfo(QString::fromStdString(first->LinkPath())).symLinkTarget(),
                 QString::fromStdString(first->DevicePath()));

        // A live port is never taken over.
        LineOptions taken;
        taken.PortNumber = FirstSimulatorPort;
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
        QVERIFY(!VirtualPortsFolderIsTrusted(folder));
        QVERIFY(MakeVirtualPortsFolder(error).empty());
        PtyHost host(HandboxEngine(HandboxSettings{}), LineOptions{});
        QVERIFY(!host.Open(error));
        QCOMPARE(::chmod(folder.c_str(), 0700), 0);
        QVERIFY(VirtualPortsFolderIsTrusted(folder));
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
        HandboxSettings settings;
        settings.Baud = rate;
        auto host = StartHost(settings);
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

    void BaudChangeIsAnsweredAtTheOldRate() {
        HandboxSettings settings;
        settings.Model = HandboxModel::Lx200Gps;
        auto host = StartHost(settings);
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

    void KeepsServingWhenTheProgramReopens() {
        LineOptions options;
        options.LatencyMs = 100;
        auto host = StartHost(HandboxSettings{}, options);
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
        LineOptions options;
        options.VanishAfter = 1;
        auto host = StartHost(HandboxSettings{}, options);
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
            HandboxSettings settings;
            settings.DownloadMode = true;
            LineOptions options;
            options.Pace = pace;
            auto host = StartHost(settings, options);
            if (!host)
                return -1.0;
            PosixClient client(host->LinkPath());
            client.SetSpeed(9600);
            QElapsedTimer timer;
            timer.start();
            client.Write(std::string("R\x02\x80\x00\x80", 5));
            const std::string block = client.Read(128, 5000);
            return block.size() == 128 ? timer.nsecsElapsed() / 1e6 : -1.0;
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
        HandboxSettings settings;
        settings.DownloadMode = true;
        LineOptions options;
        options.Pace = true;
        auto host = StartHost(settings, options);
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
        LineOptions options;
        options.LatencyMs = 150;
        auto host = StartHost(HandboxSettings{}, options);
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
            LineOptions options;
            options.DropEvery = 2;
            auto host = StartHost(HandboxSettings{}, options);
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(9600));
            for (const char* expected : {"A", "", "A", ""}) {
                QVERIFY(client.Write("\x06"));
                QCOMPARE(client.Read(1, *expected ? AnswerMs : SilenceMs), std::string(expected));
            }
        }
        {
            LineOptions options;
            options.GarbageEvery = 1;
            auto host = StartHost(HandboxSettings{}, options);
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
            LineOptions options;
            options.Echo = true;
            auto host = StartHost(HandboxSettings{}, options);
            QVERIFY(host);
            PosixClient client(host->LinkPath());
            QVERIFY(client.SetSpeed(4800)); // a loopback cable does not care
            QVERIFY(client.Write(std::string("\x06:GVP#\x00", 7)));
            QCOMPARE(client.Read(7, AnswerMs), std::string("\x06:GVP#\x00", 7));
        }
        {
            LineOptions options;
            options.HangAfter = 2;
            auto host = StartHost(HandboxSettings{}, options);
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
