// The simulated handbox's protocol engine, driven byte by byte as the line
// would drive it: every command of the peer table for every model, and the
// awkward parts (split commands, the "-0" word, out-of-window pokes, the baud
// change answered at the old rate, both kinds of parked handbox, busy NAKs).

#include "common/TestBauds.h"
#include "sim/Engine.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/TestRegistry.h"

#include <QRegularExpression>
#include <QTest>

namespace {

QByteArray Send(HandboxEngine& Engine, std::string_view Bytes) {
    return QByteArray::fromStdString(Engine.Receive(Bytes));
}

QByteArray Bytes(std::initializer_list<int> Values) {
    QByteArray out;
    for (int v : Values)
        out += static_cast<char>(v);
    return out;
}

std::string Str(const QByteArray& Bytes) {
    return Bytes.toStdString();
}

HandboxSettings SettingsFor(HandboxModel Model) {
    return With(&HandboxSettings::Model, Model);
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void AnswersThePeerTableForEveryModel_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QByteArray>("product");
        QTest::addColumn<char>("mode");
        QTest::addColumn<int>("code");
        for (const ModelInfo& info : AllModels())
            QTest::newRow(std::string(info.OptionName).c_str())
                << static_cast<int>(info.Model)
                << QByteArray(info.ProductName.data(), info.ProductName.size()) << info.ModeLetter
                << static_cast<int>(info.DownloadCode);
    }

    void AnswersThePeerTableForEveryModel() {
        QFETCH(int, model);
        QFETCH(QByteArray, product);
        QFETCH(char, mode);
        QFETCH(int, code);
        HandboxEngine engine(SettingsFor(static_cast<HandboxModel>(model)));

        QCOMPARE(Send(engine, "\x06"), QByteArray(1, mode));
        QCOMPARE(Send(engine, ":GVP#"), product + "#");
        const QByteArray date = Send(engine, ":GVD#");
        // "Mmm dd yyyy#": three letters, blank, two digits, blank, four digits.
        QVERIFY2(QRegularExpression("^[A-Z][a-z]{2} \\d\\d \\d{4}#$").match(date).hasMatch(),
                 date.constData());
        QCOMPARE(Send(engine, "#"), QByteArray());
        QCOMPARE(Send(engine, "#:ED#"), QByteArray()); // not parked: no answer at all
        QCOMPARE(Send(engine, "#:EC#"), QByteArray());

        QCOMPARE(Send(engine, "\x04"), QByteArray());
        QVERIFY(engine.InDownloadMode());
        QCOMPARE(Send(engine, "\x06"), QByteArray("D"));
        QCOMPARE(Send(engine, "T"), QByteArray(1, static_cast<char>(code)));
        QCOMPARE(Send(engine, "I"), QByteArray());
        QVERIFY(!engine.InDownloadMode());
        QCOMPARE(Send(engine, "\x06"), QByteArray(1, mode));
    }

    void ModelWordsAreTheOnesTheProgramIdentifiesBy() {
        // Codes as the program's table reads them, and the product names it
        // classifies: a known code for every model but the RCX400 and 1697.
        const auto code = [](HandboxModel m) {
            return InfoOf(m).DownloadCode;
        };
        QCOMPARE(code(HandboxModel::Autostar494), 7);
        QCOMPARE(code(HandboxModel::Autostar495), 10);
        QCOMPARE(code(HandboxModel::Lx200Gps), 14);
        QCOMPARE(code(HandboxModel::Autostar497), 15);
        QCOMPARE(code(HandboxModel::Autostar497Mk2), 31);
        for (int known : {7, 10, 14, 15, 31})
            QVERIFY(code(HandboxModel::Rcx400) != known);
        QVERIFY(InfoOf(HandboxModel::Autostar497).ProductName.starts_with("Auto"));
        QVERIFY(InfoOf(HandboxModel::Autostar497Mk2).DefaultDate.ends_with("2010"));
        QCOMPARE(InfoOf(HandboxModel::GermanMount1697).ModeLetter, 'G');
        QCOMPARE(FindModel("497mk2")->Model, HandboxModel::Autostar497Mk2);
        QVERIFY(FindModel("498") == nullptr);
    }

    void AnswersTheConfiguredFirmwareDate() {
        HandboxEngine engine(With(&HandboxSettings::FirmwareDate, "Jun 29 2004"));
        QCOMPARE(Send(engine, ":GVD#"), QByteArray("Jun 29 2004#"));
    }

    void TakesCommandsInAnySplit() {
        HandboxEngine engine(SettingsFor(HandboxModel::Lx200Gps));
        QCOMPARE(Send(engine, ":G"), QByteArray());
        QCOMPARE(Send(engine, "VP"), QByteArray());
        QCOMPARE(Send(engine, "#"), QByteArray("LX2001#"));
        QCOMPARE(Send(engine, ":GVP#:GVD#\x06:EP33554528#"),
                 QByteArray("LX2001#Oct 21 2005#Ax3730#"));

        // One byte at a time gives the same, one reply per finished command.
        HandboxEngine bytewise(SettingsFor(HandboxModel::Lx200Gps));
        QByteArray joined;
        int replies = 0;
        for (char c : std::string_view(":GVP#:GVD#\x06:EP33554528#"))
            if (auto reply = bytewise.ReceiveByte(static_cast<std::uint8_t>(c))) {
                joined += QByteArray::fromStdString(reply->Bytes);
                ++replies;
            }
        QCOMPARE(joined, QByteArray("LX2001#Oct 21 2005#Ax3730#"));
        QCOMPARE(replies, 4);
    }

    void HashAndColonResetTheCommandInput() {
        HandboxEngine engine(SettingsFor(HandboxModel::Autostar497));
        QCOMPARE(Send(engine, ":GV#"), QByteArray()); // unknown: ignored
        QCOMPARE(Send(engine, ":GV"), QByteArray());
        QCOMPARE(Send(engine, "#:GVP#"), QByteArray("Autostar#"));
        QCOMPARE(Send(engine, ":GVD:GVP#"), QByteArray("Autostar#")); // ":" restarts
        QCOMPARE(Send(engine, "noise GVP#"), QByteArray());           // no ":" no command
        // An over-long command is dropped whole, not cut into a valid one.
        QCOMPARE(Send(engine, ":EP" + std::string(200, '1') + "#"), QByteArray());
        QCOMPARE(Send(engine, ":GVP#"), QByteArray("Autostar#"));
        // The ACK is answered even in the middle of a command, which survives.
        QCOMPARE(Send(engine, ":GV\x06P#"), QByteArray("AAutostar#"));
    }

    void BlockReadsReturnTheImageExactly() {
        HandboxEngine engine(SettingsFor(HandboxModel::Autostar497));
        const HandboxMemory& memory = engine.Memory();
        Send(engine, "\x04");
        const auto read = [&](int page, int hi, int lo, int count) {
            return Send(engine, Str(BlockRead(page, hi, lo, count)));
        };
        // The dump's first and last pair of page 2, and page 3 right after.
        QCOMPARE(read(2, 0x80, 0x00, 0x80), MemoryBytes(memory, 2, 0x8000, 128));
        QCOMPARE(read(2, 0x80, 0x80, 0x80), MemoryBytes(memory, 2, 0x8080, 128));
        QCOMPARE(read(2, 0xFF, 0x80, 0x80), MemoryBytes(memory, 2, 0xFF80, 128));
        QCOMPARE(read(3, 0x80, 0x00, 0x80), MemoryBytes(memory, 3, 0x8000, 128));
        QVERIFY(read(2, 0x80, 0x00, 0x80) != read(3, 0x80, 0x00, 0x80));
        // The low half is the same whatever page names it.
        QCOMPARE(read(0x7F, 0x00, 0x00, 0x80), read(0, 0x00, 0x00, 0x80));
        QCOMPARE(read(5, 0x7F, 0x80, 0x80), MemoryBytes(memory, 0, 0x7F80, 128));
        // Crossing from the shared half into the bank, and wrapping the page.
        QCOMPARE(read(9, 0x7F, 0xC0, 0x80), MemoryBytes(memory, 9, 0x7FC0, 128));
        QCOMPARE(read(9, 0xFF, 0xF0, 0x20), MemoryBytes(memory, 9, 0xFFF0, 32));
        // Exactly count bytes, whatever the count; pages past 7F read FF.
        QCOMPARE(read(1, 0x90, 0x00, 0).size(), 0);
        QCOMPARE(read(1, 0x90, 0x00, 255), MemoryBytes(memory, 1, 0x9000, 255));
        QCOMPARE(read(0x80, 0x90, 0x00, 4), QByteArray(4, '\xFF'));
        // The bytes are the seed's pattern, not whatever the engine holds.
        QCOMPARE(static_cast<std::uint8_t>(read(0x21, 0xA0, 0x10, 1)[0]),
                 HandboxMemory::PatternByte(1, 0x21A010));
    }

    void BlockReadMaySplitAcrossReads() {
        HandboxEngine engine(SettingsFor(HandboxModel::Autostar497Mk2));
        Send(engine, "\x04");
        QCOMPARE(Send(engine, Str(Bytes({'R', 4}))), QByteArray());
        QCOMPARE(Send(engine, Str(Bytes({0xC0, 0x00}))), QByteArray());
        QCOMPARE(Send(engine, Str(Bytes({0x80, 'T'}))),
                 MemoryBytes(engine.Memory(), 4, 0xC000, 128) + Bytes({31}));
    }

    void DownloadModeOnlyKnowsItsOwnCommands() {
        HandboxEngine engine(SettingsFor(HandboxModel::Autostar497));
        Send(engine, "\x04");
        QCOMPARE(Send(engine, ":GVP#"), QByteArray());
        QCOMPARE(Send(engine, "#\x04"), QByteArray());
        QVERIFY(engine.InDownloadMode());
        QCOMPARE(Send(engine, "\x06"), QByteArray("D"));
    }

    void PeekAnswersBothFormsAndTheMinusZeroQuirk() {
        HandboxEngine engine(SettingsFor(HandboxModel::Autostar497));
        QCOMPARE(Send(engine, ":EP33554496#"), QByteArray("x3C37#"));
        QCOMPARE(Send(engine, ":EP64#"), QByteArray("15415#"));

        HandboxMemory& memory = engine.Memory();
        const auto put = [&](std::uint32_t address, std::uint16_t word) {
            memory.SetFull(address, static_cast<std::uint8_t>(word >> 8));
            memory.SetFull(address + 1, static_cast<std::uint8_t>(word));
        };
        put(0x28000, 0x8000); // page 2, the banked half
        QCOMPARE(Send(engine, ":EP163840#"), QByteArray("-0#"));
        QCOMPARE(Send(engine, ":EP33718272#"), QByteArray("x8000#"));
        put(0x28002, 0xFFFB);
        QCOMPARE(Send(engine, ":EP163842#"), QByteArray("-5#"));
        put(0x28004, 0x8001);
        QCOMPARE(Send(engine, ":EP163844#"), QByteArray("-32767#"));
        put(0x28006, 0x7FFF);
        QCOMPARE(Send(engine, ":EP163846#"), QByteArray("32767#"));
        put(0x28008, 0x00FF);
        QCOMPARE(Send(engine, ":EP33718280#"), QByteArray("x00FF#"));

        // No answer for what names no memory or no number.
        for (const char* bad : {":EP#", ":EP-1#", ":EP 64#", ":EP6x4#", ":EP8388608#",
                                ":EP41943040#", ":EP99999999999999999999#"})
            QVERIFY2(Send(engine, bad).isEmpty(), bad);
        QVERIFY(Send(engine, ":EP8388606#").endsWith('#')); // the last word still answers
    }

    void PeekFormsFollowTheFirmware() {
        HandboxSettings settings = SettingsFor(HandboxModel::Rcx400);
        settings.Peek = PeekSupport::NormalOnly;
        HandboxEngine normalOnly(settings);
        QCOMPARE(Send(normalOnly, ":EP33554528#"), QByteArray());
        QCOMPARE(Send(normalOnly, ":EP96#"), QByteArray("14128#"));

        settings.Peek = PeekSupport::None;
        HandboxEngine none(settings);
        QCOMPARE(Send(none, ":EP33554528#:EP96#"), QByteArray());
        QCOMPARE(Send(none, ":GVP#"), QByteArray("RCX400#"));
    }

    void PokeWritesInTheConfiguredForm() {
        HandboxSettings settings = SettingsFor(HandboxModel::Autostar497);
        HandboxEngine extended(settings);
        QCOMPARE(Send(extended, ":EN11931965#"), QByteArray("#")); // B611 := 3D
        QCOMPARE(extended.Memory().AtFull(0xB611), 0x3D);
        QCOMPARE(Send(extended, ":EN545321811#"), QByteArray("#")); // 2080F3 := 53
        QCOMPARE(extended.Memory().At(0x20, 0x80F3), 0x53);
        QCOMPARE(Send(extended, ":EN2147483648#"), QByteArray()); // past memory
        QCOMPARE(Send(extended, ":EN#"), QByteArray());

        settings.Poke = PokeSupport::Normal;
        HandboxEngine normal(settings);
        const std::uint8_t beforeB800 = normal.Memory().AtFull(0xB800);
        QCOMPARE(Send(normal, ":EN4413#"), QByteArray("#"));
        QCOMPARE(normal.Memory().AtFull(0xB611), 0x3D);
        QCOMPARE(Send(normal, ":EN4352#"), QByteArray("#"));
        QCOMPARE(normal.Memory().AtFull(0xB611), 0x00);
        QCOMPARE(Send(normal, ":EN0#"), QByteArray("#")); // B600, the first of the window
        QCOMPARE(normal.Memory().AtFull(0xB600), 0x00);
        QCOMPARE(Send(normal, ":EN131071#"), QByteArray("#")); // B7FF := FF, the last
        QCOMPARE(normal.Memory().AtFull(0xB7FF), 0xFF);
        // Out of the window: nothing written and no "#" claiming it was.
        QCOMPARE(Send(normal, ":EN131072#"), QByteArray());
        QCOMPARE(normal.Memory().AtFull(0xB800), beforeB800);
        QCOMPARE(Send(normal, ":EN11931965#"), QByteArray());
        QCOMPARE(normal.Memory().AtFull(0xB611), 0x00);

        settings.Poke = PokeSupport::None;
        HandboxEngine none(settings);
        const std::uint8_t before = none.Memory().AtFull(0xB611);
        QCOMPARE(Send(none, ":EN4413#:EN11931965#"), QByteArray());
        QCOMPARE(none.Memory().AtFull(0xB611), before);
    }

    void BaudChangeAnswersAtTheOldRateThenSwitches() {
        for (HandboxModel model : {HandboxModel::Lx200Gps, HandboxModel::Rcx400}) {
            HandboxEngine engine(SettingsFor(model));
            for (int index = 0; index < static_cast<int>(TestBauds.size()); ++index) {
                const int before = engine.Baud();
                std::optional<CommandReply> reply;
                for (char c : ":SB" + std::to_string(index) + "#")
                    reply = engine.ReceiveByte(static_cast<std::uint8_t>(c));
                QVERIFY(reply);
                QCOMPARE(QByteArray::fromStdString(reply->Bytes), QByteArray("1"));
                QCOMPARE(reply->Baud, before);
                QCOMPARE(engine.Baud(), TestBauds[index]);
            }
            for (const char* bad : {":SB10#", ":SB#", ":SBx#", ":SB-1#"}) {
                QVERIFY2(Send(engine, bad).isEmpty(), bad);
                QCOMPARE(engine.Baud(), 1200);
            }
            // Leaving download mode returns to 9600 whatever the rate was.
            Send(engine, "\x04I");
            QCOMPARE(engine.Baud(), 9600);
        }
        HandboxEngine autostar(SettingsFor(HandboxModel::Autostar497));
        QCOMPARE(Send(autostar, ":SB1#"), QByteArray());
        QCOMPARE(autostar.Baud(), 9600);
    }

    void ParkedShowsInEitherWay() {
        HandboxSettings settings = SettingsFor(HandboxModel::Lx200Gps);
        settings.Parked = ParkedStyle::AnswersAck;
        HandboxEngine ack(settings);
        QVERIFY(Send(ack, "\x06").toUpper().contains("PARK"));

        settings.Parked = ParkedStyle::AnswersProbe;
        HandboxEngine probe(settings);
        QCOMPARE(Send(probe, "\x06"), QByteArray());
        for (const char* command : {"#:ED#", "#:EC#"}) {
            const QByteArray reply = Send(probe, command);
            QVERIFY2(reply.contains("park") && reply.endsWith('#'), reply.constData());
        }
        // Parked or not, it still tells what it is.
        QCOMPARE(Send(probe, ":GVP#"), QByteArray("LX2001#"));
    }

    void Lx2001SignalsBusyOnlyInNormalMode() {
        HandboxSettings settings = SettingsFor(HandboxModel::Lx200Gps);
        settings.BusyEvery = 2;
        HandboxEngine engine(settings);
        // Busy: a lone NAK, and the command is not carried out.
        QCOMPARE(Send(engine, "\x06"), QByteArray("A"));
        QCOMPARE(Send(engine, ":GVP#"), QByteArray("\x15"));
        QCOMPARE(Send(engine, "#"), QByteArray()); // no command: not counted
        QCOMPARE(Send(engine, "\x06"), QByteArray("A"));
        QCOMPARE(Send(engine, "\x06"), QByteArray("\x15"));
        QCOMPARE(Send(engine, ":GVP#"), QByteArray("LX2001#"));
        QCOMPARE(Send(engine, ":SB0#"), QByteArray("\x15"));
        QCOMPARE(engine.Baud(), 9600);
        Send(engine, "\x04");
        for (int i = 0; i < 4; ++i)
            QCOMPARE(Send(engine, "T"), QByteArray("\x0E"));

        settings.Model = HandboxModel::Autostar497;
        HandboxEngine autostar(settings);
        QCOMPARE(Send(autostar, "\x06\x06\x06\x06"), QByteArray("AAAA"));
    }
};

HEXVAC_TEST(TestEngine);
#include "TestEngine.moc"
