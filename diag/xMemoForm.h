#pragma once
// The report window: a read-only text view, a tree view or a report-style
// table, one of them filling the window, with "Save To File", "Font" and
// "Exit" side by side in its menu bar. The table sorts by a clicked column
// and exports to document formats (from "Save To File" or a right-button
// press). Each use creates a fresh window that deletes itself when closed.
//
// Window placement is kept between runs in the program's settings file
// (QSettings, user scope, native format; organisation: the application's
// organisation name, or its application name when none is set; application:
// the application name; on Linux ~/.config/Memory Hexvac/Memory Hexvac.conf)
// under the key "MemoForm/Geometry": position, size and maximised state as
// QWidget::saveGeometry gives them. Nothing of the window's content is kept.
//
// The window's dialogs (save, font, colour, export) run through
// ReportSeams() of ExportDialog.h.

#include "common/ReportTable.h"

#include <QMainWindow>
#include <QString>
#include <vector>

class QAction;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;
class QTreeWidget;

class TMemoForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMemoForm(QWidget* Owner = nullptr);
    ~TMemoForm() override;

    // The view modes of ShowView.
    static constexpr int TextView = 0;
    static constexpr int TreeView = 1;
    static constexpr int TableView = 2;

    QMenuBar* MainMenu1 = nullptr;
    QAction* SaveToFile1 = nullptr;
    QAction* Font1 = nullptr;
    QAction* Exit1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QTreeWidget* TVData = nullptr;
    QTreeWidget* LVData = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    // The folder "view only" exports write into: the program's folder
    // (AppDir) until the caller sets it.
    void SetTempFolder(const QString& Folder) { tempFolder_ = Folder; }
    const QString& TempFolder() const { return tempFolder_; }

    // Enables and shows the view of Mode (TextView, TreeView, TableView); any
    // other value shows nothing. The other views stay hidden.
    void ShowView(int Mode);
    // Red text on black, or black on white, for the table and the text view.
    void SetRedOnBlack(bool On);

    // Replaces the table's columns and rows by Table's.
    void FillTable(const TReportTable& Table);
    // The table as it is shown now: current row order, column captions with
    // any sort marker, widths and alignments.
    TReportTable TableFromView() const;

public slots:
    void SaveToFile1Click();
    void Font1Click();
    void Exit1Click();
    void LVDataColumnClick(int Column);

protected:
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateControls();
    void FormCreate();
    void LVDataMouseDown(Qt::MouseButton Button);
    // Widens every table column to what its cells and caption need.
    void FitColumns();
    void RunExport();
    void SaveTextLines(const QString& FileName);

    QString tempFolder_;
    std::vector<TColumnAlign> columnAligns_;
    std::vector<int> columnWidths_; // the widths the table asked for
};
