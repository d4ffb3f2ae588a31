#include "common/StdFuncsMiscWindows.h"
#include "tests/support/TestRegistry.h"

#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>
#include <memory>

// Sorting a report list by clicked column, with the direction kept only in
// the ">"/"<" marker of the column's caption.
class TestListSort : public QObject {
    Q_OBJECT

private slots:
    void sameColumnThreeTimesFlipsDirection();
    void markerMovesToTheClickedColumn();
    void equalColumnTextsAreOrderedByCaption();
    void captionColumnSortsByCaptionAlone();
    void shortListsAndMissingColumnsAreLeftAlone();
    void orderSurvivesTheViewsOwnSortingAndKeepsSelection();
};

namespace {

// A list with captions "Port", "Baud", "Kind" and one item per row.
std::unique_ptr<QTreeWidget> MakeList(const QList<QStringList>& Rows) {
    auto list = std::make_unique<QTreeWidget>();
    list->setHeaderLabels({"Port", "Baud", "Kind"});
    for (const QStringList& row : Rows)
        list->addTopLevelItem(new QTreeWidgetItem(row));
    return list;
}

QStringList Column(const QTreeWidget& List, int Index) {
    QStringList texts;
    for (int i = 0; i < List.topLevelItemCount(); ++i)
        texts << List.topLevelItem(i)->text(Index);
    return texts;
}

QStringList Captions(const QTreeWidget& List) {
    QStringList captions;
    for (int k = 0; k < List.columnCount(); ++k)
        captions << List.headerItem()->text(k);
    return captions;
}

const QList<QStringList> Ports = {
    {"COM3", "4800", "497"}, {"COM1", "9600", "495"}, {"COM2", "19200", "LX2001"}};

} // namespace

void TestListSort::sameColumnThreeTimesFlipsDirection() {
    auto list = MakeList(Ports);
    SortListViewByColumn(list.get(), 2);
    QCOMPARE(Captions(*list), (QStringList{"Port", "Baud", ">Kind"}));
    QCOMPARE(Column(*list, 2), (QStringList{"495", "497", "LX2001"}));

    SortListViewByColumn(list.get(), 2);
    QCOMPARE(Captions(*list), (QStringList{"Port", "Baud", "<Kind"}));
    QCOMPARE(Column(*list, 2), (QStringList{"LX2001", "497", "495"}));

    SortListViewByColumn(list.get(), 2);
    QCOMPARE(Captions(*list), (QStringList{"Port", "Baud", ">Kind"}));
    QCOMPARE(Column(*list, 2), (QStringList{"495", "497", "LX2001"}));
    // Whole rows move together.
    QCOMPARE(Column(*list, 0), (QStringList{"COM1", "COM3", "COM2"}));
}

void TestListSort::markerMovesToTheClickedColumn() {
    auto list = MakeList(Ports);
    SortListViewByColumn(list.get(), 2);
    SortListViewByColumn(list.get(), 2);
    SortListViewByColumn(list.get(), 1);
    // A descending column clicked before does not make the new one descending.
    QCOMPARE(Captions(*list), (QStringList{"Port", ">Baud", "Kind"}));
    // Text order, not numeric: "19200" < "4800" < "9600".
    QCOMPARE(Column(*list, 1), (QStringList{"19200", "4800", "9600"}));

    // A stray marker left on a column by hand goes as well.
    list->headerItem()->setText(0, "<Port");
    SortListViewByColumn(list.get(), 2);
    QCOMPARE(Captions(*list), (QStringList{"Port", "Baud", ">Kind"}));
}

void TestListSort::equalColumnTextsAreOrderedByCaption() {
    auto list = MakeList({{"COM7", "9600", "497"},
                          {"COM2", "9600", "497"},
                          {"COM5", "4800", "495"},
                          {"COM4", "9600", "497"}});
    SortListViewByColumn(list.get(), 1);
    QCOMPARE(Column(*list, 0), (QStringList{"COM5", "COM2", "COM4", "COM7"}));
    SortListViewByColumn(list.get(), 1);
    QCOMPARE(Column(*list, 0), (QStringList{"COM7", "COM4", "COM2", "COM5"}));

    // The comparison tells case apart; the descending one mirrors it.
    QTreeWidgetItem lower(QStringList{"abc", "x"});
    QTreeWidgetItem upper(QStringList{"ABC", "x"});
    const int ascending = CompareColumnAscending(&lower, &upper, 1);
    QVERIFY(ascending != 0);
    QCOMPARE(CompareColumnDescending(&lower, &upper, 1) < 0, ascending > 0);
    QCOMPARE(CompareColumnAscending(&lower, &lower, 1), 0);
}

void TestListSort::captionColumnSortsByCaptionAlone() {
    auto list = MakeList({{"COM2", "1"}, {"COM10", "3"}, {"COM1", "2"}});
    SortListViewByColumn(list.get(), 0);
    QCOMPARE(list->headerItem()->text(0), QStringLiteral(">Port"));
    QCOMPARE(Column(*list, 0), (QStringList{"COM1", "COM10", "COM2"}));
    SortListViewByColumn(list.get(), 0);
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("<Port"));
    QCOMPARE(Column(*list, 0), (QStringList{"COM2", "COM10", "COM1"}));

    // With the caption-only parameter the other columns play no part.
    QTreeWidgetItem a(QStringList{"COM1", "9"});
    QTreeWidgetItem b(QStringList{"COM1", "1"});
    QCOMPARE(CompareColumnDescending(&a, &b, CompareCaptionsOnly), 0);
    QVERIFY(CompareColumnDescending(&a, &b, 1) < 0);
}

void TestListSort::shortListsAndMissingColumnsAreLeftAlone() {
    for (const auto& rows : {QList<QStringList>{}, QList<QStringList>{{"COM1", "9600", "497"}}}) {
        auto list = MakeList(rows);
        SortListViewByColumn(list.get(), 1);
        QCOMPARE(Captions(*list), (QStringList{"Port", "Baud", "Kind"}));
    }

    auto list = MakeList(Ports);
    SortListViewByColumn(list.get(), 1);
    for (int column : {-1, 3, 999}) {
        SortListViewByColumn(list.get(), column);
        QCOMPARE(Captions(*list), (QStringList{"Port", ">Baud", "Kind"}));
        QCOMPARE(Column(*list, 1), (QStringList{"19200", "4800", "9600"}));
    }
    SortListViewByColumn(nullptr, 0);
}

void TestListSort::orderSurvivesTheViewsOwnSortingAndKeepsSelection() {
    auto list = MakeList(Ports);
    list->setSortingEnabled(true);
    list->sortByColumn(0, Qt::AscendingOrder);
    QTreeWidgetItem* chosen = list->topLevelItem(2);
    list->setCurrentItem(chosen);
    chosen->setSelected(true);

    SortListViewByColumn(list.get(), 1);
    SortListViewByColumn(list.get(), 1);
    QCOMPARE(Column(*list, 1), (QStringList{"9600", "4800", "19200"}));
    QCOMPARE(list->currentItem(), chosen);
    QCOMPARE(list->selectedItems(), QList<QTreeWidgetItem*>{chosen});
    QVERIFY2(list->header()->sectionsClickable(), "the captions no longer take clicks");
}

HEXVAC_TEST(TestListSort);
#include "TestListSort.moc"
