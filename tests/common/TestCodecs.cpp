// The hex codecs build the binary download-mode commands and turn peek
// replies into dump bytes: a wrong digit here corrupts every dump.

#include "common/StdFuncsMisc.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestCodecs : public QObject {
    Q_OBJECT
private slots:
    void FormatHexKeepsTheWidthOrWithZeroAnEvenNumberOfDigits_data();
    void FormatHexKeepsTheWidthOrWithZeroAnEvenNumberOfDigits();
    void ByteToHexUsesTheLowByteOnly();
    void DownloadCommandTemplatesDecodeToFiveBytes();
    void DecodeCopiesEveryByteOutsideAGroup_data();
    void DecodeCopiesEveryByteOutsideAGroup();
    void DecodeFailsOnAGroupThatIsNotHex();
    void HexToBytesPairsDigitsAndStopsAtZeroOnlyWhenAsked_data();
    void HexToBytesPairsDigitsAndStopsAtZeroOnlyWhenAsked();
    void HexToBytesFailsWholeOnABadPair_data();
    void HexToBytesFailsWholeOnABadPair();
    void BitTextsRunMostSignificantFirst();
};

void TestCodecs::FormatHexKeepsTheWidthOrWithZeroAnEvenNumberOfDigits_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fits") << 4 << qint64(0x1234) << "1234";
    QTest::newRow("zero-filled") << 4 << qint64(5) << "0005";
    QTest::newRow("high digits cut") << 2 << qint64(0x1FF) << "FF";
    QTest::newRow("cut to last two") << 2 << qint64(0x12F) << "2F";
    QTest::newRow("page number") << 2 << qint64(2) << "02";
    QTest::newRow("minus one") << 4 << qint64(-1) << "FFFF";
    QTest::newRow("negative word") << 8 << qint64(-2) << "FFFFFFFE";
    QTest::newRow("upper case") << 2 << qint64(0xab) << "AB";
    // Width 0: as many digits as the value needs, made even.
    QTest::newRow("0: zero") << 0 << qint64(0) << "00";
    QTest::newRow("0: one digit") << 0 << qint64(5) << "05";
    QTest::newRow("0: 7F") << 0 << qint64(0x7F) << "7F";
    QTest::newRow("0: 80") << 0 << qint64(0x80) << "80";
    QTest::newRow("0: three digits") << 0 << qint64(0x100) << "0100";
    QTest::newRow("0: 123") << 0 << qint64(0x123) << "0123";
    QTest::newRow("0: negative is 64-bit") << 0 << qint64(-1) << "FFFFFFFFFFFFFFFF";
    QTest::newRow("0: sign-extended int") << 0 << qint64(qint32(0x80000000)) << "FFFFFFFF80000000";
}

void TestCodecs::FormatHexKeepsTheWidthOrWithZeroAnEvenNumberOfDigits() {
    QFETCH(int, width);
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatHex(width, value), expected);
}

void TestCodecs::ByteToHexUsesTheLowByteOnly() {
    QCOMPARE(ByteToHex(0x1234, 2), QStringLiteral("34"));
    QCOMPARE(ByteToHex(-1, 2), QStringLiteral("FF"));
    QCOMPARE(ByteToHex(0x0A, 0), QStringLiteral("0A"));
    QCOMPARE(ByteToHex(0x100, 4), QStringLiteral("0000"));
}

void TestCodecs::DownloadCommandTemplatesDecodeToFiveBytes() {
    const QByteArray first = DecodeHexEscapes(
        QStringLiteral("R[%1][%2][00][80]").arg(FormatHex(0, 2), FormatHex(0, 0x80)).toLatin1());
    QCOMPARE(first, QByteArray::fromHex("5202800080"));
    const QByteArray last = DecodeHexEscapes(
        QStringLiteral("R[%1][%2][80][80]").arg(FormatHex(0, 0x7F), FormatHex(0, 0xFF)).toLatin1());
    QCOMPARE(last, QByteArray::fromHex("527FFF8080"));
    QCOMPARE(DecodeHexEscapes("[0a]"), QByteArray("\x0a", 1));
    QCOMPARE(DecodeHexEscapes("I"), QByteArray("I"));
}

void TestCodecs::DecodeCopiesEveryByteOutsideAGroup_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("unclosed at end") << QByteArray("[00") << QByteArray("[00");
    QTest::newRow("one digit") << QByteArray("[1]") << QByteArray("[1]");
    QTest::newRow("three digits") << QByteArray("[123]") << QByteArray("[123]");
    QTest::newRow("bracket last") << QByteArray("AB[") << QByteArray("AB[");
    QTest::newRow("group after copy") << QByteArray("[1][41]") << QByteArray("[1]A");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("nul and high bytes")
        << QByteArray("\x00[00]\xff", 6) << QByteArray("\x00\x00\xff", 3);
}

void TestCodecs::DecodeCopiesEveryByteOutsideAGroup() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(DecodeHexEscapes(text), expected);
}

void TestCodecs::DecodeFailsOnAGroupThatIsNotHex() {
    QVERIFY_THROWS_EXCEPTION(EConvertError, DecodeHexEscapes("R[zz]"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, DecodeHexEscapes("[0g]"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, DecodeHexEscapes("[ 1]"));
}

void TestCodecs::HexToBytesPairsDigitsAndStopsAtZeroOnlyWhenAsked_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stopAtZero");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("two pairs") << "1234" << false << QByteArray("\x12\x34", 2);
    QTest::newRow("stops at 00") << "41420043" << true << QByteArray("AB");
    QTest::newRow("keeps 00 unless asked") << "41420043" << false
                                           << QByteArray("AB\x00"
                                                         "C",
                                                         4);
    QTest::newRow("zeros stop at once") << "0000" << true << QByteArray();
    QTest::newRow("zeros kept") << "0000" << false << QByteArray(2, '\0');
    QTest::newRow("last digit ignored") << "ABC" << false << QByteArray("\xAB", 1);
    QTest::newRow("lower case") << "beef" << false << QByteArray("\xBE\xEF", 2);
    QTest::newRow("empty") << "" << false << QByteArray();
    QTest::newRow("single digit") << "7" << false << QByteArray();
}

void TestCodecs::HexToBytesPairsDigitsAndStopsAtZeroOnlyWhenAsked() {
    QFETCH(QString, text);
    QFETCH(bool, stopAtZero);
    QFETCH(QByteArray, expected);
    QCOMPARE(HexToBytes(text, stopAtZero), expected);
}

void TestCodecs::HexToBytesFailsWholeOnABadPair_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "12zz";
    QTest::newRow("sign") << "-1";
    QTest::newRow("blank") << "1 ";
    QTest::newRow("non-latin") << QStringLiteral("1\u00e9");
    QTest::newRow("x prefix") << "x1";
}

void TestCodecs::HexToBytesFailsWholeOnABadPair() {
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(EConvertError, HexToBytes(text, false));
}

void TestCodecs::BitTextsRunMostSignificantFirst() {
    QCOMPARE(ByteToBits(5), QStringLiteral("00000101"));
    QCOMPARE(ByteToBits(0xA0), QStringLiteral("10100000"));
    QCOMPARE(ByteToBits(0xFF), QStringLiteral("11111111"));
    QCOMPARE(IntToBits(0x105, 2), QStringLiteral("0000000100000101"));
    QCOMPARE(IntToBits(0, 4), QString(32, QLatin1Char('0')));
    QCOMPARE(IntToBits(0x12345, 1), QStringLiteral("01000101")); // high bytes dropped
    QCOMPARE(IntToBits(-1, 2), QString(16, QLatin1Char('1')));
}

HEXVAC_TEST(TestCodecs);
#include "TestCodecs.moc"
