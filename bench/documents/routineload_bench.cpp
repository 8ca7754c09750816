// Opening a routine of 5,000 lines until every line is parsed and its labels indexed (the
// parse queue drained as fast as it will go), beside putting the same text into a plain
// QPlainTextEdit. Target: at most three times the plain load.

#include "benchratio.h"
#include "docfakes.h"
#include "gtmcorpus.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QPlainTextEdit>

namespace {

// 5,000 lines of GT.M's own routines, one after another.
QString routineText()
{
    static const QString text = [] {
        QStringList lines;
        for (const GtmRoutine &routine : loadGtmCorpus(gtmInstallationFolder())) {
            if (routine.path.contains(QLatin1String("DefinedTypes"), Qt::CaseInsensitive))
                continue;   // generated data, not code
            lines += routine.lines;
            if (lines.size() >= 5000)
                break;
        }
        return lines.mid(0, 5000).join(QStringLiteral("\r\n"));
    }();
    return text;
}

struct Documents
{
    FakeHost host;
    FakeDocLink link;
    Routines routines{[] { return std::make_shared<Routine>(); }};
    Documents()
    {
        link.brand = QStringLiteral("GTM");
        docServices().codeWindowFactory = [] {
            auto w = std::make_unique<FakeCodeWindow>(true);
            w->createView(800, 600);
            return w;
        };
        docServices().host = &host;
    }
    ~Documents()
    {
        routines.shutdown();
        docServices() = DocServices();
    }
};

double openRoutineMs(Documents &docs)
{
    QElapsedTimer timer;
    timer.start();
    QString rtn = QStringLiteral("BENCH"), env = QStringLiteral("USER"), text = routineText();
    QString line = QStringLiteral("+1");
    bool readOnly = false;
    auto routine = std::dynamic_pointer_cast<Routine>(
        docs.routines.Add(&docs.link, rtn, env, text, readOnly, line, 1, 0));
    routine->setVisible(true);
    static_cast<FakeCodeWindow *>(routine->Window())->drainParseQueue();
    benchmark::DoNotOptimize(routine->Labels().count());
    const double ms = timer.nsecsElapsed() / 1e6;
    docs.routines.Remove(routine->Key(), false, true);
    return ms;
}

double plainLoadMs()
{
    QElapsedTimer timer;
    timer.start();
    QPlainTextEdit edit;
    edit.resize(800, 600);
    edit.setPlainText(routineText());
    edit.show();
    benchmark::DoNotOptimize(edit.document()->blockCount());
    return timer.nsecsElapsed() / 1e6;
}

void BM_OpenRoutineFullyParsed(benchmark::State &state)
{
    routineText();   // the corpus is read once, outside the timings
    Documents docs;
    BenchRatio ratio("BM_OpenRoutineFullyParsed", "a plain QPlainTextEdit", BenchRatio::AtMost, 3);
    for (auto _ : state) {
        // Interleaved, so that both see the same state of the machine.
        const double routineMs = openRoutineMs(docs);
        ratio.add(routineMs, plainLoadMs());
        state.SetIterationTime(routineMs / 1000.0);
    }
    ratio.report(state);
}
BENCHMARK(BM_OpenRoutineFullyParsed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(BenchRatio::Passes);

} // namespace
