// Finding the rate a handbox runs at, switching it, and the offer to leave a
// slow rate before a dump.

#include "common/ProcessingBox.h"
#include "common/TestBauds.h"
#include "common/Timing.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

// The processing window as the baud test sees it.
struct RecordingBox final : TProcessingBox {
    QString Label1, Label2;
    void SetCaption(const QString&) override {}
    void SetLabel1(const QString& Text) override { Label1 = Text; }
    void SetLabel2(const QString& Text) override { Label2 = Text; }
    void SetProgress(int, int, int) override {}
    void Show() override {}
    void EnableCancel() override {}
    void Close() override {}
};

QString Com(const TApdComPort& port) {
    return QStringLiteral("COM%1").arg(port.ComNumber());
}

// The one message a call left, as "kind: text".
QStringList Said(const ScriptedUiHost& host) {
    QStringList said;
    for (const auto& e : host.Entries())
        said << (e.kind == ScriptedUiHost::Kind::Message  ? QStringLiteral("modal: ")
                 : e.kind == ScriptedUiHost::Kind::Notice ? QStringLiteral("notice: ")
                                                          : QStringLiteral("other: ")) +
                    e.text;
    return said;
}

} // namespace

class TestBaud : public QObject {
    Q_OBJECT
private slots:
    void init() { link_.Begin(20); }
    void cleanup() { link_.End(); }
    void FindsTheHandboxAtTheRateItRuns_data();
    void FindsTheHandboxAtTheRateItRuns();
    void ScriptedAnswersAndSilence_data();
    void ScriptedAnswersAndSilence();
    void SetScopeBaudSwitchesOnlyWhatMaySwitch_data();
    void SetScopeBaudSwitchesOnlyWhatMaySwitch();
    void SlowBaudPromptOnlyBelowTheFastestRateSeen_data();
    void SlowBaudPromptOnlyBelowTheFastestRateSeen();

private:
    LinkFixture link_;
};

void TestBaud::FindsTheHandboxAtTheRateItRuns_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("parked");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("window");
    QTest::addColumn<QString>("letter");
    const int notParked = int(ParkedStyle::NotParked);
    QTest::newRow("at the current rate, loud")
        << int(HandboxModel::Autostar497) << 9600 << notParked << false << false << "A";
    // 28800 and 14400 have no standard termios constant: the simulator
    // answers only when the port really runs at them.
    QTest::newRow("28800 by the retest, window")
        << int(HandboxModel::Autostar497) << 28800 << notParked << true << true << "A";
    QTest::newRow("14400 by the retest, quiet")
        << int(HandboxModel::Lx200Gps) << 14400 << notParked << true << false << "A";
    QTest::newRow("parked at 57600, loud with a window")
        << int(HandboxModel::Lx200Gps) << 57600 << int(ParkedStyle::AnswersProbe) << false << true
        << "I";
}

void TestBaud::FindsTheHandboxAtTheRateItRuns() {
    QFETCH(int, model);
    QFETCH(int, rate);
    QFETCH(int, parked);
    QFETCH(bool, quiet);
    QFETCH(bool, window);
    QFETCH(QString, letter);
    HandboxSettings settings;
    settings.Model = HandboxModel(model);
    settings.Baud = rate;
    settings.Parked = ParkedStyle(parked);
    SimLine line(settings);
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    QCOMPARE(line.Port.Baud(), 9600);
    RecordingBox box;
    QChar modeChar = QLatin1Char('x');

    QCOMPARE(BaudTest(line.Port, window ? &box : nullptr, modeChar, quiet), rate);
    QCOMPARE(QString(modeChar), letter);
    QCOMPARE(line.Port.Baud(), rate);
    QCOMPARE(LinkState.CurrentBaud, rate); // the status was refreshed
    QVERIFY(!LinkFixture::QuietTimeoutPending(line.Port));

    const QString log = LogText(line.Port);
    QVERIFY(log.contains("---Test Bauds--- on " + Com(line.Port)));
    QVERIFY(log.contains("Test Current Baud : 9600"));
    QCOMPARE(log.contains("---ReTest All Bauds---"), rate != 9600);
    const QString found =
        QStringLiteral("Scope found on %1 at %2 Baud ").arg(Com(line.Port)).arg(rate);
    if (!quiet)
        QCOMPARE(Said(link_.Ui), QStringList{"modal: " + found});
    else if (!window)
        QCOMPARE(Said(link_.Ui), QStringList{"notice: " + found});
    else
        QCOMPARE(Said(link_.Ui), QStringList{});
    if (window) {
        QCOMPARE(box.Label1, "Try " + Com(line.Port));
        QCOMPARE(box.Label2, quiet ? QStringLiteral("Scope found at %1 Baud ").arg(rate)
                                   : QStringLiteral("at %1 Baud ").arg(rate));
    }
}

void TestBaud::ScriptedAnswersAndSilence_data() {
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("window");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("letter");
    QTest::newRow("'?' before the letter") << QByteArray("?L") << false << false << 4800 << "L";
    QTest::newRow("a letter no handbox gives, loud")
        << QByteArray("X") << false << false << -1 << "X";
    QTest::newRow("silence, quiet with a window") << QByteArray() << true << true << -1 << " ";
}

void TestBaud::ScriptedAnswersAndSilence() {
    QFETCH(QByteArray, ack);
    QFETCH(bool, quiet);
    QFETCH(bool, window);
    QFETCH(int, result);
    QFETCH(QString, letter);
    Timing::SetTestScale(5); // eleven rounds of mostly waiting
    PeerLine line;
    for (int i = 0; !ack.isEmpty() && i < 11; ++i)
        line.Peer.Answer(QByteArray(1, '\x06'), ack);
    TApdComPort& port = line.Port;
    port.SetBaud(4800);
    QVERIFY(link_.Start(line));
    port.Log.SetLogging(tlOn);
    RecordingBox box;
    QChar modeChar;

    QCOMPARE(BaudTest(port, window ? &box : nullptr, modeChar, quiet), result);
    QCOMPARE(QString(modeChar), letter);
    QVERIFY(!LinkFixture::QuietTimeoutPending(port));
    QCOMPARE(port.Baud(), 4800); // where it was, not at 1200
    QCOMPARE(LinkState.CurrentBaud, 4800);

    const QByteArray round = "#" + QByteArray(1, '\x06') + (ack.isEmpty() ? "#:ED##:EC#" : "");
    const QString com = Com(port);
    if (result > 0) {
        QCOMPARE(line.Peer.Received(), round);
        QCOMPARE(Said(link_.Ui), QStringList{"modal: Scope found on " + com + " at 4800 Baud "});
        return;
    }
    QCOMPARE(line.Peer.Received(), round.repeated(11));
    const QString none = "All Bauds tried on " + com + ", no scope found";
    QCOMPARE(Said(link_.Ui), QStringList{(quiet ? "notice: " : "modal: ") + none});
    if (window)
        QCOMPARE(box.Label2, QStringLiteral("All Bauds tried"));
    // Every rate of the table, in its order.
    QStringList tried;
    for (const QString& l : LogText(port).split('\n'))
        if (const qsizetype at = l.indexOf("Test Baud : "); at >= 0)
            tried << l.mid(at + 12).trimmed();
    QStringList table;
    for (const int r : TestBauds)
        table << QString::number(r);
    QCOMPARE(tried, table);
}

void TestBaud::SetScopeBaudSwitchesOnlyWhatMaySwitch_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("switched");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("said");
    QTest::newRow("RCX400 to 57600")
        << int(HandboxModel::Rcx400) << int(htRCX400) << 57600 << true << QByteArray(":SB1#")
        << QStringList{"notice: New Baud Accepted"};
    QTest::newRow("LX200GPS, a rate outside the table")
        << int(HandboxModel::Lx200Gps) << int(htLX200GPS) << 56000 << false << QByteArray()
        << QStringList{"modal: Baud :56000 not valid for scope"};
    QTest::newRow("Autostar 497 cannot switch")
        << int(HandboxModel::Autostar497) << int(htAutostar497) << 57600 << false << QByteArray()
        << QStringList{};
    QTest::newRow("no handbox: the port alone")
        << int(HandboxModel::Autostar497) << int(htNone) << 14400 << true << QByteArray()
        << QStringList{"notice: New Baud Accepted"};
}

void TestBaud::SetScopeBaudSwitchesOnlyWhatMaySwitch() {
    QFETCH(int, model);
    QFETCH(int, kind);
    QFETCH(int, rate);
    QFETCH(bool, switched);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, said);
    SimLine line(With(&HandboxSettings::Model, HandboxModel(model)));
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    LinkState.HandboxKind = std::uint8_t(kind);
    LinkState.ScopeFound = kind != htNone;

    QCOMPARE(SetScopeBaud(line.Port, rate), switched);
    QCOMPARE(line.Port.Baud(), switched ? rate : 9600);
    QCOMPARE(Said(link_.Ui), said);
    const QString log = LogText(line.Port);
    QCOMPARE(log.contains("Write"), !sent.isEmpty());
    if (!sent.isEmpty())
        QVERIFY(log.contains(QString::fromLatin1(sent)));
    if (kind == htNone || !switched)
        return;
    // The handbox now runs at the new rate, and the port with it, although
    // the simulator's host leaves a separate input speed on the line.
    QVERIFY(QueryMode(line.Port) != QStringLiteral(" "));
}

void TestBaud::SlowBaudPromptOnlyBelowTheFastestRateSeen_data() {
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<int>("after");
    QTest::newRow("slow, raised") << 9600 << 57600 << 1 << 57600;
    QTest::newRow("slow, continue") << 9600 << 57600 << 2 << 9600;
    QTest::newRow("no rate ever enabled") << 9600 << 0 << 0 << 9600;
    QTest::newRow("already the fastest") << 57600 << 57600 << 0 << 57600;
}

void TestBaud::SlowBaudPromptOnlyBelowTheFastestRateSeen() {
    QFETCH(int, current);
    QFETCH(int, max);
    QFETCH(int, answer);
    QFETCH(int, after);
    TApdComPort port; // no handbox found: only the port changes
    port.SetBaud(current);
    LinkState.CurrentBaud = current;
    LinkState.MaxBaud = max;
    if (answer)
        link_.Ui.Answer(answer);

    SlowBaudPrompt(port);
    QCOMPARE(port.Baud(), after);
    QCOMPARE(LinkState.CurrentBaud, after);
    if (!answer) {
        QCOMPARE(link_.Ui.Entries().size(), 0);
        return;
    }
    const auto& question = link_.Ui.Entries().front();
    QCOMPARE(question.kind, ScriptedUiHost::Kind::Question);
    QCOMPARE(question.text, QStringLiteral("Current baud is set to 9600 ( which is slow )"));
    QCOMPARE(question.buttons, QStringList({"Set to 57600", "Continue"}));
    QCOMPARE(question.defaultButton, 1);
}

HEXVAC_TEST(TestBaud);
#include "TestBaud.moc"
