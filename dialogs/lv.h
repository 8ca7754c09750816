#pragma once

#include <QList>
#include <QString>

class ItemListView;

// Helpers over the item list view that the file dialogs use: finding items by their
// unique lParam and ordering the list through a comparison of the sort column's
// texts.
//
// Item indexes are 0-based positions in the list's current (displayed) order.
// The sort state is module state, as the dialogs' column sorting sets it before
// asking the list to sort (ItemListView::SortItems), which takes a copy.
namespace LV {

enum SortKinds : long { KindText = 1, KindInteger = 2, KindFloat = 3, KindDate = 4 };

// The 1-based index of the column to sort by.
extern long SortColumn;
// 1 descending, 0 ascending.
extern long SortDescending;
// 1 text ("B"), 2 whole number ("I"), 3 floating-point number ("F"), 4 date ("D").
extern long SortKind;

struct SortState
{
    long column = 1;
    long descending = 0;
    long kind = KindText;
};
SortState currentSortState();

// Sort texts are cut to this many characters, so longer texts that agree this far
// compare equal.
constexpr int SortTextLength = 31;

// The item's lParam; 0 when there is no such item.
qint32 ItemLParam(const ItemListView *view, int index);
// The lParams of the selected items in list order; empty when nothing is selected.
QList<qint32> SelectedLParams(const ItemListView *view);
// The index of the item with that lParam, -1 when none.
int FindItemByParam(const ItemListView *view, qint32 lParam);
// The text of sub-item SortColumn - 1 of the item, at most 31 characters.
QString SortText(const ItemListView *view, int index);

// Negative, 0 or positive: how the item with lParam lp1 orders against lp2 under
// the module's sort state. Never throws; an item that is not found sorts as empty.
long CompareItems(qint32 lp1, qint32 lp2, const ItemListView *view);
// The same under a given state (what the list's sort uses).
long CompareItems(qint32 lp1, qint32 lp2, const ItemListView *view, const SortState &state);

} // namespace LV
