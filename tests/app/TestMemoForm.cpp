// The report window: its views and colours, the font, sorting the table by a
// column, saving and exporting, the desktop host's modal window, and the port
// report shown from the "Scope Sources" menu. Every dialog is answered by a
// script; the placement settings go to a folder of the test's own.

#include "app/AppUiHost.h"
#include "app/Dump.h"
#include "diag/ExportDialog.h"
#include "diag/PortReport.h"
#include "diag/xMemoForm.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/COMPorts.h"
#include "tests/support/FakePorts.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/SimLine.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <tuple>

namespace {

using Step = std::function<int(QDialog&)>;

// Answers the window's dialogs in turn and notes which ones were shown: a
// dialog past the end of its script is cancelled, and nothing is opened on
// the desktop.
struct DialogScript {
    QStringList Shown;
    QList<Step> Steps;
    QStringList SaveAs;
    QStringList SaveTitles;
    QList<QUrl> Opened;

    DialogScript() {
        ReportSeams().RunDialog = [this](QDialog& dialog) {
            Shown << dialog.objectName();
            return Steps.isEmpty() ? int(QDialog::Rejected) : Steps.takeFirst()(dialog);
        };
        ReportSeams().AskSaveFile = [this](QFileDialog& dialog) {
            Shown << dialog.objectName();
            SaveTitles << dialog.windowTitle() + u'|' + dialog.nameFilters().join(";;") + u'|' +
                              dialog.selectedFiles().value(0).section(u'/', -1);
            return SaveAs.isEmpty() ? QString() : SaveAs.takeFirst();
        };
        ReportSeams().OpenDocument = [this](const QUrl& document) {
            Opened << document;
            return true;
        };
    }
    ~DialogScript() { ReportSeams() = RealReportSeams(); }
};

Step Export(TExportFormat Format, bool ToFile) {
    return [Format, ToFile](QDialog& dialog) {
        auto& exportDialog = static_cast<TExportDialog&>(dialog);
        exportDialog.SelectFormat(Format);
        exportDialog.SetExportToFile(ToFile);
        return int(QDialog::Accepted);
    };
}

TReportTable SmallTable(int Rows) {
    TReportTable table;
    table.AddColumn(QStringLiteral("Property"), 90);
    table.AddColumn(QStringLiteral("COM1"), 60);
    const QStringList bauds = {"9600", "19200", "4800", "9600"};
    for (int r = 0; r < Rows; ++r) {
        const int row = table.AddRow();
        table.SetCell(row, 0, QStringLiteral("Row %1").arg(r + 1));
        table.SetCell(row, 1, bauds.value(r % 4));
    }
    return table;
}

QStringList Column(const TReportTable& Table, int Column) {
    QStringList cells;
    for (const QStringList& row : Table.Rows)
        cells << row.at(Column);
    return cells;
}

void ClickColumn(TMemoForm& Form, int Column) {
    QHeaderView* header = Form.LVData->header();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(Column) + header->sectionSize(Column) / 2,
               header->height() / 2));
}

// Every port "opens" and reports a rate of its own, without a device.
class RecordsByPort final : public TPortPropsBackend {
public:
    std::string DeviceTarget(const std::string& PortName) override { return "/dev/" + PortName; }
    bool ReadPortRecords(const std::string& PortName, TPortRecords& Records) override {
        TCommConfig config;
        config.dcb.BaudRate = static_cast<std::uint32_t>(PortName.size() * 4800);
        Records = {config, TCommProp{}, TCommTimeouts{}};
        return true;
    }
};

} // namespace

class TestMemoForm : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ScriptedUiHost host_;
    UiHost* previous_ = nullptr;

    // A window the test owns, showing View.
    std::unique_ptr<TMemoForm> NewForm(int View) {
        auto form = std::make_unique<TMemoForm>();
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        form->SetTempFolder(dir_.path());
        form->ShowView(View);
        return form;
    }
    QString Path(const QString& Name) const { return dir_.filePath(Name); }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        UsePrivateVirtualPortsFolder();
    }
    void init() {
        host_.Clear();
        previous_ = InstallUiHost(&host_);
    }
    void cleanup() { InstallUiHost(previous_); }

    void ViewsColoursAndFont() {
        DialogScript script;
        auto form = std::make_unique<TMemoForm>();
        const QList<QWidget*> views = {form->Memo1, form->TVData, form->LVData};
        auto shown = [&] {
            QList<bool> flags;
            for (QWidget* view : views)
                flags << (view->isVisibleTo(form.get()) && view->isEnabled());
            return flags;
        };
        QCOMPARE(shown(), QList<bool>({false, false, false}));
        form->ShowView(3);
        QCOMPARE(shown(), QList<bool>({false, false, false}));
        form->ShowView(TMemoForm::TableView);
        QCOMPARE(shown(), QList<bool>({false, false, true}));
        form->ShowView(TMemoForm::TextView);
        QCOMPARE(shown(), QList<bool>({true, false, false}));

        const QColor treeText = form->TVData->palette().color(QPalette::Text);
        form->SetRedOnBlack(true);
        for (QWidget* view : {views[0], views[2]}) {
            QCOMPARE(view->palette().color(QPalette::Text), QColor(Qt::red));
            QCOMPARE(view->palette().color(QPalette::Base), QColor(Qt::black));
        }
        QCOMPARE(form->TVData->palette().color(QPalette::Text), treeText);

        // Cancelled: nothing changes.
        const QFont before = form->Memo1->font();
        form->Font1->trigger();
        QCOMPARE(script.Shown, QStringList({"FontDialog1"}));
        QCOMPARE(form->Memo1->font(), before);

        // The chosen font and colour go to all three views, over the scheme.
        QFont chosen(QStringLiteral("DejaVu Serif"), 14);
        chosen.setItalic(true);
        script.Steps = {[&](QDialog& dialog) {
                            static_cast<QFontDialog&>(dialog).setCurrentFont(chosen);
                            return int(QDialog::Accepted);
                        },
                        [](QDialog& dialog) {
                            static_cast<QColorDialog&>(dialog).setCurrentColor(Qt::blue);
                            return int(QDialog::Accepted);
                        }};
        form->Font1->trigger();
        for (QWidget* view : views) {
            QCOMPARE(view->font().pointSize(), 14);
            QVERIFY(view->font().italic());
            QCOMPARE(view->palette().color(QPalette::Text), QColor(Qt::blue));
        }
        QCOMPARE(form->Memo1->palette().color(QPalette::Base), QColor(Qt::black));
    }

    // Long cells and a larger font widen the columns: nothing is cut.
    void TableColumnsFitTheirCellsInEveryFont() {
        DialogScript script;
        auto form = NewForm(TMemoForm::TableView);
        TReportTable table = SmallTable(2);
        table.SetCell(1, 0, QStringLiteral("Driver's settable baud rates and parameters"));
        form->FillTable(table);
        auto fits = [&] {
            for (int c = 0; c < 2; ++c)
                for (const QStringList& row : table.Rows)
                    if (form->LVData->header()->sectionSize(c) <
                        form->LVData->fontMetrics().horizontalAdvance(row.at(c)))
                        return false;
            return form->LVData->header()->sectionSize(1) >= 60; // never below what was asked
        };
        QVERIFY(fits());
        script.Steps = {[](QDialog& dialog) {
                            static_cast<QFontDialog&>(dialog).setCurrentFont(
                                QFont(QStringLiteral("DejaVu Sans"), 24));
                            return int(QDialog::Accepted);
                        },
                        [](QDialog&) {
                            return int(QDialog::Rejected);
                        }};
        form->Font1->trigger();
        QCOMPARE(form->LVData->font().pointSize(), 24);
        QVERIFY(fits());
    }

    void TableSortsByAClickedColumn() {
        auto form = NewForm(TMemoForm::TableView);
        form->FillTable(SmallTable(4));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        ClickColumn(*form, 1);
        TReportTable shown = form->TableFromView();
        QCOMPARE(shown.Columns[1].Caption, QStringLiteral(">COM1"));
        // By the port's value, then by the row's caption.
        QCOMPARE(Column(shown, 0), QStringList({"Row 2", "Row 3", "Row 1", "Row 4"}));
        ClickColumn(*form, 1); // the header still takes clicks after a sort
        shown = form->TableFromView();
        QCOMPARE(shown.Columns[1].Caption, QStringLiteral("<COM1"));
        QCOMPARE(Column(shown, 0), QStringList({"Row 4", "Row 1", "Row 3", "Row 2"}));
        ClickColumn(*form, 0); // another column starts ascending; the old marker goes
        shown = form->TableFromView();
        QCOMPARE(shown.Columns[0].Caption, QStringLiteral(">Property"));
        QCOMPARE(shown.Columns[1].Caption, QStringLiteral("COM1"));

        form->FillTable(SmallTable(1)); // one row: nothing to sort, no marker
        ClickColumn(*form, 1);
        QCOMPARE(form->TableFromView().Columns[1].Caption, QStringLiteral("COM1"));
    }

    void SaveAndExportFollowTheVisibleView() {
        DialogScript script;
        auto form = NewForm(TMemoForm::TableView);
        form->setWindowTitle(QStringLiteral("\"COM\" Port properties"));
        form->SaveToFile1->trigger();
        QTest::mousePress(form->LVData->viewport(), Qt::RightButton); // empty table
        QCOMPARE(script.Shown, QStringList({"ExportDialog", "ExportDialog"}));

        // To a file: "TmpDump" of the format offered; the caption heads it.
        form->FillTable(SmallTable(3));
        script.Shown.clear();
        script.Steps = {Export(TExportFormat::Csv, true)};
        script.SaveAs = {Path("ports.csv")};
        QTest::mousePress(form->LVData->viewport(), Qt::RightButton);
        QCOMPARE(script.SaveTitles,
                 QStringList({"Save document|CSV (Comma delimited) (*.csv)|TmpDump.csv"}));
        QFile csv(Path("ports.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray written = csv.readAll();
        QVERIFY(written.contains("Port properties") && written.contains("19200"));

        // View only: written into the temporary folder and handed to the desktop.
        script.Steps = {Export(TExportFormat::Html, false)};
        form->SaveToFile1->trigger();
        QCOMPARE(script.Opened, QList<QUrl>({QUrl::fromLocalFile(Path("TmpDump.html"))}));
        QVERIFY(QFile::exists(Path("TmpDump.html")));
        QVERIFY(host_.Entries().isEmpty());

        // The text view saves its lines; a failed write tells why.
        form = NewForm(TMemoForm::TextView);
        form->Memo1->setPlainText(QStringLiteral("first line\n  second"));
        script.Shown.clear();
        script.SaveTitles.clear();
        script.SaveAs = {Path("log.txt"), Path("missing/log.txt")};
        form->SaveToFile1->trigger();
        QCOMPARE(script.Shown, QStringList({"SaveFile"}));
        QCOMPARE(
            script.SaveTitles,
            QStringList({"Save current Logfile to disk|Text file (*.txt);;Any File (*)|*.txt"}));
        QFile saved(Path("log.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("first line\n  second\n"));
        form->SaveToFile1->trigger();
        QCOMPARE(host_.Entries().size(), 1);
        QVERIFY(host_.Entries()[0].text.contains(QStringLiteral("missing")));
    }

    void DesktopHostShowsAModalWindowThatKeepsItsPlacement() {
        TAppUiHost app;
        const ScopedUiHost useHost(app);
        QPointer<TMemoForm> seen;
        bool modalTable = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<TMemoForm*>(w); form && form->isVisible()) {
                    seen = form;
                    modalTable = form->isModal() && form->LVData->isVisible() &&
                                 form->LVData->topLevelItemCount() == 4 &&
                                 form->windowTitle() == QStringLiteral("Report");
                    form->setGeometry(120, 140, 500, 380);
                    form->Exit1->trigger();
                }
        });
        CurrentUiHost().ShowReportWindow(nullptr, QStringLiteral("Report"), SmallTable(4));
        QVERIFY(modalTable);
        QVERIFY(seen.isNull()); // closed and freed when the call returns
        const TMemoForm next;
        QCOMPARE(next.geometry(), QRect(120, 140, 500, 380));
    }

    // The log window comes back at once and stays beside the program, at
    // the start of its last line (its time and type in view, however long
    // the line), until it is closed.
    void DesktopHostShowsTheLogBesideTheProgram() {
        TAppUiHost app;
        const ScopedUiHost useHost(app);
        const QStringList lines{"Appended serial log", "    0.000 User      Str       first",
                                "   12.572 User      Str       Action Timed out ",
                                "   12.600 Dispatch  Write     " + QString(400, u'x')};
        CurrentUiHost().ShowLogWindow(nullptr, QStringLiteral("Communications Log"), lines);
        QPointer<TMemoForm> shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TMemoForm*>(w); form && form->isVisible())
                shown = form;
        QVERIFY(shown);
        QCOMPARE(shown->windowTitle(), QStringLiteral("Communications Log"));
        QVERIFY(!shown->isModal() && shown->Memo1->isVisible() && !shown->LVData->isVisible());
        QCOMPARE(shown->Memo1->toPlainText(), lines.join(QLatin1Char('\n')));
        QCOMPARE(shown->Memo1->textCursor().blockNumber(), lines.size() - 1);
        QCOMPARE(shown->Memo1->textCursor().positionInBlock(), 0);
        QCOMPARE(shown->Memo1->horizontalScrollBar()->value(), 0);
        QCOMPARE(shown->Memo1->verticalScrollBar()->value(),
                 shown->Memo1->verticalScrollBar()->maximum());
        shown->Exit1->trigger();
        QTRY_VERIFY(shown.isNull());
    }

    void PortReportFromTheSourceMenu() {
        ScopedFakePorts ports;
        ports.Ports().AddPort(7, "pts one");
        ports.Ports().AddPort(12, "pts two");
        auto previousRecords = InstallPortPropsBackend(std::make_unique<RecordsByPort>());
        TFHexvac w;
        QString portsText;
        BuildPorts(w.ApdCom, portsText);
        auto linkFields = [] {
            const TLinkState& s = LinkState;
            return std::tuple(s.ScopeFound, s.HandboxKind, s.BaudClass, s.CurrentBaud, s.PortOpen,
                              s.PeekOK, s.InDownloadMode, s.Parked, s.NoAutoDetect);
        };
        const auto before = linkFields();
        QString result;
        SelectPort(w.ScopeSources.FindByTag(500), w.ApdCom, result);
        InstallPortPropsBackend(std::move(previousRecords));

        QVERIFY(linkFields() == before);
        QVERIFY(!w.ApdCom.Open());
        QCOMPARE(host_.Entries().size(), 1);
        QCOMPARE(host_.Entries()[0].kind, ScriptedUiHost::Kind::Report);
        QCOMPARE(host_.Entries()[0].text, QStringLiteral("\"COM\" Port properties"));
        QCOMPARE(host_.LastReport().RowCount(), ReportRowCount);
        QCOMPARE(host_.LastReport().Columns.at(2).Caption, QStringLiteral("COM7"));
    }
};

HEXVAC_TEST(TestMemoForm);
#include "TestMemoForm.moc"
