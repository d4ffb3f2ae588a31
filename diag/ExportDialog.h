#pragma once
// Exporting a report table from the report window: the dialog that asks for
// the format and whether to view the result or keep it in a file, and the
// run that follows it (save dialog, writing, viewing, clipboard).
//
// Every dialog of the report window and of the export, and the hand-over of
// a viewed document to the desktop, go through the seams of TReportSeams, so
// that tests can answer the dialogs and see what would be opened without a
// user or a desktop.

#include "common/ReportTable.h"
#include "diag/TableExport.h"

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QComboBox;
class QFileDialog;
class QGroupBox;
class QPushButton;
class QRadioButton;

struct TReportSeams {
    // Shows a prepared dialog modally; its result code (QDialog::Accepted or
    // QDialog::Rejected). Tests set the dialog's choices and return a code.
    std::function<int(QDialog& Dialog)> RunDialog;
    // Shows a prepared save-file dialog; the chosen file, or empty when the
    // user cancels.
    std::function<QString(QFileDialog& Dialog)> AskSaveFile;
    // Hands a written document to the desktop's viewer for its type; false
    // when no viewer took it.
    std::function<bool(const QUrl& Document)> OpenDocument;
};

// The seams in force; by default the real dialogs and the desktop's viewer.
TReportSeams& ReportSeams();
// The real implementations, for a test that replaces only some of them.
TReportSeams RealReportSeams();

// "Exporting DataSet": a format and a destination.
class TExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit TExportDialog(QWidget* Owner = nullptr);

    QGroupBox* FormatGroup = nullptr;
    QComboBox* FormatBox = nullptr;
    QRadioButton* ViewOnlyButton = nullptr;
    QRadioButton* ToFileButton = nullptr;
    QPushButton* ExportButton = nullptr;
    QPushButton* CancelButton = nullptr;

    TExportFormat SelectedFormat() const;
    void SelectFormat(TExportFormat Format);
    bool ExportToFile() const;
    void SetExportToFile(bool ToFile);
};

// The whole export of Table, Title being the header line (the report
// window's caption): asks for format and destination, then writes the
// chosen file, or writes "TmpDump.<ext>" into TempFolder and opens it for
// viewing, or puts the table on the clipboard. Errors are shown to the user
// over Parent; a cancelled dialog ends the run with nothing written.
void RunTableExport(QWidget* Parent, const TReportTable& Table, const QString& Title,
                    const QString& TempFolder);

// The folder "view only" writes into: Preferred when it is a writable
// folder, otherwise the system's temporary folder (a program installed
// where its user may not write still lets the report be viewed).
QString ViewOnlyFolder(const QString& Preferred);
