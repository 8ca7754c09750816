#include "benchratio.h"
#include "docfakes.h"
#include "docservices.h"
#include "frmcode.h"
#include "gtmcorpus.h"
#include "routinenavigator.h"
#include "routine.h"
#include "routines.h"
#include "sourceview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <benchmark/benchmark.h>

// A routine of 5,000 lines arrives in the "SIG" reply and is shown read-only in a code
// window, painted at its stopping line (line 2,500), beside the same text set into a
// plain QPlainTextEdit, shown and painted at the same line. Target: at most 3 times the
// plain editor.
namespace {

constexpr int RoutineLines = 5000;
constexpr int StopLine = 2500;

QStringList routineText()
{
    QStringList lines{QStringLiteral("BIG ; a routine made of the GT.M routines")};
    for (const GtmRoutine &r : loadGtmCorpus(gtmInstallationFolder())) {
        for (const QString &line : r.lines) {
            // Labels of the pieces would repeat; keep only lines without one.
            if (!line.isEmpty() && !line[0].isLetter() && line[0] != QLatin1Char('%'))
                lines.append(line);
            if (lines.size() == RoutineLines)
                return lines;
        }
    }
    while (lines.size() < RoutineLines)
        lines.append(QStringLiteral("\tSet x=x+1 If x>10 Write \"ten\",! Quit"));
    return lines;
}

double codeWindowMs(const QString &text)
{
    FakeDocLink link;
    link.brand = QStringLiteral("DSM");
    Routines routines([] { return std::make_shared<Routine>(); });
    frmCode::setRoutineCollection(&routines);
    link.replies.push_back({QStringLiteral("SIG"), QStringLiteral("1"), QStringLiteral("BIG"),
                            QStringLiteral("USER"), QStringLiteral("0"), text, QStringLiteral("DSM")});
    RoutineNavigator navigator(link, routines);

    QElapsedTimer t;
    t.start();
    RoutineDocPtr doc;
    navigator.ShowRoutine(QStringLiteral("BIG"), QStringLiteral("USER"), 0,
                          QStringLiteral("+%1").arg(StopLine), true, 1, doc);
    auto *routine = dynamic_cast<Routine *>(doc.get());
    auto *code = routine ? dynamic_cast<frmCode *>(routine->Window()) : nullptr;
    if (!code)
        return -1;
    code->SourceView1()->repaint();
    const double ms = t.nsecsElapsed() / 1e6;
    routines.shutdown();
    frmCode::setRoutineCollection(nullptr);
    return ms;
}

double plainEditMs(const QString &text)
{
    QElapsedTimer t;
    t.start();
    QPlainTextEdit edit;
    edit.setPlainText(text);
    edit.resize(800, 600);
    edit.show();
    QTextCursor cursor(edit.document()->findBlockByNumber(StopLine - 1));
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
    edit.viewport()->repaint();
    return t.nsecsElapsed() / 1e6;
}

void ShowRoutineAtItsStop(benchmark::State &state)
{
    docServices().codeWindowFactory = frmCode::factory();
    const QString text = routineText().join(QStringLiteral("\r\n"));
    const QString plain = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    BenchRatio ratio("ShowRoutineAtItsStop", "a plain QPlainTextEdit", BenchRatio::AtMost, 3);
    for (auto _ : state) {
        const double w = codeWindowMs(text);
        const double e = plainEditMs(plain);
        if (w < 0) {
            state.SkipWithError("the routine was not shown");
            break;
        }
        ratio.add(w, e);
        state.SetIterationTime(w / 1000.0);
    }
    ratio.report(state);
    docServices() = DocServices();
}
BENCHMARK(ShowRoutineAtItsStop)->UseManualTime()->Iterations(BenchRatio::Passes)->Unit(benchmark::kMillisecond);

} // namespace
