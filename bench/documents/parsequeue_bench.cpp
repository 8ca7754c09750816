// The lexer's parse queue on its own: every line of a routine queued, in the orders the
// window queues them, and taken off again one per tick as the parse timer takes them.
// Colouring is off, so a tick parses nothing and the figure is the queue's own cost:
// top to bottom as a routine opens, bottom to top as each statement asks for the line
// above it, and scattered as painting and edits queue lines. Timed per line queued and
// taken off.

#include "docfakes.h"
#include "sourcelex.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

enum Order { TopDown, BottomUp, Scattered };

std::vector<int> queueOrder(int count, Order order)
{
    std::vector<int> lines(static_cast<size_t>(count));
    std::iota(lines.begin(), lines.end(), 0);
    if (order == BottomUp)
        std::reverse(lines.begin(), lines.end());
    else if (order == Scattered)
        std::shuffle(lines.begin(), lines.end(), std::mt19937(20240611));
    return lines;
}

void QueueAndDrain(benchmark::State &state)
{
    const int count = int(state.range(0));
    const auto order = Order(state.range(1));
    FakeCodeWindow window(false);
    const QString text = QStringList(count, QStringLiteral("\tQ")).join(QStringLiteral("\r\n"));
    window.document()->InsertImpl(0, 0, text);
    SourceLex *lex = window.Lex();
    const std::vector<int> lines = queueOrder(count, order);

    for (auto _ : state) {
        for (int line : lines)
            lex->QueueLineForParse(line, true, false);
        // Twice the lines at most: a queue that loses a line never drains.
        for (int ticks = 0; lex->hasQueuedLines() && ticks < 2 * count; ++ticks)
            lex->TimerTick();
        if (lex->hasQueuedLines()) {
            state.SkipWithError("queued lines never left the queue");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(QueueAndDrain)
    ->ArgNames({"lines", "order"})
    ->Args({50000, TopDown})
    ->Args({50000, BottomUp})
    ->Args({50000, Scattered})
    ->Args({200000, TopDown})
    ->Args({200000, BottomUp})
    ->Args({200000, Scattered})
    ->Unit(benchmark::kMillisecond);

} // namespace
