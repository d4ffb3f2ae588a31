#include "diag/xMemoForm.h"

#include "common/StdFuncsMisc.h"
#include "common/StdFuncsMiscWindows.h"
#include "diag/ExportDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QSettings>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <algorithm>

namespace {

const QString GeometryKey = QStringLiteral("MemoForm/Geometry");

constexpr int FormLeft = 390;
constexpr int FormTop = 280;
constexpr int FormWidth = 453;
constexpr int FormHeight = 439;
constexpr int StatusBarHeight = 19;
constexpr int TreeIndent = 19;
constexpr int ViewFontPixels = 11;

const QColor GridColor(0xC0, 0xC0, 0xC0);

QFont CourierFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(ViewFontPixels);
    return font;
}

// Qt's item views draw no grid; the report table has one, so that the long
// rows of figures can be followed across the port columns.
class GridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override {
        QStyledItemDelegate::paint(Painter, Option, Index);
        Painter->save();
        Painter->setPen(GridColor);
        const QRect r = Option.rect;
        Painter->drawLine(r.topRight(), r.bottomRight());
        Painter->drawLine(r.bottomLeft(), r.bottomRight());
        Painter->restore();
    }
};

Qt::Alignment ItemAlignment(TColumnAlign Align) {
    switch (Align) {
    case TColumnAlign::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case TColumnAlign::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case TColumnAlign::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Fixed colours, not the system's: the same in every desktop theme.
void SetViewColors(QWidget* View, const QColor& Text, const QColor& Background) {
    QPalette palette = View->palette();
    palette.setColor(QPalette::Text, Text);
    palette.setColor(QPalette::Base, Background);
    View->setPalette(palette);
}

void SetViewTextColor(QWidget* View, const QColor& Text) {
    QPalette palette = View->palette();
    palette.setColor(QPalette::Text, Text);
    View->setPalette(palette);
}

// The program's own settings file. Its organisation falls back to the
// application's name, so that a program that names only itself still gets a
// settings file of its own rather than a shared "Unknown Organization" one.
QString SettingsOrganization() {
    const QString organization = QCoreApplication::organizationName();
    return organization.isEmpty() ? QCoreApplication::applicationName() : organization;
}

QString WriteError(const QString& FileName, const QString& Reason) {
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QDir::toNativeSeparators(FileName), Reason);
}

} // namespace

TMemoForm::TMemoForm(QWidget* Owner)
    : QMainWindow(Owner) {
    setObjectName(QStringLiteral("MemoForm"));
    // Each use is a fresh window; closing it frees it and all it shows.
    setAttribute(Qt::WA_DeleteOnClose);
    CreateControls();
    FormCreate();
}

TMemoForm::~TMemoForm() = default;

void TMemoForm::CreateControls() {
    setWindowTitle(QStringLiteral("MemoForm x"));
    setFont(ClassicFont(ViewFontPixels));
    move(FormLeft, FormTop);
    resize(FormWidth, FormHeight);

    // Three commands side by side on the bar itself, no drop-downs.
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    SaveToFile1 = MainMenu1->addAction(QStringLiteral("Save To File"));
    SaveToFile1->setObjectName(QStringLiteral("SaveToFile1"));
    Font1 = MainMenu1->addAction(QStringLiteral("Font"));
    Font1->setObjectName(QStringLiteral("Font1"));
    Exit1 = MainMenu1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    connect(SaveToFile1, &QAction::triggered, this, &TMemoForm::SaveToFile1Click);
    connect(Font1, &QAction::triggered, this, &TMemoForm::Font1Click);
    connect(Exit1, &QAction::triggered, this, &TMemoForm::Exit1Click);

    auto* client = new QWidget(this);
    auto* layout = new QGridLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(client);

    Memo1 = new QPlainTextEdit(client);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFont(CourierFont());
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    TVData = new QTreeWidget(client);
    TVData->setObjectName(QStringLiteral("TVData"));
    TVData->setFont(CourierFont());
    TVData->setHeaderHidden(true);
    TVData->setIndentation(TreeIndent);
    // The selection stays as visible when the view loses the focus.
    QPalette treePalette = TVData->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        treePalette.setColor(QPalette::Inactive, role, treePalette.color(QPalette::Active, role));
    TVData->setPalette(treePalette);

    LVData = new QTreeWidget(client);
    LVData->setObjectName(QStringLiteral("LVData"));
    LVData->setColumnCount(0);
    LVData->setRootIsDecorated(false);
    LVData->setItemsExpandable(false);
    LVData->setUniformRowHeights(true);
    LVData->setAllColumnsShowFocus(true);
    LVData->setSelectionBehavior(QAbstractItemView::SelectRows);
    LVData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVData->setSortingEnabled(false); // sorted only through the column captions' markers
    LVData->setItemDelegate(new GridDelegate(LVData));
    LVData->header()->setSectionsClickable(true);
    LVData->header()->setStretchLastSection(false);
    LVData->header()->setSectionsMovable(false); // the columns keep their order
    connect(LVData->header(), &QHeaderView::sectionClicked, this, &TMemoForm::LVDataColumnClick);
    LVData->viewport()->installEventFilter(this);

    for (QWidget* view : {static_cast<QWidget*>(Memo1), static_cast<QWidget*>(TVData),
                          static_cast<QWidget*>(LVData)}) {
        layout->addWidget(view, 0, 0);
        view->setEnabled(false);
        view->hide();
    }

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(StatusBarHeight);
    setStatusBar(StatusBar1);
}

void TMemoForm::FormCreate() {
    tempFolder_ = QCoreApplication::applicationDirPath();
    // Only the placement is stored, nothing of the window's content.
    const QSettings settings(SettingsOrganization(), QCoreApplication::applicationName());
    const QByteArray geometry = settings.value(GeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void TMemoForm::closeEvent(QCloseEvent* Event) {
    QSettings settings(SettingsOrganization(), QCoreApplication::applicationName());
    settings.setValue(GeometryKey, saveGeometry());
    QMainWindow::closeEvent(Event);
}

void TMemoForm::ShowView(int Mode) {
    QWidget* views[] = {Memo1, TVData, LVData};
    if (Mode < 0 || Mode > TableView)
        return;
    for (int i = 0; i <= TableView; ++i) {
        views[i]->setEnabled(i == Mode);
        views[i]->setVisible(i == Mode);
    }
}

void TMemoForm::SetRedOnBlack(bool On) {
    const QColor text = On ? QColor(Qt::red) : QColor(Qt::black);
    const QColor background = On ? QColor(Qt::black) : QColor(Qt::white);
    SetViewColors(LVData, text, background);
    SetViewColors(Memo1, text, background);
}

void TMemoForm::FillTable(const TReportTable& Table) {
    LVData->clear();
    LVData->setColumnCount(Table.ColumnCount());
    columnAligns_.clear();
    QStringList captions;
    for (const TReportColumn& column : Table.Columns) {
        captions << column.Caption;
        columnAligns_.push_back(column.Align);
    }
    LVData->setHeaderLabels(captions);
    for (int c = 0; c < Table.ColumnCount(); ++c) {
        const TReportColumn& column = Table.Columns[static_cast<std::size_t>(c)];
        LVData->header()->resizeSection(c, column.Width);
        LVData->headerItem()->setTextAlignment(c, ItemAlignment(column.Align));
    }

    QList<QTreeWidgetItem*> items;
    items.reserve(Table.RowCount());
    for (const QStringList& row : Table.Rows) {
        auto* item = new QTreeWidgetItem(row);
        for (int c = 0; c < Table.ColumnCount(); ++c)
            item->setTextAlignment(c, ItemAlignment(columnAligns_[static_cast<std::size_t>(c)]));
        items << item;
    }
    LVData->addTopLevelItems(items);
    columnWidths_.clear();
    for (const TReportColumn& column : Table.Columns)
        columnWidths_.push_back(column.Width);
    FitColumns();
}

void TMemoForm::FitColumns() {
    // Each column at least as wide as the table asks, and as wide as its
    // longest cell and its caption in the font now in force.
    for (int c = 0; c < LVData->columnCount(); ++c) {
        LVData->resizeColumnToContents(c);
        const auto index = static_cast<std::size_t>(c);
        const int asked = index < columnWidths_.size() ? columnWidths_[index] : 0;
        const int header = LVData->header()->sectionSizeHint(c);
        LVData->header()->resizeSection(
            c, std::max({asked, header, LVData->header()->sectionSize(c)}));
    }
}

TReportTable TMemoForm::TableFromView() const {
    TReportTable table;
    const int columns = LVData->columnCount();
    const QTreeWidgetItem* header = LVData->headerItem();
    for (int c = 0; c < columns; ++c) {
        const auto index = static_cast<std::size_t>(c);
        table.Columns.push_back(
            {header->text(c), LVData->header()->sectionSize(c),
             index < columnAligns_.size() ? columnAligns_[index] : TColumnAlign::Left});
    }
    for (int r = 0; r < LVData->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = LVData->topLevelItem(r);
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << item->text(c);
        table.Rows.push_back(row);
    }
    return table;
}

void TMemoForm::SaveToFile1Click() {
    if (LVData->isVisibleTo(this)) {
        RunExport();
        return;
    }
    QFileDialog SaveFile(this, QStringLiteral("Save current Logfile to disk"));
    SaveFile.setObjectName(QStringLiteral("SaveFile"));
    SaveFile.setAcceptMode(QFileDialog::AcceptSave); // asks before overwriting
    SaveFile.setFileMode(QFileDialog::AnyFile);
    SaveFile.setNameFilters({QStringLiteral("Text file (*.txt)"), QStringLiteral("Any File (*)")});
    SaveFile.selectNameFilter(QStringLiteral("Text file (*.txt)"));
    SaveFile.setDefaultSuffix(QStringLiteral("txt"));
    SaveFile.selectFile(QStringLiteral("*.txt"));
    const QString fileName = ReportSeams().AskSaveFile(SaveFile);
    if (fileName.isEmpty())
        return;
    // The preset "*.txt" is a pattern, not a name: a dialog that hands it
    // back unchanged has not been given a file to write.
    const QString name = QFileInfo(fileName).fileName();
    if (name.contains(u'*') || name.contains(u'?'))
        return;
    SaveTextLines(fileName);
}

void TMemoForm::SaveTextLines(const QString& FileName) {
    QString text = Memo1->toPlainText();
    if (text.endsWith(u'\n'))
        text.chop(1);
    QByteArray data;
    if (!Memo1->document()->isEmpty())
        for (const QString& line : text.split(u'\n'))
            data += line.toUtf8() + '\n';

    // Written whole or not at all: a failed save leaves any old file as it was.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        ShowMessageAt(this, WriteError(FileName, file.errorString()));
        return;
    }
    if (file.write(data) != data.size() || !file.commit())
        ShowMessageAt(this, WriteError(FileName, file.errorString()));
}

void TMemoForm::Font1Click() {
    // The dialog lists real families only: start it from the one the text
    // view actually uses, not the first of its wish list.
    QFont start = Memo1->font();
    const QFontInfo used(start);
    start.setFamily(used.family());
    start.setStyleName(used.styleName());
    QFontDialog FontDialog1(start, this);
    FontDialog1.setObjectName(QStringLiteral("FontDialog1"));
    if (ReportSeams().RunDialog(FontDialog1) != QDialog::Accepted)
        return;
    const QFont font = FontDialog1.currentFont();

    // Qt's font dialog has no colour; the colour dialog follows it, starting
    // from the text view's colour. Closing it keeps that colour, which then
    // applies to all three views just as the font does.
    const QColor startColor = Memo1->palette().color(QPalette::Text);
    QColorDialog colors(startColor, this);
    colors.setObjectName(QStringLiteral("FontColorDialog"));
    colors.setWindowTitle(QStringLiteral("Font colour"));
    const QColor color =
        ReportSeams().RunDialog(colors) == QDialog::Accepted ? colors.currentColor() : startColor;

    for (QWidget* view : {static_cast<QWidget*>(Memo1), static_cast<QWidget*>(TVData),
                          static_cast<QWidget*>(LVData)}) {
        view->setFont(font);
        SetViewTextColor(view, color);
    }
    FitColumns();
}

void TMemoForm::Exit1Click() {
    close();
}

void TMemoForm::LVDataColumnClick(int Column) {
    SortListViewByColumn(LVData, Column);
}

bool TMemoForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == LVData->viewport() && Event->type() == QEvent::MouseButtonPress) {
        const auto button = static_cast<QMouseEvent*>(Event)->button();
        LVDataMouseDown(button);
        // The export dialog took the press's release: the view must not
        // start a selection that never ends.
        if (button == Qt::RightButton)
            return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TMemoForm::LVDataMouseDown(Qt::MouseButton Button) {
    if (Button == Qt::RightButton)
        RunExport();
}

void TMemoForm::RunExport() {
    RunTableExport(this, TableFromView(), windowTitle(), tempFolder_);
}
