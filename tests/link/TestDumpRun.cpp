// The memory dump against a simulated handbox: the bytes land at the file
// offsets of their addresses, whatever the line or the user does meanwhile.

#include "common/StdFuncsMisc.h"
#include "link/DumpManifest.h"
#include "link/DumpResume.h"
#include "tests/link/DumpTestSupport.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    void InterruptedDumpIsContinuedWhereItStopped();
    void ManifestWhosePartsDisagreeIsNotTaken_data();
    void ManifestWhosePartsDisagreeIsNotTaken();
    void HandboxThatWillNotEnterDownloadModeLeavesAnEmptyFile();
    void FileThatCannotBeCreatedSendsNothing_data();
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
    // The manifest beside it says what it holds, with the file's own hash.
    TDumpManifest manifest;
    QString error;
    QVERIFY2(ReadDumpManifest(file_, manifest, error), qPrintable(error));
    QCOMPARE(OutcomeWord(manifest.Outcome), QStringLiteral("complete"));
    QCOMPARE(manifest.Bytes, qint64(expected.size()));
    QCOMPARE(manifest.ExpectedBytes, qint64(expected.size()));
    QCOMPARE(manifest.Sha256,
             QCryptographicHash::hash(expected, QCryptographicHash::Sha256).toHex());

    const QStringList commands = BlockCommands(line.Port);
    QCOMPARE(commands.size(), expected.size() / 128);
    if (!includeLow && kind == htAutostar497) {
        QCOMPARE(commands.mid(0, 2), QStringList({"R[02][80][00][80]", "R[02][80][80][80]"}));
        QCOMPARE(commands.mid(254), QStringList({"R[02][FF][00][80]", "R[02][FF][80][80]"}));
    }
    // Where a continued dump finds each byte: the address read for its offset.
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const qint64 address = DumpAddressAt(options, std::uint8_t(kind), 1, i * 128);
        QCOMPARE(DecodeHexEscapes(commands[i].toLatin1()),
                 BlockRead(int(address >> 16), (address >> 8) & 0xFF, address & 0xFF, 128));
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

void TestDumpRun::InterruptedDumpIsContinuedWhereItStopped() {
    SimLine line;
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    LinkState.ProductName = QStringLiteral("Autostar");
    LinkState.FirmwareDate = EncodeDate(2006, 9, 18);
    RecordingFace stopped;
    stopped.CancelAt = [](qint64 written) {
        return written >= qint64(10) * 256;
    };
    TDumpOptions options;
    options.ToPage = 3;
    QCOMPARE(int(LoggedDump(line, options, 1, file_, stopped).Outcome),
             int(TDumpOutcome::Cancelled));

    // What the window asks about: this handbox's unfinished dump of this
    // range, and nothing else.
    QString why;
    QVERIFY2(ResumableDump(file_, options, &why), qPrintable(why));
    TDumpOptions otherRange = options;
    otherRange.ToPage = 4;
    QVERIFY(!ResumableDump(file_, otherRange, &why));
    QVERIFY2(why.startsWith("it holds another range"), qPrintable(why));
    LinkState.FirmwareDate += 1;
    QVERIFY(!ResumableDump(file_, options, &why));
    QVERIFY2(why.contains("its firmware is of 2006-09-18, this one's of 2006-09-19"),
             qPrintable(why));
    LinkState.FirmwareDate -= 1;
    // Offered after a cancel, a killed run or zero-filled pieces; not after
    // the handbox or the file was lost, not once complete, not without its file.
    TDumpManifest manifest;
    QString error;
    QVERIFY(ReadDumpManifest(file_, manifest, error));
    const struct {
        TDumpOutcome Outcome;
        bool Ended, Offered;
    } endings[] = {{TDumpOutcome::Incomplete, false, true}, {TDumpOutcome::Incomplete, true, true},
                   {TDumpOutcome::PortLost, true, false},   {TDumpOutcome::FileError, true, false},
                   {TDumpOutcome::Complete, true, false},   {TDumpOutcome::Cancelled, true, true}};
    for (const auto& ending : endings) {
        TDumpManifest ended = manifest;
        ended.Outcome = ending.Outcome;
        ended.Ended = ending.Ended;
        QVERIFY(WriteDumpManifest(file_, ended, error));
        QCOMPARE(bool(ResumableDump(file_, options, &why)), ending.Offered);
    }
    QVERIFY(QFile::rename(file_, file_ + ".moved"));
    QVERIFY(!ResumableDump(file_, options));
    QVERIFY(QFile::rename(file_ + ".moved", file_));

    // A piece the interrupted run had to fill with zeros is read again.
    manifest.ZeroFilled << TDumpPiece{256, 0x28100, 128};
    {
        QFile file(file_);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(256));
        file.write(QByteArray(128, DumpFillByte));
    }
    QVERIFY(WriteDumpManifest(file_, manifest, error));

    const qsizetype before = BlockCommands(line.Port).size();
    RecordingFace face;
    const TDumpResult result = ResumeDump(line.Port, file_, face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::Complete));
    const HandboxMemory& memory = line.Host().Engine().Memory();
    QVERIFY(FileBytes(file_) ==
            MemoryBytes(memory, 2, 0x8000, 0x8000) + MemoryBytes(memory, 3, 0x8000, 0x8000));
    // The last whole block compared, the zero-filled piece, then on from
    // the first byte not in the file.
    QCOMPARE(BlockCommands(line.Port).mid(before, 4),
             QStringList({"R[02][89][00][80]", "R[02][89][80][80]", "R[02][81][00][80]",
                          "R[02][8A][00][80]"}));
    QCOMPARE(BlockCommands(line.Port).size() - before, 3 + (0x10000 - 10 * 256) / 128);
    // The manifest reads as if the dump had run in one go.
    QVERIFY(ReadDumpManifest(file_, manifest, error));
    QCOMPARE(OutcomeWord(manifest.Outcome), QStringLiteral("complete"));
    QCOMPARE(manifest.Summary, QStringLiteral("Dump complete: 65536 bytes"));
    QVERIFY(manifest.ZeroFilled.isEmpty());
    QCOMPARE(manifest.Resumes.size(), 1);
    QCOMPARE(manifest.Resumes.first().FromByte, 10 * 256);
    QCOMPARE(manifest.Sha256,
             QCryptographicHash::hash(FileBytes(file_), QCryptographicHash::Sha256).toHex());
    QTRY_VERIFY(!line.Host().Engine().InDownloadMode());
}

void TestDumpRun::ManifestWhosePartsDisagreeIsNotTaken_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("taken");
    const auto piece = [](const char* Address, int Offset) {
        return QJsonValue(
            QJsonArray{QJsonObject{{"address", Address}, {"offset", Offset}, {"bytes", 128}}});
    };
    QTest::newRow("as written") << "format" << QJsonValue("hexvac dump manifest 1") << true;
    // A continued dump keeps the file up to the size and writes a piece read
    // again at its offset: neither may cut the file short or misplace a block.
    QTest::newRow("size short of its range") << "expectedBytes" << QJsonValue(512) << false;
    QTest::newRow("range backwards") << "toPage" << QJsonValue("01") << false;
    QTest::newRow("more bytes than the range") << "bytes" << QJsonValue(70000) << false;
    QTest::newRow("piece size of the other mode") << "pieceBytes" << QJsonValue(2) << false;
    QTest::newRow("piece at its address") << "zeroFilled" << piece("28180", 384) << true;
    QTest::newRow("piece not at its address") << "zeroFilled" << piece("28100", 384) << false;
    QTest::newRow("piece past the end") << "zeroFilled" << piece("38000", 65536) << false;
    QTest::newRow("not a hash") << "sha256" << QJsonValue("abc") << false;
}

void TestDumpRun::ManifestWhosePartsDisagreeIsNotTaken() {
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(bool, taken);
    {
        QFile file(file_);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1024, 'x')) == 1024);
    }
    TDumpManifest manifest;
    manifest.Kind = htAutostar497;
    manifest.Options.ToPage = 3;
    manifest.ExpectedBytes = 0x10000;
    manifest.ZeroFilled << TDumpPiece{256, 0x28100, 128};
    QString error;
    QVERIFY(WriteDumpManifest(file_, manifest, error));
    QFile json(ManifestFileName(file_));
    QVERIFY(json.open(QIODevice::ReadWrite));
    QJsonObject o = QJsonDocument::fromJson(json.readAll()).object();
    o.insert(key, value);
    QVERIFY(json.resize(0) && json.write(QJsonDocument(o).toJson()) > 0);
    json.close();
    QCOMPARE(ReadDumpManifest(file_, manifest, error), taken);
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

void TestDumpRun::FileThatCannotBeCreatedSendsNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("why");
    QTest::newRow("no such folder") << "no/such/folder/x.bin"
                                    << "No such file or directory";
    // A folder stands where the manifest goes: a dump that could be neither
    // checked nor continued is a file error.
    QTest::newRow("manifest cannot be written") << "blocked.bin"
                                                << "blocked.bin.json";
}

void TestDumpRun::FileThatCannotBeCreatedSendsNothing() {
    QFETCH(QString, name);
    QFETCH(QString, why);
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("blocked.bin.json")));
    PeerLine line;
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    RecordingFace face;
    const TDumpResult result = RunDump(line.Port, {}, 1, dir_.filePath(name), face);
    QCOMPARE(int(result.Outcome), int(TDumpOutcome::FileError));
    QVERIFY2(DumpResultText(result).contains(why), qPrintable(DumpResultText(result)));
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
