// The command exchange against a simulated handbox over a real
// pseudo-terminal: how replies end, how time-outs are told, and what happens
// when the handbox or the device goes away.

#include "common/StdFuncsMisc.h"
#include "common/Timing.h"
#include "link/StdDefs.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void init() { link_.Begin(10); }
    void cleanup() { link_.End(); }
    void TimeOutsBecomeWholeTicks();
    void HeldExchangeLastsItsSevenTicksEvenWhenAnsweredAtOnce();
    void CountedExchangeEndsAsSoonAsItsBytesAreIn();
    void PacedReplyArrivingInPiecesIsJoinedInOrder();
    void TerminatedReplyLeavesOutTheTerminator();
    void NakInsideADownloadBlockIsData();
    void BusyHandboxIsSentTheCommandAgain();
    void SecondExchangeIsRefusedWhileOneRuns();
    void ZeroLengthCommandReturnsAtOnce();
    void TimeOutIsToldAsTheLinkStands_data();
    void TimeOutIsToldAsTheLinkStands();
    void TimeOutWithHandboxGoneForgetsItAndRestartsDetection();
    void VanishingDeviceEndsTheWaitAtOnce();
    void DeviceGoneBeforeAnExchangeIsToldOnceWithoutAnError_data();
    void DeviceGoneBeforeAnExchangeIsToldOnceWithoutAnError();
    void WriteToAGoneDeviceIsItsLossNotAnError();
    void EndlessStreamIsCappedAndEndsAsATimeOut();

private:
    LinkFixture link_;
};

void TestExchange::TimeOutsBecomeWholeTicks() {
    QCOMPARE(Timing::TicksFor(400), 7);
    QCOMPARE(Timing::TicksFor(100), 2);
    QCOMPARE(Timing::TicksFor(5000), 91);
    QCOMPARE(Timing::TicksFor(10000), 182);
    QCOMPARE(Timing::TicksFor(500), 9);
    QCOMPARE(7 * Timing::SerialTickMs, 385);
}

void TestExchange::HeldExchangeLastsItsSevenTicksEvenWhenAnsweredAtOnce() {
    Timing::SetTestScale(100); // real timing, once
    SimLine line;
    QVERIFY(link_.Start(line));
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    SendCommand(line.Port, QByteArray(1, '\x06'), 1, 400, true, reply);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply, QByteArray("A"));
    QVERIFY2(elapsed >= 380, qPrintable(QString::number(elapsed)));
    QVERIFY(!line.Port.AwaitingReply);
    QVERIFY(!line.Port.HoldFullTime);
    QVERIFY(!BusyCursorShown());
}

void TestExchange::CountedExchangeEndsAsSoonAsItsBytesAreIn() {
    Timing::SetTestScale(100);
    SimLine line(InDownloadMode());
    QVERIFY(link_.Start(line));
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    SendCommand(line.Port, BlockRead(2, 0x80, 0x00, 0x80), 128, 10000, false, reply);
    QVERIFY2(clock.elapsed() < 5000, "waited for the time-out instead of the count");
    QCOMPARE(reply, MemoryBytes(line.Host().Engine().Memory(), 2, 0x8000, 128));
    // The code byte of a download-mode handbox, counted.
    SendCommand(line.Port, "T", 1, 5000, false, reply);
    QCOMPARE(reply, QByteArray(1, char(line.Host().Engine().Model().DownloadCode)));
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

void TestExchange::PacedReplyArrivingInPiecesIsJoinedInOrder() {
    SimLine line(InDownloadMode(), With(&LineOptions::Pace, true));
    QVERIFY(link_.Start(line));
    QByteArray reply;
    // Page 7's bank, second half of block FF: the last bytes of the page.
    SendCommand(line.Port, BlockRead(7, 0xFF, 0x80, 0x80), 128, 10000, false, reply);
    QCOMPARE(reply, MemoryBytes(line.Host().Engine().Memory(), 7, 0xFF80, 128));
    // The low half is shared by every page.
    SendCommand(line.Port, BlockRead(9, 0x12, 0x00, 0x80), 128, 10000, false, reply);
    QCOMPARE(reply, MemoryBytes(line.Host().Engine().Memory(), 0, 0x1200, 128));
}

void TestExchange::TerminatedReplyLeavesOutTheTerminator() {
    SimLine line(With(&HandboxSettings::Model, HandboxModel::Rcx400));
    QVERIFY(link_.Start(line));
    QByteArray reply;
    SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
    QCOMPARE(reply, QByteArray("RCX400"));
    QVERIFY(!line.Port.CharReady()); // the "#" was taken with the reply
    SendCommandTerminated(line.Port, ":GVD#", "#", reply, 5000);
    QCOMPARE(reply, QByteArray::fromStdString(line.Host().Engine().FirmwareDate()));
}

void TestExchange::NakInsideADownloadBlockIsData() {
    auto memory = std::make_unique<HandboxMemory>(7);
    memory->Set(3, 0x9000, 0x15);
    memory->Set(3, 0x9001, 0x15);
    SimLine line(InDownloadMode(), {}, std::move(memory));
    QVERIFY(link_.Start(line));
    LinkState.InDownloadMode = true;
    QByteArray reply;
    SendCommand(line.Port, BlockRead(3, 0x90, 0x00, 0x80), 128, 10000, false, reply);
    QCOMPARE(reply.size(), 128);
    QCOMPARE(reply.left(2), QByteArray("\x15\x15"));
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

void TestExchange::BusyHandboxIsSentTheCommandAgain() {
    HandboxSettings busy;
    busy.Model = HandboxModel::Lx200Gps;
    busy.BusyEvery = 2;
    {
        // Every second command meets a busy handbox: each reply is still the
        // answer, never the NAK, and nothing is said.
        SimLine line(busy);
        QVERIFY(link_.Start(line));
        line.Port.Log.SetLogging(tlOn);
        for (int i = 0; i < 3; ++i) {
            QByteArray reply;
            SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
            QCOMPARE(reply, QByteArray("LX2001"));
            SendCommand(line.Port, QByteArray(1, '\x06'), 1, 400, true, reply);
            QCOMPARE(reply, QByteArray("A"));
        }
        QVERIFY(LogText(line.Port).contains("Scope busy: sending again"));
        QCOMPARE(link_.Ui.Entries().size(), 0);
    }
    // Always busy: a bounded number of tries, then an empty reply and the notice.
    busy.BusyEvery = 1;
    SimLine line(busy);
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    QByteArray reply;
    SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
    QCOMPARE(reply, QByteArray());
    QCOMPARE(LogText(line.Port).count("Scope busy: sending again"), 5);
    QCOMPARE(link_.Ui.Texts(),
             QStringList({"Scope has returned busy signal. Please retry command"}));
    QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Notice);
}

void TestExchange::SecondExchangeIsRefusedWhileOneRuns() {
    SimLine line;
    QVERIFY(link_.Start(line));
    QByteArray inner("unset");
    QTimer::singleShot(5, &line.Port,
                       [&] { SendCommandTerminated(line.Port, ":GVP#", "#", inner, 5000); });
    QByteArray outer;
    SendCommand(line.Port, QByteArray(1, '\x06'), 1, 400, true, outer);
    QCOMPARE(inner, QByteArray());
    QCOMPARE(outer, QByteArray("A"));
    QCOMPARE(link_.Ui.Texts(), QStringList({"Still awaiting response from scope"}));
    QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Notice);
}

void TestExchange::ZeroLengthCommandReturnsAtOnce() {
    SimLine line;
    QVERIFY(link_.Start(line));
    QByteArray reply("unset");
    QElapsedTimer clock;
    clock.start();
    SendCommand(line.Port, "#", 0, 100000, false, reply);
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(reply.isEmpty());
    QVERIFY(!line.Port.AwaitingReply);
}

void TestExchange::TimeOutIsToldAsTheLinkStands_data() {
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("found"); // a known 497 on the line
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("logged"); // none: not even "Action Timed out"
    QTest::addColumn<int>("identifies");
    // A quiet time-out does not even reacquire.
    QTest::newRow("quiet") << true << true << QStringList() << QStringList() << 0;
    QTest::newRow("loud, no handbox")
        << false << false << QStringList({"Action Timed out, refer log for details"})
        << QStringList({"Action Timed out "}) << 0;
    QTest::newRow("loud, handbox still answering")
        << false << true << QStringList({"Timeout from scope, refer log for details"})
        << QStringList({"Action Timed out ", " Scope still there. Chk command syntax "}) << 1;
}

void TestExchange::TimeOutIsToldAsTheLinkStands() {
    QFETCH(bool, quiet);
    QFETCH(bool, found);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, logged);
    QFETCH(int, identifies);
    SimLine line;
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    LinkState.ScopeFound = found;
    LinkState.HandboxKind = found ? htAutostar497 : htNone;
    if (quiet)
        LinkFixture::MakeNextTimeoutQuiet(line.Port);
    QByteArray reply("unset");
    SendCommandTerminated(line.Port, "#:EC#", "#", reply, 100);
    QVERIFY(reply.isEmpty());
    QVERIFY(!LinkFixture::QuietTimeoutPending(line.Port));
    QCOMPARE(link_.Ui.Texts(), texts);
    if (!quiet && !found)
        QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Message);
    const QString log = LogText(line.Port);
    for (const QString& entry : logged)
        QVERIFY2(log.contains(entry), qPrintable(entry));
    if (logged.isEmpty())
        QVERIFY(!log.contains("Action Timed out"));
    QCOMPARE(link_.Identifies, identifies);
    QCOMPARE(link_.Restarts, 0);
    QCOMPARE(LinkState.ScopeFound, found);
    QCOMPARE(int(LinkState.HandboxKind), found ? int(htAutostar497) : int(htNone));
    QVERIFY(!line.Port.AwaitingReply);
    // The line is clean for the next exchange.
    SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
    QVERIFY(reply.startsWith("Auto"));
}

void TestExchange::TimeOutWithHandboxGoneForgetsItAndRestartsDetection() {
    SimLine line({}, With(&LineOptions::HangAfter, 1));
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    QByteArray reply;
    SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
    QVERIFY(reply.startsWith("Auto"));
    LinkState.ScopeFound = true;
    LinkState.HandboxKind = htAutostar497;
    LinkState.PeekOK = LinkState.PokeOK = true;
    SendCommandTerminated(line.Port, ":GVD#", "#", reply, 500);
    QCOMPARE(link_.Ui.Texts(), QStringList({"Timeout from scope, refer log for details",
                                            "Scope no longer responding, trying to reacquire"}));
    QVERIFY(LogText(line.Port).contains("No response from scope "));
    QVERIFY(!LinkState.ScopeFound);
    QCOMPARE(LinkState.HandboxKind, std::uint8_t(htNone));
    QVERIFY(!LinkState.PeekOK && !LinkState.PokeOK);
    QCOMPARE(link_.Restarts, 1);
    QCOMPARE(link_.Identifies, 0);
}

void TestExchange::VanishingDeviceEndsTheWaitAtOnce() {
    Timing::SetTestScale(100);
    SimLine line({}, With(&LineOptions::VanishAfter, 1));
    QVERIFY(link_.Start(line));
    QByteArray reply;
    SendCommandTerminated(line.Port, ":GVP#", "#", reply, 5000);
    QVERIFY(reply.startsWith("Auto"));
    LinkState.ScopeFound = true;
    QElapsedTimer clock;
    clock.start();
    SendCommandTerminated(line.Port, ":GVD#", "#", reply, 10000);
    QVERIFY2(clock.elapsed() < 5000, "waited for the time-out after the device had gone");
    QVERIFY(reply.isEmpty());
    QCOMPARE(link_.Ui.Texts(), QStringList({"Currently selected Port is no longer Available"}));
    QCOMPARE(link_.Ui.Entries().first().kind, ScriptedUiHost::Kind::Plain);
    QVERIFY(!line.Port.Open());
    QCOMPARE(line.Port.ComNumber(), 0);
    QVERIFY(!LinkState.ScopeFound);
    QCOMPARE(link_.Restarts, 1);
    // Later exchanges find no port and return at once, without another message.
    SendCommand(line.Port, "T", 1, 5000, false, reply);
    QVERIFY(reply.isEmpty());
    QCOMPARE(link_.Ui.Entries().size(), 1);
}

void TestExchange::DeviceGoneBeforeAnExchangeIsToldOnceWithoutAnError_data() {
    QTest::addColumn<bool>("terminated");
    QTest::newRow("counted") << false;
    QTest::newRow("terminated") << true;
}

// The device goes while no exchange runs, and the next one starts before
// the event loop has seen the hang-up: the loss is found during the
// exchange's first pass, told once, and the exchange returns empty.
void TestExchange::DeviceGoneBeforeAnExchangeIsToldOnceWithoutAnError() {
    QFETCH(bool, terminated);
    SimLine line({}, With(&LineOptions::VanishAfter, 1));
    QVERIFY(link_.Start(line));
    QByteArray reply;
    SendCommand(line.Port, "\x06", 1, 2000, false, reply);
    QCOMPARE(reply, QByteArray("A"));
    LinkState.ScopeFound = true;
    line.Port.PutString("#"); // the next byte takes the device away
    for (int i = 0; i < 200 && !line.Host().Vanished(); ++i)
        QTest::qSleep(10); // no event processing: the hang-up stays pending
    QVERIFY(line.Host().Vanished());
    if (terminated)
        SendCommandTerminated(line.Port, ":GVD#", "#", reply, 5000);
    else
        SendCommand(line.Port, "\x06", 1, 5000, false, reply);
    QVERIFY(reply.isEmpty());
    QCOMPARE(link_.Ui.Texts(), QStringList({"Currently selected Port is no longer Available"}));
    QVERIFY(!line.Port.Open());
    QVERIFY(!line.Port.AwaitingReply);
    QCOMPARE(link_.Restarts, 1);
}

// The device goes and a command is written before the event loop has seen
// the hang-up: the write finds it gone, which is the port's loss (the run
// ends as "went away"), not an error thrown with the system's "No error".
void TestExchange::WriteToAGoneDeviceIsItsLossNotAnError() {
    SimLine line({}, With(&LineOptions::VanishAfter, 1));
    QVERIFY(link_.Start(line));
    QByteArray reply;
    SendCommand(line.Port, "\x06", 1, 2000, false, reply);
    QCOMPARE(reply, QByteArray("A"));
    QSignalSpy lost(&line.Port, &TApdComPort::PortLost);
    line.Port.PutString("#"); // the next byte takes the device away
    for (int i = 0; i < 200 && !line.Host().Vanished(); ++i)
        QTest::qSleep(10); // no event processing: the hang-up stays pending
    QVERIFY(line.Host().Vanished());
    try {
        line.Port.PutString(":GVD#");
    } catch (const std::exception& e) {
        QFAIL(qPrintable(QStringLiteral("the write threw: ") + QString::fromLocal8Bit(e.what())));
    }
    QCOMPARE(lost.size(), 1);
    QVERIFY(!line.Port.Open());
}

void TestExchange::EndlessStreamIsCappedAndEndsAsATimeOut() {
    SimLine line(InDownloadMode());
    QVERIFY(link_.Start(line));
    QByteArray reply;
    // Ask for more than the cap, in blocks of 255 bytes, as a stream would send.
    QByteArray burst;
    for (int i = 0; i < 300; ++i)
        burst += BlockRead(1, 0x80 + (i % 0x7F), 0, 0xFF);
    SendCommand(line.Port, burst, MaxReplyBytes + 10000, 60000, false, reply);
    QCOMPARE(reply.size(), MaxReplyBytes);
    QCOMPARE(link_.Ui.Texts(), QStringList({"Action Timed out, refer log for details"}));
    QVERIFY(!line.Port.AwaitingReply);
}

HEXVAC_TEST(TestExchange);
#include "TestExchange.moc"
