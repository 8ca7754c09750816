// Engine throughput over the routines GT.M ships, beside GT.M's own compiler on the same
// files in the same run. A document load is what counts: every line registered with
// TextSet^PARSE, then parsed with Begin^PARSE, through the same call interface the editor uses.

#include "gtmcorpus.h"
#include "parseengine.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

struct Corpus
{
    QString folder;
    std::vector<GtmRoutine> routines;
    std::vector<QStringList> padded; // the lexer ZeroPads every text it sends: done once here
    long lines = 0;
};

const Corpus &corpus()
{
    static const Corpus loaded = [] {
        Corpus c;
        c.folder = gtmInstallationFolder();
        if (!c.folder.isEmpty())
            c.routines = loadGtmCorpus(c.folder);
        for (const GtmRoutine &routine : c.routines) {
            c.lines += routine.lines.size();
            QStringList padded;
            for (const QString &line : routine.lines)
                padded << line + QString(line.size(), QChar(0));
            c.padded.push_back(padded);
        }
        return c;
    }();
    return loaded;
}

double g_engineLinesPerSecond = 0;
double g_gtmLinesPerSecond = 0;
QString g_gtmProblem;

void loadIntoEngine(ParseEngine &engine, const QStringList &lines)
{
    const int handle = engine.xecute(QStringLiteral("w $$NewHand^PARSE")).toInt();
    const QString textSet = QStringLiteral("TextSet^PARSE");
    const QString begin = QStringLiteral("Begin^PARSE");
    engine.call(QStringLiteral("PropSet^PARSE"), handle, {QStringLiteral("ParseTable"), QStringLiteral("sdbGTM")});
    int serial = 0;
    for (const QString &line : lines) {
        engine.call(textSet, handle, {serial + 1, line, serial});
        ++serial;
    }
    for (int i = 0; i < lines.size(); ++i) {
        const QString reply = engine.call(begin, handle, {i + 1, 0, lines[i], i + 1});
        benchmark::DoNotOptimize(reply);
    }
    engine.call(QStringLiteral("FreeHand^PARSE"), handle, {});
}

void BM_EngineLoadsCorpus(benchmark::State &state)
{
    const Corpus &c = corpus();
    if (c.routines.empty()) {
        state.SkipWithError("fis-gtm is not installed");
        return;
    }
    ParseEngine engine;
    double seconds = 0;
    long processed = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        for (const QStringList &lines : c.padded)
            loadIntoEngine(engine, lines);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        processed += c.lines;
    }
    g_engineLinesPerSecond = processed / seconds;
    state.counters["lines/s"] = benchmark::Counter(double(processed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EngineLoadsCorpus)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_GtmCompilesCorpus(benchmark::State &state)
{
    const Corpus &c = corpus();
    const QString mumps = c.folder + QStringLiteral("/mumps");
    QStringList arguments{QStringLiteral("-noobject")};
    for (const GtmRoutine &routine : c.routines)
        arguments << routine.path;
    QTemporaryDir scratch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("gtm_dist"), c.folder);

    double seconds = 0;
    long processed = 0;
    for (auto _ : state) {
        QProcess compiler;
        compiler.setProcessEnvironment(environment);
        compiler.setWorkingDirectory(scratch.path());
        compiler.setProcessChannelMode(QProcess::MergedChannels);
        const auto started = std::chrono::steady_clock::now();
        compiler.start(mumps, arguments);
        const bool finished = compiler.waitForFinished(120000);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!finished || compiler.exitStatus() != QProcess::NormalExit || compiler.exitCode() != 0) {
            g_gtmProblem = QStringLiteral("GT.M's compiler did not run cleanly: %1 %2")
                                   .arg(compiler.errorString(), QString::fromLocal8Bit(compiler.readAll().left(300)));
            state.SkipWithError(g_gtmProblem.toLocal8Bit().constData());
            return;
        }
        processed += c.lines;
    }
    g_gtmLinesPerSecond = processed / seconds;
    state.counters["lines/s"] = benchmark::Counter(double(processed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GtmCompilesCorpus)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nParse Engine over %zu GT.M routines, %ld lines:\n", corpus().routines.size(), corpus().lines);
    std::printf("  engine      %12.0f lines/s\n", g_engineLinesPerSecond);
    if (g_gtmLinesPerSecond > 0) {
        std::printf("  GT.M mumps  %12.0f lines/s\n", g_gtmLinesPerSecond);
        std::printf("  ratio       %12.2fx (target: at least 3x)\n", g_engineLinesPerSecond / g_gtmLinesPerSecond);
    } else {
        std::printf("  GT.M mumps  not measured: %s\n",
                    g_gtmProblem.isEmpty() ? "not run" : g_gtmProblem.toLocal8Bit().constData());
    }
    return 0;
}
