#pragma once
// A report-style table held as plain data: column captions, widths and
// alignments, and rows of cell texts. The port property report is built in
// one, the report window shows it, and the export writers write it, so the
// report can also be produced and exported without a window.

#include <QString>
#include <QStringList>
#include <vector>

enum class TColumnAlign { Left, Right, Center };

struct TReportColumn {
    QString Caption;
    int Width = 0; // pixels, as the table shows it
    TColumnAlign Align = TColumnAlign::Left;
};

struct TReportTable {
    std::vector<TReportColumn> Columns;
    // Every row holds one text per column; column 0 is the row's caption.
    std::vector<QStringList> Rows;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
    int RowCount() const { return static_cast<int>(Rows.size()); }
    const QString& Cell(int Row, int Column) const { return Rows.at(Row).at(Column); }

    // Appends a column; every existing row gets Fill in it.
    void AddColumn(const QString& Caption, int Width, const QString& Fill = QString()) {
        Columns.push_back({Caption, Width, TColumnAlign::Left});
        for (QStringList& row : Rows)
            row.append(Fill);
    }
    // Appends a row of empty cells and returns its index.
    int AddRow() {
        Rows.emplace_back();
        for (int i = 0; i < ColumnCount(); ++i)
            Rows.back().append(QString());
        return RowCount() - 1;
    }
    void SetCell(int Row, int Column, const QString& Text) { Rows.at(Row)[Column] = Text; }
};
