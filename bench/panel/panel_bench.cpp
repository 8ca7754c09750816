// The panel's caption work as the hover tip drives it: wrap, self-size and draw.
//   TipCaptionAgainstLabel: a 200-line tip caption set on a self-sizing panel (the
//     tip's settings: every character 32-255 a break character) and drawn into its
//     image, beside a QLabel given the same plain text, sized to it and grabbed.
//     Target: at most 1 time the QLabel.
//   FiveThousandLines: 5,000 CR LF separated lines, far beyond 16-bit totals.
//   HundredThousandCharacterTip: one 100,000-character tip with the tip's settings.
// Everything runs on the GUI thread on the offscreen platform.
#include "benchratio.h"
#include "lumopanel.h"

#include <QLabel>
#include <QPixmap>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

QString tipBreakChars()
{
    QString chars;
    for (int c = 32; c <= 255; ++c)
        chars += QChar(c);
    return chars;
}

// A panel with the hover tip's settings.
void makeTip(LumoPanel &panel)
{
    panel.setBackColor(0x80000018u);
    panel.setForeColor(0);
    panel.setFrameStyle(LumoPanel::UserBorder);
    panel.setAutoResize(true);
    panel.setAlignment(LumoPanel::MiddleLeft);
    panel.setMinWidth(0);
    panel.setMinHeight(0);
    panel.setLineBreakChars(tipBreakChars());
    panel.setMaxWidth(18000);   // 1200 px, 90 % of a wide desktop
    panel.setMaxHeight(32767);
}

QStringList routineLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("LABEL%1 S X=$G(^GLOBAL(\"node\",%1)) I X<5 W !,\"value: \",X Q").arg(i);
    return lines;
}

void TipCaptionAgainstLabel(benchmark::State &state)
{
    const QStringList lines = routineLines(200);
    const QString plain = lines.join(QStringLiteral("\r\n"));
    const QString caption = QStringLiteral("<b1>Routine<b0>\r\n") + plain;
    LumoPanel panel;
    makeTip(panel);
    QLabel label;
    label.setTextFormat(Qt::PlainText);
    BenchRatio ratio("TipCaptionAgainstLabel", "a QLabel", BenchRatio::AtMost, 1, "us");
    int n = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        panel.setCaption(caption + QString::number(n));   // a new text each time
        benchmark::DoNotOptimize(panel.image().constBits());
        const auto t1 = Clock::now();
        label.setText(plain + QString::number(n));
        label.resize(label.sizeHint());
        QPixmap shot = label.grab();
        benchmark::DoNotOptimize(shot.cacheKey());
        const auto t2 = Clock::now();
        ratio.add(microseconds(t1 - t0), microseconds(t2 - t1));
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        ++n;
    }
    ratio.report(state);
}

void FiveThousandLines(benchmark::State &state)
{
    const QString caption = routineLines(5000).join(QStringLiteral("\r\n"));
    LumoPanel panel;
    makeTip(panel);
    int n = 0;
    for (auto _ : state) {
        panel.setCaption(caption + QString::number(n++));
        benchmark::DoNotOptimize(panel.Lines().size());
    }
    state.counters["lines"] = double(panel.Lines().size());
}

void HundredThousandCharacterTip(benchmark::State &state)
{
    QString tip;
    while (tip.size() < 100000)
        tip += QStringLiteral("\"value %1 with <angle> & text\",").arg(tip.size());
    tip.truncate(100000);
    LumoPanel panel;
    makeTip(panel);
    int n = 0;
    for (auto _ : state) {
        panel.setCaption(tip + QString::number(n++));
        benchmark::DoNotOptimize(panel.Lines().size());
    }
    state.counters["lines"] = double(panel.Lines().size());
}

} // namespace

BENCHMARK(TipCaptionAgainstLabel)->Iterations(BenchRatio::Passes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FiveThousandLines)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(HundredThousandCharacterTip)->Iterations(5)->Unit(benchmark::kMillisecond);
