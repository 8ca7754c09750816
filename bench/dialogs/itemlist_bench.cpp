// A server listing of 10,000 items arriving in pages of 25, shown in the item list
// and sorted once the last page is in, beside the same rows in a plain QTreeWidget.
//   TenThousandItemsInPages: both lists are shown in their report view; each page is
//     added and the event loop runs once (as the browsing dialog yields between pages);
//     after the last page the list is ordered by "Last Saved" (dates, descending) and
//     the event loop runs again so the sorted list is painted. The QTreeWidget gets
//     the same rows with icon and tip, page by page, and is sorted on its own text.
// No target is set; the ratio is shown.
#include "benchratio.h"
#include "itemicons.h"
#include "itemlistview.h"
#include "lv.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Items = 10000;
constexpr int PageSize = 25;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// Rows as the browsing dialog makes them from "SIL" pages: names in the server's
// collation, type icons, a status tip, and a date for most items.
QList<ListItemData> listing()
{
    QList<ListItemData> rows;
    rows.reserve(Items);
    const QDateTime origin(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < Items; ++i) {
        ListItemData row;
        row.text = QStringLiteral("RTN%1").arg(i, 5, 10, QLatin1Char('0'));
        const int type = i % 3 + 1;
        const int status = (i / 3) % 4;
        row.iconKey = QStringLiteral("CACHE%1.%2").arg(type).arg(status);
        row.ghosted = i % 17 == 0;
        row.toolTip = status == 0 ? QString() : QStringLiteral("Registered");
        row.tag = type;
        if (i % 10 != 0) {
            // Scattered dates, so the sort has real work to do.
            row.subItem1Date = origin.addSecs(qint64((i * 7919) % 100000) * 600);
            row.subItem1 = QLocale().toString(row.subItem1Date, QLocale::ShortFormat);
        }
        rows << row;
    }
    return rows;
}

double runItemList(const QList<ListItemData> &rows)
{
    ItemListView view;
    view.setView(ItemListView::Report);
    view.resize(600, 400);
    view.show();
    QApplication::processEvents();

    const auto start = Clock::now();
    view.clear();
    view.setSorted(false);
    for (int first = 0; first < rows.size(); first += PageSize) {
        view.addItems(rows.mid(first, PageSize));
        QApplication::processEvents();
    }
    LV::SortColumn = 2;
    LV::SortDescending = 1;
    LV::SortKind = LV::KindDate;
    view.setColumnArrow(1, 2);
    view.SortItems();
    QApplication::processEvents();
    const double us = microseconds(Clock::now() - start);
    if (view.count() != rows.size())
        return -1;
    return us;
}

double runTreeWidget(const QList<ListItemData> &rows)
{
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Last Saved")});
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);
    tree.resize(600, 400);
    tree.show();
    QApplication::processEvents();

    const auto start = Clock::now();
    tree.clear();
    for (int first = 0; first < rows.size(); first += PageSize) {
        QList<QTreeWidgetItem *> page;
        for (int i = first; i < std::min<int>(first + PageSize, int(rows.size())); ++i) {
            const ListItemData &row = rows.at(i);
            auto *item = new QTreeWidgetItem({row.text, row.subItem1});
            item->setIcon(0, ItemIcons::icon(row.iconKey));
            item->setToolTip(0, row.toolTip);
            page << item;
        }
        tree.addTopLevelItems(page);
        QApplication::processEvents();
    }
    tree.sortItems(1, Qt::DescendingOrder);
    QApplication::processEvents();
    const double us = microseconds(Clock::now() - start);
    if (tree.topLevelItemCount() != rows.size())
        return -1;
    return us;
}

void TenThousandItemsInPages(benchmark::State &state)
{
    const QList<ListItemData> rows = listing();
    BenchRatio ratio("TenThousandItemsInPages", "a plain QTreeWidget", BenchRatio::AtMost);
    for (auto _ : state) {
        const double listUs = runItemList(rows);
        const double rawUs = runTreeWidget(rows);
        if (listUs < 0 || rawUs < 0) {
            state.SkipWithError("not every row arrived");
            break;
        }
        ratio.add(listUs / 1000, rawUs / 1000);
        state.SetIterationTime(listUs / 1e6);
    }
    ratio.report(state);
}

} // namespace

BENCHMARK(TenThousandItemsInPages)->Iterations(BenchRatio::Passes)->UseManualTime()->Unit(benchmark::kMillisecond);
