// The main window under the faults of the line and the handbox, and under
// what the user or the session does while it reads: each ends with one
// message at most, the handbox out of download mode where its port
// survives, the file holding whole blocks, and nothing running afterwards.

#include "app/AppUiHost.h"
#include "app/Dump.h"
#include "common/Timing.h"
#include "link/DumpManifest.h"
#include "link/StdDefs.h"
#include "serial/COMPorts.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(HandboxSettings)
Q_DECLARE_METATYPE(LineOptions)

namespace {

// What happens once the run has read a few blocks.
enum class Act {
    Nothing,
    Cancel,       // "Cancel"
    CloseWindow,  // the window's close box
    Stop,         // a stop signal (SIGTERM, SIGHUP, Ctrl-C)
    LinkCommands, // "Baud Check", a rate and "None" chosen anyway
    KillHandbox,  // the simulator ends, another handbox on the next port
};

// What the file must hold afterwards.
enum class Kept {
    WholePage,   // page 2's upper half, byte for byte
    WholeBlocks, // whole blocks from the start, each as the handbox holds it
    FullLength,  // the page's length (garbage without --verify is not caught)
    Nothing,     // no file to look at
};

constexpr int ActAfterBytes = 8 * 256;
constexpr int PageBytes = 0x8000;

// The messages, notices and plain boxes shown, in order: the run's
// questions and the save dialog are not counted.
QStringList Shown(const ScriptedUiHost& Ui, int From) {
    QStringList texts;
    const auto& entries = Ui.Entries();
    for (int i = From; i < entries.size(); ++i) {
        const auto kind = entries[i].kind;
        if (kind == ScriptedUiHost::Kind::Message || kind == ScriptedUiHost::Kind::Notice ||
            kind == ScriptedUiHost::Kind::Plain)
            texts << entries[i].text;
    }
    return texts;
}

bool Matches(const QStringList& Texts, const QStringList& Patterns) {
    if (Texts.size() != Patterns.size())
        return false;
    for (int i = 0; i < Texts.size(); ++i)
        if (!QRegularExpression(Patterns[i]).match(Texts[i]).hasMatch())
            return false;
    return true;
}

// The descriptor our port reads and writes its device through.
int DescriptorOf(const QString& Device) {
    const QString target = QFileInfo(Device).canonicalFilePath();
    for (int fd = 3; fd < 1024; ++fd) {
        char link[256] = {};
        const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
        const ssize_t n = ::readlink(path.constData(), link, sizeof link - 1);
        if (n > 0 && QString::fromLocal8Bit(link, int(n)) == target)
            return fd;
    }
    return -1;
}

// The scripted host, but for the report window, which is the desktop's
// own: modal until it is closed.
class RealReportHost final : public UiHost {
public:
    explicit RealReportHost(ScriptedUiHost& Scripted)
        : s_(Scripted) {}
    void ShowMessage(QObject* C, const QString& T) override { s_.ShowMessage(C, T); }
    void FlashMessage(QObject* C, const QString& T) override { s_.FlashMessage(C, T); }
    int AskQuestion(QObject* C, const QString& Q, const QString& A, const QString& B,
                    int D) override {
        return s_.AskQuestion(C, Q, A, B, D);
    }
    void PlainMessage(const QString& T) override { s_.PlainMessage(T); }
    void SetBusyCursor(bool Busy) override { s_.SetBusyCursor(Busy); }
    void ShowReportWindow(QObject* C, const QString& T, const TReportTable& Table) override {
        desktop_.ShowReportWindow(C, T, Table);
    }

private:
    ScriptedUiHost& s_;
    TAppUiHost desktop_;
};

} // namespace

class TestWindowFaults : public QObject {
    Q_OBJECT
private slots:
    void init() {
        link_.Begin(10, LinkFixture::FakePorts);
        LinkState.MaxBaud = 0;
    }
    void cleanup() { link_.End(); }
    void EveryFaultDuringARunEndsWithOneMessage_data();
    void EveryFaultDuringARunEndsWithOneMessage();
    void AStopWhileAWindowWaitsEndsTheProgram_data();
    void AStopWhileAWindowWaitsEndsTheProgram();
    void AnErrorUnderAHandlerIsShownAndTheProgramGoesOn();
    void AnUnfinishedDumpIsOfferedToContinue_data();
    void AnUnfinishedDumpIsOfferedToContinue();
    void AStopSignalMidDumpEndsTheProgramCleanly_data();
    void AStopSignalMidDumpEndsTheProgramCleanly();

private:
    std::unique_ptr<SimHandbox> AddHandbox(const HandboxSettings& Settings,
                                           const LineOptions& Options = {}) {
        auto sim = std::make_unique<SimHandbox>(Settings, Options);
        if (!link_.Start(*sim))
            qFatal("no simulated handbox");
        link_.Ports().AddPort(sim->PortNumber(), "pts handbox");
        return sim;
    }
    bool ShowAndDetect(TFHexvac& w) {
        link_.Ui.Answer(1); // "YES"
        w.show();
        return QTest::qWaitFor([&] { return w.SBLoad->isEnabled(); }, 30000);
    }

    LinkFixture link_;
};

void TestWindowFaults::EveryFaultDuringARunEndsWithOneMessage_data() {
    QTest::addColumn<HandboxSettings>("handbox");
    QTest::addColumn<LineOptions>("line");
    QTest::addColumn<int>("act");
    QTest::addColumn<bool>("fileFails");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("status"); // the status line after, while the window is open
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("portSurvives"); // and so the handbox must be out of download mode

    const HandboxSettings a497;
    HandboxSettings busy;
    busy.Model = HandboxModel::Lx200Gps;
    busy.BusyEvery = 7;
    const QString complete = QStringLiteral("^Dump complete: 32768 bytes");
    const QString cancelled = QStringLiteral("^Dump cancelled after \\d+ bytes$");
    const QString stopped = QStringLiteral("^Dump stopped: the port or the handbox went away "
                                           "after \\d+ bytes \\(.+\\)$");
    auto row = [](const char* name) -> QTestData& {
        return QTest::newRow(name);
    };
    row("clean line") << a497 << LineOptions{} << int(Act::Nothing) << false << QStringList{}
                      << complete << int(Kept::WholePage) << true;
    row("dropped replies") << a497 << With(&LineOptions::DropEvery, 150) << int(Act::Nothing)
                           << false << QStringList{} << complete << int(Kept::WholePage) << true;
    row("garbled replies") << a497 << With(&LineOptions::GarbageEvery, 150) << int(Act::Nothing)
                           << false << QStringList{} << complete << int(Kept::FullLength) << true;
    row("busy handbox") << busy << LineOptions{} << int(Act::Nothing) << false << QStringList{}
                        << complete << int(Kept::WholePage) << true;
    row("handbox falls silent") << a497 << With(&LineOptions::HangAfter, 120) << int(Act::Nothing)
                                << false << QStringList{stopped} << stopped
                                << int(Kept::WholeBlocks) << false;
    row("device unplugged") << a497 << With(&LineOptions::VanishAfter, 120) << int(Act::Nothing)
                            << false << QStringList{stopped} << stopped << int(Kept::WholeBlocks)
                            << false;
    row("handbox killed, another present")
        << a497 << LineOptions{} << int(Act::KillHandbox) << false << QStringList{stopped}
        << stopped << int(Kept::WholeBlocks) << false;
    row("file cannot be written") << a497 << LineOptions{} << int(Act::Nothing) << true
                                  << QStringList{"^Dump file error: "}
                                  << "^Dump file error: " << int(Kept::Nothing) << true;
    row("Cancel") << a497 << LineOptions{} << int(Act::Cancel) << false << QStringList{cancelled}
                  << cancelled << int(Kept::WholeBlocks) << true;
    row("menu commands during the run")
        << a497 << LineOptions{} << int(Act::LinkCommands) << false << QStringList{} << complete
        << int(Kept::WholePage) << true;
    row("window closed") << a497 << LineOptions{} << int(Act::CloseWindow) << false << QStringList{}
                         << QString() << int(Kept::WholeBlocks) << true;
    row("stop signal") << a497 << LineOptions{} << int(Act::Stop) << false << QStringList{}
                       << QString() << int(Kept::WholeBlocks) << true;
}

void TestWindowFaults::EveryFaultDuringARunEndsWithOneMessage() {
    QFETCH(HandboxSettings, handbox);
    QFETCH(LineOptions, line);
    QFETCH(int, act);
    QFETCH(bool, fileFails);
    QFETCH(QStringList, messages);
    QFETCH(QString, status);
    QFETCH(int, kept);
    QFETCH(bool, portSurvives);

    auto sim = AddHandbox(handbox, line);
    std::unique_ptr<SimHandbox> other;
    if (Act(act) == Act::KillHandbox)
        other = AddHandbox({});
    TFHexvac w;
    bool quit = false;
    w.QuitProgram = [&] {
        quit = true;
    };
    QVERIFY(ShowAndDetect(w));
    QCOMPARE(w.ApdCom.ComNumber(), sim->PortNumber());

    QTemporaryDir dir;
    const QString file = fileFails ? QStringLiteral("/dev/full") : dir.filePath("dump.bin");
    link_.Ui.AnswerSaveFile(file);
    const int before = int(link_.Ui.Entries().size());
    w.RxFrom->setValue(2);
    w.RxTo->setValue(2);
    if (handbox.Model == HandboxModel::Lx200Gps)
        link_.Ui.Answer(2); // "Continue" at its rate: no faster one asked for

    // The action, once a few blocks are in the file.
    bool acted = Act(act) == Act::Nothing;
    bool menusWereOff = false, runWasOffWhileStopping = false;
    QElapsedTimer sinceAct;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &w, [&] {
        if (acted || QFileInfo(file).size() < ActAfterBytes)
            return;
        acted = true;
        sinceAct.start();
        auto* baudCheck = w.findChild<QAction*>(QStringLiteral("BaudCheck1"));
        menusWereOff =
            !baudCheck->isEnabled() &&
            !w.findChild<QMenu*>(QStringLiteral("ScopeSources"))->menuAction()->isEnabled() &&
            !w.findChild<QMenu*>(QStringLiteral("SetBaudRate1"))->menuAction()->isEnabled();
        switch (Act(act)) {
        case Act::Cancel:
            w.SBLoad->click();
            runWasOffWhileStopping =
                !w.SBLoad->isEnabled() && w.SBLoad->text() == QLatin1String("Run");
            break;
        case Act::CloseWindow:
            w.close();
            break;
        case Act::Stop:
            w.StopRequested();
            break;
        case Act::LinkCommands:
            // Off while the run reads; reached anyway, each is refused at
            // once and the run never waits on it.
            baudCheck->trigger();
            QMetaObject::invokeMethod(baudCheck, "triggered");
            if (TMenuItem* rate = w.SetBaudRate1.FindByTag(19200))
                rate->Click();
            w.ScopeSources.FindByTag(-1)->Click();
            break;
        case Act::KillHandbox:
            sim->Host().Stop();
            break;
        case Act::Nothing:
            break;
        }
    });
    ticker.start(2);
    w.SBLoad->click(); // returns once the run has ended
    ticker.stop();
    if (Act(act) != Act::Nothing)
        QVERIFY2(acted, "the run ended before its action");
    // A close or a stop is carried out once the run's handler has returned.
    if (Act(act) == Act::CloseWindow || Act(act) == Act::Stop)
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 20000);
    if (acted && Act(act) != Act::Nothing)
        QVERIFY(sinceAct.elapsed() < 60000);

    // Nothing more comes: no late time-out of the ended run, no search.
    QTest::qWait(Timing::ScaledReplyWait(Timing::BlockReplyMs) * 2 + 300);
    const QStringList shown = Shown(link_.Ui, before);
    QVERIFY2(Matches(shown, messages), qPrintable(shown.join(" | ")));
    if (!status.isEmpty()) {
        QVERIFY(w.isVisible());
        QVERIFY2(QRegularExpression(status).match(w.SBarPanel0->text()).hasMatch(),
                 qPrintable(w.SBarPanel0->text()));
        QCOMPARE(w.SBLoad->text(), QStringLiteral("Run"));
        QCOMPARE(w.SBLoad->isEnabled(), LinkState.ScopeFound);
    }
    QCOMPARE(quit, Act(act) == Act::Stop);
    QCOMPARE(w.isVisible(), Act(act) != Act::CloseWindow && Act(act) != Act::Stop);
    if (Act(act) == Act::LinkCommands)
        QVERIFY(menusWereOff);
    if (Act(act) == Act::Cancel)
        QVERIFY(runWasOffWhileStopping);
    if (portSurvives)
        QVERIFY(!sim->Host().Engine().InDownloadMode());
    if (other)
        QVERIFY(!other->Host().Engine().InDownloadMode());

    if (Kept(kept) == Kept::Nothing)
        return;
    QFile dumped(file);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    const QByteArray bytes = dumped.readAll();
    const QByteArray page = MemoryBytes(sim->Host().Engine().Memory(), 2, 0x8000, PageBytes);
    switch (Kept(kept)) {
    case Kept::WholePage:
        QVERIFY(bytes == page);
        break;
    case Kept::FullLength:
        QCOMPARE(bytes.size(), PageBytes);
        break;
    case Kept::WholeBlocks:
        QVERIFY2(bytes.size() % 256 == 0 && bytes.size() < PageBytes,
                 qPrintable(QString::number(bytes.size())));
        QVERIFY(bytes == page.left(bytes.size()));
        break;
    case Kept::Nothing:
        break;
    }
}

void TestWindowFaults::AStopWhileAWindowWaitsEndsTheProgram_data() {
    QTest::addColumn<int>("tag");
    QTest::newRow("the port lock window") << 998;
    QTest::newRow("the report window") << 500;
}

// A window that waits for the user (the port lock window, the port report)
// closes at a stop, and the program ends without a new search.
void TestWindowFaults::AStopWhileAWindowWaitsEndsTheProgram() {
    QFETCH(int, tag);
    auto sim = AddHandbox({});
    TFHexvac w;
    bool quit = false;
    w.QuitProgram = [&] {
        quit = true;
    };
    QVERIFY(ShowAndDetect(w));
    RealReportHost host(link_.Ui);
    const ScopedUiHost useHost(host);
    const int before = int(link_.Ui.Entries().size());
    const int searches = int(LogText(w.ApdCom).count("---AutoDetect Starting---"));
    QTimer::singleShot(300, &w, [&] { w.StopRequested(); });
    w.ScopeSources.FindByTag(tag)->Click(); // returns once the window has closed
    QTRY_VERIFY_WITH_TIMEOUT(quit && !w.isVisible(), 20000);
    QVERIFY(Shown(link_.Ui, before).isEmpty());
    QCOMPARE(int(LogText(w.ApdCom).count("---AutoDetect Starting---")), searches);
    QVERIFY(!sim->Host().Engine().InDownloadMode());
}

// An error no handler of the window expects (here the port's rate cannot
// be set: its device is no longer a terminal) is shown in the standard
// error box, and the program goes on.
void TestWindowFaults::AnErrorUnderAHandlerIsShownAndTheProgramGoesOn() {
    auto sim = AddHandbox({});
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    const int fd = DescriptorOf(w.ApdCom.DeviceName());
    QVERIFY(fd >= 0);
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("not-a-terminal"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    // Read and written like the device, but no rate can be set on it.
    const int stand = ::open(fifo.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(stand >= 0);
    QVERIFY(::dup2(stand, fd) == fd);
    ::close(stand);
    link_.Ui.Clear();
    w.findChild<QAction*>(QStringLiteral("BaudCheck1"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!link_.Ui.Entries().isEmpty() && w.SBLoad->isEnabled(), 20000);
    const auto& entries = link_.Ui.Entries();
    QCOMPARE(entries.last().kind, ScriptedUiHost::Kind::Plain);
    QVERIFY2(entries.last().text.contains("cannot be set to"), qPrintable(entries.last().text));
    // Still there, and still answering.
    link_.Ui.Clear();
    w.findChild<QAction*>(QStringLiteral("About1"))->trigger();
    QTRY_COMPARE(link_.Ui.Entries().size(), 1);
    QVERIFY(w.isVisible());
}

void TestWindowFaults::AnUnfinishedDumpIsOfferedToContinue_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes: continued") << 1;
    QTest::newRow("No: read again from the start") << 2;
}

// "Run" into the file of a cancelled dump of the same handbox and range
// asks whether to continue it; either way the file ends as the whole page.
void TestWindowFaults::AnUnfinishedDumpIsOfferedToContinue() {
    QFETCH(int, answer);
    auto sim = AddHandbox({});
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    QTemporaryDir dir;
    const QString file = dir.filePath("dump.bin");
    w.RxFrom->setValue(2);
    w.RxTo->setValue(2);
    link_.Ui.AnswerSaveFile(file);
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &w, [&] {
        if (QFileInfo(file).size() >= ActAfterBytes && w.SBLoad->text() == QLatin1String("Cancel"))
            w.SBLoad->click();
    });
    ticker.start(2);
    w.SBLoad->click();
    ticker.stop();
    const qint64 kept = QFileInfo(file).size();
    QVERIFY(kept >= ActAfterBytes && kept < PageBytes);

    link_.Ui.Clear();
    link_.Ui.AnswerSaveFile(file);
    link_.Ui.Answer(answer);
    QTRY_VERIFY(w.SBLoad->isEnabled());
    w.SBLoad->click();
    const auto& entries = link_.Ui.Entries();
    QVERIFY(!entries.isEmpty());
    const auto asked = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.kind == ScriptedUiHost::Kind::Question;
    });
    QVERIFY(asked != entries.end());
    QVERIFY2(asked->text.startsWith("dump.bin holds a dump of this handbox\rthat stopped after " +
                                    QString::number(kept) + " of 32768 bytes (cancelled)"),
             qPrintable(asked->text));
    QFile dumped(file);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    QVERIFY(dumped.readAll() == MemoryBytes(sim->Host().Engine().Memory(), 2, 0x8000, PageBytes));
    TDumpManifest manifest;
    QString error;
    QVERIFY2(ReadDumpManifest(file, manifest, error), qPrintable(error));
    QCOMPARE(manifest.Outcome, TDumpOutcome::Complete);
    QCOMPARE(manifest.Resumes.size(), answer == 1 ? 1 : 0);
    if (answer == 1)
        QCOMPARE(manifest.Resumes.first().FromByte, kept);
    QVERIFY(!sim->Host().Engine().InDownloadMode());
}

void TestWindowFaults::AStopSignalMidDumpEndsTheProgramCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// A real signal to a program run as main() runs the window: the run ends
// as a cancel does, the handbox leaves download mode, nothing is shown
// afterwards, and the program exits by itself.
void TestWindowFaults::AStopSignalMidDumpEndsTheProgramCleanly() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString file = dir.filePath("dump.bin");
    QProcess program;
    program.start(QStringLiteral(HEXVAC_WINDOW_STOP_PROBE), {file});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo(file).size() >= ActAfterBytes || program.state() == QProcess::NotRunning, 60000);
    QVERIFY2(program.state() == QProcess::Running, program.readAllStandardError().constData());
    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(out.endsWith("run\ndownload=0\n"), qPrintable(out));
    const qint64 kept = QFileInfo(file).size();
    QVERIFY2(kept % 256 == 0 && kept < PageBytes, qPrintable(QString::number(kept)));
}

HEXVAC_TEST(TestWindowFaults);
#include "TestWindowFaults.moc"
