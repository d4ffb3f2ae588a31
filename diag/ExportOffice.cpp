// The office formats: an Excel workbook (.xlsx) written by libxlsxwriter and
// a Word document (.docx) packed by libzip, both real Office Open XML files.

#include "diag/ExportWriters.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <xlsxwriter.h>
#include <zip.h>

namespace {

lxw_format_alignments ExcelAlign(TColumnAlign Align) {
    switch (Align) {
    case TColumnAlign::Right:
        return LXW_ALIGN_RIGHT;
    case TColumnAlign::Center:
        return LXW_ALIGN_CENTER;
    case TColumnAlign::Left:
        break;
    }
    return LXW_ALIGN_LEFT;
}

// Fills the first sheet. Every cell is written as a string, so "0001" or
// "=1+1" stay the text they are.
lxw_error FillWorksheet(lxw_workbook* Book, const TReportTable& Table, const TExportLines& Lines) {
    lxw_worksheet* sheet = workbook_add_worksheet(Book, nullptr);
    if (!sheet)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    std::vector<lxw_format*> cellFormats;
    std::vector<lxw_format*> captionFormats;
    for (int c = 0; c < Table.ColumnCount(); ++c) {
        lxw_format* cell = workbook_add_format(Book);
        lxw_format* caption = workbook_add_format(Book);
        format_set_align(cell, ExcelAlign(Table.Columns[c].Align));
        format_set_align(caption, ExcelAlign(Table.Columns[c].Align));
        format_set_bold(caption);
        cellFormats.push_back(cell);
        captionFormats.push_back(caption);
        // Column widths are in characters; the table's are pixels, about
        // seven to a character of the default font.
        const double chars = std::max(Table.Columns[c].Width / 7.0, 8.43);
        worksheet_set_column(sheet, c, c, chars, nullptr);
    }

    lxw_row_t row = 0;
    auto writeLine = [&](const QString& Text) {
        return Text.isEmpty()
                   ? LXW_NO_ERROR
                   : worksheet_write_string(sheet, row++, 0, Text.toUtf8().constData(), nullptr);
    };
    lxw_error error = writeLine(Lines.Header);
    const std::vector<QStringList> rows = ExportTableRows(Table, Lines.ColumnHeaders);
    for (size_t r = 0; r < rows.size() && error == LXW_NO_ERROR; ++r, ++row) {
        const bool captions = r == 0 && Lines.ColumnHeaders;
        for (int c = 0; c < rows[r].size() && error == LXW_NO_ERROR; ++c)
            if (!rows[r][c].isEmpty())
                error = worksheet_write_string(sheet, row, c, rows[r][c].toUtf8().constData(),
                                               captions ? captionFormats[c] : cellFormats[c]);
    }
    if (error != LXW_NO_ERROR)
        return error;
    return writeLine(Lines.Footer);
}

// XML text: the markup characters escaped, and the control characters XML
// does not allow dropped, as one of them would make the document unreadable.
QString XmlText(const QString& Text) {
    QString xml;
    for (const QChar ch : Text) {
        const char16_t unit = ch.unicode();
        if (unit == '&')
            xml += QStringLiteral("&amp;");
        else if (unit == '<')
            xml += QStringLiteral("&lt;");
        else if (unit == '>')
            xml += QStringLiteral("&gt;");
        else if (unit == '"')
            xml += QStringLiteral("&quot;");
        else if (unit >= 0x20 || unit == '\t' || unit == '\n')
            xml += ch;
    }
    return xml;
}

// A paragraph holding Text; tabs and line breaks become Word's own elements,
// and xml:space="preserve" keeps leading and trailing blanks.
QString WordParagraph(const QString& Text, const QString& Justify = QString(), bool Bold = false) {
    QString xml = QStringLiteral("<w:p>");
    if (!Justify.isEmpty())
        xml += QStringLiteral("<w:pPr><w:jc w:val=\"%1\"/></w:pPr>").arg(Justify);
    if (!Text.isEmpty()) {
        xml += Bold ? QStringLiteral("<w:r><w:rPr><w:b/></w:rPr>") : QStringLiteral("<w:r>");
        QString body = XmlText(Text);
        body.replace(QLatin1Char('\t'),
                     QStringLiteral("</w:t><w:tab/><w:t xml:space=\"preserve\">"));
        body.replace(QLatin1Char('\n'),
                     QStringLiteral("</w:t><w:br/><w:t xml:space=\"preserve\">"));
        xml +=
            QStringLiteral("<w:t xml:space=\"preserve\">") + body + QStringLiteral("</w:t></w:r>");
    }
    return xml + QStringLiteral("</w:p>");
}

QString WordRow(const TReportTable& Table, const QStringList& Cells, const std::vector<int>& Widths,
                bool Caption) {
    QString xml = Caption ? QStringLiteral("<w:tr><w:trPr><w:tblHeader/></w:trPr>")
                          : QStringLiteral("<w:tr>");
    for (int c = 0; c < Cells.size(); ++c)
        xml += QStringLiteral("<w:tc><w:tcPr><w:tcW w:w=\"%1\" w:type=\"dxa\"/></w:tcPr>")
                   .arg(Widths[c]) +
               WordParagraph(Cells[c], AlignName(Table.Columns[c].Align), Caption) +
               QStringLiteral("</w:tc>");
    return xml + QStringLiteral("</w:tr>");
}

QByteArray WordDocumentXml(const TReportTable& Table, const TExportLines& Lines) {
    // Column widths in twips from the table's pixels (15 twips each at 96 dpi).
    std::vector<int> widths;
    for (const TReportColumn& column : Table.Columns)
        widths.push_back(std::max(column.Width * 15, 720));

    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body>");
    if (!Lines.Header.isEmpty())
        xml += WordParagraph(Lines.Header);
    const std::vector<QStringList> rows = ExportTableRows(Table, Lines.ColumnHeaders);
    if (!rows.empty()) {
        xml += QStringLiteral("<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>");
        for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
            xml += QStringLiteral(
                       "<w:%1 w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"808080\"/>")
                       .arg(QLatin1String(side));
        xml += QStringLiteral("</w:tblBorders></w:tblPr><w:tblGrid>");
        for (const int width : widths)
            xml += QStringLiteral("<w:gridCol w:w=\"%1\"/>").arg(width);
        xml += QStringLiteral("</w:tblGrid>");
        for (size_t r = 0; r < rows.size(); ++r)
            xml += WordRow(Table, rows[r], widths, r == 0 && Lines.ColumnHeaders);
        xml += QStringLiteral("</w:tbl>");
    }
    // Word insists on a paragraph after a table, so one is there even
    // without a footer line.
    xml += WordParagraph(Lines.Footer);
    // Landscape A4 with narrow margins: the report is wide.
    xml += QStringLiteral("<w:sectPr><w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/>"
                          "<w:pgMar w:top=\"720\" w:right=\"720\" w:bottom=\"720\" w:left=\"720\" "
                          "w:header=\"360\" w:footer=\"360\" w:gutter=\"0\"/></w:sectPr>"
                          "</w:body></w:document>\n");
    return xml.toUtf8();
}

const char* const ContentTypesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
    "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>\n";

const char* const PackageRelsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/officeDocument\" Target=\"word/document.xml\"/>"
    "</Relationships>\n";

QString ZipReason(zip_error_t* Error) {
    return QString::fromUtf8(zip_error_strerror(Error));
}

// Packs the parts into a zip archive held in memory.
QString ZipParts(const std::vector<std::pair<const char*, QByteArray>>& Parts, QByteArray& Zip) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) {
        QString reason = ZipReason(&error);
        zip_error_fini(&error);
        return reason;
    }
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!archive) {
        QString reason = ZipReason(&error);
        zip_source_free(buffer);
        zip_error_fini(&error);
        return reason;
    }
    zip_error_fini(&error);
    zip_source_keep(buffer); // the archive's close would free it otherwise
    for (const auto& [name, data] : Parts) {
        zip_source_t* part = zip_source_buffer(archive, data.constData(), data.size(), 0);
        if (!part || zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8) < 0) {
            QString reason = QString::fromUtf8(zip_strerror(archive));
            if (part)
                zip_source_free(part);
            zip_discard(archive);
            zip_source_free(buffer);
            return reason;
        }
    }
    if (zip_close(archive) < 0) {
        QString reason = QString::fromUtf8(zip_strerror(archive));
        zip_discard(archive);
        zip_source_free(buffer);
        return reason;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    QString reason;
    if (zip_source_stat(buffer, &stat) < 0 || zip_source_open(buffer) < 0) {
        reason = ZipReason(zip_source_error(buffer));
    } else {
        Zip.resize(static_cast<qsizetype>(stat.size));
        if (zip_source_read(buffer, Zip.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            reason = ZipReason(zip_source_error(buffer));
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return reason;
}

} // namespace

QString ExcelExport(const TReportTable& Table, const TExportLines& Lines, QByteArray& Content) {
    // libxlsxwriter writes only to a named file: a private temporary folder
    // holds it until its content is read back.
    QTemporaryDir folder;
    if (!folder.isValid())
        return folder.errorString();
    const QString name = folder.filePath(QStringLiteral("export.xlsx"));
    lxw_workbook* book = workbook_new(QFile::encodeName(name).constData());
    if (!book)
        return QStringLiteral("The workbook could not be created.");
    lxw_error error = FillWorksheet(book, Table, Lines);
    const lxw_error closed = workbook_close(book); // frees the workbook in any case
    if (error == LXW_NO_ERROR)
        error = closed;
    if (error != LXW_NO_ERROR)
        return QString::fromUtf8(lxw_strerror(error));
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    Content = file.readAll();
    return QString();
}

QString WordExport(const TReportTable& Table, const TExportLines& Lines, QByteArray& Content) {
    return ZipParts({{"[Content_Types].xml", QByteArray(ContentTypesXml)},
                     {"_rels/.rels", QByteArray(PackageRelsXml)},
                     {"word/document.xml", WordDocumentXml(Table, Lines)}},
                    Content);
}
