#include "addin.h"
#include "frmmdi.h"
#include "singleinstance.h"
#include "socketx.h"
#include "userprompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <csignal>
#include <unistd.h>

// Start-up of Vantrel for a waiting server ("SQ0": initialise, load, book in with a
// Sentry that already runs, listen) beside a bare Qt main window shown the same way.
// The counter "ratio" is the first over the second; the aim is at most 2.
namespace {


double vantrelStartMs()
{
    QElapsedTimer t;
    t.start();
    AddIn::setCommandLine(QStringLiteral("SQ0"));
    AddIn::Main();
    QCoreApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    frmMDI *window = AddIn::gfrmMDI();
    if (!window || window->mtcpListen()->State() != SocketX::Listening)
        return -1;
    AddIn::reset();
    return ms;
}

double bareStartMs()
{
    QElapsedTimer t;
    t.start();
    auto *window = new QMainWindow;
    window->show();
    QCoreApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    delete window;
    return ms;
}

void StartupToListening(benchmark::State &state)
{
    // The first start brings the Sentry up; it is not what is measured.
    if (vantrelStartMs() < 0) {
        state.SkipWithError("Vantrel did not come up listening");
        return;
    }
    double vantrel = 0, bare = 0;
    for (auto _ : state) {
        const double v = vantrelStartMs();
        const double b = bareStartMs();
        if (v < 0) {
            state.SkipWithError("Vantrel did not come up listening");
            return;
        }
        vantrel += v;
        bare += b;
        state.SetIterationTime((v + b) / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["vantrel_ms"] = vantrel / n;
    state.counters["bare_ms"] = bare / n;
    state.counters["ratio"] = bare > 0 ? vantrel / bare : 0;
}
BENCHMARK(StartupToListening)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 sentryPort = probe.serverPort();
    probe.close();
    qputenv("VANTREL_SENTRY_SOCKET", dir.filePath("sentry").toUtf8());
    qputenv("VANTREL_SENTRY_PROGRAM", SENTRY_PROGRAM);
    qputenv("VANTREL_SENTRY_EMBEDDED_COMMAND_LINE", QByteArray::number(sentryPort) + " 2");
    qputenv("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
    qputenv("VANTREL_SENTRY_QUIET", "1");
    qputenv("VANTREL_SENTRY_TASK_PROGRAM", "/bin/true");

    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("config"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const qint64 sentry = SingleInstance::holder(dir.filePath("sentry.lock"));
    if (sentry > 0)
        ::kill(pid_t(sentry), SIGTERM);
    return 0;
}
