// Streams a command's output through the output channel into an immediate pane on a
// real link to the scripted server, and reports on stdout, one "name=value" a line:
//   grown_kb      how far the peak resident size rose while the output came in
//   stall_ms      the longest time the event loop did not run
//   io_chars      the characters IO holds at the end
//   first_line    IO's first line (the marker of dropped text)
//   state         the session state at the end (1: suspended again)
//   failure       the server's failure, when there is one
//
//   immediate_streamer <megabytes> lines|endless|lineends
// "lines" is numbered lines of output, "endless" one line that never ends, "lineends"
// bare line ends, each an empty line.
#include "frmimmediate.h"
#include "imainwindow.h"
#include "mlink.h"
#include "mserver.h"
#include "sessionwindow.h"
#include "sourceview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>

namespace {

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QByteArray piece(const QByteArray &shape)
{
    if (shape == "endless")
        return QByteArray(64 * 1024, 'x');
    if (shape == "lineends")
        return QByteArray(64 * 1024, '\n');
    QByteArray bytes;
    for (int line = 0; bytes.size() < 64 * 1024; ++line)
        bytes += QByteArray("output line ") + QByteArray::number(line).rightJustified(5, '0')
                 + QByteArray(" of a command that writes without end\r\n");
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 bytes = qint64(QByteArray(argc > 1 ? argv[1] : "200").toInt()) * 1024 * 1024;
    const QByteArray shape(argc > 2 ? argv[2] : "lines");

    MLink link;
    mserver::MServer server({mserver::expect({"XEC", "*", "W"}), mserver::connectChannel(),
                             mserver::sendChannel("*"), mserver::streamChannel(piece(shape), bytes),
                             mserver::closeChannel()});
    server.setStepTimeoutMs(60000);
    if (!server.startAccepted(link)) {
        std::printf("failure=no link\n");
        return 1;
    }
    SessionWindow window;   // suspended, on the link of the scripted server
    window.session = &link;
    setMainWindow(&window);
    bool refreshed = false;
    int exitCode = 0;
    {
        frmImmediate pane;
        pane.setVariablesRefresh([&] { refreshed = true; });
        pane.resize(600, 300);
        pane.show();
        QApplication::processEvents();

        QElapsedTimer sinceTick;
        qint64 longestStall = 0;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestStall = qMax(longestStall, sinceTick.restart());
        });
        const qint64 before = peakResidentKb();
        pane.IO()->Document()->InsertImpl(0, 0, QStringLiteral("W"));
        pane.IO()->SetCaret(1, 0);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(pane.IO(), &enter);
        sinceTick.start();
        ticks.start(10);
        // The program's own event loop, until the output is in and the variables are asked for.
        QEventLoop loop;
        QTimer deadline;
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(500000);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (refreshed)
                loop.quit();
        });
        watch.start(50);
        loop.exec();
        if (!refreshed)
            exitCode = 1;
        ticks.stop();
        server.wait();

        std::printf("grown_kb=%lld\n", peakResidentKb() - before);
        std::printf("stall_ms=%lld\n", longestStall);
        std::printf("io_chars=%d\n", pane.IO()->document()->characterCount());
        std::printf("first_line=%s\n", qPrintable(pane.IO()->Document()->GetLine(0)));
        std::printf("state=%d\n", window.MState());
        if (!server.failure().isEmpty())
            std::printf("failure=%s\n", qPrintable(server.failure()));
    }
    setMainWindow(nullptr);
    return exitCode;
}
