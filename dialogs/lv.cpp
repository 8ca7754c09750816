#include "lv.h"

#include "itemlistview.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <utility>

namespace LV {

long SortColumn = 1;
long SortDescending = 0;
long SortKind = KindText;

SortState currentSortState()
{
    SortState state;
    state.column = SortColumn;
    state.descending = SortDescending;
    state.kind = SortKind;
    return state;
}

qint32 ItemLParam(const ItemListView *view, int index)
{
    return view ? view->itemLParam(index) : 0;
}

QList<qint32> SelectedLParams(const ItemListView *view)
{
    QList<qint32> lParams;
    if (!view)
        return lParams;
    for (int index : view->selectedIndexes()) {
        const qint32 lParam = view->itemLParam(index);
        if (lParam != 0)
            lParams.append(lParam);
    }
    return lParams;
}

int FindItemByParam(const ItemListView *view, qint32 lParam)
{
    return view ? view->indexOfLParam(lParam) : -1;
}

QString SortText(const ItemListView *view, int index)
{
    if (!view)
        return QString();
    return view->subItemText(index, int(SortColumn) - 1).left(SortTextLength);
}

namespace {

// A sort text turned into the column's kind. A text that does not convert stays
// text; converted values order before such texts, so the order stays consistent
// however a column mixes them.
struct SortValue
{
    enum Kind { Empty, Number, Text };
    Kind kind = Empty;
    double number = 0;   // whole numbers, floating-point numbers and dates alike
    QString text;
};

bool toFloat(const QString &text, double *value)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    double real = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        real = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(real))
        return false;
    *value = real;
    return true;
}

bool toWhole(const QString &text, double *value)
{
    bool ok = false;
    const qint64 whole = text.trimmed().toLongLong(&ok);
    if (ok) {
        *value = double(whole);
        return true;
    }
    // A whole-number column given "12.6" rounds it, as a conversion to a whole
    // number does anywhere else in the program.
    if (!toFloat(text, value))
        return false;
    *value = std::round(*value);
    return true;
}

// Dates order by the value stored with the row, never by the displayed text, whose
// format follows the locale. A text without a stored date stays text.
bool toDate(const QDateTime &stored, double *value)
{
    if (!stored.isValid())
        return false;
    *value = double(stored.toMSecsSinceEpoch());
    return true;
}

SortValue sortValue(const ItemListView *view, qint32 lParam, const SortState &state)
{
    SortValue value;
    const int row = view ? view->sourceRowOfLParam(lParam) : -1;
    if (row < 0)
        return value;
    const int column = int(state.column) - 1;
    value.text = view->sourceText(row, column).left(SortTextLength);
    if (value.text.isEmpty())
        return value;
    bool converted = false;
    switch (state.kind) {
    case KindInteger:
        converted = toWhole(value.text, &value.number);
        break;
    case KindFloat:
        converted = toFloat(value.text, &value.number);
        break;
    case KindDate:
        converted = toDate(view->sourceDate(row, column), &value.number);
        break;
    default:
        break;
    }
    value.kind = converted ? SortValue::Number : SortValue::Text;
    return value;
}

long sign(int n)
{
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}

} // namespace

long CompareItems(qint32 lp1, qint32 lp2, const ItemListView *view)
{
    return CompareItems(lp1, lp2, view, currentSortState());
}

long CompareItems(qint32 lp1, qint32 lp2, const ItemListView *view, const SortState &state)
{
    SortValue first = sortValue(view, lp1, state);
    SortValue second = sortValue(view, lp2, state);
    if (state.descending != 0)
        std::swap(first, second);

    // Empty values come first (so last when descending, after the swap).
    if (first.kind == SortValue::Empty || second.kind == SortValue::Empty) {
        if (first.kind == second.kind)
            return 0;
        return first.kind == SortValue::Empty ? -1 : 1;
    }
    if (first.kind != second.kind)
        return first.kind == SortValue::Number ? -1 : 1;
    if (first.kind == SortValue::Text)
        return sign(QString::compare(first.text, second.text, Qt::CaseSensitive));
    if (first.number < second.number)
        return -1;
    return first.number > second.number ? 1 : 0;
}

} // namespace LV
