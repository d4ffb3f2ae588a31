// Every export format written to a file and read back by LibreOffice, which
// converts spreadsheets to CSV and documents to plain text; the cells it
// reads must be the table's. LibreOffice is a test dependency: without it
// these tests fail rather than skip.

#include "diag/TableExport.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cerrno>
#include <cstring>

namespace {

// Cells that trip up the formats: separators and quotes of every kind,
// non-ASCII text, leading blanks, a lone blank, an empty cell, and texts
// that a spreadsheet would take for numbers, dates or formulas (the port
// report's bit texts and hexadecimal values among them) and that must stay
// text.
TReportTable SampleTable() {
    TReportTable table;
    table.Columns = {{QStringLiteral("Property"), 120, TColumnAlign::Left},
                     {QStringLiteral("COM1: ttyS0, main"), 90, TColumnAlign::Left},
                     {QStringLiteral("COM33"), 60, TColumnAlign::Right},
                     {QStringLiteral("Größe °C"), 80, TColumnAlign::Center}};
    table.Rows = {
        {QStringLiteral("BaudRate"), QStringLiteral("9600"), QStringLiteral("0001"),
         QStringLiteral("1,200, 2,400")},
        {QStringLiteral("Device \"main\""), QStringLiteral("a;b"), QString(),
         QStringLiteral("Größe °C")},
        {QStringLiteral("Handshake"), QStringLiteral("   DTRDSR"), QStringLiteral(" "),
         QStringLiteral("\"quoted\" {x} \\y <z> & w")},
        {QStringLiteral("Flags"), QStringLiteral("00000000000000000"), QStringLiteral("00020000"),
         QStringLiteral("10000000000000001")},
        {QStringLiteral("=1+1"), QStringLiteral("2026-12-08"), QStringLiteral("+5"),
         QStringLiteral("1.5")},
        {QStringLiteral("1/2"), QStringLiteral("14:05"), QStringLiteral(" 12"),
         QStringLiteral("1E5")},
    };
    return table;
}

// Misread texts that hold the CSV separator or a double quote, so that CSV
// can write them only as a quoted formula. A reader told to take quoted
// fields as text would show that formula's source, hence a table of their
// own, read only with the default options.
TReportTable QuotedFormulaTable() {
    TReportTable table;
    table.Columns = {{QStringLiteral("A"), 60, TColumnAlign::Left},
                     {QStringLiteral("B"), 60, TColumnAlign::Left}};
    table.Rows = {{QStringLiteral("1,200"), QStringLiteral("=SUM(1,2)")},
                  {QStringLiteral("=\"a\"&\"b\""), QStringLiteral("0,5%")}};
    return table;
}

TExportOptions SampleOptions() {
    TExportOptions options;
    options.Title = QStringLiteral("\"COM\" Port properties");
    options.Created = QDateTime(QDate(2026, 12, 8), QTime(14, 5));
    return options;
}

const QString Footer = QStringLiteral("Created: 08/12/2026 14:05");

// The table as a spreadsheet holds it: title in A1, captions, rows, footer.
QList<QStringList> ExpectedSheet(const TReportTable& Table) {
    QList<QStringList> rows;
    const QStringList blanks(Table.ColumnCount() - 1);
    rows << (QStringList{SampleOptions().Title} + blanks);
    QStringList captions;
    for (const TReportColumn& column : Table.Columns)
        captions << column.Caption;
    rows << captions;
    for (const QStringList& row : Table.Rows)
        rows << row;
    rows << (QStringList{Footer} + blanks);
    return rows;
}

QString ReadText(const QString& FileName) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) // LibreOffice's text export starts with one
        text.remove(0, 1);
    text.remove(QLatin1Char('\r'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// One line of LibreOffice's CSV output (no cell of the sample spans lines).
// Quoted, when given, tells for each cell whether it was quoted: with
// "quote all text cells" LibreOffice quotes exactly the cells that hold text.
QStringList CsvCells(const QString& Line, QList<bool>* Quoted = nullptr) {
    QStringList cells{QString()};
    QList<bool> quotedCells{false};
    bool quoted = false;
    for (qsizetype i = 0; i < Line.size(); ++i) {
        const QChar ch = Line[i];
        if (quoted && ch == QLatin1Char('"') && i + 1 < Line.size() && Line[i + 1] == ch) {
            cells.last() += Line[++i];
        } else if (ch == QLatin1Char('"')) {
            quoted = !quoted;
            quotedCells.last() = true;
        } else if (ch == QLatin1Char(',') && !quoted) {
            cells << QString();
            quotedCells << false;
        } else {
            cells.last() += ch;
        }
    }
    if (Quoted)
        *Quoted = quotedCells;
    return cells;
}

// Whether a cell may come back from a spreadsheet as a number: a plain
// integer shows the same digits either way.
bool MayBeNumber(const QString& Cell) {
    static const QRegularExpression integer(QStringLiteral("^-?[1-9][0-9]{0,14}$"));
    return Cell.isEmpty() || integer.match(Cell).hasMatch();
}

} // namespace

class TestTableExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void SpreadsheetFormatsReadBackCellForCell();
    void NumberLikeTextsStayTextWithDefaultImportOptions();
    void DocumentFormatsReadBackCellForCell();
    void FileNamesSayTheFormatWritten();
    void EmptyAndRaggedTablesExportInEveryFormat();
    void FailedWriteGivesTheReasonAndLeavesNoFile();
    void ClipboardTextFollowsTheOptions();

private:
    QString FileOf(TExportFormat Format) const;
    QString QuotedFormulaFileOf(TExportFormat Format) const;
    void Convert(const QStringList& Arguments, const QStringList& Files,
                 const QString& OutFolder = QStringLiteral("out"));
    void CompareSheet(const QString& CsvFile);
    void CompareTextCells(const QString& CsvFile, const QList<QStringList>& Expected);

    QTemporaryDir Folder;
    TReportTable Table = SampleTable();
};

// Every format is written once; each file is named after its format, as
// LibreOffice names each output after its input.
void TestTableExport::initTestCase() {
    QVERIFY(Folder.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(),
             "LibreOffice (soffice) reads the exports back: scripts/setup --tests installs it");
    for (const TExportFormatInfo& info : ExportFormats()) {
        if (info.Format == TExportFormat::Clipboard)
            continue;
        const QString error =
            WriteTableExport(Table, info.Format, FileOf(info.Format), SampleOptions());
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    for (const TExportFormat format :
         {TExportFormat::Csv, TExportFormat::Tsv, TExportFormat::Html}) {
        const QString error = WriteTableExport(QuotedFormulaTable(), format,
                                               QuotedFormulaFileOf(format), SampleOptions());
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
}

QString TestTableExport::FileOf(TExportFormat Format) const {
    const TExportFormatInfo& info = ExportFormatInfo(Format);
    return Folder.filePath(info.CliName + QLatin1Char('.') + info.Extension);
}

QString TestTableExport::QuotedFormulaFileOf(TExportFormat Format) const {
    const TExportFormatInfo& info = ExportFormatInfo(Format);
    return Folder.filePath(QStringLiteral("quoted-") + info.CliName + QLatin1Char('.') +
                           info.Extension);
}

// One soffice run converting all Files into OutFolder. Every run
// costs a second or more, so each converts all files that share its options.
void TestTableExport::Convert(const QStringList& Arguments, const QStringList& Files,
                              const QString& OutFolder) {
    QProcess office;
    // LibreOffice reads SYLK and plain text in the locale's encoding; the
    // exports are UTF-8, as a Linux desktop's locale is.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    office.setProcessEnvironment(environment);
    office.setProcessChannelMode(QProcess::MergedChannels);
    const QString profile =
        QUrl::fromLocalFile(Folder.filePath(QStringLiteral("lo-profile"))).toString();
    const QString out = Folder.filePath(OutFolder);
    office.start(QStringLiteral("soffice"),
                 QStringList{QStringLiteral("--headless"),
                             QStringLiteral("-env:UserInstallation=") + profile} +
                     Arguments + QStringList{QStringLiteral("--outdir"), out} + Files);
    QVERIFY2(office.waitForFinished(120000), "soffice did not finish in two minutes");
    const QString log = QString::fromLocal8Bit(office.readAll());
    QCOMPARE(office.exitCode(), 0);
    // soffice reports success even when a conversion failed: each output
    // must be there.
    for (const QString& file : Files) {
        const QString stem = QFileInfo(file).completeBaseName();
        QVERIFY2(!QDir(out).entryList({stem + QStringLiteral(".*")}, QDir::Files).isEmpty(),
                 qPrintable(QStringLiteral("no output for %1:\n%2").arg(file, log)));
    }
}

// As CompareSheet, and every cell that is not a plain integer is text. HTML
// blanks come back as no-break spaces.
void TestTableExport::CompareTextCells(const QString& CsvFile, const QList<QStringList>& Expected) {
    const QStringList lines = ReadText(Folder.filePath(CsvFile)).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), Expected.size());
    for (qsizetype r = 0; r < lines.size(); ++r) {
        QList<bool> quoted;
        QStringList cells = CsvCells(lines[r], &quoted);
        cells.replaceInStrings(QChar(0xA0), QStringLiteral(" "));
        QCOMPARE(cells, Expected[r]);
        for (qsizetype c = 0; c < cells.size(); ++c)
            QVERIFY2(quoted[c] || MayBeNumber(cells[c]),
                     qPrintable(QStringLiteral("\"%1\" came back as a number").arg(cells[c])));
    }
}

void TestTableExport::CompareSheet(const QString& CsvFile) {
    const QStringList lines =
        ReadText(Folder.filePath(QStringLiteral("out/") + CsvFile)).split(QLatin1Char('\n'));
    const QList<QStringList> expected = ExpectedSheet(Table);
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype r = 0; r < lines.size(); ++r)
        QCOMPARE(CsvCells(lines[r]), expected[r]);
}

// Calc keeps every cell as it was written, blanks and "0001" included. CSV
// is read here with the options a careful user picks in Calc's import dialog
// (UTF-8; quoted fields as text); tab-separated text, which has no quoted
// fields, is read with the default options below. One soffice run applies
// one set of import options to all its files, hence two runs.
void TestTableExport::SpreadsheetFormatsReadBackCellForCell() {
    const QStringList toCsv{QStringLiteral("--convert-to"),
                            QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1")};
    Convert(toCsv, {FileOf(TExportFormat::Excel), FileOf(TExportFormat::Dif),
                    FileOf(TExportFormat::Sylk)});
    Convert(
        QStringList{QStringLiteral("--infilter=Text - txt - csv (StarCalc):44,34,76,1,,0,true")} +
            toCsv,
        {FileOf(TExportFormat::Csv)});
    if (QTest::currentTestFailed())
        return;
    for (const QString& name : {QStringLiteral("xls.csv"), QStringLiteral("dif.csv"),
                                QStringLiteral("slk.csv"), QStringLiteral("csv.csv")}) {
        CompareSheet(name);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("read back from ") + name));
    }
}

// The files opened as a user opens them: CSV and tab-separated text with
// only the separator and UTF-8 chosen and every other import option as Calc
// has it (standard column types, quoted fields not taken as text, no
// special numbers, formulas evaluated), HTML through Calc's HTML filter
// without options. Calc then turns "00020000" into 20000, "1/2" into a date
// and evaluates "=1+1" unless the file marks them as text. Every cell must
// come back as it stands in the table, and as text, but for the plain
// integers, which show the same digits as numbers.
void TestTableExport::NumberLikeTextsStayTextWithDefaultImportOptions() {
    // Quoting all text cells on the way out tells texts from numbers.
    const QStringList toCsv{QStringLiteral("--convert-to"),
                            QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true")};
    const QString filter = QStringLiteral("--infilter=Text - txt - csv (StarCalc):");
    Convert(QStringList{filter + QStringLiteral("44,34,76,1")} + toCsv,
            {FileOf(TExportFormat::Csv), QuotedFormulaFileOf(TExportFormat::Csv)},
            QStringLiteral("default-csv"));
    Convert(QStringList{filter + QStringLiteral("9,34,76,1")} + toCsv,
            {FileOf(TExportFormat::Tsv), QuotedFormulaFileOf(TExportFormat::Tsv)},
            QStringLiteral("default-tsv"));
    Convert(QStringList{QStringLiteral("--infilter=HTML (StarCalc)")} + toCsv,
            {FileOf(TExportFormat::Html), QuotedFormulaFileOf(TExportFormat::Html)},
            QStringLiteral("default-html"));
    if (QTest::currentTestFailed())
        return;
    for (const char* format : {"csv", "tsv", "html"}) {
        const QString folder = QStringLiteral("default-") + QLatin1String(format);
        const QString stem = folder + QLatin1Char('/') + QLatin1String(format);
        CompareTextCells(stem + QStringLiteral(".csv"), ExpectedSheet(Table));
        if (!QTest::currentTestFailed())
            CompareTextCells(folder + QStringLiteral("/quoted-") + QLatin1String(format) +
                                 QStringLiteral(".csv"),
                             ExpectedSheet(QuotedFormulaTable()));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("read back from the %1 export").arg(format)));
    }
}

// Writer's text export puts each table cell on a line of its own, so a
// Word, RTF or HTML document reads back as the header line, the captions,
// the cells row by row and the footer line. HTML keeps the blanks a browser
// would collapse as no-break spaces, which Writer reads as U+00A0.
void TestTableExport::DocumentFormatsReadBackCellForCell() {
    Convert({QStringLiteral("--convert-to"), QStringLiteral("txt:Text (encoded):UTF8")},
            {FileOf(TExportFormat::Word), FileOf(TExportFormat::RichText),
             FileOf(TExportFormat::Html), FileOf(TExportFormat::Text)});
    if (QTest::currentTestFailed())
        return;
    const QList<QStringList> sheet = ExpectedSheet(Table);
    QStringList expected{SampleOptions().Title};
    for (const QStringList& row : sheet.mid(1, Table.RowCount() + 1))
        expected << row;
    expected << Footer;
    auto readBack = [this](const char* Name) {
        return ReadText(Folder.filePath(QStringLiteral("out/") + QLatin1String(Name)))
            .split(QLatin1Char('\n'));
    };
    QCOMPARE(readBack("doc.txt"), expected);
    QCOMPARE(readBack("rtf.txt"), expected);
    QCOMPARE(readBack("html.txt").replaceInStrings(QChar(0xA0), QStringLiteral(" ")), expected);

    // Plain text: the title, a blank line, the captions over a rule of dashes
    // that shows where each column starts and how wide it is, the rows, a
    // blank line and the footer. A cell's blanks on its padding side cannot
    // be told from the padding.
    const QStringList lines = readBack("txt.txt");
    QCOMPARE(lines.size(), Table.RowCount() + 6);
    QCOMPARE(lines.first(), SampleOptions().Title);
    QCOMPARE(lines.last(), Footer);
    QList<std::pair<int, int>> spans; // start and width of each column
    for (auto dashes = QRegularExpression(QStringLiteral("-+")).globalMatch(lines[3]);
         dashes.hasNext();) {
        const QRegularExpressionMatch match = dashes.next();
        spans.append(
            {static_cast<int>(match.capturedStart()), static_cast<int>(match.capturedLength())});
    }
    QCOMPARE(spans.size(), Table.ColumnCount());
    for (int r = 0; r <= Table.RowCount(); ++r)
        for (int c = 0; c < Table.ColumnCount(); ++c) {
            const QString cell = lines[r == 0 ? 2 : r + 3].mid(spans[c].first, spans[c].second);
            const QString want = sheet[r + 1][c];
            if (Table.Columns[c].Align == TColumnAlign::Left) // blanks in front stay
                QCOMPARE(cell.left(want.size()) + cell.mid(want.size()).trimmed(), want);
            else if (Table.Columns[c].Align == TColumnAlign::Right)
                QCOMPARE(cell.chopped(want.trimmed().size()).trimmed() +
                             cell.right(want.trimmed().size()),
                         want.trimmed());
            else
                QCOMPARE(cell.trimmed(), want.trimmed());
        }
}

// Excel and Word refuse Office Open XML content under ".xls" and ".doc", and
// a name of another format ("x.csv" for Excel) would give a file whose name
// lies about it: the format's extension replaces the classic one and is
// added to any other, in whatever case the user typed.
void TestTableExport::FileNamesSayTheFormatWritten() {
    const struct {
        TExportFormat Format;
        const char* Chosen;
        const char* Written;
    } cases[] = {
        {TExportFormat::Excel, "TmpDump.xls", "TmpDump.xlsx"},
        {TExportFormat::Excel, "/tmp/Ports.XLS", "/tmp/Ports.xlsx"},
        {TExportFormat::Excel, "/tmp/Ports.xlsx", "/tmp/Ports.xlsx"},
        {TExportFormat::Excel, "Ports.XLSX", "Ports.XLSX"},
        {TExportFormat::Excel, "ports.csv", "ports.csv.xlsx"},
        {TExportFormat::Excel, "ports.doc", "ports.doc.xlsx"},
        {TExportFormat::Excel, "v1.2/report", "v1.2/report.xlsx"},
        {TExportFormat::Excel, "report.", "report.xlsx"},
        {TExportFormat::Word, "report.doc", "report.docx"},
        {TExportFormat::Word, "C:/Reports/Report.Doc", "C:/Reports/Report.docx"},
        {TExportFormat::Word, "report.docx", "report.docx"},
        {TExportFormat::Word, "report.xls", "report.xls.docx"},
        {TExportFormat::Csv, "ports.xls", "ports.xls.csv"},
        {TExportFormat::Csv, "ports.CSV", "ports.CSV"},
        {TExportFormat::Tsv, "ports.txt", "ports.txt.tsv"},
        {TExportFormat::Html, "/tmp/.html", "/tmp/.html"},
    };
    for (const auto& c : cases)
        QCOMPARE(ExportFileName(c.Format, QString::fromUtf8(c.Chosen)),
                 QString::fromUtf8(c.Written));
    for (const TExportFormatInfo& info : ExportFormats())
        if (info.Format != TExportFormat::Clipboard)
            QCOMPARE(ExportFileName(info.Format, QStringLiteral("TmpDump")),
                     QStringLiteral("TmpDump.") + info.Extension);
}

// The export dialog opens on an empty table too; a short row gets empty
// cells and a long one loses its surplus.
void TestTableExport::EmptyAndRaggedTablesExportInEveryFormat() {
    TReportTable ragged = SampleTable();
    ragged.Rows.push_back({QStringLiteral("Short row")});
    ragged.Rows.push_back({QStringLiteral("Long row"), QStringLiteral("1"), QStringLiteral("2"),
                           QStringLiteral("3"), QStringLiteral("surplus")});
    for (const TReportTable& table : {TReportTable(), ragged})
        for (const TExportFormatInfo& info : ExportFormats()) {
            if (info.Format == TExportFormat::Clipboard)
                continue;
            const QString name = Folder.filePath(QStringLiteral("odd.") + info.Extension);
            const QString error = WriteTableExport(table, info.Format, name, SampleOptions());
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(QFileInfo(name).size() > 0);
        }
    QVERIFY(ClipboardExportText(ragged, SampleOptions())
                .contains(QStringLiteral("\nShort row\t\t\t\nLong row\t1\t2\t3\n")));
}

void TestTableExport::FailedWriteGivesTheReasonAndLeavesNoFile() {
    const QString missing = Folder.filePath(QStringLiteral("no-such-folder/TmpDump.csv"));
    const QString error = WriteTableExport(Table, TExportFormat::Csv, missing, SampleOptions());
    QVERIFY2(error.contains(QDir::toNativeSeparators(missing)), qPrintable(error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(error));
    QVERIFY(!QFileInfo::exists(missing));

    // A folder where the file should go: nothing is written into or over it,
    // and no temporary file is left beside it.
    const QString folder = Folder.filePath(QStringLiteral("taken"));
    QVERIFY(QDir().mkpath(folder));
    for (const TExportFormat format : {TExportFormat::Excel, TExportFormat::Word}) {
        QVERIFY(!WriteTableExport(Table, format, folder, SampleOptions()).isEmpty());
        QVERIFY(QDir(folder).isEmpty());
        QCOMPARE(QDir(Folder.path()).entryList({QStringLiteral("taken*")}).size(), 1);
    }
}

void TestTableExport::ClipboardTextFollowsTheOptions() {
    TExportOptions options = SampleOptions();
    QCOMPARE(ClipboardExportText(Table, options).section(QLatin1Char('\n'), 0, 2),
             QStringLiteral("\"\"\"COM\"\" Port properties\"\t\t\t\n"
                            "Property\tCOM1: ttyS0, main\tCOM33\tGröße °C\n"
                            "BaudRate\t9600\t0001\t1,200, 2,400"));
    QVERIFY(ClipboardExportText(Table, options).endsWith(Footer + QStringLiteral("\t\t\t\n")));

    options.HeaderLine = false;
    options.ColumnHeaders = false;
    options.ExportDate = false; // the footer line holds only the date
    const QStringList lines = ClipboardExportText(Table, options).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), Table.RowCount() + 1);
    QCOMPARE(lines[1], QStringLiteral("\"Device \"\"main\"\"\"\ta;b\t\tGröße °C"));
    QCOMPARE(lines[2],
             QStringLiteral("Handshake\t   DTRDSR\t \t\"\"\"quoted\"\" {x} \\y <z> & w\""));
}

HEXVAC_TEST(TestTableExport);
#include "TestTableExport.moc"
