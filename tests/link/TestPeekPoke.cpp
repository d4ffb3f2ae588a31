// Peek and poke: the forms each firmware answers, the replies turned into
// words, and the poke test that writes a byte and puts it back.

#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

Q_DECLARE_METATYPE(HandboxModel)
Q_DECLARE_METATYPE(PeekSupport)
Q_DECLARE_METATYPE(PokeSupport)

class TestMemoryAccess : public QObject {
    Q_OBJECT
private slots:
    void init() { link_.Begin(20); }
    void cleanup() { link_.End(); }
    void TestFindsTheFormsEachFirmwareAnswers_data();
    void TestFindsTheFormsEachFirmwareAnswers();
    void PokeTestWritesAndRestoresTheByte_data();
    void PokeTestWritesAndRestoresTheByte();
    void PeekRepliesBecomeWords_data();
    void PeekRepliesBecomeWords();
    void RefusedRequestsSendNothing();
    void PokesCarryTheirFormsValue();

private:
    LinkFixture link_;
};

void TestMemoryAccess::TestFindsTheFormsEachFirmwareAnswers_data() {
    QTest::addColumn<HandboxModel>("model");
    QTest::addColumn<int>("kind");
    QTest::addColumn<PeekSupport>("peek");
    QTest::addColumn<PokeSupport>("poke");
    QTest::addColumn<int>("byteAtB611");
    QTest::addColumn<QString>("flags"); // PeekOK PokeOK ExtPeekOK ExtPokeOK
    QTest::addColumn<QStringList>("logLines");
    const QString first = QStringLiteral("Test for Peek and Poke capability");
    using M = HandboxModel;
    QTest::newRow("497 extended") << M::Autostar497 << 2 << PeekSupport::ExtendedAndNormal
                                  << PokeSupport::Extended << 0x3C << "1111"
                                  << QStringList{first, "Extended Peek Tested and Working",
                                                 "Extended Poke Tested and Working"};
    QTest::newRow("497 normal, 3C")
        << M::Autostar497 << 2 << PeekSupport::NormalOnly << PokeSupport::Normal << 0x3C << "1100"
        << QStringList{first, "Peek Tested and Working", "Poke Tested and Working"};
    QTest::newRow("497 normal, FF")
        << M::Autostar497 << 2 << PeekSupport::NormalOnly << PokeSupport::Normal << 0xFF << "1100"
        << QStringList{first, "Peek Tested and Working", "Poke Tested and Working"};
    // The firmware takes the normal form's value as an extended one: the
    // poke is acknowledged, lands at 0011 and is not read back at B611.
    QTest::newRow("497 poke misread")
        << M::Autostar497 << 2 << PeekSupport::NormalOnly << PokeSupport::Extended << 0x3C << "1000"
        << QStringList{first, "Poke wrote to 0011, not B611: put back", "Peek Tested and Working"};
    QTest::newRow("497 peek only")
        << M::Autostar497 << 2 << PeekSupport::NormalOnly << PokeSupport::None << 0x3C << "1000"
        << QStringList{first, "Peek Tested and Working"};
    QTest::newRow("GPS peek only")
        << M::Lx200Gps << 4 << PeekSupport::NormalOnly << PokeSupport::Normal << 0x3C << "1000"
        << QStringList{first, "Peek Tested and Working"};
    QTest::newRow("RCX extended") << M::Rcx400 << 5 << PeekSupport::ExtendedAndNormal
                                  << PokeSupport::Extended << 0x3C << "1111"
                                  << QStringList{first, "Extended Peek Tested and Working",
                                                 "Extended Poke Tested and Working"};
    QTest::newRow("mkII asks nothing")
        << M::Autostar497Mk2 << 3 << PeekSupport::ExtendedAndNormal << PokeSupport::Extended << 0x3C
        << "0000" << QStringList{first};
    QTest::newRow("no peek at all") << M::Autostar497 << 2 << PeekSupport::None << PokeSupport::None
                                    << 0x3C << "0000" << QStringList{first};
    QTest::newRow("mount is not tested") << M::GermanMount1697 << 6 << PeekSupport::None
                                         << PokeSupport::None << 0x3C << "0000" << QStringList{};
}

void TestMemoryAccess::TestFindsTheFormsEachFirmwareAnswers() {
    QFETCH(HandboxModel, model);
    QFETCH(int, kind);
    QFETCH(PeekSupport, peek);
    QFETCH(PokeSupport, poke);
    QFETCH(int, byteAtB611);
    QFETCH(QString, flags);
    QFETCH(QStringList, logLines);
    HandboxSettings settings;
    settings.Model = model;
    settings.Peek = peek;
    settings.Poke = poke;
    auto memory = std::make_unique<HandboxMemory>(3);
    memory->Set(0, 0xB611, std::uint8_t(byteAtB611));
    memory->Set(0, 64, 0x3C); // the probe words, as seeded memory has them
    memory->Set(0, 65, 0x37);
    memory->Set(0, 96, 0x37);
    memory->Set(0, 97, 0x30);
    SimLine line(settings, {}, std::move(memory));
    QVERIFY(link_.Start(line));
    line.Port.Log.SetLogging(tlOn);
    LinkState.ScopeFound = true;
    LinkState.HandboxKind = std::uint8_t(kind);
    LinkState.ExtPeekOK = LinkState.ExtPokeOK = true; // cleared by the test itself

    const int byteAt0011 = line.Host().Engine().Memory().At(0, 0x0011);
    TestPeekPoke(line.Port);
    const QString seen = QStringLiteral("%1%2%3%4")
                             .arg(int(LinkState.PeekOK))
                             .arg(int(LinkState.PokeOK))
                             .arg(int(LinkState.ExtPeekOK))
                             .arg(int(LinkState.ExtPokeOK));
    QCOMPARE(seen, flags);
    QStringList logged;
    for (const QString& entry : LogText(line.Port).split(QLatin1Char(10)))
        if (entry.mid(10, 4) == QLatin1String("User"))
            logged << entry.mid(30);
    QCOMPARE(logged, logLines);
    // Whatever the test wrote, and wherever it landed, the bytes are back as they were.
    QCOMPARE(int(line.Host().Engine().Memory().At(0, 0xB611)), byteAtB611);
    QCOMPARE(int(line.Host().Engine().Memory().At(0, 0x0011)), byteAt0011);
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

using Exchanges = QList<QPair<QByteArray, QByteArray>>; // request, reply ("" = none)
Q_DECLARE_METATYPE(Exchanges)

void TestMemoryAccess::PokeTestWritesAndRestoresTheByte_data() {
    QTest::addColumn<Exchanges>("exchanges"); // after the probes, in the order sent
    QTest::addColumn<bool>("pokeOK");
    // B611 holds 3C: 3C37 is 15415, 3D37 15671. 0011 holds 1234 (4660).
    const QByteArray readB611 = ":EP46609#", read0011 = ":EP17#";
    const QByteArray write = ":EN4413#", restore = ":EN4412#";
    const Exchanges start = {{readB611, "15415#"}, {read0011, "4660#"}};
    QTest::newRow("3C") << start + Exchanges{{write, "#"},
                                             {readB611, "15671#"},
                                             {restore, "#"},
                                             {readB611, "15415#"}}
                        << true;
    // FF37 is -201, 0037 55.
    QTest::newRow("FF wraps to 00")
        << Exchanges{{readB611, "-201#"}, {read0011, "4660#"}, {":EN4352#", "#"},
                     {readB611, "55#"},   {":EN4607#", "#"},   {readB611, "-201#"}}
        << true;
    QTest::newRow("read-back mangled, read again") << start + Exchanges{{write, "#"},
                                                                        {readB611, "?#"},
                                                                        {readB611, "15671#"},
                                                                        {restore, "#"},
                                                                        {readB611, "15415#"}}
                                                   << true;
    // The write took; only its acknowledgement was lost. Its byte must not
    // stay in the handbox.
    QTest::newRow("acknowledgement lost")
        << start +
               Exchanges{{write, ""}, {readB611, "15671#"}, {restore, "#"}, {readB611, "15415#"}}
        << true;
    QTest::newRow("firmware without poke") << start + Exchanges{{write, ""},
                                                                {readB611, "15415#"},
                                                                {write, ""},
                                                                {readB611, "15415#"},
                                                                {read0011, "4660#"}}
                                           << false;
    // The byte cannot be checked: the old one goes back unasked.
    QTest::newRow("never read back") << start + Exchanges{{write, "#"},
                                                          {readB611, "?#"},
                                                          {readB611, "?#"},
                                                          {readB611, "?#"},
                                                          {restore, "#"}}
                                     << false;
    // Nothing can be read: nothing is written.
    QTest::newRow("byte never read")
        << Exchanges{{readB611, "?#"}, {readB611, "?#"}, {readB611, "?#"}, {read0011, "4660#"}}
        << false;
}

void TestMemoryAccess::PokeTestWritesAndRestoresTheByte() {
    QFETCH(Exchanges, exchanges);
    QFETCH(bool, pokeOK);
    PeerLine line;
    // No answer to the extended probe (asked twice): only the normal forms work.
    line.Peer.Answer(":EP64#", "15415#");
    QByteArray expected = ":EP33554496#:EP33554496#:EP64#";
    for (const auto& [request, reply] : exchanges) {
        line.Peer.Answer(request, reply);
        expected += request;
    }
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htAutostar497;
    TestPeekPoke(line.Port);
    QCOMPARE(line.Peer.Received(), expected);
    QVERIFY(LinkState.PeekOK);
    QCOMPARE(LinkState.PokeOK, pokeOK);
    QVERIFY(!LinkState.ExtPeekOK && !LinkState.ExtPokeOK);
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

void TestMemoryAccess::PeekRepliesBecomeWords_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("word"); // empty: a conversion error
    QTest::newRow("extended") << QByteArray("x3C37#") << "3C37";
    QTest::newRow("extended, long") << QByteArray("x00FF1234#") << "00FF1234";
    QTest::newRow("minus zero") << QByteArray("-0#") << "8000";
    QTest::newRow("negative") << QByteArray("-1#") << "FFFF";
    QTest::newRow("most negative") << QByteArray("-32768#") << "8000";
    QTest::newRow("positive") << QByteArray("1234#") << "04D2";
    QTest::newRow("extended, not hex") << QByteArray("x3G37#") << "";
    QTest::newRow("extended, no digits") << QByteArray("x#") << "";
    QTest::newRow("not a number") << QByteArray("12a#") << "";
    QTest::newRow("empty") << QByteArray("#") << "";
    QTest::newRow("past 16 bits") << QByteArray("70000#") << "";
    QTest::newRow("below 16 bits") << QByteArray("-32769#") << "";
}

void TestMemoryAccess::PeekRepliesBecomeWords() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, word);
    PeerLine line;
    line.Peer.Answer(":EP163840#", reply);
    QVERIFY(link_.Start(line));
    LinkState.HandboxKind = htLX200GPS;
    LinkState.PeekOK = true;
    if (word.isEmpty()) {
        // Never a made-up word: the caller learns what came instead.
        try {
            PeekWord(line.Port, 0x28000);
            QFAIL("no conversion error");
        } catch (const EConvertError& e) {
            QVERIFY(QString::fromLatin1(e.what()).contains(QLatin1String(reply.chopped(1))));
        }
    } else {
        QCOMPARE(PeekWord(line.Port, 0x28000), word);
    }
}

void TestMemoryAccess::RefusedRequestsSendNothing() {
    PeerLine line;
    QVERIFY(link_.Start(line));
    // A 497 mkII has neither command: the test asks nothing.
    LinkState.HandboxKind = htAutostar497mkII;
    TestPeekPoke(line.Port);
    // Peek not found working: nothing is asked.
    LinkState.HandboxKind = htAutostar497;
    QCOMPARE(PeekWord(line.Port, 0x28000), QString());
    QCOMPARE(PeekByte(line.Port, QStringLiteral("B611")), 0);
    // The normal poke reaches only B600-B7FF.
    LinkState.PokeOK = true;
    QVERIFY(!PokeValue(line.Port, 0xB5FFFF));
    QVERIFY(!PokeValue(line.Port, 0xB80000));
    QVERIFY(!PokeText(line.Port, QStringLiteral("B6zz3D")));
    QVERIFY(!PokeText(line.Port, QString()));
    // A negative value names no byte, whichever form works.
    LinkState.ExtPokeOK = true;
    QVERIFY(!PokeValue(line.Port, -1));
    QVERIFY(!PokeText(line.Port, QStringLiteral("-B6113D")));
    QTest::qWait(50);
    QCOMPARE(line.Peer.Received(), QByteArray());
}

void TestMemoryAccess::PokesCarryTheirFormsValue() {
    PeerLine line;
    line.Peer.Answer(":EN4413#", "#");
    line.Peer.Answer(":EN11931965#", "#");
    QVERIFY(link_.Start(line));
    LinkState.PokeOK = true;
    QVERIFY(PokeText(line.Port, QStringLiteral("$B6113D")));
    LinkState.ExtPokeOK = true;
    QVERIFY(PokeText(line.Port, QStringLiteral("B6113D")));
    QCOMPARE(line.Peer.Received(), QByteArray(":EN4413#:EN11931965#"));
}

HEXVAC_TEST(TestMemoryAccess);
#include "TestPeekPoke.moc"
