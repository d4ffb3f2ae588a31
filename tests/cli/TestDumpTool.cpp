// hexvac-dump as a script sees it: its exit codes, its report lines and its
// file, run as a program against simulated handboxes on virtual ports.

#include "common/VirtualPorts.h"
#include "link/DumpManifest.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/SimLine.h"
#include "tests/support/TestRegistry.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The tool sees this test's private virtual ports folder only. Setup may
// change the tool's environment or user before it starts.
ProgramRun DumpTool(const QStringList& Arguments,
                    const std::function<void(QProcess&)>& Setup = {}) {
    return RunProgram(QStringLiteral(HEXVAC_DUMP_PROGRAM),
                      QStringList{QStringLiteral("--virtual-only")} + Arguments, Setup);
}

QString PortOf(SimHandbox& Sim) {
    return QStringLiteral("COM%1").arg(Sim.PortNumber());
}

QByteArray Contents(const QString& Name) {
    QFile file(Name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Overwrite(const QString& Name, const QByteArray& Bytes) {
    QFile file(Name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(Bytes), Bytes.size());
}

// A virtual port whose far end never answers: a cable with no handbox.
// It tells whether anyone has opened it.
class SilentPort {
public:
    explicit SilentPort(int Number) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        std::string error;
        const std::string folder = MakeVirtualPortsFolder(error);
        link_ = VirtualPortLink(folder, Number);
        target_ = ::ptsname(master_);
        watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ok_ = watch_ >= 0 && ::inotify_add_watch(watch_, target_.c_str(), IN_OPEN) >= 0 &&
              !folder.empty() && RegisterVirtualPort(folder, Number, target_, error) == Number;
    }
    ~SilentPort() {
        if (ok_)
            UnregisterVirtualPort(link_, target_);
        for (const int fd : {master_, watch_})
            if (fd >= 0)
                ::close(fd);
    }
    bool Ok() const { return ok_; }
    bool Opened() const {
        inotify_event event{};
        return ::read(watch_, &event, sizeof event) > 0;
    }

private:
    int master_ = -1;
    int watch_ = -1;
    bool ok_ = false;
    std::string link_;
    std::string target_;
};

} // namespace

class TestDumpTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UsePrivateVirtualPortsFolder(); }
    void UsageErrorsAndNoHandboxGiveTheirExitCodes();
    void HelpVersionAndBothValueSpellings();
    void DumpsPageTwoExactlyAndReportsWhatItFound();
    void PortReportDescribesEveryPortWithoutTouchingTheLine();
    void StopSignalsEndTheDumpLikeCancel();
    void InterruptedDumpResumesToTheSameBytes_data();
    void InterruptedDumpResumesToTheSameBytes();
    void StopAtAQuestionPutsTheRateBack();
    void FullDiskIsAFileErrorAndLeavesDownloadMode();
    void BusyLx200GpsIsNamedAsAnIdleOne();
    void LogFileHoldsTheRunAsTheLogViewShowsIt();
    void ListTellsAPortWithoutPermissionFromOneInUse();
    void ListSaysWhyThePortsFolderIsIgnored();
    void NamedPortIsTheOnlyOneOpened();
    void StopWhileIdentifyingSendsNothingMore();
};

void TestDumpTool::UsageErrorsAndNoHandboxGiveTheirExitCodes() {
    QCOMPARE(DumpTool({"--from", "zz"}).ExitCode, 2);
    QCOMPARE(DumpTool({"--mode", "fast"}).ExitCode, 2);
    QCOMPARE(DumpTool({"--port", "COM0"}).ExitCode, 2);
    QCOMPARE(DumpTool({"-o"}).ExitCode, 2);
    QCOMPARE(DumpTool({"-o", ""}).ExitCode, 2); // not silently the default name
    QCOMPARE(DumpTool({"--port-report", "pdf"}).ExitCode, 2);
    QCOMPARE(DumpTool({"--check", "x.bin", "--from", "2"}).ExitCode, 2);
    QCOMPARE(DumpTool({"--resume", "x.bin", "--info"}).ExitCode, 2);
    QCOMPARE(DumpTool({"--check", "no-such.bin"}).ExitCode, 4); // no manifest to check against
    // No port at all, then a port with nothing on the far end.
    QCOMPARE(DumpTool({"--to", "2"}).ExitCode, 1);
    SilentPort silent(250);
    QVERIFY(silent.Ok());
    const ProgramRun run = DumpTool({"--port", "COM250", "--yes"});
    QCOMPARE(run.ExitCode, 1);
    QVERIFY2(run.Out.isEmpty(), qPrintable(run.Out));
}

void TestDumpTool::HelpVersionAndBothValueSpellings() {
    CheckCommandLineAnswers(
        QStringLiteral(HEXVAC_DUMP_PROGRAM),
        {
            {{"--help"}, 0, "or the handbox lost (the file keeps what was read), 4 file error."},
            {{"-h"}, 0, "--port-report <FORMAT>"},
            {{"--version"}, 0, "hexvac-dump " HEXVAC_VERSION "\n"},
            {{"--help=yes"}, 2, "--help"},
            {{"--bogus"}, 2, "bogus"},
            {{"-oFILE"}, 2, "oFILE"}, // not a file named "FILE"
            {{"-o="}, 2, "-o needs a file name"},
            {{"--from=zz"}, 2, "not zz"},
            {{"--from", "-1"}, 2, "not -1"}, // a value may start with a dash
            {{"--from", "zz", "--from", "2"}, 2, "not zz"},
            {{"--to", "2", "stray"}, 2, "stray"},
        },
        {QStringLiteral("--virtual-only")});

    // "--opt=value" and "-o=FILE" do what "--opt value" and "-o FILE" do.
    QTemporaryDir dir;
    const QString spaced = dir.filePath(QStringLiteral("spaced.csv"));
    const QString joined = dir.filePath(QStringLiteral("joined.csv"));
    const ProgramRun a = DumpTool({"--port-report", "csv", "-o", spaced});
    const ProgramRun b = DumpTool({"--port-report=csv", "-o=" + joined});
    QVERIFY2(a.ExitCode == 0 && b.ExitCode == 0, qPrintable(a.Err + b.Err));
    QCOMPARE(QString(b.Out).replace(joined, spaced), a.Out);
    QFile first(spaced), second(joined);
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    QCOMPARE(second.readAll(), first.readAll());
}

void TestDumpTool::DumpsPageTwoExactlyAndReportsWhatItFound() {
    SimHandbox sim;
    QVERIFY(StartLine(sim));
    const QString port = QStringLiteral("COM%1").arg(sim.PortNumber());

    const ProgramRun list = DumpTool({"--list"});
    QCOMPARE(list.ExitCode, 0);
    QVERIFY2(QRegularExpression("^" + port + "\tpts/\\d+ Virtual port\tavailable\n$")
                 .match(list.Out)
                 .hasMatch(),
             qPrintable(list.Out));

    const ProgramRun info = DumpTool({"--port", port, "--info"});
    QCOMPARE(info.ExitCode, 0);
    QVERIFY2(QRegularExpression("^port=" + port +
                                " rate=9600 kind=2 model=\"Autostar 495/497\" "
                                "date=\\d\\d/\\d\\d/\\d{4} baudclass=2 peek=1 poke=1 "
                                "extpeek=1 extpoke=1 download=0 parked=0\n$")
                 .match(info.Out)
                 .hasMatch(),
             qPrintable(info.Out));

    // Automatic detection, the default answers, download mode.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page2.bin"));
    const ProgramRun dump = DumpTool({"--from", "2", "--to", "2", "--yes", "-o", file});
    QVERIFY2(dump.ExitCode == 0, qPrintable(dump.Err + dump.Out));
    QVERIFY2(dump.Out.startsWith(file + ": Dump complete: 32768 bytes"), qPrintable(dump.Out));
    QFile dumped(file);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    QVERIFY(dumped.readAll() == MemoryBytes(sim.Host().Engine().Memory(), 2, 0x8000, 0x8000));
    QVERIFY(!sim.Host().Engine().InDownloadMode());

    // Ranges the window would not offer, and a file that cannot be made.
    QCOMPARE(DumpTool({"--port", port, "--to", "20", "--yes", "-o", file}).ExitCode, 2);
    QCOMPARE(DumpTool({"--port", port, "--from", "3", "--to", "2", "-o", file}).ExitCode, 2);
    const ProgramRun noFile =
        DumpTool({"--port", port, "--to", "2", "--yes", "-o", dir.filePath("no/x")});
    QCOMPARE(noFile.ExitCode, 4);
    QVERIFY2(noFile.Out.contains("No such file or directory"), qPrintable(noFile.Out));
}

void TestDumpTool::PortReportDescribesEveryPortWithoutTouchingTheLine() {
    SimHandbox sim;
    QVERIFY(StartLine(sim));
    const QString port = QStringLiteral("COM%1").arg(sim.PortNumber());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ports.csv"));

    const ProgramRun run = DumpTool({"--port-report", "csv", "-o", file});
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Err + run.Out));
    QVERIFY2(run.Out.startsWith(file + ": Comma-Separated Text, 1 ports, 123 rows"),
             qPrintable(run.Out));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(written.readAll());
    QVERIFY2(text.contains(port) && text.contains("Port ID") && text.contains("/dev/pts/"),
             qPrintable(text.left(400)));
    // Only queried: the simulated handbox heard nothing and stays at 9600.
    const ProgramRun info = DumpTool({"--port", port, "--info"});
    QVERIFY2(info.Out.contains(" rate=9600 "), qPrintable(info.Out));

    QCOMPARE(DumpTool({"--port-report", "txt", "-o", dir.filePath("no/x.txt")}).ExitCode, 4);

    // The file's name says the format written: "xls" writes an .xlsx
    // workbook, also when -o names it ".xls", and says so.
    const QString classic = dir.filePath(QStringLiteral("ports.xls"));
    const ProgramRun excel = DumpTool({"--port-report", "xls", "-o", classic});
    QVERIFY2(excel.ExitCode == 0, qPrintable(excel.Err + excel.Out));
    QVERIFY2(excel.Out.startsWith(classic + "x: Microsoft Excel, "), qPrintable(excel.Out));
    QVERIFY(!QFile::exists(classic));
    QFile workbook(classic + u'x');
    QVERIFY(workbook.open(QIODevice::ReadOnly));
    QCOMPARE(workbook.read(2), QByteArray("PK")); // Office Open XML is a zip archive
}

void TestDumpTool::StopSignalsEndTheDumpLikeCancel() {
    LineOptions paced; // a page takes half a minute: the signal comes mid-page
    paced.Pace = true;
    SimHandbox sim({}, paced);
    QVERIFY(StartLine(sim));
    const QString port = QStringLiteral("COM%1").arg(sim.PortNumber());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("stopped.bin"));
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QFile::remove(file);
        QProcess tool;
        tool.start(QStringLiteral(HEXVAC_DUMP_PROGRAM),
                   {"--virtual-only", "--port", port, "--from", "2", "--to", "2", "--mode",
                    "download", "-o", file});
        tool.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() >= 512, 30000);
        ::kill(pid_t(tool.processId()), signal);
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 3);
        const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
        const QRegularExpressionMatch cancelled =
            QRegularExpression("Dump cancelled after (\\d+) bytes").match(out);
        QVERIFY2(cancelled.hasMatch(), qPrintable(out));
        // Every block read is in the file, each in its place, and nothing else.
        QFile dumped(file);
        QVERIFY(dumped.open(QIODevice::ReadOnly));
        const QByteArray bytes = dumped.readAll();
        QCOMPARE(QString::number(bytes.size()), cancelled.captured(1));
        QCOMPARE(bytes.size() % 256, 0);
        QVERIFY(bytes == MemoryBytes(sim.Host().Engine().Memory(), 2, 0x8000, int(bytes.size())));
        QVERIFY(!sim.Host().Engine().InDownloadMode());
    }
}

void TestDumpTool::InterruptedDumpResumesToTheSameBytes_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("latencyMs"); // so that the signal lands among the reads
    QTest::addColumn<int>("rate");      // peeks at 9600 would take half a minute a page
    QTest::newRow("download mode") << "download" << 10 << 9600;
    QTest::newRow("peeks") << "peek" << 0 << 115200;
}

void TestDumpTool::InterruptedDumpResumesToTheSameBytes() {
    QFETCH(QString, mode);
    QFETCH(int, latencyMs);
    QFETCH(int, rate);
    SimHandbox sim(With(&HandboxSettings::Baud, rate), With(&LineOptions::LatencyMs, latencyMs));
    QVERIFY(StartLine(sim));
    const QString port = PortOf(sim);
    const QByteArray memory = MemoryBytes(sim.Host().Engine().Memory(), 2, 0x8000, 0x8000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("dump.bin"));
    const QString manifestFile = ManifestFileName(file);

    // SIGTERM once the file holds a random number of blocks.
    const quint32 seed = QRandomGenerator::global()->generate();
    const qint64 stopAt = qint64(256) * (1 + QRandomGenerator(seed).bounded(100));
    qInfo("stopped once the file holds %lld bytes (seed %u)", stopAt, seed);
    QProcess tool;
    tool.start(QStringLiteral(HEXVAC_DUMP_PROGRAM), {"--virtual-only", "--port", port, "--from",
                                                     "2", "--to", "2", "--mode", mode, "-o", file});
    tool.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() >= stopAt, 60000);
    ::kill(pid_t(tool.processId()), SIGTERM);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 3);
    const QByteArray stopped = Contents(file);
    const QByteArray stoppedManifest = Contents(manifestFile);
    QVERIFY(stopped.size() < memory.size() && stopped == memory.left(stopped.size()));
    const auto untouched = [&] {
        return Contents(file) == stopped && Contents(manifestFile) == stoppedManifest;
    };

    // Refused, each leaving the file and its manifest as they are: an option
    // the manifest disagrees with, another handbox (a firmware of another
    // date), a file whose last whole block is not this handbox's memory.
    QCOMPARE(DumpTool({"--port", port, "--resume", file, "--from", "3"}).ExitCode, 2);
    QVERIFY(untouched());
    {
        SimHandbox other(With(&HandboxSettings::FirmwareDate, std::string("Jan 01 2005")));
        QVERIFY(StartLine(other));
        const ProgramRun run = DumpTool({"--port", PortOf(other), "--resume", file});
        QCOMPARE(run.ExitCode, 1);
        QVERIFY2(run.Err.contains("not the handbox the file was read from"), qPrintable(run.Err));
        QVERIFY(untouched());
    }
    QByteArray changed = stopped;
    changed[stopped.size() / 256 * 256 - 1] ^= 1;
    Overwrite(file, changed);
    const ProgramRun differs = DumpTool({"--port", port, "--resume", file});
    QCOMPARE(differs.ExitCode, 3);
    QVERIFY2(differs.Out.contains("Dump not continued: the file's block at offset"),
             qPrintable(differs.Out));
    QVERIFY(Contents(file) == changed && Contents(manifestFile) == stoppedManifest);
    Overwrite(file, stopped);

    // Continued: the bytes of a dump in one go, and a manifest with their hash.
    const ProgramRun resumed = DumpTool({"--port", port, "--resume", file});
    QVERIFY2(resumed.ExitCode == 0, qPrintable(resumed.Err + resumed.Out));
    QVERIFY(Contents(file) == memory);
    TDumpManifest manifest;
    QString error;
    QVERIFY2(ReadDumpManifest(file, manifest, error), qPrintable(error));
    QCOMPARE(OutcomeWord(manifest.Outcome), QStringLiteral("complete"));
    QCOMPARE(manifest.Sha256, QCryptographicHash::hash(memory, QCryptographicHash::Sha256).toHex());
    QCOMPARE(manifest.Resumes.size(), 1);
    QCOMPARE(manifest.Resumes.first().FromByte, stopped.size() / 256 * 256);

    // --check knows the file, and a file changed by one byte.
    const ProgramRun same = DumpTool({"--check", file});
    QCOMPARE(same.ExitCode, 0);
    QVERIFY2(same.Out.startsWith(file + ": the file is the one that was read (32768 bytes"),
             qPrintable(same.Out));
    changed = memory;
    changed[QRandomGenerator(seed).bounded(memory.size())] ^= 0x40;
    Overwrite(file, changed);
    const ProgramRun other = DumpTool({"--check", file});
    QCOMPARE(other.ExitCode, 3);
    QVERIFY2(other.Out.contains(": the file is NOT the one that was read"), qPrintable(other.Out));
}

void TestDumpTool::StopAtAQuestionPutsTheRateBack() {
    SimHandbox sim(With(&HandboxSettings::Model, HandboxModel::Lx200Gps));
    QVERIFY(StartLine(sim));
    // The user at a terminal: standard input is a pseudo-terminal of ours.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    QTemporaryDir dir;
    QProcess tool;
    tool.setStandardInputFile(QString::fromLocal8Bit(::ptsname(terminal)));
    tool.start(QStringLiteral(HEXVAC_DUMP_PROGRAM),
               {"--virtual-only", "--port", QStringLiteral("COM%1").arg(sim.PortNumber()), "--to",
                "2", "-o", dir.filePath("x.bin")});
    QString said;
    const auto asked = [&](const char* Question) {
        said += QString::fromLocal8Bit(tool.readAllStandardError());
        return said.contains(QLatin1String(Question));
    };
    QTRY_VERIFY_WITH_TIMEOUT(asked("( which is slow )"), 20000);
    QCOMPARE(::write(terminal, "1\n", 2), 2); // "Set to 115200"
    QTRY_VERIFY_WITH_TIMEOUT(asked("Data Mode required"), 20000);
    QCOMPARE(sim.Host().Engine().Baud(), 115200);
    ::kill(pid_t(tool.processId()), SIGINT); // Ctrl-C at the question
    QVERIFY(tool.waitForFinished(20000));
    ::close(terminal);
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 3);
    said += QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(said.contains("stopped before the dump began"), qPrintable(said));
    // The last line on standard output says how the run ended, as for a dump.
    const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    QVERIFY2(out.endsWith("Dump cancelled before it began: nothing read\n"), qPrintable(out));
    // The rate the tool raised, put back: the handbox may read the command
    // a moment after the tool has ended.
    QTRY_COMPARE_WITH_TIMEOUT(sim.Host().Engine().Baud(), 9600, 5000);
    QVERIFY(!sim.Host().Engine().InDownloadMode());
}

void TestDumpTool::FullDiskIsAFileErrorAndLeavesDownloadMode() {
    SimHandbox sim;
    QVERIFY(StartLine(sim));
    const ProgramRun run = DumpTool({"--port", QStringLiteral("COM%1").arg(sim.PortNumber()),
                                     "--to", "2", "--mode", "download", "-o", "/dev/full"});
    QCOMPARE(run.ExitCode, 4);
    QVERIFY2(run.Out.contains("Dump file error: No space left on device"), qPrintable(run.Out));
    QVERIFY(!sim.Host().Engine().InDownloadMode());
}

void TestDumpTool::BusyLx200GpsIsNamedAsAnIdleOne() {
    QString idle;
    for (const int every : {0, 2, 3, 5}) {
        HandboxSettings gps;
        gps.Model = HandboxModel::Lx200Gps;
        gps.BusyEvery = every;
        SimHandbox sim(gps);
        QVERIFY(StartLine(sim));
        const ProgramRun info = DumpTool({"--info"});
        QCOMPARE(info.ExitCode, 0);
        // The same model, date, rate class and peek and poke forms, busy or not.
        const QString found = info.Out.mid(info.Out.indexOf(QLatin1String(" rate=")));
        if (every == 0)
            idle = found;
        QVERIFY2(found == idle,
                 qPrintable(QStringLiteral("busy every %1: %2").arg(every).arg(found)));
    }
    QVERIFY(idle.contains(QLatin1String("kind=4 model=\"LX200GPS\"")));
}

// The header once, then the traffic and the program's notes with their
// blanks shown, without the trigger bookkeeping; also when the run fails.
void TestDumpTool::LogFileHoldsTheRunAsTheLogViewShowsIt() {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("run.log"));
    auto readLog = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    };
    {
        SimHandbox sim;
        QVERIFY(StartLine(sim));
        const ProgramRun info = DumpTool({"--info", "--log", log});
        QCOMPARE(info.ExitCode, 0);
        const QString text = readLog();
        const QStringList lines = text.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("Appended serial log"));
        QCOMPARE(lines.value(1), QStringLiteral("Comport: COM%1").arg(sim.PortNumber()));
        QCOMPARE(text.count(QLatin1String("Appended serial log")), 1);
        for (const char* expected :
             {"User      Str       hexvac-dump  Ver: ", "Dispatch  Write     :GVP#\n",
              "Dispatch  Read      Autostar#\n",
              "Str       At least 1 valid Free com Port found\n"})
            QVERIFY2(text.contains(QLatin1String(expected)), expected);
        QVERIFY(!text.contains(QLatin1String("TrDatChg")) && !text.contains(QLatin1String("[20]")));
    }
    {
        LineOptions hanging; // answers identification, then nothing in mid-dump
        hanging.HangAfter = 12;
        SimHandbox sim({}, hanging);
        QVERIFY(StartLine(sim));
        const ProgramRun dump =
            DumpTool({"--from", "2", "--to", "2", "--yes", "--mode", "download", "-o",
                      dir.filePath(QStringLiteral("d.bin")), "--log", log});
        QCOMPARE(dump.ExitCode, 3);
        QVERIFY2(readLog().contains(QLatin1String("Str       Action Timed out \n")),
                 qPrintable(readLog().right(600)));
    }
    const ProgramRun noFolder =
        DumpTool({"--info", "--log", dir.filePath(QStringLiteral("no/run.log"))});
    QCOMPARE(noFolder.ExitCode, 4);
    QVERIFY2(noFolder.Err.contains(QLatin1String("cannot write the log")),
             qPrintable(noFolder.Err));
}

void TestDumpTool::ListTellsAPortWithoutPermissionFromOneInUse() {
    // A terminal this user may not open: as root, the tool runs as "nobody"
    // on a terminal of root's; otherwise on one of ours closed to all.
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    const group* dialout = ::getgrnam("dialout");
    const struct {
        const char* name;
        mode_t mode;
        gid_t group; // -1: the terminal's own
        bool advice; // whether joining the group is offered
    } rows[] = {
        {"group may only write", mode_t(root ? 0620 : 0), gid_t(-1), false},
        {"group may read and write", 0660, dialout ? dialout->gr_gid : gid_t(-1), true},
        {"the superuser's group", 0660, 0, false},
    };
    for (const auto& row : rows) {
        if (!root && row.mode != 0)
            continue; // only root can give a terminal to another user
        if (root && row.advice && !dialout)
            continue;
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        const QString folder = runtime.filePath(QStringLiteral("hexvac/ports"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir().mkpath(runtime.filePath(QStringLiteral("state"))));
        for (const QString& path : {runtime.filePath(QStringLiteral("hexvac")), folder})
            QVERIFY(::chmod(path.toLocal8Bit().constData(), 0700) == 0);
        if (root) {
            QVERIFY(::chmod(runtime.path().toLocal8Bit().constData(), 0755) == 0);
            for (const QString& path : {runtime.filePath(QStringLiteral("hexvac")), folder,
                                        runtime.filePath(QStringLiteral("state"))})
                QVERIFY(::chown(path.toLocal8Bit().constData(), nobody, nobody) == 0);
        }
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const std::string target = ::ptsname(master);
        QVERIFY(::chmod(target.c_str(), row.mode) == 0);
        if (row.group != gid_t(-1))
            QVERIFY(::chown(target.c_str(), uid_t(-1), row.group) == 0);
        std::string error;
        QCOMPARE(RegisterVirtualPort(folder.toStdString(), 9, target, error), 9);

        const ProgramRun list = DumpTool({"--list"}, [&](QProcess& tool) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            env.insert(QStringLiteral("XDG_STATE_HOME"), runtime.filePath(QStringLiteral("state")));
            tool.setProcessEnvironment(env);
            if (root)
                tool.setChildProcessModifier([] {
                    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 ||
                        ::setuid(nobody) != 0)
                        ::_exit(127);
                });
        });
        ::close(master);
        QVERIFY2(list.ExitCode == 0, qPrintable(list.Err));
        QCOMPARE(list.Out, QStringLiteral("COM9\t%1 Virtual port\tno permission\n")
                               .arg(QString::fromStdString(target.substr(5))));
        const QString first = QStringLiteral("hexvac-dump: COM9 (%1) cannot be opened: "
                                             "permission denied.\n")
                                  .arg(QString::fromStdString(target));
        QVERIFY2(list.Err.count(first) == 1, qPrintable(list.Err));
        QVERIFY2(list.Err.contains(QLatin1String("sudo usermod -aG dialout $USER")) == row.advice,
                 qPrintable(row.name + (": " + list.Err)));
        QVERIFY2(list.Err.contains(QStringLiteral("(mode 0%1); this user may not read and write")
                                       .arg(row.mode, 3, 8, QLatin1Char('0'))) == !row.advice,
                 qPrintable(row.name + (": " + list.Err)));
    }
}

void TestDumpTool::ListSaysWhyThePortsFolderIsIgnored() {
    SilentPort silent(251);
    QVERIFY(silent.Ok());
    const std::string folder = VirtualPortsFolder();
    QVERIFY(::chmod(folder.c_str(), 0777) == 0);
    const ProgramRun list = DumpTool({"--list"});
    QVERIFY(::chmod(folder.c_str(), 0700) == 0);
    QCOMPARE(list.ExitCode, 0);
    QCOMPARE(list.Out, QString());
    QCOMPARE(list.Err, QStringLiteral("hexvac-dump: The virtual ports folder %1 is ignored: it is "
                                      "writable by its group and by others.\n")
                           .arg(QString::fromStdString(folder)));
    // Trusted again, the port is back.
    QVERIFY(DumpTool({"--list"}).Out.startsWith(QLatin1String("COM251\t")));
}

void TestDumpTool::NamedPortIsTheOnlyOneOpened() {
    // Not even to see whether it is free: an open raises the control lines.
    SimHandbox sim;
    QVERIFY(StartLine(sim));
    SilentPort other(252);
    QVERIFY(other.Ok());
    const ProgramRun info =
        DumpTool({"--port", QStringLiteral("COM%1").arg(sim.PortNumber()), "--info"});
    QVERIFY2(info.ExitCode == 0, qPrintable(info.Err));
    QVERIFY(!other.Opened());
}

void TestDumpTool::StopWhileIdentifyingSendsNothingMore() {
    // A handbox that answers the baud test's ACK, then falls silent: the
    // tool waits for the product name when the stop comes.
    ScriptedPeer peer;
    peer.Answer(QByteArray(1, '\x06'), "A");
    peer.Answer(QByteArray(1, '\x06'), ""); // every later ACK goes unanswered
    QString error;
    const int number = peer.Start(error);
    QVERIFY2(number != 0, qPrintable(error));
    QTemporaryDir dir;
    QProcess tool;
    tool.start(QStringLiteral(HEXVAC_DUMP_PROGRAM),
               {"--virtual-only", "--port", QStringLiteral("COM%1").arg(number), "--to", "2",
                "--yes", "-o", dir.filePath("x.bin")});
    tool.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(peer.Received().contains(":GVP#"), 20000);
    ::kill(pid_t(tool.processId()), SIGTERM);
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitCode(), 3);
    // Not the question again, no reacquisition ("#", 06), no detection.
    QVERIFY2(peer.Received().endsWith(":GVP#"), peer.Received().toPercentEncoding().constData());
    const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    QCOMPARE(out, QStringLiteral("Dump cancelled before it began: nothing read\n"));
    QVERIFY(!QFile::exists(dir.filePath("x.bin")));
}

HEXVAC_TEST(TestDumpTool);
#include "TestDumpTool.moc"
