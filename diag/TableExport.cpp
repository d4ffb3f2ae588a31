// The export formats, the lines every format shares, and writing a file so
// that it is either complete or not there at all.

#include "diag/TableExport.h"

#include "diag/ExportWriters.h"

#include <QDir>
#include <QSaveFile>
#include <algorithm>

namespace {

// Tab-separated text gets "tsv" rather than the "txt" some spreadsheets use,
// so that its default file name ("TmpDump.tsv") never overwrites the one of
// the Text format and readers can tell the two apart by the name alone.
const std::vector<TExportFormatInfo> Formats = {
    {TExportFormat::Html, QStringLiteral("HTML"), QStringLiteral("HTML Documents"),
     QStringLiteral("html"), QStringLiteral("html")},
    {TExportFormat::Word, QStringLiteral("Microsoft Word"), QStringLiteral("Word Documents"),
     QStringLiteral("docx"), QStringLiteral("doc")},
    {TExportFormat::Excel, QStringLiteral("Microsoft Excel"), QStringLiteral("Excel Files"),
     QStringLiteral("xlsx"), QStringLiteral("xls")},
    {TExportFormat::Text, QStringLiteral("Text"), QStringLiteral("Text Files"),
     QStringLiteral("txt"), QStringLiteral("txt")},
    {TExportFormat::RichText, QStringLiteral("Rich Text"), QStringLiteral("Rich Text Format"),
     QStringLiteral("rtf"), QStringLiteral("rtf")},
    {TExportFormat::Csv, QStringLiteral("Comma-Separated Text"),
     QStringLiteral("CSV (Comma delimited)"), QStringLiteral("csv"), QStringLiteral("csv")},
    {TExportFormat::Tsv, QStringLiteral("Tab-Separated Text"),
     QStringLiteral("Text (Tab delimited)"), QStringLiteral("tsv"), QStringLiteral("tsv")},
    {TExportFormat::Dif, QStringLiteral("Data Interchange Format"),
     QStringLiteral("Data Interchange Format"), QStringLiteral("dif"), QStringLiteral("dif")},
    {TExportFormat::Sylk, QStringLiteral("SYLK Format"), QStringLiteral("SYLK Files"),
     QStringLiteral("slk"), QStringLiteral("slk")},
    {TExportFormat::Clipboard, QStringLiteral("Clipboard"), QString(), QString(), QString()},
};

TExportLines ExportLines(const TExportOptions& Options) {
    TExportLines lines;
    if (Options.HeaderLine)
        lines.Header = Options.Title;
    // The footer line carries the export date; without the date it would be
    // an empty line, which no format needs.
    if (Options.FooterLine && Options.ExportDate)
        lines.Footer = QStringLiteral("Created: ") +
                       Options.Created.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
                       Options.Created.toString(QStringLiteral("hh:mm"));
    lines.ColumnHeaders = Options.ColumnHeaders;
    return lines;
}

QString FileError(const QString& FileName, const QString& Reason) {
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QDir::toNativeSeparators(FileName), Reason);
}

} // namespace

const std::vector<TExportFormatInfo>& ExportFormats() {
    return Formats;
}

const TExportFormatInfo& ExportFormatInfo(TExportFormat Format) {
    for (const TExportFormatInfo& info : Formats)
        if (info.Format == Format)
            return info;
    return Formats.front(); // unreachable: every format has an entry
}

const TExportFormatInfo* ExportFormatByCliName(const QString& Name) {
    for (const TExportFormatInfo& info : Formats)
        if (!info.CliName.isEmpty() && info.CliName == Name)
            return &info;
    return nullptr;
}

QString ExportFileName(TExportFormat Format, const QString& FileName) {
    const TExportFormatInfo& info = ExportFormatInfo(Format);
    if (info.Extension.isEmpty())
        return FileName;
    // Only the last part of the path names the file: "a.b/report" has no
    // extension.
    const qsizetype slash =
        std::max(FileName.lastIndexOf(QLatin1Char('/')), FileName.lastIndexOf(QDir::separator()));
    const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > slash ? FileName.mid(dot + 1) : QString();
    if (suffix.compare(info.Extension, Qt::CaseInsensitive) == 0)
        return FileName;
    // The command line names the office formats by their classic
    // extensions ("xls", "doc"); every other format's name is its extension.
    const bool classic = suffix.compare(info.CliName, Qt::CaseInsensitive) == 0;
    if (classic || (dot > slash && suffix.isEmpty())) // "TmpDump.xls", or "TmpDump."
        return FileName.left(dot + 1) + info.Extension;
    return FileName + QLatin1Char('.') + info.Extension;
}

std::vector<QStringList> ExportTableRows(const TReportTable& Table, bool ColumnHeaders) {
    std::vector<QStringList> rows;
    if (Table.ColumnCount() == 0)
        return rows;
    if (ColumnHeaders) {
        QStringList captions;
        for (const TReportColumn& column : Table.Columns)
            captions.append(column.Caption);
        rows.push_back(captions);
    }
    for (const QStringList& row : Table.Rows) {
        QStringList cells = row.mid(0, Table.ColumnCount());
        while (cells.size() < Table.ColumnCount())
            cells.append(QString());
        rows.push_back(cells);
    }
    return rows;
}

QString WriteTableExport(const TReportTable& Table, TExportFormat Format, const QString& FileName,
                         const TExportOptions& Options) {
    const TExportLines lines = ExportLines(Options);
    QByteArray content;
    QString error;
    switch (Format) {
    case TExportFormat::Html:
        content = HtmlExport(Table, lines);
        break;
    case TExportFormat::Word:
        error = WordExport(Table, lines, content);
        break;
    case TExportFormat::Excel:
        error = ExcelExport(Table, lines, content);
        break;
    case TExportFormat::Text:
        content = TextExport(Table, lines);
        break;
    case TExportFormat::RichText:
        content = RichTextExport(Table, lines);
        break;
    case TExportFormat::Csv:
        content = CsvExport(Table, lines);
        break;
    case TExportFormat::Tsv:
        content = TsvExport(Table, lines);
        break;
    case TExportFormat::Dif:
        content = DifExport(Table, lines);
        break;
    case TExportFormat::Sylk:
        content = SylkExport(Table, lines);
        break;
    case TExportFormat::Clipboard:
        error = QStringLiteral("The clipboard export writes no file.");
        break;
    }
    if (!error.isEmpty())
        return FileError(FileName, error);

    // QSaveFile writes a temporary file beside the target and renames it over
    // the target only once everything is written.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        return FileError(FileName, file.errorString());
    if (file.write(content) != content.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileError(FileName, reason);
    }
    if (!file.commit())
        return FileError(FileName, file.errorString());
    return QString();
}

QString ClipboardExportText(const TReportTable& Table, const TExportOptions& Options) {
    return TabSeparatedText(Table, ExportLines(Options));
}

QString AlignName(TColumnAlign Align) {
    switch (Align) {
    case TColumnAlign::Right:
        return QStringLiteral("right");
    case TColumnAlign::Center:
        return QStringLiteral("center");
    case TColumnAlign::Left:
        break;
    }
    return QStringLiteral("left");
}
