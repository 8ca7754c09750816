#include "addin.h"
#include "frmmdi.h"
#include "singleinstance.h"
#include "socketx.h"
#include "userprompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <csignal>
#include <unistd.h>

// Start-up of Vantrel for a waiting server ("SQ0": initialise, load, book in with a
// Sentry that already runs, listen) beside a bare Qt main window.
//   ProcessStartToListening: a new Vantrel process until its port takes a connection,
//     beside a new bare Qt process until its window was shown: what a waiting server
//     and a user see. The counter "ratio" is the first over the second; the aim is at
//     most 2.
//   InProcessStartToListening: the same inside one running application (initialise,
//     load, book, listen) beside showing a bare main window there; it shows what the
//     window's own start costs once Qt itself is up.
namespace {

quint16 g_sentryPort = 0;


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

// Runs both starts once per iteration and reports their means and their ratio. The
// first start of Vantrel is not measured: it brings the Sentry up.
template<typename Vantrel, typename Bare>
void measurePair(benchmark::State &state, Vantrel vantrelMs, Bare bareMs)
{
    if (vantrelMs() < 0) {
        state.SkipWithError("Vantrel did not come up listening");
        return;
    }
    double vantrel = 0, bare = 0;
    for (auto _ : state) {
        const double v = vantrelMs();
        const double b = bareMs();
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

void StartupToListening(benchmark::State &state)
{
    measurePair(state, vantrelStartMs, bareStartMs);
}
BENCHMARK(StartupToListening)->Name("InProcessStartToListening")->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

QProcessEnvironment benchEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_QUIET", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

double processToListeningMs(quint16 port)
{
    QElapsedTimer t;
    t.start();
    QProcess vantrel;
    vantrel.setProcessEnvironment(benchEnvironment());
    vantrel.start(VANTREL_PROGRAM, {QStringLiteral("SQ0")});
    double ms = -1;
    while (t.elapsed() < 20000 && vantrel.state() != QProcess::NotRunning) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(50)) {
            ms = t.nsecsElapsed() / 1e6;
            break;
        }
        QThread::msleep(1);
    }
    vantrel.kill();
    vantrel.waitForFinished(5000);
    return ms;
}

double bareProcessMs()
{
    QElapsedTimer t;
    t.start();
    QProcess bare;
    bare.setProcessEnvironment(benchEnvironment());
    bare.start(BARE_PROGRAM, {});
    bare.waitForReadyRead(20000);
    const double ms = t.nsecsElapsed() / 1e6;
    bare.waitForFinished(5000);
    return ms;
}

void ProcessStartToListening(benchmark::State &state)
{
    measurePair(state, [] { return processToListeningMs(g_sentryPort + 1); }, bareProcessMs);
}
BENCHMARK(ProcessStartToListening)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 sentryPort = probe.serverPort();
    g_sentryPort = sentryPort;
    probe.close();
    qputenv("VANTREL_SENTRY_SOCKET", dir.filePath("sentry").toUtf8());
    qputenv("VANTREL_SENTRY_PROGRAM", SENTRY_PROGRAM);
    qputenv("VANTREL_SENTRY_EMBEDDED_COMMAND_LINE", QByteArray::number(sentryPort) + " 2");
    qputenv("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
    qputenv("VANTREL_SENTRY_QUIET", "1");
    qputenv("VANTREL_SENTRY_TASK_PROGRAM", "/bin/true");

    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("config"));
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const qint64 sentry = SingleInstance::holder(dir.filePath("sentry.lock"));
    if (sentry > 0)
        ::kill(pid_t(sentry), SIGTERM);
    return 0;
}
