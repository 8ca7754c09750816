// Engine throughput over the routines GT.M ships, beside GT.M's own compiler on the same
// files in the same run. Hand-written and generated routines are measured apart: the two
// generated ones are tens of thousands of near-identical lines and would hide what the
// engine does on code people write.
//
// One engine load is what opening a routine costs the editor: the file read, decoded and
// split into lines, every line ZeroPad'ed (by the wrapper's own ZeroPad, as the lexer does)
// and registered with TextSet^PARSE, then ZeroPad'ed again and parsed with Begin^PARSE,
// through the engine's call interface, and the handle freed at the end.

#include "benchratio.h"
#include "gtmcorpus.h"
#include "parseengine.h"
#include "vanngine.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// GT.M drops file names that lie beyond about 32,900 characters of its command line and
// still exits 0, so each run of the compiler is kept well below that.
constexpr int MaxCommandLine = 30000;
constexpr int Passes = BenchRatio::Passes;

struct Group
{
    const char *name;
    QStringList paths;
    long lines = 0;
};

struct Corpus
{
    QString folder;
    Group handWritten{"hand-written", {}, 0};
    Group generated{"generated", {}, 0};
};

const Corpus &corpus()
{
    static const Corpus loaded = [] {
        Corpus c;
        c.folder = gtmInstallationFolder();
        if (c.folder.isEmpty())
            return c;
        for (const GtmRoutine &routine : loadGtmCorpus(c.folder)) {
            Group &group = routine.generated ? c.generated : c.handWritten;
            group.paths << routine.path;
            group.lines += routine.lines.size();
        }
        return c;
    }();
    return loaded;
}

// The editor's document: the file's bytes, one character each, cut into lines. GT.M reads
// the same files from disk in its figure.
QStringList readRoutine(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return {};
    struct stat status;
    QByteArray bytes;
    if (::fstat(fd, &status) == 0) {
        bytes.resize(qsizetype(status.st_size));
        const ssize_t got = ::read(fd, bytes.data(), size_t(bytes.size()));
        bytes.resize(got < 0 ? 0 : qsizetype(got));
    }
    ::close(fd);
    const char *data = bytes.constData();
    qsizetype size = bytes.size();
    if (size > 0 && data[size - 1] == '\n')
        --size;
    qsizetype breaks = 0;
    for (const char *at = data; (at = static_cast<const char *>(std::memchr(at, '\n', size_t(data + size - at))));
         ++at)
        ++breaks;
    QStringList lines;
    lines.reserve(breaks + 1);
    for (qsizetype start = 0;;) {
        const char *newline = static_cast<const char *>(std::memchr(data + start, '\n', size_t(size - start)));
        const qsizetype end = newline ? newline - data : size;
        qsizetype length = end - start;
        if (length > 0 && data[start + length - 1] == '\r')
            --length;
        lines.append(QString::fromLatin1(data + start, length));
        if (!newline)
            return lines;
        start = end + 1;
    }
}

long loadIntoEngine(IParseEngine &engine, const QString &path)
{
    static const QString textSet = QStringLiteral("TextSet^PARSE");
    static const QString begin = QStringLiteral("Begin^PARSE");
    const QStringList lines = readRoutine(path);
    const int handle = engine.xecute(QStringLiteral("w $$NewHand^PARSE")).toInt();
    engine.call(QStringLiteral("PropSet^PARSE"), handle, {QStringLiteral("ParseTable"), QStringLiteral("sdbGTM")});
    for (int i = 0; i < lines.size(); ++i)
        engine.call(textSet, handle, {i + 1, VanNgine::ZeroPad(lines[i]), i});
    for (int i = 0; i < lines.size(); ++i) {
        const QString reply = engine.call(begin, handle, {i + 1, 0, VanNgine::ZeroPad(lines[i]), i + 1});
        benchmark::DoNotOptimize(reply);
    }
    engine.call(QStringLiteral("FreeHand^PARSE"), handle, {});
    return lines.size();
}

// One pass of the engine over a group; seconds taken.
double enginePass(ParseEngine &engine, const Group &group)
{
    const auto started = std::chrono::steady_clock::now();
    long lines = 0;
    for (const QString &path : group.paths)
        lines += loadIntoEngine(engine, path);
    benchmark::DoNotOptimize(lines);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// The group's files in runs of the compiler whose command lines stay under MaxCommandLine.
std::vector<QStringList> compilerRuns(const QString &program, const Group &group)
{
    std::vector<QStringList> runs;
    const QString option = QStringLiteral("-noobject");
    const int fixed = int(program.size() + 1 + option.size());
    int length = MaxCommandLine;
    for (const QString &path : group.paths) {
        if (length + 1 + path.size() >= MaxCommandLine) {
            runs.push_back({option});
            length = fixed;
        }
        runs.back() << path;
        length += int(1 + path.size());
    }
    return runs;
}

// Runs GT.M's compiler once; its exit code, or -1 when it could not be started. Started with
// posix_spawn rather than fork: a fork would leave every page of this process copy-on-write,
// and the engine's next pass would pay a page fault for each one it touches again.
int runCompiler(const QString &program, const QStringList &arguments, const QString &folder,
                const QString &workingDirectory, const QString &outputFile)
{
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        argumentBytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> environmentBytes{"gtm_dist=" + QFile::encodeName(folder)};
    for (char **entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "gtm_dist=", 9) != 0)
            environmentBytes.emplace_back(*entry);
    }
    std::vector<char *> envp;
    for (QByteArray &bytes : environmentBytes)
        envp.push_back(bytes.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray output = QFile::encodeName(outputFile);
    posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(workingDirectory).constData());
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One pass of GT.M's compiler over a group; seconds taken, or -1 with `problem` set.
double gtmPass(const Group &group, QString &problem)
{
    const Corpus &c = corpus();
    const QString program = c.folder + QStringLiteral("/mumps");
    static QTemporaryDir scratch;
    const QString outputFile = scratch.filePath(QStringLiteral("compiler.out"));
    const std::vector<QStringList> runs = compilerRuns(program, group);
    double seconds = 0;
    for (const QStringList &arguments : runs) {
        const auto started = std::chrono::steady_clock::now();
        const int exitCode = runCompiler(program, arguments, c.folder, scratch.path(), outputFile);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        // A clean compile says nothing; anything said means a file was not compiled as counted.
        QFile said(outputFile);
        const QByteArray output = said.open(QIODevice::ReadOnly) ? said.readAll() : QByteArray();
        if (exitCode != 0 || !output.trimmed().isEmpty()) {
            problem = QStringLiteral("GT.M's compiler did not run cleanly (exit %1): %2")
                              .arg(exitCode).arg(QString::fromLocal8Bit(output.left(300)));
            return -1;
        }
    }
    return seconds;
}

void engineLoads(benchmark::State &state, const Group &group)
{
    if (group.paths.isEmpty()) {
        state.SkipWithError("fis-gtm is not installed");
        return;
    }
    ParseEngine engine;
    long processed = 0;
    for (auto _ : state) {
        enginePass(engine, group);
        processed += group.lines;
    }
    state.counters["lines/s"] = benchmark::Counter(double(processed), benchmark::Counter::kIsRate);
}

void BM_EngineLoadsHandWrittenRoutines(benchmark::State &state)
{
    engineLoads(state, corpus().handWritten);
}
BENCHMARK(BM_EngineLoadsHandWrittenRoutines)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_EngineLoadsGeneratedRoutines(benchmark::State &state)
{
    engineLoads(state, corpus().generated);
}
BENCHMARK(BM_EngineLoadsGeneratedRoutines)->Unit(benchmark::kMillisecond)->MinTime(1.0);

struct Figures
{
    std::vector<double> engine; // seconds of each pass
    std::vector<double> gtm;
    QString problem;
};

// Engine and compiler take turns, pass by pass, so that both meet the same load on a
// shared machine.
Figures measure(const Group &group)
{
    Figures figures;
    ParseEngine engine;
    enginePass(engine, group); // warm the file cache and the allocator for both
    for (int pass = 0; pass < Passes; ++pass) {
        figures.engine.push_back(enginePass(engine, group));
        if (!figures.problem.isEmpty())
            continue;
        const double seconds = gtmPass(group, figures.problem);
        if (seconds > 0)
            figures.gtm.push_back(seconds);
    }
    return figures;
}

void report(const Group &group, const Figures &figures, BenchRatio::Goal goal, double target)
{
    const std::string name = std::string("engine on ") + group.name + " GT.M routines ("
            + std::to_string(group.paths.size()) + " files, " + std::to_string(group.lines) + " lines)";
    if (figures.gtm.size() != figures.engine.size()) {
        std::printf("%s: GT.M's compiler not measured: %s\n", name.c_str(),
                    figures.problem.toLocal8Bit().constData());
        return;
    }
    BenchRatio ratio(name, "as fast as mumps -noobject", goal, target);
    for (size_t i = 0; i < figures.engine.size(); ++i)
        ratio.add(figures.engine[i] * 1000, figures.gtm[i] * 1000);
    ratio.keep();
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Corpus &c = corpus();
    if (c.handWritten.paths.isEmpty())
        return 0;

    report(c.handWritten, measure(c.handWritten), BenchRatio::AtLeast, 5.0);
    if (!c.generated.paths.isEmpty())
        report(c.generated, measure(c.generated), BenchRatio::AtLeast, 0);
    BenchRatio::printReports();
    return 0;
}
