// The port's in-memory traffic log: its states, its bounded buffer and the
// log file it appends to.

#include "tests/serial/LogTestSupport.h"
#include "tests/support/TestRegistry.h"

#include <QTest>
#include <cstdio>

class TestLogBuffer : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(log_.Fresh()); }
    void StatesDecideWhatIsRecordedAndWhatIsFree();
    void FullBufferDropsOldestEntriesAndStaysWithinItsSize();
    void EntryDataDecodesBackToEveryByte();
    void TimeColumnIsPrintfsSecondsWrappedAt100000();
    void AppendWritesAHeaderPerBatchAndKeepsEntriesWhenItFails();

private:
    LogFolder log_;
};

void TestLogBuffer::StatesDecideWhatIsRecordedAndWhatIsFree() {
    TComLog log;
    QCOMPARE(log.FreeSpace(), 0);
    log.AddStringToLog(QStringLiteral("not recorded"));
    log.SetLogging(tlClear); // no effect when off
    QCOMPARE(log.Logging(), tlOff);

    log.SetLogging(tlOn);
    QCOMPARE(log.FreeSpace(), 200000);
    log.AddStringToLog(QStringLiteral("Action Timed out "));
    const QStringList one = log.BufferedLines();
    QCOMPARE(one.size(), 1);
    // Free space counts the bytes the line takes in the file, its line end too.
    QCOMPARE(log.FreeSpace(), 200000 - int(one[0].size()) - 1);

    log.SetLogging(tlPause);
    log.AddEntry(TLogEntry::Write, "#:GVP#");
    log.SetLogging(tlOn); // resumes with the entries kept
    log.SetLogging(tlOn); // already on: nothing is lost either
    QCOMPARE(log.BufferedLines(), one);

    log.SetLogging(tlPause);
    log.SetLogging(tlClear);
    QCOMPARE(log.Logging(), tlPause);
    QCOMPARE(log.FreeSpace(), 200000);
    log.SetLogging(tlOn);
    log.AddEntry(TLogEntry::Read, "A");
    log.SetLogging(tlOff);
    QCOMPARE(log.FreeSpace(), 0);
    log.SetLogging(tlOn);
    QVERIFY(log.BufferedLines().isEmpty());
}

void TestLogBuffer::FullBufferDropsOldestEntriesAndStaysWithinItsSize() {
    TComLog log;
    log.LogSize = 400;
    log.SetLogging(tlOn);
    for (int i = 0; i < 100; ++i)
        log.AddStringToLog(QString::number(i));
    const QStringList lines = log.BufferedLines();
    qsizetype used = 0;
    for (const QString& line : lines)
        used += line.size() + 1;
    QCOMPARE(log.FreeSpace(), 400 - int(used));
    QVERIFY(log.FreeSpace() >= 0);
    // The newest entries are kept, in order and without a gap.
    QCOMPARE(DataOf(lines.last()), QByteArray("99"));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QCOMPARE(DataOf(lines[i]).toInt(), DataOf(lines[i - 1]).toInt() + 1);

    // An entry larger than the whole buffer keeps its start, cut between
    // bracketed bytes rather than through one.
    log.AddEntry(TLogEntry::Read, QByteArray(1000, '\x06'));
    const QStringList big = log.BufferedLines();
    QCOMPARE(big.size(), 1);
    QVERIFY(big[0].size() < 400);
    QCOMPARE(DataOf(big[0]), QByteArray((big[0].size() - 30) / 4, '\x06'));

    // A buffer too small for even one line records nothing.
    log.LogSize = 20;
    log.AddStringToLog(QStringLiteral("x"));
    QVERIFY(log.BufferedLines().isEmpty());
}

void TestLogBuffer::EntryDataDecodesBackToEveryByte() {
    TComLog log;
    log.SetLogging(tlOn);
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every += char(b);
    log.AddEntry(TLogEntry::Read, every);
    log.AddEntry(TLogEntry::Read, "\x06");
    log.AddStringToLog(QStringLiteral("on COM201"));
    log.AddEntry(TLogEntry::Write, "[20]"); // a literal "[20]" is not a blank
    const QStringList lines = log.BufferedLines();
    QCOMPARE(DataOf(lines[0]), every);
    QCOMPARE(lines[1].mid(30), QStringLiteral("[06]"));
    QCOMPARE(lines[2].mid(30), QStringLiteral("on[20]COM201"));
    QCOMPARE(lines[3].mid(30), QStringLiteral("[5B]20]"));
    const auto columns = [&](int i) {
        return lines[i].mid(9, 21);
    };
    QCOMPARE(columns(1), u' ' + TLogLayout::Columns(TLogEntry::Read));
    QCOMPARE(columns(2), u' ' + TLogLayout::Columns(TLogEntry::UserString));
    QCOMPARE(columns(3), u' ' + TLogLayout::Columns(TLogEntry::Write));
    QCOMPARE(TLogLayout::Columns(TLogEntry::TriggerChange), QStringLiteral("TrDatChg  Change    "));
}

void TestLogBuffer::TimeColumnIsPrintfsSecondsWrappedAt100000() {
    for (const qint64 ms : {0LL, 7LL, 28LL, 999LL, 1000LL, 12345LL, 99999999LL, 100000000LL,
                            100000001LL, 123456789LL, 4102444800123LL}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%9.3f", double(ms % 100000000) / 1000.0);
        QCOMPARE(TLogLayout::Time(ms), QString::fromLatin1(expected));
    }
}

void TestLogBuffer::AppendWritesAHeaderPerBatchAndKeepsEntriesWhenItFails() {
    TComLog log;
    log.LogName = log_.LogName;
    log.PortName = QStringLiteral("COM201");
    log.SetLogging(tlOn);
    log.SetLogging(tlAppend); // nothing recorded: no file, not even a header
    QVERIFY(!QFile::exists(log_.LogName));

    for (const char* text : {"first", "second"}) {
        log.SetLogging(tlOn);
        log.AddStringToLog(QString::fromLatin1(text));
        log.SetLogging(tlAppend);
        QCOMPARE(log.Logging(), tlOff);
    }
    const QStringList lines = FileLines(log_.LogName);
    QCOMPARE(lines.size(), 2 * (TLogLayout::HeaderLines + 1));
    QCOMPARE(lines[1], QStringLiteral("Comport: COM201"));
    QCOMPARE(lines[5], QStringLiteral("Time (s)  Type      SubType   Data"));
    QCOMPARE(DataOf(lines[15]), QByteArray("second"));
    // Header lines and entry lines are told apart by their first character.
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(QStringLiteral("-ACDOT").contains(lines[i].front()), i % 8 != 7);

    log.LogName = log_.Dir.filePath(QStringLiteral("missing/Hexvac42.LOG"));
    log.SetLogging(tlOn);
    log.AddStringToLog(QStringLiteral("keep me"));
    const QStringList before = log.BufferedLines();
    QVERIFY_THROWS_EXCEPTION(ELogError, log.SetLogging(tlAppend));
    QCOMPARE(log.Logging(), tlOn);
    QCOMPARE(log.BufferedLines(), before);
}

HEXVAC_TEST(TestLogBuffer);
#include "TestLogBuffer.moc"
