// The spreadsheet interchange formats: comma- and tab-separated text, DIF and
// SYLK. No cell is written as a number: DIF and SYLK mark every cell as a
// string. CSV and tab-separated text cannot mark a cell as text, and
// spreadsheets read "00020000" there as the number 20000; such a cell is
// written as the formula ="00020000", whose value is the text itself.

#include "diag/ExportWriters.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

// Spreadsheet readers on Windows expect CR LF; all others accept it.
constexpr char LineEnd[] = "\r\n";
// Without the byte order mark Excel reads CSV and tab-separated text in the
// local 8-bit code page; with it, as UTF-8. LibreOffice skips it when it
// reads the file as UTF-8.
constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

QString Quoted(const QString& Text) {
    QString quoted = Text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool HasLineBreak(const QString& Text) {
    return Text.contains(QLatin1Char('\n')) || Text.contains(QLatin1Char('\r'));
}

// The formula ="Text" for a cell a spreadsheet would misread, or empty when
// the cell needs none or cannot have one: a formula's text holds no line
// break and, for Excel, at most 255 characters.
QString TextFormula(const QString& Text) {
    if (!SpreadsheetMisreads(Text) || HasLineBreak(Text) || Text.size() > 255)
        return QString();
    return QLatin1Char('=') + Quoted(Text);
}

// Every non-empty field is quoted: readers that treat quoted fields as text
// then keep "0001" and leading blanks, and it keeps Excel from taking a file
// that starts with "ID" for SYLK. A cell that would be misread goes as a
// formula, bare where it can (="0001"): a reader told to keep quoted fields
// as text would show a quoted formula as its source. It is quoted only when
// it holds a comma or a double quote, which a bare field cannot.
QString CsvField(const QString& Text) {
    if (Text.isEmpty())
        return Text;
    const QString formula = TextFormula(Text);
    if (formula.isEmpty())
        return Quoted(Text);
    const bool bare = !Text.contains(QLatin1Char(',')) && !Text.contains(QLatin1Char('"'));
    return bare ? formula : Quoted(formula);
}

// Tab-separated text has no escape of its own; spreadsheets read it with the
// same double-quote convention as CSV, so a field is quoted when it holds a
// tab, a line break or a double quote, and written bare otherwise.
QString TsvField(const QString& Text) {
    const bool needsQuotes =
        Text.contains(QLatin1Char('\t')) || HasLineBreak(Text) || Text.contains(QLatin1Char('"'));
    return needsQuotes ? Quoted(Text) : Text;
}

// A tab-separated file's field: a misread cell as a bare formula (a field
// that starts with "=" is not a quoted one, so its quotes stay as written).
QString TsvFileField(const QString& Text) {
    const QString formula = Text.contains(QLatin1Char('\t')) ? QString() : TextFormula(Text);
    return formula.isEmpty() ? TsvField(Text) : formula;
}

QString JoinedRows(const TReportTable& Table, const TExportLines& Lines,
                   QString (*Field)(const QString&), QChar Separator, const QString& End) {
    QString text;
    for (const QStringList& row : ExportSheetRows(Table, Lines)) {
        QStringList fields;
        for (const QString& cell : row)
            fields.append(Field(cell));
        text += fields.join(Separator) + End;
    }
    return text;
}

// DIF and SYLK lines cannot hold a line break; it becomes a blank.
QString OneLine(const QString& Text) {
    QString line = Text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

// Windows-1252, the code page DIF readers assume (Excel on western systems;
// LibreOffice reads and writes DIF in it whatever the locale). Characters it
// lacks become "?".
QByteArray Windows1252(const QString& Text) {
    // Code points of the bytes 80 to 9F hex; 0 where the byte is unassigned.
    static const char16_t High[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QByteArray bytes;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const char16_t unit = Text[i].unicode();
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            bytes += static_cast<char>(unit);
            continue;
        }
        const char16_t* found = std::find(High, High + 32, unit);
        if (unit != 0 && found != High + 32) {
            bytes += static_cast<char>(0x80 + (found - High));
            continue;
        }
        if (Text[i].isHighSurrogate() && i + 1 < Text.size() && Text[i + 1].isLowSurrogate())
            ++i; // one "?" for the whole character
        bytes += '?';
    }
    return bytes;
}

void AddDifHeader(QString& Dif, const QString& Topic, qsizetype Count) {
    Dif += Topic + QStringLiteral("\r\n0,%1\r\n\"\"\r\n").arg(Count);
}

} // namespace

bool SpreadsheetMisreads(const QString& Text) {
    // At most 15 digits: a spreadsheet's number keeps no more.
    static const QRegularExpression plainInteger(QStringLiteral("^-?(0|[1-9][0-9]{0,14})$"));
    // One numeric-looking word: sign or parenthesis, currency sign, digits
    // with the separators of decimals, digit groups, dates and times, an
    // exponent, a percent sign; blanks around it are dropped by readers.
    static const QRegularExpression numberLike(
        QStringLiteral("^\\s*[-+(]?[$\u20AC\u00A3\u00A5]?[0-9.][0-9.,:/-]*"
                       "([eE][-+]?[0-9]+)?%?\\)?\\s*$"));
    // Spreadsheets take a leading "=", and Excel also "+", "-" and "@", as
    // the start of a formula.
    static const QRegularExpression formulaLike(QStringLiteral("^[=+@-]."));
    static const QRegularExpression digit(QStringLiteral("[0-9]"));
    if (Text.isEmpty() || plainInteger.match(Text).hasMatch())
        return false;
    if (formulaLike.match(Text).hasMatch())
        return true;
    return numberLike.match(Text).hasMatch() && Text.contains(digit);
}

std::vector<QStringList> ExportSheetRows(const TReportTable& Table, const TExportLines& Lines) {
    std::vector<QStringList> rows;
    const int width = std::max(1, Table.ColumnCount());
    auto lineRow = [width](const QString& Text) {
        QStringList row(width);
        row[0] = Text;
        return row;
    };
    if (!Lines.Header.isEmpty())
        rows.push_back(lineRow(Lines.Header));
    for (const QStringList& row : ExportTableRows(Table, Lines.ColumnHeaders))
        rows.push_back(row);
    if (!Lines.Footer.isEmpty())
        rows.push_back(lineRow(Lines.Footer));
    return rows;
}

// RFC 4180: comma-separated, CR LF line ends, double quotes doubled.
QByteArray CsvExport(const TReportTable& Table, const TExportLines& Lines) {
    return QByteArray(Utf8Bom) +
           JoinedRows(Table, Lines, CsvField, QLatin1Char(','), QLatin1String(LineEnd)).toUtf8();
}

QByteArray TsvExport(const TReportTable& Table, const TExportLines& Lines) {
    return QByteArray(Utf8Bom) +
           JoinedRows(Table, Lines, TsvFileField, QLatin1Char('\t'), QLatin1String(LineEnd))
               .toUtf8();
}

// The clipboard's text stays the cells as they are: pasted text goes where
// the user chose and is read by whatever takes it, not only spreadsheets.
QString TabSeparatedText(const TReportTable& Table, const TExportLines& Lines) {
    return JoinedRows(Table, Lines, TsvField, QLatin1Char('\t'), QStringLiteral("\n"));
}

// DIF: a header of TABLE, VECTORS (columns), TUPLES (rows) and DATA, then
// each row as BOT followed by one string value (type 1) per column.
QByteArray DifExport(const TReportTable& Table, const TExportLines& Lines) {
    const std::vector<QStringList> rows = ExportSheetRows(Table, Lines);
    QString dif;
    AddDifHeader(dif, QStringLiteral("TABLE"), 1);
    AddDifHeader(dif, QStringLiteral("VECTORS"), rows.empty() ? 0 : rows.front().size());
    AddDifHeader(dif, QStringLiteral("TUPLES"), static_cast<qsizetype>(rows.size()));
    AddDifHeader(dif, QStringLiteral("DATA"), 0);
    for (const QStringList& row : rows) {
        dif += QStringLiteral("-1,0\r\nBOT\r\n");
        for (const QString& cell : row)
            dif += QStringLiteral("1,0\r\n") + Quoted(OneLine(cell)) + QStringLiteral("\r\n");
    }
    dif += QStringLiteral("-1,0\r\nEOD\r\n");
    return Windows1252(dif);
}

// SYLK: one C record per non-empty cell, its text as a K value in double
// quotes; a ";" inside a field is written ";;". SYLK has no way to name its
// character set: Excel reads it in the system's ANSI code page, LibreOffice
// in the encoding of the locale. So it is written in the system's 8-bit
// encoding, which both read on the system the export ran on: UTF-8 on
// Linux and macOS, the ANSI code page on Windows.
QByteArray SylkExport(const TReportTable& Table, const TExportLines& Lines) {
    const std::vector<QStringList> rows = ExportSheetRows(Table, Lines);
    QString slk = QStringLiteral("ID;PWXL;N;E\r\n");
    slk += QStringLiteral("B;Y%1;X%2\r\n")
               .arg(rows.size())
               .arg(rows.empty() ? 0 : rows.front().size());
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            if (rows[r][c].isEmpty())
                continue;
            QString text = OneLine(rows[r][c]);
            text.replace(QLatin1Char(';'), QStringLiteral(";;"));
            slk += QStringLiteral("C;Y%1;X%2;K\"%3\"\r\n").arg(r + 1).arg(c + 1).arg(text);
        }
    slk += QStringLiteral("E\r\n");
    return slk.toLocal8Bit();
}
