// The memory dump against a simulated handbox: the bytes land at the file
// offsets of their addresses, whatever the line or the user does meanwhile.

#include "tests/link/DumpTestSupport.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList BlockCommands(const TApdComPort& port) {
    QStringList commands;
    for (const QString& line : port.Log.BufferedLines())
        if (line.mid(20, 5) == QLatin1String("Write") && line.mid(30).startsWith('R'))
            commands << line.mid(30);
    return commands;
}

} // namespace

class TestDumpRun : public QObject {
    Q_OBJECT
private slots:
    void init() {
        link_.Begin(10);
        QFile::remove(file_);
    }
    void cleanup() { link_.End(); }
    void DownloadModePagesLandAtTheirAddresses_data();
    void DownloadModePagesLandAtTheirAddresses();
    void PeekModeReadsWordsHighByteFirst_data();
    void PeekModeReadsWordsHighByteFirst();
    void CancelKeepsWhatWasReadAndLeavesDownloadMode();
    void HandboxThatWillNotEnterDownloadModeLeavesAnEmptyFile();
    void FileThatCannotBeCreatedSendsNothing();
    void DefaultFileNames();

private:
    LinkFixture link_;
    QTemporaryDir dir_;
    const QString file_ = dir_.filePath(QStringLiteral("dump.bin"));
};

void TestDumpRun::DownloadModePagesLandAtTheirAddresses_data() {
    QTest::addColumn<HandboxModel>("model");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("includeLow");
    QTest::addColumn<bool>("lowOnly");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("497 page 2") << HandboxModel::Autostar497 << int(htAutostar497) << false << false
                                << QStringList{"PG:02"};
    QTest::newRow("with low memory") << HandboxModel::Autostar497 << int(htAutostar497) << true
                                     << false << QStringList{"Doing LowRam", "PG:02"};
    QTest::newRow("low memory only") << HandboxModel::Autostar497 << int(htAutostar497) << true
                                     << true << QStringList{"Doing LowRam"};
    QTest::newRow("mkII whole page") << HandboxModel::Autostar497Mk2 << int(htAutostar497mkII)
                                     << false << false << QStringList{"PG:02"};
}

void TestDumpRun::DownloadModePagesLandAtTheirAddresses() {
    QFETCH(HandboxModel, model);
    QFETCH(int, kind);
    QFETCH(bool, includeLow);
    QFETCH(bool, lowOnly);
    QFETCH(QStringList, labels);
    SimLine line(With(&HandboxSettings::Model, model));
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = std::uint8_t(kind);
    RecordingFace face;
    TDumpOptions options;
    options.IncludeLow = includeLow;
    options.LowOnly = lowOnly;
    options.ToPage = lowOnly ? 0 : 2; // "Only" reads page From whatever "to" says
    const TDumpResult result = LoggedDump(line, options, 1, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));

    const HandboxMemory& memory = line.Host().Engine().Memory();
    QByteArray expected;
    if (includeLow || kind == htAutostar497mkII)
        expected += MemoryBytes(memory, 2, 0x0000, 0x8000);
    if (!lowOnly)
        expected += MemoryBytes(memory, 2, 0x8000, 0x8000);
    QCOMPARE(FileBytes(file_).size(), expected.size());
    QVERIFY(FileBytes(file_) == expected);
    QCOMPARE(result.Bytes, qint64(expected.size()));
    QCOMPARE(face.Labels, labels);

    const QStringList commands = BlockCommands(line.Port);
    QCOMPARE(commands.size(), expected.size() / 128);
    if (!includeLow && kind == htAutostar497) {
        QCOMPARE(commands.mid(0, 2), QStringList({"R[02][80][00][80]", "R[02][80][80][80]"}));
        QCOMPARE(commands.mid(254), QStringList({"R[02][FF][00][80]", "R[02][FF][80][80]"}));
    }
    // Download mode is left, and the port is back at 9600 baud.
    QTRY_VERIFY(!line.Host()
                     .Engine()
                     .InDownloadMode()); // "I" reaches the simulator's thread a moment later
    QCOMPARE(line.Port.Baud(), 9600);
}

void TestDumpRun::PeekModeReadsWordsHighByteFirst_data() {
    QTest::addColumn<int>("dropEvery");
    QTest::newRow("clean line") << 0;
    QTest::newRow("every 5000th reply lost") << 5000;
}

void TestDumpRun::PeekModeReadsWordsHighByteFirst() {
    QFETCH(int, dropEvery);
    // At 115200: 16384 exchanges, each with its command's line time.
    SimLine line(With(&HandboxSettings::Baud, 115200), With(&LineOptions::DropEvery, dropEvery));
    line.Port.SetBaud(115200);
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    LinkState.PeekOK = true;
    RecordingFace face;
    // 16384 peeks of 28000-2FFFE: every word in its place proves the addresses.
    const TDumpResult result = LoggedDump(line, {}, 2, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
    QVERIFY(FileBytes(file_) == MemoryBytes(line.Host().Engine().Memory(), 2, 0x8000, 0x8000));
    QCOMPARE(link_.Restarts, 0);
    if (dropEvery == 0)
        return;
    // A lost word is read again, and the result says how often.
    QVERIFY(result.ReadAgain >= 3);
    QVERIFY(DumpResultText(result).endsWith(
        QStringLiteral("%1 words read again").arg(result.ReadAgain)));
}

void TestDumpRun::CancelKeepsWhatWasReadAndLeavesDownloadMode() {
    SimLine line;
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    RecordingFace face;
    face.CancelAt = [](qint64 written) {
        return written >= 0x8000 + 10 * 256;
    };
    TDumpOptions options;
    options.ToPage = 5;
    const TDumpResult result = LoggedDump(line, options, 1, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Cancelled));
    const HandboxMemory& memory = line.Host().Engine().Memory();
    const QByteArray bytes = FileBytes(file_);
    QCOMPARE(bytes.size(), 0x8000 + 10 * 256);
    QVERIFY(bytes ==
            MemoryBytes(memory, 2, 0x8000, 0x8000) + MemoryBytes(memory, 3, 0x8000, 10 * 256));
    QTRY_VERIFY(!line.Host().Engine().InDownloadMode()); // "I" was still sent
}

void TestDumpRun::HandboxThatWillNotEnterDownloadModeLeavesAnEmptyFile() {
    PeerLine line;
    line.Peer.Answer(QByteArray(1, '\x06'), "A");
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    RecordingFace face;
    const TDumpResult result = RunDump(line.Port, {}, 1, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::NoDownloadMode));
    QCOMPARE(link_.Ui.Texts(), QStringList({"Couldnt go into download mode"}));
    QVERIFY(QFile::exists(file_));
    QCOMPARE(FileBytes(file_).size(), 0);
    QVERIFY(!line.Peer.Received().contains('R'));
    QVERIFY(!line.Peer.Received().contains('I'));
}

void TestDumpRun::FileThatCannotBeCreatedSendsNothing() {
    PeerLine line;
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    RecordingFace face;
    const TDumpResult result =
        RunDump(line.Port, {}, 1, dir_.filePath("no/such/folder/x.bin"), face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::FileError));
    QVERIFY(!result.Error.isEmpty());
    QTest::qWait(50);
    QVERIFY(line.Peer.Received().isEmpty());
}

void TestDumpRun::DefaultFileNames() {
    TDumpOptions options;
    options.ToPage = 0x1F;
    QCOMPARE(DefaultDumpFileName(htAutostar497, options), QStringLiteral("497Dump x02tox1F.bin"));
    options.IncludeLow = true;
    QCOMPARE(DefaultDumpFileName(htAutostar497Dnld, options),
             QStringLiteral("497Dump LowRamandx02tox1F.bin"));
    options.LowOnly = true;
    QCOMPARE(DefaultDumpFileName(htAutostar497, options), QStringLiteral("497Dump LowRAMOnly.bin"));
    options = {0, 0x6F, false, false};
    QCOMPARE(DefaultDumpFileName(htLX200GPS, options), QStringLiteral("GPSDump x00tox6F.bin"));
    QCOMPARE(DefaultDumpFileName(htLX2001Dnld, options), QStringLiteral("ASII??Dump x00tox6F.bin"));
    QCOMPARE(DefaultDumpFileName(htMkIIDnld, options), QStringLiteral("497mkIIDump x00tox6F.bin"));
    QCOMPARE(DefaultDumpFileName(htRCX400, options), QStringLiteral("RCXDump x00tox6F.bin"));
    QCOMPARE(DefaultDumpFileName(htGermanMount, options), QString());
}

HEXVAC_TEST(TestDumpRun);
#include "TestDumpRun.moc"
