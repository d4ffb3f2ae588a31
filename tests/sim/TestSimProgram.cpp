// hexvac-sim's command line, and the program itself started as a user would.

#include "PosixClient.h"
#include "common/VirtualPorts.h"
#include "sim/SimOptions.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool Parse(const std::vector<std::string>& Args, SimOptions& Options, std::string& Error) {
    Options = SimOptions{};
    return ParseSimOptions(Args, Options, Error);
}

} // namespace

class TestSimProgram : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;

private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit().constData(), 1);
    }

    void ParsesValuesInBothSpellings() {
        SimOptions o;
        std::string error;
        QVERIFY2(Parse({"--model", "lx2001", "--baud=28800", "--port", "250", "--date",
                        "Sep 30 2004", "--parked=probe", "--peek", "normal", "--seed",
                        "18446744073709551615", "--busy-every", "3", "--vanish-after=7",
                        "-hang-after", "9", "--flip-rate", "0.001"},
                       o, error),
                 error.c_str());
        QCOMPARE(o.Handbox.Model, HandboxModel::Lx200Gps);
        QCOMPARE(o.Handbox.Baud, 28800);
        QCOMPARE(o.Line.PortNumber, 250);
        QCOMPARE(o.Handbox.FirmwareDate, std::string("Sep 30 2004"));
        QCOMPARE(o.Handbox.Parked, ParkedStyle::AnswersProbe);
        QCOMPARE(o.Handbox.Peek, PeekSupport::NormalOnly);
        QCOMPARE(o.Seed, UINT64_MAX);
        QCOMPARE(o.Handbox.BusyEvery, 3);
        QCOMPARE(o.Line.VanishAfter, 7);
        QCOMPARE(o.Line.HangAfter, 9);
        QCOMPARE(o.Line.FlipRate, 0.001);
        QCOMPARE(o.Line.FlipSeed, UINT64_MAX); // the line's noise is drawn from the seed too
    }

    void RefusesBadOptions() {
        const std::vector<std::vector<std::string>> bad = {
            {"--model", "498"},
            {"--model"},
            {"--baud", "12345"},
            {"--baud", "-9600"},
            {"--port", "0"},
            {"--port", "256"},
            {"--date", "June 29 2004"},
            {"--date", "Jun 29 2004#"},
            {"--parked", "yes"},
            {"--peek", "both"},
            {"--seed", "18446744073709551616"},
            {"--latency-ms", "-1"},
            {"--drop-every", "2x"},
            {"--flip-rate", "1.5"},
            {"--flip-rate", "nan"},
            {"--pace=1"},
            {"--image="},
            {"--model", "498", "--model", "497"}, // a later good value hides no bad one
            {"--busy-every", "2"},                // a 497 has no busy signal
            {"--frobnicate"},
            {"497"},
        };
        for (const auto& args : bad) {
            SimOptions o;
            std::string error;
            QVERIFY2(!Parse(args, o, error), args[0].c_str());
            QVERIFY(!error.empty());
        }
    }

    void RunsUntilTerminatedAndRemovesItsPort() {
        QTemporaryDir dir;
        const QString image = dir.filePath("sim.bin");
        QProcess sim;
        sim.start(HEXVAC_SIM_PROGRAM,
                  {"--model", "497", "--port", "231", "--seed", "5", "--save-image", image});
        QVERIFY(sim.waitForReadyRead(10000));
        const QString banner = QString::fromLocal8Bit(sim.readLine());
        QVERIFY2(banner.contains("Autostar 497") && banner.contains("COM231") &&
                     banner.contains("/dev/pts/"),
                 qPrintable(banner));
        QCOMPARE(QFile(image).size(), qint64(HandboxMemory::FullSize));

        const std::string link = VirtualPortLink(VirtualPortsFolder(), 231);
        {
            PosixClient client(link);
            QVERIFY(client.IsOpen());
            QVERIFY(client.SetSpeed(9600));
            QVERIFY(client.Write("\x06:GVP#"));
            QCOMPARE(client.Read(10, 2000), std::string("AAutostar#"));
        }
        sim.terminate(); // SIGTERM
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFile::exists(QString::fromStdString(link)));
    }

    void AnswersHelpVersionAndBadOptionsThenEnds() {
        CheckCommandLineAnswers(HEXVAC_SIM_PROGRAM,
                                {
                                    {{"--help"}, 0, "--vanish-after <N>"},
                                    {{"-h"}, 0, "--model <M>"},
                                    {{"--version"}, 0, "hexvac-sim " HEXVAC_VERSION "\n"},
                                    {{"--model", "lx3000"}, 2, "--model"},
                                    {{"--model=lx3000"}, 2, "--model"},
                                    {{"--frobnicate"}, 2, "frobnicate"},
                                });
    }
};

HEXVAC_TEST(TestSimProgram);
#include "TestSimProgram.moc"
