#include "benchratio.h"
#include "docfakes.h"
#include "docservices.h"
#include "frmcode.h"
#include "gtmcorpus.h"
#include "routinenavigator.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"
#include "vanngine.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

// A routine arrives in the "SIG" reply and is shown in a code window, which colours what
// is on screen and leaves the rest to its parse timer. Timed: from the reply's text
// arriving until the window's last queued line is parsed, with the event loop running as
// it does for the user. Beside it, the Parse Engine's own parse of the same text: every
// line registered and then parsed, straight through. Target: at most 5 times the engine.
namespace {

QStringList routineLines(int count)
{
    QStringList lines{QStringLiteral("BIG ; a routine made of the GT.M routines")};
    for (const GtmRoutine &r : loadGtmCorpus(gtmInstallationFolder())) {
        if (r.path.contains(QLatin1String("DefinedTypes"), Qt::CaseInsensitive))
            continue;   // generated data, not code
        for (const QString &line : r.lines) {
            // Labels of the pieces would repeat; keep only lines without one.
            if (!line.isEmpty() && !line[0].isLetter() && line[0] != QLatin1Char('%'))
                lines.append(line);
            if (lines.size() == count)
                return lines;
        }
    }
    // Past the corpus the routine goes on with its own lines again.
    for (qsizetype i = 1; lines.size() < count; ++i)
        lines.append(lines.at(i));
    return lines;
}

// The View menu as the program starts: Rich Source ticked, so the window colours.
struct RichSourceOn : IViewDefaults
{
    bool lineWrap() const override { return false; }
    bool richSource() const override { return true; }
};

// From the reply to the empty parse queue; -1 when the routine was not shown and coloured.
double codeWindowMs(const QString &text)
{
    FakeDocLink link;
    link.brand = QStringLiteral("GTM");
    RichSourceOn view;
    Routines routines([] { return std::make_shared<Routine>(); }, &view);
    frmCode::setRoutineCollection(&routines);
    link.replies.push_back({QStringLiteral("SIG"), QStringLiteral("1"), QStringLiteral("BIG"),
                            QStringLiteral("USER"), QStringLiteral("0"), text, QStringLiteral("GTM")});
    RoutineNavigator navigator(link, routines);

    QElapsedTimer t;
    t.start();
    RoutineDocPtr doc;
    navigator.ShowRoutine(QStringLiteral("BIG"), QStringLiteral("USER"), 0, QStringLiteral("+1"), true, 1,
                          doc);
    auto *routine = dynamic_cast<Routine *>(doc.get());
    auto *code = routine ? dynamic_cast<frmCode *>(routine->Window()) : nullptr;
    double ms = -1;
    if (code && code->isVisible() && code->RichSource()) {
        QElapsedTimer limit;
        limit.start();
        while ((code->parseTimerEnabled() || routine->lexer()->hasQueuedLines()) && limit.elapsed() < 600'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ms = routine->lexer()->hasQueuedLines() ? -1 : t.nsecsElapsed() / 1e6;
    }
    routines.shutdown();
    frmCode::setRoutineCollection(nullptr);
    return ms;
}

// The engine on the same text: each line registered under its serial, then each parsed.
double engineMs(const QStringList &lines)
{
    static const QString textSet = QStringLiteral("TextSet^PARSE");
    static const QString begin = QStringLiteral("Begin^PARSE");
    QElapsedTimer t;
    t.start();
    VanNgine engine;
    engine.MDo2(QStringLiteral("PropSet^PARSE"), QStringLiteral("ParseTable"), QStringLiteral("sdbGTM"));
    for (int i = 0; i < lines.size(); ++i)
        engine.MDo3(textSet, i + 1, VanNgine::ZeroPad(lines[i]), i);
    for (int i = 0; i < lines.size(); ++i)
        benchmark::DoNotOptimize(engine.MDo4(begin, i + 1, 0, VanNgine::ZeroPad(lines[i]), i + 1));
    return t.nsecsElapsed() / 1e6;
}

void BackgroundParseToTheLastLine(benchmark::State &state)
{
    docServices().codeWindowFactory = frmCode::factory();
    const int count = int(state.range(0));
    const QStringList lines = routineLines(count);
    const QString text = lines.join(QStringLiteral("\r\n"));
    if (!VanNgine().Connected()) {
        state.SkipWithError("no Parse Engine");
        return;
    }
    BenchRatio ratio("BackgroundParseToTheLastLine/" + std::to_string(count), "the engine's own parse",
                     BenchRatio::AtMost, 5);
    for (auto _ : state) {
        const double w = codeWindowMs(text);
        const double e = engineMs(lines);
        if (w < 0) {
            state.SkipWithError("the routine was not shown and parsed");
            break;
        }
        ratio.add(w, e);
        state.SetIterationTime(w / 1000.0);
    }
    ratio.report(state);
    docServices() = DocServices();
}
BENCHMARK(BackgroundParseToTheLastLine)
    ->Arg(5000)
    ->Arg(50000)
    ->UseManualTime()
    ->Iterations(BenchRatio::Passes)
    ->Unit(benchmark::kMillisecond);

} // namespace
