// The main window as the user first meets it: its controls, the start-up
// question, the low-memory boxes, closing, and its files.

#include "app/Dump.h"
#include "common/Timing.h"
#include "link/StdDefs.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestRegistry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { link_.Begin(5, LinkFixture::FakePorts); } // no serial ports
    void cleanup() { link_.End(); }
    void EveryControlSitsAtItsPlaceWithItsStartState();
    void MenuBarHoldsTheFourTopItems();
    void StartupQuestionDecidesAutoDetect_data();
    void StartupQuestionDecidesAutoDetect();
    void OnlyAlwaysImpliesIncludeLowMemory();
    void CloseIsRefusedWhileAPortSelectionRuns_data();
    void CloseIsRefusedWhileAPortSelectionRuns();
    void ClosingDeletesTheTraceAndLogFiles();
    void AboutShowsTheVersionText();
    void ShowLogShowsTheLogUpToNowEveryTime();
    void FileNamesCarryTheInstanceNumber();
    void TwoInstancesUseDifferentFileNames();
    void CommandLineAnswersWithoutOpeningTheWindow();
    void StatusPanelAndMenusFollowTheirData();
    void AClosedWindowLeavesNothingForTheCoreToCall();

private:
    LinkFixture link_;
};

void TestMainWindow::EveryControlSitsAtItsPlaceWithItsStartState() {
    TFHexvac w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Meade Memory Siphonex"));
    // The classic places, in rows from left to right. A caption the font in
    // force (a fallback for MS Sans Serif) needs more room for widens its
    // control, and what follows on its row moves right by as much.
    const struct {
        QWidget* control;
        QRect place;
    } places[] = {
        {w.Label1, {2, 5, 38, 16}},     {w.RxFrom, {46, 2, 43, 21}},
        {w.Label3, {98, 5, 14, 16}},    {w.RxTo, {123, 2, 46, 21}},
        {w.CBLowRam, {8, 32, 113, 17}}, {w.CBLowOnly, {120, 32, 45, 17}},
        {w.SBLoad, {12, 54, 69, 22}},   {w.Label4, {94, 55, 48, 20}},
        {w.Label2, {173, 56, 20, 20}},
    };
    int shift = 0;
    int right = 0;
    for (std::size_t i = 0; i < std::size(places); ++i) {
        QWidget* control = places[i].control;
        const QRect classic = places[i].place;
        if (i > 0 && classic.top() > places[i - 1].place.bottom())
            shift = 0; // a new row
        const bool captioned =
            qobject_cast<QAbstractButton*>(control) ||
            (qobject_cast<QLabel*>(control) && !qobject_cast<QLabel*>(control)->text().isEmpty());
        const QSize needed = captioned ? control->sizeHint() : QSize();
        const QRect expected(classic.left() + shift, classic.top(),
                             std::max(classic.width(), needed.width()),
                             std::max(classic.height(), needed.height()));
        QVERIFY2(control->geometry() == expected, qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                                                 .arg(control->objectName())
                                                                 .arg(control->x())
                                                                 .arg(control->y())
                                                                 .arg(control->width())
                                                                 .arg(control->height())));
        shift += expected.width() - classic.width();
        right = std::max(right, expected.right() + 1);
    }
    // The classic margin right of the spinner stays; the bars span the window.
    const int width = 242 + std::max(0, right - 193);
    QCOMPARE(w.centralWidget()->size(), QSize(width, 118));
    QCOMPARE(w.PB1->geometry(), QRect(2, 79, width - 6, 16));
    QCOMPARE(w.SBar->geometry(), QRect(0, 98, width, 20));

    QCOMPARE(w.Label1->text(), QStringLiteral("Page"));
    QVERIFY(w.Label1->font().bold());
    QCOMPARE(w.Label1->font().pixelSize(), 13);
    QCOMPARE(w.Label3->text(), QStringLiteral("to"));
    QCOMPARE(w.Label4->text(), QString());
    QCOMPARE(w.Label4->font().pixelSize(), 16);
    QCOMPARE(w.Label2->text(), QStringLiteral("|"));
    QCOMPARE(w.font().pixelSize(), 11);

    QCOMPARE(w.RxFrom->value(), 2);
    QCOMPARE(w.RxTo->value(), 2);
    QCOMPARE(w.RxTo->displayIntegerBase(), 16);
    w.RxTo->setValue(0x1F);
    QCOMPARE(w.RxTo->text(), QStringLiteral("1F"));
    QCOMPARE(w.RxFrom->displayIntegerBase(), 16);
    QCOMPARE(w.CBLowRam->text(), QStringLiteral("Include 0000-7FFF"));
    QCOMPARE(w.CBLowOnly->text(), QStringLiteral("Only"));
    QVERIFY(!w.CBLowRam->isChecked() && !w.CBLowOnly->isChecked());
    QCOMPARE(w.SBLoad->text(), QStringLiteral("Run"));
    QVERIFY(!w.SBLoad->isEnabled());
    QCOMPARE(w.PB1->minimum(), 0);
    QCOMPARE(w.PB1->maximum(), 100);
    QCOMPARE(w.SBarPanel0->width(), 280);

    // The port starts at 9600 baud, 8N1, no flow control, with its buffers.
    QCOMPARE(w.ApdCom.Baud(), 9600);
    QCOMPARE(w.ApdCom.DataBits, 8);
    QVERIFY(w.ApdCom.Parity == TParity::pNone);
    QCOMPARE(w.ApdCom.StopBits, 1);
    QVERIFY(w.ApdCom.SWFlowOptions == TSWFlowOptions::swfNone);
    QCOMPARE(w.ApdCom.InSize, 32768);
    QCOMPARE(w.ApdCom.OutSize, 8192);
    QCOMPARE(w.ApdCom.Log.LogSize, 200000);
    QVERIFY(!w.ApdCom.AwaitingReply && !w.ApdCom.HoldFullTime);
    QVERIFY(LinkState.NoAutoDetect);

    // Anchored: a wider window widens the progress bar and the status bar.
    w.resize(w.width() + 40, w.height() + 10);
    QTRY_COMPARE(w.centralWidget()->size(), QSize(width + 40, 128));
    QCOMPARE(w.PB1->geometry(), QRect(2, 89, width + 34, 16));
    QCOMPARE(w.SBar->geometry(), QRect(0, 108, width + 40, 20));
}

void TestMainWindow::MenuBarHoldsTheFourTopItems() {
    TFHexvac w;
    QStringList top;
    for (QAction* a : w.menuBar()->actions())
        top << a->text();
    QCOMPARE(top, QStringList({"Scope Sources", "Scope Utilities", "About", "Exit"}));
    auto* utilities = w.menuBar()->findChild<QMenu*>(QStringLiteral("Utilities1"));
    QVERIFY(utilities);
    QStringList sub;
    for (QAction* a : utilities->actions())
        sub << a->text();
    QCOMPARE(sub, QStringList({"Set Baud Rate", "Baud Check", "Show Log"}));
    QCOMPARE(w.ScopeSources.Tag(), 0);
}

void TestMainWindow::StartupQuestionDecidesAutoDetect_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("noAutoDetect");
    QTest::newRow("YES") << 1 << false;
    QTest::newRow("NO") << 2 << true;
    QTest::newRow("closed") << -1 << true;
}

void TestMainWindow::StartupQuestionDecidesAutoDetect() {
    QFETCH(int, answer);
    QFETCH(bool, noAutoDetect);
    ScriptedPeer peer; // a port where nothing answers
    QString error;
    const int number = peer.Start(error);
    QVERIFY2(number, qPrintable(error));
    link_.Ports().AddPort(number, "pts peer");
    link_.Ui.Answer(answer);
    TFHexvac w;
    w.show();
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(link_.Ui.Entries().size(), 0); // not before the delay
    QTRY_VERIFY_WITH_TIMEOUT(
        !link_.Ui.Entries().isEmpty() && !LinkState.SelectingPort && w.ApdCom.Open(), 20000);
    const auto& asked = link_.Ui.Entries().first();
    QCOMPARE(asked.kind, ScriptedUiHost::Kind::Question);
    QCOMPARE(asked.text, QStringLiteral("Try to AutoDetect a connected scope"));
    QCOMPARE(asked.buttons, QStringList({"YES", "NO"}));
    QCOMPARE(asked.defaultButton, 2);
    QCOMPARE(asked.anchor, QStringLiteral("FHexvac"));
    // Only a "YES" probes the port; the first selection then makes every
    // later one probe.
    QCOMPARE(peer.Received().isEmpty(), noAutoDetect);
    QVERIFY(!LinkState.NoAutoDetect);
    QVERIFY(w.SBarPanel0->text().endsWith(noAutoDetect ? " baud. No checks done yet"
                                                       : " baud. No scope detected"));
    // Asked once only.
    QTest::qWait(Timing::Scaled(Timing::StartupQuestionMs) * 3);
    int questions = 0;
    for (const auto& entry : link_.Ui.Entries())
        questions += entry.kind == ScriptedUiHost::Kind::Question;
    QCOMPARE(questions, 1);
    QVERIFY(!w.Timer1->isActive());
}

void TestMainWindow::OnlyAlwaysImpliesIncludeLowMemory() {
    TFHexvac w;
    w.CBLowOnly->click();
    QVERIFY(w.CBLowOnly->isChecked() && w.CBLowRam->isChecked());
    w.CBLowRam->click();
    QVERIFY(!w.CBLowRam->isChecked() && !w.CBLowOnly->isChecked());
    w.CBLowRam->click();
    QVERIFY(w.CBLowRam->isChecked() && !w.CBLowOnly->isChecked());
    w.CBLowOnly->click();
    w.CBLowOnly->click();
    QVERIFY(w.CBLowRam->isChecked() && !w.CBLowOnly->isChecked());
}

void TestMainWindow::CloseIsRefusedWhileAPortSelectionRuns_data() {
    QTest::addColumn<bool>("byExit");
    QTest::newRow("window closed") << false;
    QTest::newRow("Exit, through the same query") << true;
}

void TestMainWindow::CloseIsRefusedWhileAPortSelectionRuns() {
    QFETCH(bool, byExit);
    TFHexvac w;
    w.show();
    auto* exit = w.menuBar()->findChild<QAction*>(QStringLiteral("Exit1"));
    QVERIFY(exit);
    const auto close = [&] {
        if (!byExit)
            return w.close();
        exit->trigger();
        return !w.isVisible();
    };
    LinkState.SelectingPort = true;
    QVERIFY(!close());
    QVERIFY(w.isVisible());
    LinkState.SelectingPort = false;
    QVERIFY(close());
    QVERIFY(!w.isVisible());
}

void TestMainWindow::ClosingDeletesTheTraceAndLogFiles() {
    TFHexvac w;
    w.show();
    for (const QString& name : {w.ApdCom.TraceName, w.ApdCom.Log.LogName}) {
        QFile f(name);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(name));
    }
    LinkState.ScopeFound = true;
    QVERIFY(w.close());
    QVERIFY(!QFile::exists(w.ApdCom.TraceName));
    QVERIFY(!QFile::exists(w.ApdCom.Log.LogName));
    QVERIFY(!LinkState.ScopeFound);
}

void TestMainWindow::AboutShowsTheVersionText() {
    TFHexvac w;
    auto* about = w.menuBar()->findChild<QAction*>(QStringLiteral("About1"));
    QVERIFY(about);
    about->trigger();
    QCOMPARE(link_.Ui.Entries().size(), 1);
    QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Message);
    QVERIFY2(link_.Ui.Entries().first().text.contains(QStringLiteral("  Ver: ")),
             qPrintable(link_.Ui.Entries().first().text));
    QCOMPARE(link_.Ui.Entries().first().anchor, QStringLiteral("FHexvac"));
}

// The log as its view shows it, header first; asked again, the same lines
// and whatever came since, although the file has not grown in between.
void TestMainWindow::ShowLogShowsTheLogUpToNowEveryTime() {
    TFHexvac w;
    auto* showLog = w.menuBar()->findChild<QAction*>(QStringLiteral("ShowLog1"));
    QVERIFY(showLog);
    showLog->trigger();
    QCOMPARE(link_.Ui.Texts(),
             QStringList{"Nothing is logged yet: the log starts when a port is opened"});
    QVERIFY(!QFile::exists(w.ApdCom.Log.LogName));

    ClearLog(w.ApdCom); // as opening the first port does
    w.ApdCom.Log.AddStringToLog(QStringLiteral("Action Timed out "));
    for (const int shown : {1, 2}) {
        link_.Ui.Clear();
        showLog->trigger();
        QCOMPARE(link_.Ui.Entries().size(), 1);
        QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Log);
        QCOMPARE(link_.Ui.Entries().first().text, QStringLiteral("Communications Log"));
        const QStringList lines = link_.Ui.LastLog();
        QCOMPARE(lines.value(0), QStringLiteral("Appended serial log"));
        QCOMPARE(lines.size(), 7 + shown);
        QVERIFY2(lines.value(7).endsWith(QStringLiteral("Str       Action Timed out ")),
                 qPrintable(lines.value(7)));
        w.ApdCom.Log.AddStringToLog(QStringLiteral("No response from scope "));
    }
    QVERIFY(link_.Ui.LastLog().last().endsWith(QStringLiteral("No response from scope ")));
}

void TestMainWindow::FileNamesCarryTheInstanceNumber() {
    TFHexvac w;
    QVERIFY(LinkState.AppDir.endsWith(QDir::separator()));
    const QString base =
        LinkState.AppDir + QStringLiteral("Hexvac") + QString::number(w.InstanceNumber());
    QCOMPARE(w.ApdCom.TraceName, base + QStringLiteral(".TRC"));
    QCOMPARE(w.ApdCom.Log.LogName, base + QStringLiteral(".LOG"));
    QVERIFY(w.InstanceNumber() != 0);
}

void TestMainWindow::TwoInstancesUseDifferentFileNames() {
    QProcess first, second;
    for (QProcess* p : {&first, &second})
        p->start(QStringLiteral(HEXVAC_INSTANCE_PROBE), {});
    QStringList outputs;
    for (QProcess* p : {&first, &second}) {
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitCode(), 0);
        outputs << QString::fromLocal8Bit(p->readAllStandardOutput());
    }
    const QStringList a = outputs[0].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList b = outputs[1].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(a.size(), 2);
    QCOMPARE(b.size(), 2);
    QVERIFY(a[0].endsWith(QStringLiteral(".TRC")) && a[1].endsWith(QStringLiteral(".LOG")));
    QVERIFY(a[0] != b[0]);
    QVERIFY(a[1] != b[1]);
}

void TestMainWindow::CommandLineAnswersWithoutOpeningTheWindow() {
    // A program that opened its window would not end: the wait fails.
    CheckCommandLineAnswers(QStringLiteral(HEXVAC_PROGRAM),
                            {
                                {{"--version"}, 0, "hexvac " HEXVAC_VERSION "\n"},
                                {{"--help"}, 0, "--version"},
                                {{"-h"}, 0, "--help"},
                                {{"--bogus"}, 2, "bogus"},
                                {{"--version=1"}, 2, "--version"},
                                {{"stray"}, 2, "stray"},
                            });
}

void TestMainWindow::StatusPanelAndMenusFollowTheirData() {
    TFHexvac w;
    QVERIFY(LinkState.StatusPanel);
    LinkState.StatusPanel->SetText(QStringLiteral("COM201  9600 Autostar 495/497"));
    QCOMPARE(w.SBarPanel0->text(), QStringLiteral("COM201  9600 Autostar 495/497"));

    int clickedTag = 0;
    w.ScopeSources.Add(QStringLiteral("Temp Free"), 998,
                       [&](TMenuItem* i) { clickedTag = i->Tag(); });
    w.ScopeSources.Add(QStringLiteral("-"), 0);
    TMenuItem* com = w.ScopeSources.Add(QStringLiteral("COM3: USB Serial Port"), 3);
    com->SetEnabled(false);
    auto* menu = w.menuBar()->findChild<QMenu*>(QStringLiteral("ScopeSources"));
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 3);
    QVERIFY(actions[1]->isSeparator());
    QVERIFY(!actions[2]->isEnabled());
    actions[0]->trigger();
    QTRY_COMPARE(clickedTag, 998);
}

void TestMainWindow::AClosedWindowLeavesNothingForTheCoreToCall() {
    {
        TFHexvac w;
        QString portsText;
        BuildPorts(w.ApdCom, portsText);
        QVERIFY(AutoDetectItem());
    }
    // A detection restart after the window is gone (a late exchange time-out)
    // must find no menu to click rather than a freed one.
    QVERIFY(!RegisteredMenus().SourceMenu);
    QVERIFY(!AutoDetectItem());
    QVERIFY(!LinkState.StatusPanel);
    LinkFixture::RestartDetection();
}

HEXVAC_TEST(TestMainWindow);
#include "TestMainWindow.moc"
