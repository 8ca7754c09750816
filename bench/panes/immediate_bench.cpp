// A command's output through the immediate pane, beside a raw loopback transfer of the
// same bytes.
//   OneMegabyteOfOutput: from Enter on a command line of the execute view until the
//     server's 1 MB of output stands in the view and the session is suspended again;
//     the server reads "XEC", connects to the pane's port + 1, writes the output and
//     closes. Against: a thread connecting to a listener of the GUI thread and writing
//     the same 1 MB, until the GUI thread has read it all and seen the close.
// Each pass runs the pane's transfer and the raw one back to back; the figure is the
// median of the passes' ratios with their spread, against the target of at most three
// times the raw loopback.
//   FloodMemory: 8 MB of output that floods the execute view, once as bare line ends
//     and once as ordinary numbered lines, back to back in each pass. The figures are
//     the heap the pane holds once the output is in (what the view keeps) and the
//     highest heap while it came, each of the line ends against the ordinary text: the
//     view's bound must keep any output's shape near what ordinary text costs. The
//     heap is malloc's own count of the bytes in use, so that memory an earlier pass
//     freed and the process kept is not counted again.
//
// The server is the scripted M server, a thread of its own over blocking loopback
// sockets; the raw sender is a thread as well, so both sides pay the same for it. The
// pane works on the GUI thread in its event loop, as the program does.
#include "benchratio.h"
#include "frmimmediate.h"
#include "imainwindow.h"
#include "mlink.h"
#include "mserver.h"
#include "sessionwindow.h"
#include "sourceview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

// A suspended session on the link of a scripted server that plays `script`, registered as
// the main window for as long as it lives.
struct ScriptedSession
{
    ScriptedSession(const QList<mserver::Step> &script, int stepTimeoutMs) : server(script)
    {
        server.setStepTimeoutMs(stepTimeoutMs);
        connected = server.startAccepted(link);
        window.session = &link;
        setMainWindow(&window);
    }
    ~ScriptedSession() { setMainWindow(nullptr); }

    MLink link;
    mserver::MServer server;
    SessionWindow window;
    bool connected = false;
};

using Clock = std::chrono::steady_clock;
constexpr int Runs = BenchRatio::Passes;
constexpr double TargetRatio = 3.0;
constexpr int OutputBytes = 1 << 20;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// Ordinary output: whole numbered lines, at least bytes of them.
QByteArray numberedLines(int bytes)
{
    QByteArray lines;
    for (int line = 0; lines.size() < bytes; ++line)
        lines += QByteArray("output line ") + QByteArray::number(line).rightJustified(7, '0')
                 + QByteArray(" of a command that writes a great deal\r\n");
    return lines;
}

// The server's lead character, then numbered lines up to 1 MB.
QByteArray output()
{
    return ("x" + numberedLines(OutputBytes)).left(OutputBytes);
}

// What any view on a QTextDocument pays at the least to show the same output: the text
// as the pane writes it (decoded, without the lead character, LF line ends) put into an
// empty QPlainTextEdit's document in one insertion, undo off. Qt makes a block of each
// of the 17,000 lines; this is the bound the pane's figure cannot go below.
double documentInsertion(const QString &text)
{
    QPlainTextEdit edit;
    edit.document()->setUndoRedoEnabled(false);
    const Clock::time_point start = Clock::now();
    QTextCursor(edit.document()).insertText(text);
    return microseconds(Clock::now() - start);
}

// The raw pair: a thread connects and writes, the GUI thread reads until the close.
double rawTransfer(QTcpServer &listener, const QByteArray &bytes)
{
    const quint16 port = listener.serverPort();
    const Clock::time_point start = Clock::now();
    std::thread sender([port, &bytes] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(5000))
            return;
        socket.write(bytes);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) {
        }
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(5000);
    });
    // The connection is taken as it comes, as the pane takes the server's.
    std::unique_ptr<QTcpSocket> socket;
    QByteArray received;
    bool closed = false;
    const QMetaObject::Connection taking = QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        socket.reset(listener.nextPendingConnection());
        QObject::connect(socket.get(), &QTcpSocket::readyRead, [&] { received += socket->readAll(); });
        QObject::connect(socket.get(), &QTcpSocket::disconnected, [&] {
            received += socket->readAll();
            closed = true;
        });
    });
    mserver::pumpUntil([&] { return closed; }, 5000);
    QObject::disconnect(taking);
    const double us = microseconds(Clock::now() - start);
    sender.join();
    if (received.size() != bytes.size())
        return -1;
    return us;
}

void OneMegabyteOfOutput(benchmark::State &state)
{
    const QByteArray bytes = output();
    const int outputLines = int(bytes.count('\n'));
    QList<mserver::Step> script;
    for (int run = 0; run < Runs; ++run)
        script << mserver::expect({"XEC", "*", "W 1"}) << mserver::connectChannel()
               << mserver::sendChannel(bytes) << mserver::closeChannel();
    ScriptedSession session(script, 10000);
    if (!session.connected) {
        state.SkipWithError("no link");
        return;
    }
    QTcpServer rawListener;
    rawListener.listen(QHostAddress::LocalHost, 0);
    BenchRatio ratio("OneMegabyteOfOutput", "raw loopback", BenchRatio::AtMost, TargetRatio);
    BenchRatio floor("OneMegabyteOfOutput, its text put into a bare QTextDocument", "raw loopback",
                     BenchRatio::AtMost);
    const QString shownText = QString::fromLatin1(bytes.mid(1)).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    {
        frmImmediate pane;
        bool refreshed = false;
        pane.setVariablesRefresh([&] { refreshed = true; });
        pane.resize(600, 300);
        pane.show();
        SourceView *io = pane.IO();
        for (auto _ : state) {
            pane.ClearAll();
            io->Document()->InsertImpl(0, 0, QStringLiteral("W 1"));
            io->SetCaret(3, 0);
            refreshed = false;

            const Clock::time_point start = Clock::now();
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            QApplication::sendEvent(io, &enter);
            if (!mserver::pumpUntil([&] { return refreshed; }, 20000)) {
                state.SkipWithError(qPrintable(session.server.failure()));
                break;
            }
            const double paneUs = microseconds(Clock::now() - start);
            const double rawUs = rawTransfer(rawListener, bytes);
            if (rawUs < 0 || io->Document()->NumLines() < outputLines + 2) {
                state.SkipWithError("the output did not arrive whole");
                break;
            }
            state.SetIterationTime(paneUs / 1e6);
            ratio.add(paneUs / 1000, rawUs / 1000);
            floor.add(documentInsertion(shownText) / 1000, rawUs / 1000);
        }
    }
    ratio.report(state);
    floor.keep();
    state.SetBytesProcessed(int64_t(state.iterations()) * OutputBytes);
}

constexpr qint64 FloodBytes = 8 << 20;

// What malloc has handed out and not had back, in MiB.
double heapInUseMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024 * 1024);
}

struct FloodCost
{
    double keptMiB = -1;   // held once the output is in and the session suspended again
    double peakMiB = -1;   // the highest while it came
};

// One command whose output is FloodBytes of piece over and over, into a pane of its
// own; the script holds a step for it. The heap is sampled every few milliseconds while
// the output comes.
FloodCost flood()
{
    // What an earlier pane left for deletion is gone before the count starts.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    const double before = heapInUseMiB();
    frmImmediate pane;
    bool refreshed = false;
    pane.setVariablesRefresh([&] { refreshed = true; });
    pane.resize(600, 300);
    pane.show();
    SourceView *io = pane.IO();
    io->Document()->InsertImpl(0, 0, QStringLiteral("W 1"));
    io->SetCaret(3, 0);
    double peak = before;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = qMax(peak, heapInUseMiB()); });
    sampler.start(5);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(io, &enter);
    if (!mserver::pumpUntil([&] { return refreshed; }, 120000))
        return {};
    sampler.stop();
    const double after = heapInUseMiB();
    return {after - before, qMax(peak, after) - before};
}

QList<mserver::Step> floodCommand(const QByteArray &piece)
{
    return {mserver::expect({"XEC", "*", "W 1"}), mserver::connectChannel(), mserver::sendChannel("x"),
            mserver::streamChannel(piece, FloodBytes), mserver::closeChannel()};
}

void FloodMemory(benchmark::State &state)
{
    const QByteArray lineEnds(64 * 1024, '\n');
    const QByteArray lines = numberedLines(64 * 1024);
    QList<mserver::Step> script;
    for (int run = 0; run < Runs; ++run)
        script << floodCommand(lineEnds) << floodCommand(lines);
    ScriptedSession session(script, 60000);
    if (!session.connected) {
        state.SkipWithError("no link");
        return;
    }
    BenchRatio kept("FloodMemory, 8 MB of bare line ends, heap the view keeps", "ordinary lines",
                    BenchRatio::AtMost, 2, "MiB");
    BenchRatio peak("FloodMemory, 8 MB of bare line ends, peak heap", "ordinary lines", BenchRatio::AtMost, 2,
                    "MiB");
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const FloodCost bare = flood();
        const FloodCost ordinary = bare.keptMiB < 0 ? FloodCost() : flood();
        if (ordinary.keptMiB < 0) {
            state.SkipWithError(qPrintable(session.server.failure()));
            break;
        }
        state.SetIterationTime(microseconds(Clock::now() - start) / 1e6);
        kept.add(bare.keptMiB, ordinary.keptMiB);
        peak.add(bare.peakMiB, ordinary.peakMiB);
    }
    kept.report(state);
    peak.keep();
}

} // namespace

BENCHMARK(OneMegabyteOfOutput)->Iterations(Runs)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FloodMemory)->Iterations(Runs)->UseManualTime()->Unit(benchmark::kMillisecond);
