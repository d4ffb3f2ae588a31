// Port selection as the user drives it from the main window: the source
// menu, start-up, detection over several ports, manual choices, "Temp Free",
// the close check and a handbox unplugged. Every port is a test's own:
// simulated handboxes and scripted peers on virtual ports, listed by a fake
// port backend.

#include "app/Dump.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/COMPorts.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QStringList Captions(const TMenuItem& menu) {
    QStringList captions;
    for (int i = 0; i < menu.Count(); ++i)
        captions << menu.Item(i)->Caption();
    return captions;
}

TMenuItem* ItemTagged(const TMenuItem& menu, int tag) {
    return menu.FindByTag(tag);
}

} // namespace

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void init() {
        link_.Begin(10, LinkFixture::FakePorts);
        LinkState.MaxBaud = 0; // outlives every handbox: start each test without one
    }
    void cleanup() { link_.End(); }
    void SourceMenuListsPortsInNumberOrder();
    void WithoutPortClassEveryNumberIsTried();
    void HeldPortIsDisabledButOursStaysEnabled();
    void StartupWithNoSendsNothingToTheHandbox();
    void DetectionStopsAtTheFirstPortThatAnswers();
    void ManualChangeToAnEmptyPortThenNone();
    void DownloadModeHandboxIsWarnedAboutAndNotTested();
    void MkIIDisablesTheLowMemoryBoxes();
    void TempFreeResultsDecideOnANewDetection();
    void CloseCheckAsksAboutDownloadModeAndRate();
    void RunDumpsAndCancelWindsDownBeforeTheNextRun();
    void StatusLineTellsTheRateAfterARun();
    void UnpluggedHandboxIsReportedOnceAndDetectionRestarts_data();
    void UnpluggedHandboxIsReportedOnceAndDetectionRestarts();

private:
    // A running handbox, added to the listed ports.
    std::unique_ptr<SimHandbox> AddHandbox(const HandboxSettings& settings,
                                           const LineOptions& options = {});
    int AddPeer(ScriptedPeer& peer);
    // Shows the window, answers "YES" to its start-up question and waits
    // until a handbox is found and "Run" is enabled.
    bool ShowAndDetect(TFHexvac& w) {
        link_.Ui.Answer(1);
        w.show();
        return QTest::qWaitFor([&] { return w.SBLoad->isEnabled(); }, 20000);
    }

    LinkFixture link_;
};

std::unique_ptr<SimHandbox> TestPortSelection::AddHandbox(const HandboxSettings& settings,
                                                          const LineOptions& options) {
    auto sim = std::make_unique<SimHandbox>(settings, options);
    if (!link_.Start(*sim))
        qFatal("no simulated handbox");
    link_.Ports().AddPort(sim->PortNumber(), "pts handbox");
    return sim;
}

int TestPortSelection::AddPeer(ScriptedPeer& peer) {
    QString error;
    const int number = peer.Start(error);
    if (number == 0)
        qFatal("peer: %s", qPrintable(error));
    link_.Ports().AddPort(number, "pts peer");
    return number;
}

void TestPortSelection::SourceMenuListsPortsInNumberOrder() {
    link_.Ports().AddPort(2, "USB Serial Port (COM2)");
    link_.Ports().AddPort(10, "ttyUSB9 FT232R USB UART");
    link_.Ports().AddPort(3, "Communications Port (COM3)", TPortState::Held);
    TFHexvac w;
    QString portsText;
    BuildPorts(w.ApdCom, portsText);
    QCOMPARE(Captions(w.ScopeSources),
             QStringList({"Temp Free", "None", "COM2: USB Serial Port", "COM3: Communications Port",
                          "COM10: ttyUSB9 FT232R USB UART", "AutoDetect", "-",
                          "Get COM ports Details"}));
    QCOMPARE(portsText, QStringLiteral("Ports Found ,COM2,COM3,COM10"));
    QCOMPARE(ItemTagged(w.ScopeSources, 10)->Caption(),
             QStringLiteral("COM10: ttyUSB9 FT232R USB UART"));
    QVERIFY(!ItemTagged(w.ScopeSources, 3)->Enabled()); // held by someone else
    QCOMPARE(AutoDetectItem(), ItemTagged(w.ScopeSources, 999));
}

void TestPortSelection::WithoutPortClassEveryNumberIsTried() {
    // No port-class device: a port in use elsewhere still counts as there.
    link_.Ports().SetState(5, TPortState::Held);
    link_.Ports().SetState(7, TPortState::Available);
    link_.Ports().SetState(9, TPortState::NoPermission);
    TFHexvac w;
    QString portsText;
    BuildPorts(w.ApdCom, portsText);
    QCOMPARE(portsText, QStringLiteral("Ports Found ,COM5,COM7"));
    QCOMPARE(ItemTagged(w.ScopeSources, 5)->Caption(), QStringLiteral("COM5"));
}

void TestPortSelection::HeldPortIsDisabledButOursStaysEnabled() {
    const auto sim = AddHandbox({});
    const int ours = sim->PortNumber();
    link_.Ports().AddPort(4, "Other program's port", TPortState::Held);
    TFHexvac w;
    LinkState.NoAutoDetect = false;
    link_.Ui.Answer(1);
    w.show();
    QTRY_VERIFY(w.SBLoad->isEnabled());
    link_.Ports().SetState(ours, TPortState::Held); // as our own open port probes
    RefreshPorts(w.ApdCom);
    QVERIFY(ItemTagged(w.ScopeSources, ours)->Enabled());
    QVERIFY(!ItemTagged(w.ScopeSources, 4)->Enabled());
}

void TestPortSelection::StartupWithNoSendsNothingToTheHandbox() {
    ScriptedPeer peer;
    peer.Answer(QByteArray(1, '\x06'), "A");
    const int number = AddPeer(peer);
    link_.Ui.Answer(2); // "NO"
    TFHexvac w;
    w.show();
    QTRY_VERIFY(!LinkState.SelectingPort && link_.Ui.Entries().size() == 1 && w.ApdCom.Open());
    QVERIFY(peer.Received().isEmpty());
    const QString caption = QStringLiteral("COM%1: pts peer").arg(number);
    const QString log = LogText(w.ApdCom);
    QVERIFY(log.contains(QStringLiteral("Ports Found ,COM%1").arg(number)));
    QVERIFY(log.contains("At least 1 valid Free com Port found"));
    QVERIFY(log.contains("---No AutoDetect--- "));
    QVERIFY(log.contains("Port Default to-:" + caption));
    QVERIFY(!log.contains("No Scope found"));
    QVERIFY(w.SBarPanel0->text().endsWith(" baud. No checks done yet"));
    QVERIFY(!w.SBLoad->isEnabled());
    QVERIFY(!LinkState.NoAutoDetect); // later selections probe
}

void TestPortSelection::DetectionStopsAtTheFirstPortThatAnswers() {
    ScriptedPeer silent, third;
    AddPeer(silent);
    const auto sim = AddHandbox({});
    const int found = sim->PortNumber();
    AddPeer(third);
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    QVERIFY(!silent.Received().isEmpty());
    QVERIFY(third.Received().isEmpty());
    QCOMPARE(w.ApdCom.ComNumber(), found);
    QCOMPARE(w.SBarPanel0->text(),
             QStringLiteral("Autostar 495/497 on COM%1 at 9600 baud").arg(found));
    QCOMPARE(w.RxTo->value(), 0x1F);
    QVERIFY(LinkState.PeekOK);
    QVERIFY(LogText(w.ApdCom).contains(
        QStringLiteral("COM%1: pts handbox selected. Scope found").arg(found)));
}

void TestPortSelection::ManualChangeToAnEmptyPortThenNone() {
    ScriptedPeer silent;
    const int number = AddPeer(silent);
    link_.Ui.Answer(2); // "NO": the port is opened without a probe
    TFHexvac w;
    w.show();
    QTRY_VERIFY(w.ApdCom.Open() && !LinkState.SelectingPort);
    QVERIFY(silent.Received().isEmpty());
    ItemTagged(w.ScopeSources, number)->Click();
    QTRY_VERIFY(!silent.Received().isEmpty() && !LinkState.SelectingPort);
    const QString log = LogText(w.ApdCom);
    QVERIFY(log.contains("Manual Port Change Starting "));
    QVERIFY(log.contains(
        QStringLiteral("COM%1: pts peer selected. No scope found on this port").arg(number)));
    QVERIFY(w.SBarPanel0->text().endsWith(" baud. No scope detected"));

    ItemTagged(w.ScopeSources, -1)->Click(); // "None"
    QTRY_VERIFY(!w.ApdCom.Open());
    QCOMPARE(w.SBarPanel0->text(), QStringLiteral("No COM port selected"));
}

void TestPortSelection::DownloadModeHandboxIsWarnedAboutAndNotTested() {
    const auto sim = AddHandbox(InDownloadMode());
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    QVERIFY(link_.Ui.Texts().contains("Warning, Autostar 497 found but it is in download mode"));
    QCOMPARE(int(LinkState.HandboxKind), int(htAutostar497Dnld));
    QVERIFY(!LogText(w.ApdCom).contains("Test for Peek and Poke capability"));
    QVERIFY(
        LogText(w.ApdCom).contains("Warning - Autostar 497 found but already in download mode"));
}

void TestPortSelection::MkIIDisablesTheLowMemoryBoxes() {
    const auto sim = AddHandbox(With(&HandboxSettings::Model, HandboxModel::Autostar497Mk2));
    link_.Ui.Answer(1);
    TFHexvac w;
    w.CBLowRam->setChecked(true);
    w.CBLowOnly->setChecked(true);
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.SBLoad->isEnabled(), 20000);
    QCOMPARE(int(LinkState.HandboxKind), int(htAutostar497mkII));
    QVERIFY(!w.CBLowRam->isChecked() && !w.CBLowOnly->isChecked());
    QVERIFY(!w.CBLowRam->isEnabled() && !w.CBLowOnly->isEnabled());
    QCOMPARE(w.RxTo->maximum(), 0x1F);
    QCOMPARE(w.RxTo->value(), 0x1F);
}

void TestPortSelection::TempFreeResultsDecideOnANewDetection() {
    const auto sim = AddHandbox({});
    const int number = sim->PortNumber();
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));

    for (const QString& code : {QStringLiteral("LOCKCancel"), QStringLiteral("LOCK")}) {
        QString savedType;
        RegisterPortLockWindow([&](TPortLockRequest& request) {
            savedType = request.SavedType;
            QVERIFY(!request.Port->Open()); // released while the window shows
            request.ResultCode = code;
        });
        const auto detections = LogText(w.ApdCom).count("---AutoDetect Starting---");
        ItemTagged(w.ScopeSources, 998)->Click();
        QTRY_VERIFY(!LinkState.SelectingPort);
        QVERIFY(savedType.startsWith("Auto"));
        const auto after = LogText(w.ApdCom).count("---AutoDetect Starting---");
        if (code == QLatin1String("LOCK")) {
            QCOMPARE(after, detections); // carries on as it was
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(w.ApdCom.Open() && LinkState.ScopeFound, 20000);
            QCOMPARE(w.ApdCom.ComNumber(), number);
        }
    }
}

void TestPortSelection::CloseCheckAsksAboutDownloadModeAndRate() {
    {
        const auto sim = AddHandbox(InDownloadMode());
        link_.Ui.Answer(1);
        TFHexvac w;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(w.SBLoad->isEnabled(), 20000);
        link_.Ui.Answer(1); // "Abort close"
        QVERIFY(!w.close());
        QCOMPARE(link_.Ui.Entries().last().text, QStringLiteral("Scope is still in download mode"));
        link_.Ui.Answer(2); // "Close anyway"
        QVERIFY(w.close());
    }
    link_.Ui.Clear();
    link_.Ports().Clear(); // the first handbox's port is gone with it
    HandboxSettings gps;
    gps.Model = HandboxModel::Lx200Gps;
    gps.Baud = 19200;
    const auto sim = AddHandbox(gps);
    link_.Ui.Answer(1);
    TFHexvac w;
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.SBLoad->isEnabled(), 30000);
    QCOMPARE(w.ApdCom.Baud(), 19200);
    link_.Ui.Answer(1); // "Reset to 9600 and close"
    QVERIFY(w.close());
    QCOMPARE(link_.Ui.Entries().at(link_.Ui.Entries().size() - 2).text,
             QStringLiteral("Scope is currently set to 19200 baud"));
    QCOMPARE(sim->Host().Engine().Baud(), 9600);
}

void TestPortSelection::RunDumpsAndCancelWindsDownBeforeTheNextRun() {
    const auto sim = AddHandbox({});
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("dump.bin"));
    link_.Ui.AnswerSaveFile(file);
    link_.Ui.Answer(1); // "Download"
    w.RxTo->setValue(2);
    w.SBLoad->click();
    QCOMPARE(link_.Ui.Entries().at(link_.Ui.Entries().size() - 2).text,
             QStringLiteral("497Dump x02tox02.bin"));
    QCOMPARE(link_.Ui.Entries().last().text, QStringLiteral("Data Mode required"));
    QFile dumped(file);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    QVERIFY(dumped.readAll() == MemoryBytes(sim->Host().Engine().Memory(), 2, 0x8000, 0x8000));
    QCOMPARE(w.SBLoad->text(), QStringLiteral("Run"));

    // Cancel a long run; a click while it winds down starts nothing.
    w.RxTo->setValue(5);
    link_.Ui.Answer(1);
    int clicks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &w, [&] {
        if (w.SBLoad->text() == QLatin1String("Cancel") || clicks > 0) {
            ++clicks;
            w.SBLoad->click(); // first: Cancel; then: Run, while winding down
            if (clicks == 2)
                ticker.stop();
        }
    });
    ticker.start(5);
    w.SBLoad->click();
    QCOMPARE(clicks, 2);
    QVERIFY(dumped.size() < qint64(4) * 0x8000);
    const int questions =
        int(std::count_if(link_.Ui.Entries().begin(), link_.Ui.Entries().end(),
                          [](const auto& e) { return e.text == "Data Mode required"; }));
    QCOMPARE(questions, 2); // the click while winding down asked nothing
    QTRY_VERIFY(!sim->Host().Engine().InDownloadMode());
}

void TestPortSelection::StatusLineTellsTheRateAfterARun() {
    const auto sim = AddHandbox(With(&HandboxSettings::Model, HandboxModel::Lx200Gps));
    const int number = sim->PortNumber();
    TFHexvac w;
    QVERIFY(ShowAndDetect(w));
    QTemporaryDir dir;
    link_.Ui.AnswerSaveFile(dir.filePath(QStringLiteral("dump.bin")));
    link_.Ui.Answer(1); // "Set to 115200"
    link_.Ui.Answer(1); // "Download"
    w.RxFrom->setValue(2);
    w.RxTo->setValue(2);
    w.SBLoad->click();
    // Leaving download mode put the handbox and the port back at 9600. The
    // status line says how the run ended, as the command line's last line
    // does, with the link's status a hover away; the page label is cleared.
    QCOMPARE(sim->Host().Engine().Baud(), 9600);
    QCOMPARE(w.SBarPanel0->text(), QStringLiteral("Dump complete: 32768 bytes"));
    QCOMPARE(w.SBarPanel0->toolTip(), QStringLiteral("LX200GPS on COM%1 at 9600 baud").arg(number));
    QCOMPARE(w.Label4->text(), QString());
    QCOMPARE(link_.Ui.Entries().last().text, QStringLiteral("Data Mode required"));
}

void TestPortSelection::UnpluggedHandboxIsReportedOnceAndDetectionRestarts() {
    QFETCH(int, vanishAfter);
    QFETCH(bool, whileIdle);
    const auto sim = AddHandbox({}, With(&LineOptions::VanishAfter, vanishAfter));
    link_.Ui.Answer(1);
    TFHexvac w;
    w.show();
    if (whileIdle) {
        QTRY_VERIFY_WITH_TIMEOUT(w.SBLoad->isEnabled(), 20000);
        QVERIFY(!sim->Host().Vanished());
        link_.Ui.Answer(1); // acknowledge what the baud check then reports
        w.findChild<QAction*>(QStringLiteral("BaudCheck1"))->trigger();
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        sim->Host().Vanished() && !LinkState.SelectingPort &&
            link_.Ui.Texts().contains(
                "No Free Com ports found on this machine\rNo logging will be carried out"),
        20000);
    QCOMPARE(link_.Ui.Texts().count("Currently selected Port is no longer Available"), 1);
    QVERIFY(!LinkState.ScopeFound);
    QCOMPARE(w.SBarPanel0->text(), QStringLiteral("No valid COM ports found"));
    QVERIFY(!w.SBLoad->isEnabled());
    QVERIFY(w.close());
}

void TestPortSelection::UnpluggedHandboxIsReportedOnceAndDetectionRestarts_data() {
    QTest::addColumn<int>("vanishAfter");
    QTest::addColumn<bool>("whileIdle");
    // Found, identified (each question twice) and tested (ACK, ACK, ACK,
    // ":GVP#", ":GVP#", ":GVD#", ":GVD#", peek), then gone.
    QTest::newRow("while idle") << 8 << true;
    // Gone at the identification's first question.
    QTest::newRow("during a probe") << 1 << false;
}

HEXVAC_TEST(TestPortSelection);
#include "TestPortSelection.moc"
