#pragma once
// Writers that export a report table to document formats: one writer per
// format, all with the same options. The report window's export dialog and
// `hexvac-dump --port-report` both call WriteTableExport.

#include "common/ReportTable.h"

#include <QDateTime>
#include <QString>
#include <vector>

enum class TExportFormat { Html, Word, Excel, Text, RichText, Csv, Tsv, Dif, Sylk, Clipboard };

struct TExportFormatInfo {
    TExportFormat Format;
    QString Name;       // as the export dialog lists it: "Microsoft Excel"
    QString FilterName; // the save dialog's filter name: "Excel Files"; empty for the clipboard
    QString Extension;  // without the dot: "xlsx"; empty for the clipboard
    QString CliName;    // the FORMAT of hexvac-dump --port-report: "xls"; empty for the clipboard
};

// The formats in the order the export dialog lists them.
const std::vector<TExportFormatInfo>& ExportFormats();
const TExportFormatInfo& ExportFormatInfo(TExportFormat Format);
// The format whose CliName is Name, or null.
const TExportFormatInfo* ExportFormatByCliName(const QString& Name);

struct TExportOptions {
    QString Title; // the header line's text (the window caption)
    bool HeaderLine = true;
    bool FooterLine = true;
    bool ExportDate = true; // "Created:" with the date and time in the footer
    bool ColumnHeaders = true;
    QDateTime Created = QDateTime::currentDateTime();
};

// The name Format is written under, given the name a user chose: FileName
// when it ends in the format's extension (any case), otherwise FileName with
// that extension, so that name and content always agree. The classic
// extension of the office formats (".xls" of Excel, ".doc" of Word) is
// replaced, as those programs refuse Office Open XML content under it
// ("TmpDump.xls" gives "TmpDump.xlsx"); any other extension is kept and the
// format's added ("ports.csv" as Excel gives "ports.csv.xlsx"), so the file
// the user named is never overwritten with content of another format.
QString ExportFileName(TExportFormat Format, const QString& FileName);

// Writes Table as Format (not the clipboard) into FileName, exactly that
// name (callers pass it through ExportFileName first). Returns an empty
// text on success, otherwise what failed with the system's reason.
QString WriteTableExport(const TReportTable& Table, TExportFormat Format, const QString& FileName,
                         const TExportOptions& Options);

// The text the clipboard export puts on the clipboard: tab-separated lines.
QString ClipboardExportText(const TReportTable& Table, const TExportOptions& Options);
