// The memory dump on a line that misbehaves as real ones do: lost and
// mangled replies, a handbox that falls silent or vanishes, a full disk, a
// stop in the middle of a wait, a rate change right after a command. Every
// run must end, leave the handbox out of download mode where it still
// answers, and keep exactly the bytes it read.

#include "common/Timing.h"
#include "link/StdFuncsMeade.h"
#include "tests/link/DumpTestSupport.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(LineOptions)

class TestDumpFaults : public QObject {
    Q_OBJECT
private slots:
    void init() {
        link_.Begin(10);
        QFile::remove(file_);
    }
    void cleanup() { link_.End(); }
    void LastCommandLeavesBeforeTheRateChangesOrThePortCloses();
    void DroppedRepliesAreReadAgainUntilTheDumpIsExact();
    void LateReplyIsNeverTakenForTheNextPiece_data();
    void LateReplyIsNeverTakenForTheNextPiece();
    void GarbledBlocksAreCaughtOnlyWithVerify();
    void GoneHandboxEndsTheRunWithoutLookingElsewhere_data();
    void GoneHandboxEndsTheRunWithoutLookingElsewhere();
    void LostModeAnswersDoNotStrandTheHandbox();
    void FileErrorStillLeavesDownloadMode();
    void StopDuringALostReplyDoesNotWaitItOut();

private:
    // Starts the line with its handbox found, in download mode.
    bool StartFoundInDownloadMode(SimLine& Line) {
        if (!link_.Start(Line))
            return false;
        LinkState.HandboxKind = htAutostar497Dnld;
        LinkState.InDownloadMode = true;
        return true;
    }
    TDumpResult Dump(SimLine& Line, const TDumpOptions& Options, RecordingFace& Face) {
        return LoggedDump(Line, Options, 1, file_, Face);
    }
    // The file holds whole blocks, each the handbox's own bytes.
    void VerifyFileIsAPrefixOfPage2(SimLine& Line, qint64 Bytes) {
        const QByteArray bytes = FileBytes(file_);
        QCOMPARE(qint64(bytes.size()), Bytes);
        QCOMPARE(Bytes % 256, 0);
        QVERIFY(bytes == MemoryBytes(Line.Host().Engine().Memory(), 2, 0x8000, int(Bytes)));
    }

    LinkFixture link_;
    QTemporaryDir dir_;
    const QString file_ = dir_.filePath(QStringLiteral("dump.bin"));
};

void TestDumpFaults::LastCommandLeavesBeforeTheRateChangesOrThePortCloses() {
    // An LX200GPS raised from its 9600 to 115200: the "I" that ends the run
    // must leave at 115200, before the port goes back to 9600.
    SimLine line(With(&HandboxSettings::Model, HandboxModel::Lx200Gps));
    QVERIFY(link_.Start(line));
    const HandboxEngine& engine = line.Host().Engine();
    LinkState.HandboxKind = htLX200GPS;
    LinkState.ScopeFound = true;
    QVERIFY(SetScopeBaud(line.Port, 115200));
    RecordingFace face;
    TDumpOptions options;
    options.ToPage = 1; // from 2: no page, only into download mode and out
    QCOMPARE(int(Dump(line, options, face).Outcome), int(TDumpOutcome::Complete));
    QCOMPARE(line.Port.Baud(), 9600);
    QTRY_VERIFY(!engine.InDownloadMode());
    QCOMPARE(engine.Baud(), 9600);

    // Closing puts the terminal's first settings (9600) back: a last command
    // written at 115200 must have left before.
    QVERIFY(SetScopeBaud(line.Port, 115200));
    QByteArray ignored;
    SendCommand(line.Port, QByteArray(1, '\x04'), 0, 1000, false, ignored);
    QTRY_VERIFY(engine.InDownloadMode());
    line.Port.PutString("I");
    line.Port.SetOpen(false);
    QTRY_VERIFY(!engine.InDownloadMode());
}

void TestDumpFaults::DroppedRepliesAreReadAgainUntilTheDumpIsExact() {
    // The real time-outs: a lost reply is read again long before its own.
    Timing::SetTestScale(100);
    HandboxSettings fast = InDownloadMode();
    fast.Baud = 115200;
    SimLine line(fast, With(&LineOptions::DropEvery, 50));
    line.Port.SetBaud(115200);
    QVERIFY(StartFoundInDownloadMode(line));
    RecordingFace face;
    const TDumpResult result = Dump(line, {}, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
    VerifyFileIsAPrefixOfPage2(line, 0x8000);
    QVERIFY(result.ReadAgain >= 5);
    QVERIFY2(DumpResultText(result).contains(
                 QStringLiteral("%1 blocks read again").arg(result.ReadAgain)),
             qPrintable(DumpResultText(result)));
    QVERIFY(LogText(line.Port).contains("Read again at 02"));
    QVERIFY(LogText(line.Port).contains("reply lost"));
    // No read waited out the block time-out, and none asked after the handbox.
    QVERIFY(!LogText(line.Port).contains("Action Timed out"));
    QVERIFY(link_.Ui.Texts().isEmpty());
    QCOMPARE(link_.Restarts, 0);
    QTRY_VERIFY(!line.Host().Engine().InDownloadMode());
}

void TestDumpFaults::LateReplyIsNeverTakenForTheNextPiece_data() {
    QTest::addColumn<int>("lateMs");
    // Past the bound of a first try (some 50 ms here): late bytes that come
    // while the dump waits for the line to fall quiet, and a reply so late
    // that the piece read again takes it and its own reply follows.
    QTest::newRow("late by 75 ms") << 75;
    QTest::newRow("late by 150 ms") << 150;
    QTest::newRow("late by 600 ms") << 600;
}

void TestDumpFaults::LateReplyIsNeverTakenForTheNextPiece() {
    QFETCH(int, lateMs);
    PeerLine line;
    line.Port.SetBaud(115200);
    QByteArray expected;
    for (int block = 0x80; block <= 0xFF; ++block) {
        for (const int low : {0x00, 0x80}) {
            // Every half-block its own bytes: a reply taken for another shows.
            QByteArray bytes(128, char(block));
            bytes[0] = char(low);
            const QByteArray command = BlockRead(2, block, low, 128);
            const bool late = block == 0x90 && low == 0x80;
            line.Peer.Answer(command, bytes, late ? lateMs : 0);
            if (late)
                line.Peer.Answer(command, bytes);
            expected += bytes;
        }
    }
    line.Peer.Answer(QByteArray(1, '\x06'), "D");
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497Dnld;
    LinkState.InDownloadMode = true;
    LinkState.ScopeFound = true;
    RecordingFace face;
    const TDumpResult result = RunDump(line.Port, {}, 1, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
    QVERIFY(FileBytes(file_) == expected);
}

void TestDumpFaults::GarbledBlocksAreCaughtOnlyWithVerify() {
    for (const bool verify : {false, true}) {
        SimLine line(InDownloadMode(), With(&LineOptions::GarbageEvery, 50));
        QVERIFY(StartFoundInDownloadMode(line));
        RecordingFace face;
        TDumpOptions options;
        options.Verify = verify;
        const TDumpResult result = Dump(line, options, face);
        QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
        const QByteArray page = MemoryBytes(line.Host().Engine().Memory(), 2, 0x8000, 0x8000);
        // A reply of the right length with wrong bytes passes unseen, unless
        // every block is read until two reads agree.
        QCOMPARE(FileBytes(file_) == page, verify);
        QCOMPARE(result.ReadAgain > 0, verify);
        QTRY_VERIFY(!line.Host().Engine().InDownloadMode());
    }
}

void TestDumpFaults::GoneHandboxEndsTheRunWithoutLookingElsewhere_data() {
    QTest::addColumn<LineOptions>("fault");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("why");
    QTest::addColumn<int>("timeouts");
    const QString silent = QStringLiteral("Scope no longer responding");
    QTest::newRow("hangs mid-page")
        << With(&LineOptions::HangAfter, 40) << qint64(20 * 256) << silent << 1;
    QTest::newRow("loopback cable") << With(&LineOptions::Echo, true) << qint64(0) << silent << 1;
    QTest::newRow("unplugged mid-page")
        << With(&LineOptions::VanishAfter, 40) << qint64(20 * 256)
        << QStringLiteral("Currently selected Port is no longer Available") << 0;
}

void TestDumpFaults::GoneHandboxEndsTheRunWithoutLookingElsewhere() {
    QFETCH(LineOptions, fault);
    QFETCH(qint64, bytes);
    QFETCH(QString, why);
    QFETCH(int, timeouts);
    SimLine line(InDownloadMode(), fault);
    QVERIFY(StartFoundInDownloadMode(line));
    RecordingFace face;
    TDumpOptions options;
    options.ToPage = 5;
    const TDumpResult result = Dump(line, options, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::PortLost));
    QCOMPARE(result.Error, why);
    VerifyFileIsAPrefixOfPage2(line, bytes);
    // No message, no reacquisition, no detection that could carry the run
    // on against another port: at most one time-out, then the handbox is asked.
    QVERIFY2(link_.Ui.Texts().isEmpty(), qPrintable(link_.Ui.Texts().join('|')));
    QCOMPARE(link_.Restarts, 0);
    QCOMPARE(LogText(line.Port).count("Action Timed out"), timeouts);
    QVERIFY(!LinkState.ScopeFound);
    QVERIFY(
        DumpResultText(result).contains(QStringLiteral("after %1 bytes (%2)").arg(bytes).arg(why)));
}

void TestDumpFaults::LostModeAnswersDoNotStrandTheHandbox() {
    SimLine line({}, With(&LineOptions::DropEvery, 2));
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    QCOMPARE(QueryMode(line.Port), QStringLiteral("Alt/AZ")); // the 1st answer; every 2nd is lost
    RecordingFace face;
    TDumpOptions options;
    options.ToPage = 1; // no page: into download mode and out, each answer "D" lost once
    const TDumpResult result = Dump(line, options, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
    QVERIFY(link_.Ui.Texts().isEmpty());
    QTRY_VERIFY(!line.Host().Engine().InDownloadMode());
    QVERIFY(!LinkState.InDownloadMode);
}

void TestDumpFaults::FileErrorStillLeavesDownloadMode() {
    SimLine line;
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    LinkState.ScopeFound = true;
    RecordingFace face;
    const TDumpResult result = RunDump(line.Port, {}, 1, QStringLiteral("/dev/full"), face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::FileError));
    QVERIFY2(DumpResultText(result).startsWith("Dump file error: No space left on device"),
             qPrintable(DumpResultText(result)));
    QCOMPARE(result.Bytes, 0);
    QTRY_VERIFY(!line.Host().Engine().InDownloadMode());
    QCOMPARE(line.Port.Baud(), 9600);
}

void TestDumpFaults::StopDuringALostReplyDoesNotWaitItOut() {
    Timing::SetTestScale(100); // the real ten seconds of a block's time-out
    SimLine line(InDownloadMode(), With(&LineOptions::HangAfter, 2));
    QVERIFY(StartFoundInDownloadMode(line));
    RecordingFace face;
    // The stop comes while the third half-block waits for a reply that will
    // never come, as Cancel or Ctrl-C would: the first replies of a run wait
    // their whole time-out, there being none before to judge them by.
    QTimer::singleShot(300, &line.Port, [&] {
        face.Cancel();
        AbortExchange(line.Port);
    });
    const TDumpResult result = Dump(line, {}, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Cancelled));
    VerifyFileIsAPrefixOfPage2(line, 256); // the half-read block is not kept
    QVERIFY(LogText(line.Port).contains("Exchange stopped on request"));
    QVERIFY(!LogText(line.Port).contains("Action Timed out"));
    QVERIFY(DumpResultText(result).startsWith("Dump cancelled after 256 bytes"));
}

HEXVAC_TEST(TestDumpFaults);
#include "TestDumpFaults.moc"
