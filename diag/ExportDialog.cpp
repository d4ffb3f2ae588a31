#include "diag/ExportDialog.h"

#include "common/StdFuncsMisc.h"
#include "common/StdFuncsMiscWindows.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

const QString DialogCaption = QStringLiteral("Exporting DataSet");
const QString DefaultFileName = QStringLiteral("TmpDump");

// The save dialog of "Export to file": "TmpDump" with the format's
// extension, in the program's folder. The chosen name gets the format's
// extension (ExportFileName); when that makes it the name of another file
// that exists, the dialog's own overwrite question was about the name typed,
// so the user is asked again about the file that will be replaced. Empty
// when the user cancels.
QString AskDocumentName(QWidget* Parent, const TExportFormatInfo& Info) {
    QFileDialog save(Parent, QStringLiteral("Save document"),
                     QCoreApplication::applicationDirPath());
    save.setObjectName(QStringLiteral("SaveDocumentDialog"));
    save.setAcceptMode(QFileDialog::AcceptSave); // asks before overwriting
    save.setFileMode(QFileDialog::AnyFile);
    save.setNameFilter(Info.FilterName + QStringLiteral(" (*.") + Info.Extension + u')');
    save.setDefaultSuffix(Info.Extension);
    save.selectFile(ExportFileName(Info.Format, DefaultFileName));
    QString chosen = ReportSeams().AskSaveFile(save);
    if (chosen.isEmpty())
        return chosen;
    QString fileName = ExportFileName(Info.Format, chosen);
    if (fileName != chosen && QFileInfo::exists(fileName) &&
        AskQuestion(Parent,
                    QStringLiteral("\"%1\" already exists.\nDo you want to replace it?")
                        .arg(QDir::toNativeSeparators(fileName)),
                    QStringLiteral("&Yes"), QStringLiteral("&No"), 2) != 1)
        return QString();
    return fileName;
}

// Writes the file behind a "Processing..." box and the hourglass; a large
// document takes a moment and the writer holds the thread meanwhile.
QString WriteShowingProgress(QWidget* Parent, const TReportTable& Table, TExportFormat Format,
                             const QString& FileName, const TExportOptions& Options) {
    QProgressDialog progress(QStringLiteral("Processing..."), QString(), 0, 0, Parent);
    progress.setObjectName(QStringLiteral("ExportProgress"));
    progress.setWindowTitle(DialogCaption);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.show();
    QCoreApplication::processEvents(); // paint the box before the writer runs
    const bool wasBusy = BusyCursorShown();
    SetBusyCursor(true);
    QString error = WriteTableExport(Table, Format, FileName, Options);
    SetBusyCursor(wasBusy);
    return error;
}

} // namespace

TReportSeams RealReportSeams() {
    TReportSeams seams;
    seams.RunDialog = [](QDialog& Dialog) {
        return Dialog.exec();
    };
    seams.AskSaveFile = [](QFileDialog& Dialog) {
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return QString();
        return Dialog.selectedFiles().constFirst();
    };
    seams.OpenDocument = [](const QUrl& Document) {
        return QDesktopServices::openUrl(Document);
    };
    return seams;
}

TReportSeams& ReportSeams() {
    static TReportSeams seams = RealReportSeams();
    return seams;
}

TExportDialog::TExportDialog(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(DialogCaption);
    setFont(ClassicFont());

    FormatGroup = new QGroupBox(QStringLiteral("E&xport formats:"), this);
    FormatGroup->setObjectName(QStringLiteral("FormatGroup"));
    FormatBox = new QComboBox(FormatGroup);
    FormatBox->setObjectName(QStringLiteral("FormatBox"));
    for (const TExportFormatInfo& info : ExportFormats())
        FormatBox->addItem(info.Name);
    auto* groupLayout = new QVBoxLayout(FormatGroup);
    groupLayout->addWidget(FormatBox);

    ViewOnlyButton = new QRadioButton(QStringLiteral("&View only"), this);
    ViewOnlyButton->setObjectName(QStringLiteral("ViewOnlyButton"));
    ToFileButton = new QRadioButton(QStringLiteral("Export &to file"), this);
    ToFileButton->setObjectName(QStringLiteral("ToFileButton"));

    ExportButton = new QPushButton(QStringLiteral("&Export"), this);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    ExportButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(ExportButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ExportButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FormatGroup);
    layout->addWidget(ViewOnlyButton);
    layout->addWidget(ToFileButton);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SelectFormat(TExportFormat::Excel);
    SetExportToFile(false);
}

TExportFormat TExportDialog::SelectedFormat() const {
    const auto& formats = ExportFormats();
    const int index = FormatBox->currentIndex();
    if (index < 0 || index >= static_cast<int>(formats.size()))
        return TExportFormat::Excel;
    return formats[static_cast<std::size_t>(index)].Format;
}

void TExportDialog::SelectFormat(TExportFormat Format) {
    const auto& formats = ExportFormats();
    for (std::size_t i = 0; i < formats.size(); ++i)
        if (formats[i].Format == Format)
            FormatBox->setCurrentIndex(static_cast<int>(i));
}

bool TExportDialog::ExportToFile() const {
    return ToFileButton->isChecked();
}

void TExportDialog::SetExportToFile(bool ToFile) {
    (ToFile ? ToFileButton : ViewOnlyButton)->setChecked(true);
}

QString ViewOnlyFolder(const QString& Preferred) {
    const QFileInfo folder(Preferred);
    if (!Preferred.isEmpty() && folder.isDir() && folder.isWritable())
        return Preferred;
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

void RunTableExport(QWidget* Parent, const TReportTable& Table, const QString& Title,
                    const QString& TempFolder) {
    TExportDialog dialog(Parent);
    if (ReportSeams().RunDialog(dialog) != QDialog::Accepted)
        return;
    const TExportFormat format = dialog.SelectedFormat();
    const bool toFile = dialog.ExportToFile();

    TExportOptions options;
    options.Title = Title;

    if (format == TExportFormat::Clipboard) {
        // The clipboard is both the view and the file of this format.
        QGuiApplication::clipboard()->setText(ClipboardExportText(Table, options));
        ShowMessageAt(Parent, QStringLiteral("Data was copied to clipboard!"));
        return;
    }

    const TExportFormatInfo& info = ExportFormatInfo(format);
    QString fileName;
    if (toFile) {
        fileName = AskDocumentName(Parent, info);
        if (fileName.isEmpty())
            return;
    } else {
        fileName =
            ExportFileName(format, QDir(ViewOnlyFolder(TempFolder)).filePath(DefaultFileName));
    }

    const QString error = WriteShowingProgress(Parent, Table, format, fileName, options);
    if (!error.isEmpty()) {
        ShowMessageAt(Parent, error);
        return;
    }
    // A document nobody shows would look like an export that did nothing.
    if (!toFile && !ReportSeams().OpenDocument(QUrl::fromLocalFile(fileName)))
        ShowMessageAt(Parent, QStringLiteral("No program was found to show \"%1\".")
                                  .arg(QDir::toNativeSeparators(fileName)));
}
