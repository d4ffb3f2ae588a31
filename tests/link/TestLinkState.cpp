// The link state and the date formats that identification relies on.

#include "common/StatusPanel.h"
#include "common/StdFuncsMisc.h"
#include "link/StdDefs.h"
#include "tests/support/TestRegistry.h"

#include <QLocale>
#include <QTest>

class TestLinkState : public QObject {
    Q_OBJECT
private slots:
    void init();
    void ResetRestoresStartUpValuesButKeepsTheFourLongLivedFields();
    void StatusWordsNameEveryKind();
    void KindRangesMatchTheCommandSets();
    void DatesAreDayMonthYearWhateverTheSystemLocale();
    void AChangedRegionalFormatIsPutBackBeforeAParse();
    void BadDatesFailWithTheConversionError_data();
    void BadDatesFailWithTheConversionError();
    void DatesOrderAsDayNumbers();
    void DateTimeTextShowsTheTimeOnlyWhenThereIsOne();
};

void TestLinkState::init() {
    QLocale::setDefault(QLocale::c());
    SetFixedFormats();
}

void TestLinkState::ResetRestoresStartUpValuesButKeepsTheFourLongLivedFields() {
    TStatusPanel panel;
    LinkState.AppDir = QStringLiteral("/opt/hexvac/");
    LinkState.StatusPanel = &panel;
    LinkState.FirmwareDate = EncodeDate(2004, 6, 29);
    LinkState.MaxBaud = 57600;
    LinkState.SelectingPort = LinkState.ScopeFound = LinkState.PortOpen = true;
    LinkState.PeekOK = LinkState.PokeOK = LinkState.ExtPeekOK = LinkState.ExtPokeOK = true;
    LinkState.InDownloadMode = LinkState.Parked = true;
    LinkState.NoAutoDetect = false;
    LinkState.HandboxKind = htRCX400;
    LinkState.BaudClass = bcFast;
    LinkState.CurrentBaud = 19200;

    ResetLinkState();

    QCOMPARE(LinkState.AppDir, QStringLiteral("/opt/hexvac/"));
    QCOMPARE(LinkState.StatusPanel, &panel);
    QCOMPARE(LinkState.FirmwareDate, EncodeDate(2004, 6, 29));
    QCOMPARE(LinkState.MaxBaud, 57600);
    QVERIFY(!LinkState.SelectingPort && !LinkState.ScopeFound && !LinkState.PortOpen);
    QVERIFY(!LinkState.PeekOK && !LinkState.PokeOK && !LinkState.ExtPeekOK && !LinkState.ExtPokeOK);
    QVERIFY(!LinkState.InDownloadMode && !LinkState.Parked);
    QVERIFY(LinkState.NoAutoDetect);
    QCOMPARE(LinkState.HandboxKind, std::uint8_t(htNone));
    QCOMPARE(LinkState.BaudClass, std::uint8_t(bcNone));
    QCOMPARE(LinkState.CurrentBaud, 9600);
    QCOMPARE(HandboxStatusWord(LinkState.HandboxKind), QStringLiteral("???"));
    LinkState.StatusPanel = nullptr;
}

void TestLinkState::StatusWordsNameEveryKind() {
    const QStringList words = {
        "???",    "Unknown type", "Autostar 495/497", "Autostar 497mkII", "LX200GPS",
        "RCX400", "1697-CDS",     "AS 497 Dnld",      "A 497mkII Dnld",   "???"};
    for (int kind = 0; kind < words.size(); ++kind)
        QCOMPARE(HandboxStatusWord(std::uint8_t(kind)), words[kind]);
    QCOMPARE(HandboxStatusWord(200), QStringLiteral("???"));
}

void TestLinkState::KindRangesMatchTheCommandSets() {
    QVERIFY(!HasNormalCommandSet(htUnknown));
    QVERIFY(HasNormalCommandSet(htAutostar497) && HasNormalCommandSet(htRCX400));
    QVERIFY(!HasNormalCommandSet(htGermanMount) && !HasNormalCommandSet(htAutostar497Dnld));
    QVERIFY(AcceptsBaudChange(htLX200GPS) && AcceptsBaudChange(htRCX400));
    QVERIFY(!AcceptsBaudChange(htAutostar497mkII) && !AcceptsBaudChange(htLX2001Dnld));
}

void TestLinkState::DatesAreDayMonthYearWhateverTheSystemLocale() {
    // A user whose system writes dates month first, and one writing them with dots.
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        LoadSystemFormats();
        SetFixedFormats();
        QCOMPARE(StrToDate(QStringLiteral("01/08/2008")), EncodeDate(2008, 8, 1));
        QCOMPARE(StrToDate(QStringLiteral("29/06/2004")), EncodeDate(2004, 6, 29));
        QCOMPARE(DateToStr(EncodeDate(2005, 9, 19)), QStringLiteral("19/09/2005"));
    }
}

void TestLinkState::AChangedRegionalFormatIsPutBackBeforeAParse() {
    FormatSettings.ShortDateFormat = QStringLiteral("M/D/YYYY");
    FormatSettings.DateSeparator = QLatin1Char('-');
    QCOMPARE(StrToDate(QStringLiteral("01/10/2004")), EncodeDate(2004, 10, 1));
    QCOMPARE(FormatSettings.ShortDateFormat, FixedShortDateFormat);
    QCOMPARE(FormatSettings.DateSeparator, QLatin1Char('/'));
}

void TestLinkState::BadDatesFailWithTheConversionError_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("month 13") << "01/13/2004";
    QTest::newRow("day 31 in June") << "31/06/2004";
    QTest::newRow("not a month name") << "29/xx/2004";
    QTest::newRow("two fields") << "29/06";
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "ab/cd/efgh";
}

void TestLinkState::BadDatesFailWithTheConversionError() {
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(text));
}

void TestLinkState::DatesOrderAsDayNumbers() {
    // Identification compares firmware dates with thresholds "on or after".
    QCOMPARE(EncodeDate(1899, 12, 30), 0.0);
    QCOMPARE(StrToDate(QStringLiteral("01/01/1900")), 2.0);
    QVERIFY(StrToDate(QStringLiteral("28/06/2004")) < StrToDate(QStringLiteral("29/06/2004")));
    QCOMPARE(StrToDate(QStringLiteral("29/06/2004")) - StrToDate(QStringLiteral("31/12/2003")),
             181.0);
    QVERIFY_THROWS_EXCEPTION(EConvertError, EncodeDate(2005, 2, 29));
}

void TestLinkState::DateTimeTextShowsTheTimeOnlyWhenThereIsOne() {
    FormatSettings.LongTimeFormat = QStringLiteral("HH:mm:ss");
    const TDateTime day = EncodeDate(2026, 12, 8);
    QCOMPARE(DateTimeToStr(day), QStringLiteral("08/12/2026"));
    QCOMPARE(DateTimeToStr(day + (9 * 3600 + 5 * 60 + 7) / 86400.0),
             QStringLiteral("08/12/2026 09:05:07"));
}

HEXVAC_TEST(TestLinkState);
#include "TestLinkState.moc"
