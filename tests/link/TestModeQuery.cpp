// The mode query: what the handbox says it is doing, and the two quiet
// probes for a parked telescope.

#include "common/Timing.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QTest>

class TestModeQuery : public QObject {
    Q_OBJECT
private slots:
    void init() { link_.Begin(20); }
    void cleanup() { link_.End(); }
    void ModeLettersOfTheSimulatedHandboxes_data();
    void ModeLettersOfTheSimulatedHandboxes();
    void ScriptedAnswers_data();
    void ScriptedAnswers();
    void NoAnswerAtAllGivesABlankAfterTwoSilentProbes();

private:
    LinkFixture link_;
};

void TestModeQuery::ModeLettersOfTheSimulatedHandboxes_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("download");
    QTest::addColumn<int>("parked");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("isParked");
    QTest::addColumn<bool>("inDownloadMode");
    QTest::newRow("497") << int(HandboxModel::Autostar497) << false << int(ParkedStyle::NotParked)
                         << "Alt/AZ" << false << false;
    QTest::newRow("mount") << int(HandboxModel::GermanMount1697) << false
                           << int(ParkedStyle::NotParked) << "GEM 1697-CDC" << false << false;
    QTest::newRow("download") << int(HandboxModel::Autostar497) << true
                              << int(ParkedStyle::NotParked) << "Download Mode" << false << true;
    QTest::newRow("parked, says so to the ACK")
        << int(HandboxModel::Lx200Gps) << false << int(ParkedStyle::AnswersAck) << "Is Parked"
        << true << false;
    QTest::newRow("parked, says so to a probe")
        << int(HandboxModel::Lx200Gps) << false << int(ParkedStyle::AnswersProbe) << "Is Parked"
        << true << false;
}

void TestModeQuery::ModeLettersOfTheSimulatedHandboxes() {
    QFETCH(int, model);
    QFETCH(bool, download);
    QFETCH(int, parked);
    QFETCH(QString, mode);
    QFETCH(bool, isParked);
    QFETCH(bool, inDownloadMode);
    HandboxSettings settings;
    settings.Model = HandboxModel(model);
    settings.DownloadMode = download;
    settings.Parked = ParkedStyle(parked);
    SimLine line(settings);
    QVERIFY(link_.Start(line));
    LinkState.InDownloadMode = !inDownloadMode; // the query sets both ways
    LinkState.Parked = !isParked;
    QCOMPARE(QueryMode(line.Port), mode);
    QCOMPARE(LinkState.Parked, isParked);
    QCOMPARE(LinkState.InDownloadMode, inDownloadMode);
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

void TestModeQuery::ScriptedAnswers_data() {
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<QByteArray>("secondAck");
    QTest::addColumn<QByteArray>("ed");
    QTest::addColumn<QByteArray>("ec");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("parked");
    QTest::addColumn<QByteArray>("sent");
    const QByteArray ack(1, '\x06');
    const QByteArray probes = "#:ED##:EC#";
    QTest::newRow("polar") << QByteArray("P") << QByteArray() << QByteArray() << QByteArray()
                           << "Polar" << false << ack;
    QTest::newRow("land") << QByteArray("L") << QByteArray() << QByteArray() << QByteArray()
                          << "Land/Terrestrial" << false << ack;
    QTest::newRow("letter outside the table")
        << QByteArray("X") << QByteArray() << QByteArray() << QByteArray() << "X" << false << ack;
    QTest::newRow("park anywhere, any case")
        << QByteArray("Telescope pArKed") << QByteArray() << QByteArray() << QByteArray()
        << "Is Parked" << true << ack;
    QTest::newRow(">D asks again") << QByteArray(">D") << QByteArray("D") << QByteArray()
                                   << QByteArray() << "Download Mode" << false << ack + ack;
    QTest::newRow("ACK echoed, then probes answer park")
        << ack << QByteArray() << QByteArray("Scope is park#") << QByteArray() << "Is Parked"
        << true << ack + "#:ED#";
    QTest::newRow("second probe answers other text")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray("Slewing#") << "Slewing"
        << false << ack + probes;
}

void TestModeQuery::ScriptedAnswers() {
    QFETCH(QByteArray, ack);
    QFETCH(QByteArray, secondAck);
    QFETCH(QByteArray, ed);
    QFETCH(QByteArray, ec);
    QFETCH(QString, mode);
    QFETCH(bool, parked);
    QFETCH(QByteArray, sent);
    PeerLine line;
    if (!ack.isEmpty())
        line.Peer.Answer(QByteArray(1, '\x06'), ack);
    if (!secondAck.isEmpty())
        line.Peer.Answer(QByteArray(1, '\x06'), secondAck);
    if (!ed.isEmpty())
        line.Peer.Answer("#:ED#", ed);
    if (!ec.isEmpty())
        line.Peer.Answer("#:EC#", ec);
    QVERIFY(link_.Start(line));
    QCOMPARE(QueryMode(line.Port), mode);
    QCOMPARE(LinkState.Parked, parked);
    QCOMPARE(LinkState.InDownloadMode, mode.startsWith('D'));
    QCOMPARE(line.Peer.Received(), sent);
    QCOMPARE(link_.Ui.Entries().size(), 0); // the probes' time-outs are silent
    QVERIFY(!LinkFixture::QuietTimeoutPending(line.Port));
}

void TestModeQuery::NoAnswerAtAllGivesABlankAfterTwoSilentProbes() {
    PeerLine line;
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    LinkState.ScopeFound = true; // not even a known handbox makes them loud
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QueryMode(line.Port), QStringLiteral(" "));
    // The 400 ms hold and two 100 ms probes, at the test's time scale.
    QVERIFY(clock.elapsed() >= Timing::Scaled(385 + 110 + 110) - 20);
    QVERIFY(!LinkState.Parked && !LinkState.InDownloadMode);
    QCOMPARE(line.Peer.Received(), QByteArray(1, '\x06') + "#:ED##:EC#");
    QCOMPARE(link_.Ui.Entries().size(), 0);
    QVERIFY(!line.Port.Log.BufferedLines().join('\n').contains("Action[20]Timed[20]out"));
}

HEXVAC_TEST(TestModeQuery);
#include "TestModeQuery.moc"
