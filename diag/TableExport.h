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

// Writes Table as Format (not the clipboard) into FileName. Returns an empty
// text on success, otherwise what failed with the system's reason.
QString WriteTableExport(const TReportTable& Table, TExportFormat Format, const QString& FileName,
                         const TExportOptions& Options);

// The text the clipboard export puts on the clipboard: tab-separated lines.
QString ClipboardExportText(const TReportTable& Table, const TExportOptions& Options);
