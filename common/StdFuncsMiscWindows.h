#pragma once
// The window half of the helper unit: placing a window on the control it
// concerns, and sorting a report-style list by a clicked column. Only code
// that already has widgets includes this; the core uses StdFuncsMisc.h.

#include <QFont>
#include <Qt>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// Moves Window so that it is centred on Control and stays on Control's screen
// (the primary screen when Control has none). A null Control, or one whose
// centre lies left of and above the screen, centres Window on the screen.
void PlaceNearControl(QWidget* Control, QWidget* Window);

// Sorts ListView's top-level items by the clicked Column and moves the
// direction marker: the first click on a column puts ">" in front of its
// header caption and sorts ascending, the next click "<" and descending; a
// marker on any other column is removed. Lists of fewer than two items and
// columns that do not exist are left alone.
void SortListViewByColumn(QTreeWidget* ListView, int Column);

// The caption parameter of the comparers: compare item captions alone.
inline constexpr int CompareCaptionsOnly = 999;

// Locale-aware, case-sensitive comparison of the sort keys of two items: the
// text of column P followed directly by the item's caption (column 0), or the
// caption alone when P is CompareCaptionsOnly. Negative, zero or positive.
int CompareColumnAscending(const QTreeWidgetItem* Item1, const QTreeWidgetItem* Item2, int P);

// The negated comparison of the same keys.
int CompareColumnDescending(const QTreeWidgetItem* Item1, const QTreeWidgetItem* Item2, int P);

// The program's window font, "MS Sans Serif" of PixelSize where it exists;
// elsewhere a sans serif of the same narrow metrics, so that captions fit the
// controls' fixed sizes.
QFont ClassicFont(int PixelSize = 11, bool Bold = false);

// The window flags of a fixed dialog that offers no title-bar button. Where
// the platform cannot draw a title bar without buttons, the dialog gets no
// title bar at all: CaptionInside is then set, and the dialog shows its
// caption and its border itself.
Qt::WindowFlags DialogWithoutTitleButtons(bool& CaptionInside);
