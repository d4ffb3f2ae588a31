// The document-like text formats: HTML, plain text in aligned columns, and
// RTF. Each lays the table out as a table, with the header line above it and
// the footer line below.

#include "diag/ExportWriters.h"

#include <algorithm>

namespace {

// HTML collapses blanks at the start and end of a cell and runs of blanks;
// those become no-break spaces, so an indented value keeps its indent in
// every reader (LibreOffice, for one, ignores "white-space: pre").
QString HtmlText(const QString& Text) {
    QString html;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar ch = Text[i];
        if (ch == QLatin1Char(' ') &&
            (i == 0 || i + 1 == Text.size() || Text[i - 1] == QLatin1Char(' ')))
            html += QStringLiteral("&nbsp;");
        else if (ch == QLatin1Char('\n'))
            html += QStringLiteral("<br>");
        else if (ch != QLatin1Char('\r'))
            html += QString(ch).toHtmlEscaped();
    }
    return html;
}

// A cell a spreadsheet would misread is marked as text twice over: Calc
// honours its own "sdnum" attribute with the text format "@", Excel the
// class whose mso-number-format is "@". Browsers ignore both.
void AddHtmlRow(QString& Html, const TReportTable& Table, const QStringList& Cells,
                const QString& Tag) {
    Html += QStringLiteral("<tr>");
    for (int c = 0; c < Cells.size(); ++c) {
        const QString asText = SpreadsheetMisreads(Cells[c])
                                   ? QStringLiteral(" class=\"text\" sdnum=\"1033;1033;@\"")
                                   : QString();
        Html += QStringLiteral("<%1%2 style=\"text-align:%3\">%4</%1>")
                    .arg(Tag, asText, AlignName(Table.Columns[c].Align), HtmlText(Cells[c]));
    }
    Html += QStringLiteral("</tr>\n");
}

// Fills Text to Width by the column's alignment; the last column is not
// filled on the right, so no line ends in padding.
QString Aligned(const QString& Text, int Width, TColumnAlign Align, bool Last) {
    const int room = Width - static_cast<int>(Text.size());
    switch (Align) {
    case TColumnAlign::Right:
        return QString(room, QLatin1Char(' ')) + Text;
    case TColumnAlign::Center: {
        const QString left(room / 2, QLatin1Char(' '));
        return Last ? left + Text : left + Text + QString(room - room / 2, QLatin1Char(' '));
    }
    case TColumnAlign::Left:
        break;
    }
    return Last ? Text : Text + QString(room, QLatin1Char(' '));
}

QString TextLine(const TReportTable& Table, const QStringList& Cells,
                 const std::vector<int>& Widths) {
    QStringList parts;
    for (int c = 0; c < Cells.size(); ++c) {
        QString cell = Cells[c];
        cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
        cell.replace(QLatin1Char('\r'), QLatin1Char(' '));
        cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
        parts.append(Aligned(cell, Widths[c], Table.Columns[c].Align, c + 1 == Cells.size()));
    }
    return parts.join(QStringLiteral("  "));
}

// RTF is 7-bit: the control characters are escaped and every character
// beyond ASCII is written as its UTF-16 unit (\uN, N signed 16-bit) followed
// by "?" for readers that know no Unicode. A blank next to another blank is
// put in a group of its own: LibreOffice turns a run of blanks in RTF from
// other programs into alternating narrow spaces.
QByteArray RtfText(const QString& Text) {
    QByteArray rtf;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const char16_t unit = Text[i].unicode();
        const bool blankRun =
            unit == ' ' && ((i > 0 && Text[i - 1] == QLatin1Char(' ')) ||
                            (i + 1 < Text.size() && Text[i + 1] == QLatin1Char(' ')));
        if (blankRun) {
            rtf += "{ }";
        } else if (unit == '\\' || unit == '{' || unit == '}') {
            rtf += '\\';
            rtf += static_cast<char>(unit);
        } else if (unit == '\t') {
            rtf += "\\tab ";
        } else if (unit == '\n') {
            rtf += "\\line ";
        } else if (unit < 0x20 || unit == 0x7F) {
            continue; // no place in a cell's text; "\r" of a "\r\n" pair lands here
        } else if (unit < 0x80) {
            rtf += static_cast<char>(unit);
        } else {
            rtf += "\\u" + QByteArray::number(static_cast<qint16>(unit)) + '?';
        }
    }
    return rtf;
}

QByteArray RtfAlign(TColumnAlign Align) {
    switch (Align) {
    case TColumnAlign::Right:
        return "\\qr";
    case TColumnAlign::Center:
        return "\\qc";
    case TColumnAlign::Left:
        break;
    }
    return "\\ql";
}

// One table row: the row definition with bordered cells ending at the given
// right edges (twips), then each cell's paragraph.
void AddRtfRow(QByteArray& Rtf, const TReportTable& Table, const QStringList& Cells,
               const std::vector<int>& RightEdges, bool Bold) {
    Rtf += "\\trowd\\trgaph60\\trleft0";
    if (Bold)
        Rtf += "\\trhdr";
    for (const int edge : RightEdges)
        Rtf += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
               "\\clbrdrr\\brdrs\\brdrw10\\cellx" +
               QByteArray::number(edge);
    Rtf += '\n';
    for (int c = 0; c < Cells.size(); ++c) {
        // The space ends the control words; blanks at the start of a cell's
        // text follow it and are kept.
        Rtf += "\\pard\\intbl" + RtfAlign(Table.Columns[c].Align) + (Bold ? "\\b " : "\\b0 ") +
               RtfText(Cells[c]) + "\\cell\n";
    }
    Rtf += "\\row\n";
}

} // namespace

QByteArray HtmlExport(const TReportTable& Table, const TExportLines& Lines) {
    QString html = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n");
    html += QStringLiteral("<title>%1</title>\n").arg(Lines.Header.toHtmlEscaped());
    html += QStringLiteral("<style>\ntable { border-collapse: collapse; }\n"
                           "th, td { border: 1px solid #808080; padding: 1px 4px; }\n"
                           ".text { mso-number-format: \"\\@\"; }\n"
                           "</style>\n</head>\n<body>\n");
    if (!Lines.Header.isEmpty())
        html += QStringLiteral("<p>%1</p>\n").arg(HtmlText(Lines.Header));
    const std::vector<QStringList> rows = ExportTableRows(Table, Lines.ColumnHeaders);
    if (!rows.empty()) {
        html += QStringLiteral("<table>\n");
        for (size_t r = 0; r < rows.size(); ++r) {
            const bool captions = r == 0 && Lines.ColumnHeaders;
            AddHtmlRow(html, Table, rows[r],
                       captions ? QStringLiteral("th") : QStringLiteral("td"));
        }
        html += QStringLiteral("</table>\n");
    }
    if (!Lines.Footer.isEmpty())
        html += QStringLiteral("<p>%1</p>\n").arg(HtmlText(Lines.Footer));
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

// Columns as wide as their widest cell, two blanks apart. Nothing is cut
// short: a text export that drops the end of long cells would lose data.
QByteArray TextExport(const TReportTable& Table, const TExportLines& Lines) {
    const std::vector<QStringList> rows = ExportTableRows(Table, Lines.ColumnHeaders);
    std::vector<int> widths(Table.ColumnCount(), 0);
    for (const QStringList& row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], static_cast<int>(row[c].size()));

    QStringList lines;
    if (!Lines.Header.isEmpty())
        lines << Lines.Header << QString();
    for (size_t r = 0; r < rows.size(); ++r) {
        lines << TextLine(Table, rows[r], widths);
        if (r == 0 && Lines.ColumnHeaders) { // a rule under the captions
            QStringList rule;
            for (const int width : widths)
                rule << QString(width, QLatin1Char('-'));
            lines << rule.join(QStringLiteral("  "));
        }
    }
    if (!Lines.Footer.isEmpty())
        lines << QString() << Lines.Footer;
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QByteArray RichTextExport(const TReportTable& Table, const TExportLines& Lines) {
    // Cell widths from the table's column widths (pixels at 96 dpi, 15 twips
    // each), at least half an inch so that an unsized column stays readable.
    std::vector<int> rightEdges;
    int edge = 0;
    for (const TReportColumn& column : Table.Columns) {
        edge += std::max(column.Width * 15, 720);
        rightEdges.push_back(edge);
    }
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
                     "{\\fonttbl{\\f0\\fswiss Arial;}}\n"
                     "\\paperw16838\\paperh11906\\landscape\\margl720\\margr720\n"
                     "\\f0\\fs18\n";
    if (!Lines.Header.isEmpty())
        rtf += "\\pard\\plain\\f0\\fs18 " + RtfText(Lines.Header) + "\\par\n";
    const std::vector<QStringList> rows = ExportTableRows(Table, Lines.ColumnHeaders);
    for (size_t r = 0; r < rows.size(); ++r)
        AddRtfRow(rtf, Table, rows[r], rightEdges, r == 0 && Lines.ColumnHeaders);
    if (!Lines.Footer.isEmpty())
        rtf += "\\pard\\plain\\f0\\fs18 " + RtfText(Lines.Footer) + "\\par\n";
    rtf += "}\n";
    return rtf;
}
