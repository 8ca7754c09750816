#include "addin.h"
#include "benchratio.h"
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
//     beside a new bare Qt process that shows its window and then listens, until its
//     port takes a connection: what a waiting server sees, probed the same way on both
//     sides. Target: at most 2 times the bare process.
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

// Runs both starts once per pass. The first start of Vantrel is not measured: it brings
// the Sentry up.
template<typename Vantrel, typename Bare>
void measurePair(benchmark::State &state, BenchRatio &ratio, Vantrel vantrelMs, Bare bareMs)
{
    if (vantrelMs() < 0) {
        state.SkipWithError("Vantrel did not come up listening");
        return;
    }
    for (auto _ : state) {
        const double v = vantrelMs();
        const double b = bareMs();
        if (v < 0 || b < 0) {
            state.SkipWithError(v < 0 ? "Vantrel did not come up listening" : "the bare window did not listen");
            return;
        }
        ratio.add(v, b);
        state.SetIterationTime(v / 1000.0);
    }
    ratio.report(state);
}

void StartupToListening(benchmark::State &state)
{
    BenchRatio ratio("InProcessStartToListening", "a bare main window", BenchRatio::AtMost);
    measurePair(state, ratio, vantrelStartMs, bareStartMs);
}
BENCHMARK(StartupToListening)->Name("InProcessStartToListening")->UseManualTime()
    ->Iterations(BenchRatio::Passes)->Unit(benchmark::kMillisecond);

QProcessEnvironment benchEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_QUIET", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// Starts the program and probes `ports` until one takes a connection; milliseconds from
// the start, or -1 when none did.
double processToListeningMs(const char *program, const QStringList &arguments, const QList<quint16> &ports)
{
    QElapsedTimer t;
    t.start();
    QProcess process;
    process.setProcessEnvironment(benchEnvironment());
    process.start(QString::fromLocal8Bit(program), arguments);
    double ms = -1;
    while (ms < 0 && t.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
        for (const quint16 port : ports) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(50)) {
                ms = t.nsecsElapsed() / 1e6;
                break;
            }
        }
        QThread::msleep(1);
    }
    process.kill();
    process.waitForFinished(5000);
    return ms;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void ProcessStartToListening(benchmark::State &state)
{
    BenchRatio ratio("ProcessStartToListening", "a bare Qt window process", BenchRatio::AtMost, 2);
    const quint16 barePort = freePort();
    // The task listens on whichever of the Sentry's two ports is free: the Sentry may not
    // yet have seen the last task, killed a moment ago, give its port back.
    const QList<quint16> taskPorts{quint16(g_sentryPort + 1), quint16(g_sentryPort + 2)};
    measurePair(state, ratio,
                [taskPorts] { return processToListeningMs(VANTREL_PROGRAM, {QStringLiteral("SQ0")}, taskPorts); },
                [barePort] { return processToListeningMs(BARE_PROGRAM, {QString::number(barePort)}, {barePort}); });
}
BENCHMARK(ProcessStartToListening)->UseManualTime()->Iterations(BenchRatio::Passes)->Unit(benchmark::kMillisecond);

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
    BenchRatio::printReports();
    benchmark::Shutdown();

    const qint64 sentry = SingleInstance::holder(dir.filePath("sentry.lock"));
    if (sentry > 0)
        ::kill(pid_t(sentry), SIGTERM);
    return 0;
}
