#include "common/StdFuncsMiscWindows.h"

#include <QHeaderView>
#include <QList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <algorithm>

namespace {

constexpr QChar AscendingMarker = u'>';
constexpr QChar DescendingMarker = u'<';

QString SortKey(const QTreeWidgetItem* Item, int P) {
    if (P == CompareCaptionsOnly)
        return Item->text(0);
    return Item->text(P) + Item->text(0);
}

bool HasMarker(const QString& Caption) {
    return Caption.startsWith(AscendingMarker) || Caption.startsWith(DescendingMarker);
}

// Takes the items out, orders them and puts them back, so the comparers see
// whole items. The view's own sorting is turned off first: it would otherwise
// re-sort the items by its own rules as they go back in. Turning it off also
// makes the header unclickable, so its clickability is put back: the next
// click on a caption must still sort. Selection and the current item survive
// the move.
void ReorderItems(QTreeWidget* ListView, int P, bool Ascending) {
    const bool clickable = ListView->header()->sectionsClickable();
    ListView->setSortingEnabled(false);
    ListView->header()->setSectionsClickable(clickable);
    QTreeWidgetItem* current = ListView->currentItem();
    const QList<QTreeWidgetItem*> selected = ListView->selectedItems();

    QList<QTreeWidgetItem*> items = ListView->invisibleRootItem()->takeChildren();
    std::stable_sort(items.begin(), items.end(),
                     [P, Ascending](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         return (Ascending ? CompareColumnAscending(a, b, P)
                                           : CompareColumnDescending(a, b, P)) < 0;
                     });
    ListView->addTopLevelItems(items);

    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
    if (current)
        ListView->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
}

} // namespace

int CompareColumnAscending(const QTreeWidgetItem* Item1, const QTreeWidgetItem* Item2, int P) {
    return QString::localeAwareCompare(SortKey(Item1, P), SortKey(Item2, P));
}

int CompareColumnDescending(const QTreeWidgetItem* Item1, const QTreeWidgetItem* Item2, int P) {
    // Swapped rather than negated: a comparison may return INT_MIN.
    return QString::localeAwareCompare(SortKey(Item2, P), SortKey(Item1, P));
}

void SortListViewByColumn(QTreeWidget* ListView, int Column) {
    if (!ListView || ListView->topLevelItemCount() < 2)
        return;
    QTreeWidgetItem* header = ListView->headerItem();
    if (!header || Column < 0 || Column >= ListView->columnCount())
        return;

    // The direction lives only in the captions: read it before the markers go.
    const bool wasAscending = header->text(Column).startsWith(AscendingMarker);
    for (int k = 0; k < ListView->columnCount(); ++k) {
        const QString caption = header->text(k);
        if (HasMarker(caption))
            header->setText(k, caption.mid(1));
    }
    const bool ascending = !wasAscending;
    header->setText(Column,
                    (ascending ? AscendingMarker : DescendingMarker) + header->text(Column));

    // Column 0 is the item caption itself: sort on the caption alone.
    ReorderItems(ListView, Column == 0 ? CompareCaptionsOnly : Column, ascending);
}
