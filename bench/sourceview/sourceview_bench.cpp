// Loading a routine and painting its first screen, and typing into the middle
// of a long routine, each timed beside a plain QPlainTextEdit doing the same.
// The "ratio" counter is our time over the plain editor's (targets: <= 2).
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
    double ours = 0, plain = 0;
    for (auto _ : state) {
        const qint64 a = loadAndPaintSource(text);
        const qint64 b = loadAndPaintPlain(text);
        ours += double(a);
        plain += double(b);
        state.SetIterationTime(double(a) / 1e9);
    }
    state.counters["ratio"] = plain > 0 ? ours / plain : 0;
}
BENCHMARK(BM_LoadAndFirstPaint)->Arg(5000)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond);

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
    double ours = 0, other = 0;
    for (auto _ : state) {
        const qint64 a = typeInto(view, keys);
        const qint64 b = typeInto(plain, keys);
        ours += double(a);
        other += double(b);
        state.SetIterationTime(double(a) / 1e9);
    }
    state.counters["ratio"] = other > 0 ? ours / other : 0;
    state.counters["us_per_key"] = ours / 1000.0 / double(keys) / double(state.iterations());
}
BENCHMARK(BM_TypeIntoMiddle)->Arg(1000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
