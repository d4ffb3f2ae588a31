#pragma once
// The writers behind WriteTableExport, one per format. Each turns a table
// into the whole content of the file in memory; TableExport.cpp then writes
// that content in one go, so a failure never leaves half a file behind.

#include "common/ReportTable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The parts every format shares, worked out once from the export options.
struct TExportLines {
    QString Header; // the line above the table; empty: none
    QString Footer; // the line below the table; empty: none
    bool ColumnHeaders = true;
};

// The table part of an export: the column captions (when asked for) and
// then the rows, each with exactly one cell per column (a short row is
// filled with empty cells, any surplus dropped), so no writer can index past
// a row. Nothing at all when the table has no columns.
std::vector<QStringList> ExportTableRows(const TReportTable& Table, bool ColumnHeaders);

// The rows a spreadsheet-like format writes, each with one cell per column:
// the header line (in the first cell), the column captions, the table's rows
// and the footer line, as the options ask.
std::vector<QStringList> ExportSheetRows(const TReportTable& Table, const TExportLines& Lines);

// Whether a spreadsheet opening a text-based export (CSV, tab-separated,
// HTML) with its default import options would take Text for something other
// than this text: a number or date that shows differently from it ("0001",
// "00020000", a bit text longer than the 15 digits a number keeps, "1.5",
// "+5", "1/2", "14:05", "50%", "1E5"), or a formula ("=1+1"). Plain integers
// such as "9600" read back as the same digits and are left as they are.
bool SpreadsheetMisreads(const QString& Text);

QByteArray HtmlExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray TextExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray RichTextExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray CsvExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray TsvExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray DifExport(const TReportTable& Table, const TExportLines& Lines);
QByteArray SylkExport(const TReportTable& Table, const TExportLines& Lines);
// "left", "right" or "center": the word HTML and Word both use for a
// column's alignment.
QString AlignName(TColumnAlign Align);

// Tab-separated lines with "\n" line ends and no byte order mark.
QString TabSeparatedText(const TReportTable& Table, const TExportLines& Lines);

// The office formats go through libraries that can fail; these return an
// empty text on success, otherwise the reason.
QString ExcelExport(const TReportTable& Table, const TExportLines& Lines, QByteArray& Content);
QString WordExport(const TReportTable& Table, const TExportLines& Lines, QByteArray& Content);
