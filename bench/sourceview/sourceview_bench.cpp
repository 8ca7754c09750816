// Loading a routine and painting its first screen, and typing into the middle
// of a long routine, each timed beside a plain QPlainTextEdit doing the same.
// Target of both: at most 2 times the plain editor.
#include "benchratio.h"
#include "sourceview.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <benchmark/benchmark.h>

namespace {

// M source from the GT.M distribution when it is installed, else made-up lines.
QStringList corpusLines()
{
    static QStringList lines;
    if (!lines.isEmpty())
        return lines;
    QDirIterator it(QStringLiteral("/usr/lib/x86_64-linux-gnu/fis-gtm"), {QStringLiteral("*.m")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext() && lines.size() < 60000) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            lines += QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    }
    if (lines.size() < 100) {
        lines.clear();
        for (int i = 0; i < 1000; ++i)
            lines << QStringLiteral("LBL%1\tSET X=$PIECE(^GLO(%1),\"^\",2) IF X'=\"\" DO SUB(X) ; c").arg(i);
    }
    return lines;
}

QString routine(int lineCount)
{
    const QStringList corpus = corpusLines();
    QStringList out;
    for (int i = 0; i < lineCount; ++i)
        out << corpus.at(i % corpus.size());
    return out.join(QLatin1String("\r\n"));
}

template <typename Editor>
void prepare(Editor &editor)
{
    // The same layout for both: no wrapping, as a code window starts.
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    editor.resize(800, 600);
    editor.show();
    QCoreApplication::processEvents();
}

qint64 loadAndPaintSource(const QString &text)
{
    QElapsedTimer timer;
    SourceView view;
    prepare(view);
    timer.start();
    view.Document()->InsertImpl(0, 0, text);
    view.viewport()->repaint();
    view.repaint();
    return timer.nsecsElapsed();
}

qint64 loadAndPaintPlain(const QString &text)
{
    QElapsedTimer timer;
    QPlainTextEdit edit;
    prepare(edit);
    timer.start();
    edit.setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    edit.viewport()->repaint();
    edit.repaint();
    return timer.nsecsElapsed();
}

void BM_LoadAndFirstPaint(benchmark::State &state)
{
    const QString text = routine(int(state.range(0)));
    BenchRatio ratio("BM_LoadAndFirstPaint/" + std::to_string(state.range(0)), "a plain QPlainTextEdit",
                     BenchRatio::AtMost, 2);
    for (auto _ : state) {
        const qint64 a = loadAndPaintSource(text);
        const qint64 b = loadAndPaintPlain(text);
        ratio.add(double(a) / 1e6, double(b) / 1e6);
        state.SetIterationTime(double(a) / 1e9);
    }
    ratio.report(state);
}
BENCHMARK(BM_LoadAndFirstPaint)->Arg(5000)->Arg(50000)->UseManualTime()->Iterations(BenchRatio::Passes)
    ->Unit(benchmark::kMillisecond);

template <typename Editor>
qint64 typeInto(Editor &editor, int keys)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < keys; ++i) {
        const QChar ch = QLatin1Char("abcdefgh"[i % 8]);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (i % 8), Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(&editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + (i % 8), Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(&editor, &release);
        QCoreApplication::processEvents();   // each keystroke is painted
    }
    return timer.nsecsElapsed();
}

void BM_TypeIntoMiddle(benchmark::State &state)
{
    const QString text = routine(50000);
    const int keys = int(state.range(0));
    SourceView view;
    prepare(view);
    view.Document()->InsertImpl(0, 0, text);
    view.SetCaret(3, 25000);
    view.ensureCursorVisible();
    QPlainTextEdit plain;
    prepare(plain);
    plain.setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    QTextCursor cursor(plain.document()->findBlockByNumber(25000));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    plain.setTextCursor(cursor);
    plain.ensureCursorVisible();
    BenchRatio ratio("BM_TypeIntoMiddle", "a plain QPlainTextEdit", BenchRatio::AtMost, 2);
    double ours = 0;
    for (auto _ : state) {
        const qint64 a = typeInto(view, keys);
        const qint64 b = typeInto(plain, keys);
        ours += double(a);
        ratio.add(double(a) / 1e6, double(b) / 1e6);
        state.SetIterationTime(double(a) / 1e9);
    }
    ratio.report(state);
    state.counters["us_per_key"] = ours / 1000.0 / double(keys) / double(state.iterations());
}
// Passes of 50 keys each: 1,050 keys in all.
BENCHMARK(BM_TypeIntoMiddle)->Arg(50)->UseManualTime()->Iterations(BenchRatio::Passes)->Unit(benchmark::kMillisecond);

} // namespace
