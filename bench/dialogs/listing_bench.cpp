// A server listing of 10,000 items in pages of 25, fetched over a real link from the
// scripted M server, shown in the browsing dialog and sorted, beside a plain
// QTreeWidget filled with the same items page by page and sorted.
//   TenThousandItemsOverTheLink: the server is an ordinary TCP peer (default socket
//     options on both ends), so an acknowledgement written apart from the next
//     request would wait for the server's delayed ACK on every page. Timed from the
//     dialog's opening until the last page is in, sorted and painted.
// Each pass runs both; the report gives the median of the passes, their spread, the
// ratio (dialog over plain fill) and whether the target is met.
#include "browsefixture.h"
#include "itemicons.h"
#include "itemlistview.h"
#include "serverbrowsedialog.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Items = 10000;
constexpr int PageSize = 25;
constexpr int Passes = 20;
constexpr double TargetRatio = 2.0;
constexpr double TargetMs = 3000.0;

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

QString itemName(int i)
{
    return QStringLiteral("RTN%1").arg((i * 7919) % Items, 5, 10, QLatin1Char('0'));
}

QString itemDate(int i)
{
    return QStringLiteral("%1,%2").arg(60000 + (i * 37) % 5000).arg((i * 613) % 86400);
}

browse::Steps listingScript()
{
    using namespace mserver;
    browse::Steps script = browse::opening("USER", browse::nsl({"USER"}), {}, true);
    script << browse::firstListing("USER", 1, "1", "*");
    const int pages = Items / PageSize;
    for (int p = 0; p < pages; ++p) {
        QStringList names, dates;
        for (int i = p * PageSize; i < (p + 1) * PageSize; ++i) {
            names << itemName(i);
            dates << itemDate(i);
        }
        const QString next = p + 1 < pages ? itemName((p + 1) * PageSize) : QString();
        script << send({"SIL", "1", next, QLatin1Char(',') + names.join(QLatin1Char(',')),
                        QString(PageSize, QChar(1)), QLatin1Char('|') + dates.join(QLatin1Char('|'))})
               << expectAck();
        if (!next.isEmpty())
            script << expect({"SIL", "1", "1", next, "*", "25"});
    }
    return script + browse::closing("USER");
}

// The dialog's run, in ms; -1 when the listing did not arrive whole.
double runDialog()
{
    BrowseSession s;
    if (!s.start(listingScript(), "CACHE", 4))
        return -1;
    s.server->setStepTimeoutMs(20000);
    ServerBrowseDialog dialog;
    double ms = -1;
    Clock::time_point start;
    s.runModal([&](QDialog *d) {
        const bool whole = mserver::pumpUntil(
            [&] { return dialog.lvwSvr()->count() == Items && dialog.outstanding() == 0 && dialog.cursor().shape() != Qt::BusyCursor; },
            60000);
        QApplication::processEvents();
        if (whole)
            ms = milliseconds(Clock::now() - start);
        d->reject();
    }, 65000);
    start = Clock::now();
    if (!dialog.openExchange())
        return -1;
    dialog.runExchangeModal();
    return s.finish(20000) ? ms : -1;
}

double runTreeWidget()
{
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Last Saved")});
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);
    tree.resize(600, 400);
    tree.show();
    QApplication::processEvents();
    const QIcon icon = ItemIcons::icon(QStringLiteral("CACHE1.0"));

    const auto start = Clock::now();
    for (int first = 0; first < Items; first += PageSize) {
        QList<QTreeWidgetItem *> page;
        for (int i = first; i < first + PageSize; ++i) {
            auto *item = new QTreeWidgetItem({itemName(i), itemDate(i)});
            item->setIcon(0, icon);
            page << item;
        }
        tree.addTopLevelItems(page);
        QApplication::processEvents();
    }
    tree.sortItems(0, Qt::AscendingOrder);
    QApplication::processEvents();
    return milliseconds(Clock::now() - start);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : (n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2);
}

// One line per benchmark: median, spread, the target and whether it is met.
void report(const char *name, const QList<double> &ms, const QList<double> &ratios, const QList<double> &rawMs)
{
    const double med = median(ms);
    const double ratio = median(ratios);
    const bool met = ratio <= TargetRatio && med < TargetMs;
    std::printf("%s: median %.1f ms (min %.1f, max %.1f, %d passes); plain QTreeWidget median %.1f ms; "
                "ratio median %.2f (min %.2f, max %.2f); target <= %.1fx and < %.0f ms: %s\n",
                name, med, *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()),
                int(ms.size()), median(rawMs), ratio, *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), TargetRatio, TargetMs, met ? "met" : "NOT met");
    std::fflush(stdout);
}

void TenThousandItemsOverTheLink(benchmark::State &state)
{
    QList<double> dialogMs, rawMs, ratios;
    for (auto _ : state) {
        for (int pass = 0; pass < Passes; ++pass) {
            const double d = runDialog();
            const double r = runTreeWidget();
            if (d < 0 || r <= 0) {
                state.SkipWithError("the listing did not arrive whole");
                return;
            }
            dialogMs << d;
            rawMs << r;
            ratios << d / r;
        }
        state.SetIterationTime(median(dialogMs) / 1000);
    }
    state.counters["dialog_ms"] = median(dialogMs);
    state.counters["raw_ms"] = median(rawMs);
    state.counters["ratio"] = median(ratios);
    report("TenThousandItemsOverTheLink", dialogMs, ratios, rawMs);
}

} // namespace

BENCHMARK(TenThousandItemsOverTheLink)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
