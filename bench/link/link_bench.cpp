// Frame codec against memcpy, and a transaction round trip against a raw TCP echo of the
// same bytes through the same kind of socket; each pass times both back to back.
//   BM_FrameEncodeDecode/unicode: 1 MB of fields encoded and decoded, beside a memcpy of
//     the frame. Target: at most 2 times the copy (half its throughput).
//   BM_TransactRoundTrip: "NS" transactions of the link, beside a QTcpSocket writing the
//     same request and reading the same reply. Target: at most 1.5 times the echo.
//   BM_LargeFramePeak/unicode: one frame just below the longest the link takes
//     (FrameAssembler::MaxFrameUnits), sent over loopback by a server thread and raised
//     by the link as one message; the rise of the process's peak resident size (VmHWM,
//     reset before each pass) beside the frame's size on the wire. Target: at most 2
//     times the frame (its decoded text is all a frame may cost).
//
// The heap is set up as the program sets it up (keepHeapForFrames), nothing more.
#include "benchratio.h"
#include "frameassembler.h"
#include "heaptuning.h"
#include "framecodec.h"
#include "mlink.h"
#include "mserver.h"
#include "procmemory.h"
#include "socketx.h"

#include <QCoreApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

// 1 MB of field text: 1024 fields of 1024 characters, as a routine's lines would be.
// Each line is its own text: 1024 shared copies of one line would let the encoder
// read the same 2 KB from the first-level cache instead of 1 MB of fields.
QStringList megabyteOfFields()
{
    QStringList fields;
    for (int l = 0; l < 1024; ++l) {
        QString line(1024, Qt::Uninitialized);
        for (int i = 0; i < 1024; ++i)
            line[i] = QChar(char16_t(' ' + (i * 7 + l) % 90));
        fields.append(line);
    }
    return fields;
}

// A listener on 127.0.0.1 whose connections the link accepts, as the task's listener does.
struct AcceptingListener
{
    explicit AcceptingListener(MLink &link)
    {
        socket.setLocalAddress(QStringLiteral("127.0.0.1"));
        socket.Listen();
        QObject::connect(&socket, &SocketX::OnAccept, &socket, [this, &link](int handle, qint16) {
            link.Accept(handle, port());
        });
    }
    int port() const { return SocketX::unfoldPort(socket.LocalPort()); }

    SocketX socket;
};

constexpr int CodecRounds = 10;     // per pass
constexpr int RoundTrips = 200;     // per pass

void BM_FrameEncodeDecode(benchmark::State &state)
{
    const bool unicode = state.range(0) != 0;
    const QStringList fields = megabyteOfFields();
    const QByteArray frame = FrameCodec::encode(fields, unicode);
    QByteArray copy(frame.size(), Qt::Uninitialized);
    FrameAssembler rx;
    QByteArray out;
    QStringList back;
    BenchRatio ratio(unicode ? "Unicode frame encode+decode" : "ANSI frame encode+decode", "memcpy of the frame",
                     BenchRatio::AtMost, 2, "us");
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < CodecRounds; ++i) {
            out.resize(0);
            FrameCodec::encodeInto(out, fields, unicode);
            rx.append(out);
            if (rx.take(back, unicode) != FrameAssembler::Complete)
                state.SkipWithError("frame did not decode");
            benchmark::DoNotOptimize(back);
        }
        const double codecUs = timer.nsecsElapsed() / 1e3;
        timer.restart();
        for (int i = 0; i < CodecRounds; ++i) {
            std::memcpy(copy.data(), frame.constData(), size_t(frame.size()));
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        ratio.add(codecUs, timer.nsecsElapsed() / 1e3);
        state.SetIterationTime(codecUs / 1e6);
    }
    ratio.report(state);
    state.SetBytesProcessed(state.iterations() * CodecRounds * frame.size());
}

// The server's side of both round trips: reads requestBytes, answers with
// replyBytes in one write, until the client goes away. It listens (port 0) or,
// like a server process, connects to the client's listener.
struct Responder
{
    QByteArray reply;
    qint64 requestBytes = 0;
    std::thread thread;
    std::atomic<quint16> port{0};

    void start(quint16 connectTo)
    {
        thread = std::thread([this, connectTo] {
            std::unique_ptr<QTcpSocket> s;
            QTcpServer server;
            if (connectTo == 0) {
                server.listen(QHostAddress::LocalHost, 0);
                port = server.serverPort();
                if (!server.waitForNewConnection(5000))
                    return;
                s.reset(server.nextPendingConnection());
                s->setParent(nullptr);
            } else {
                s = std::make_unique<QTcpSocket>();
                s->connectToHost(QHostAddress::LocalHost, connectTo);
                port = connectTo;
                if (!s->waitForConnected(5000))
                    return;
            }
            qint64 have = 0;
            while (s->state() == QAbstractSocket::ConnectedState) {
                if (s->bytesAvailable() == 0 && !s->waitForReadyRead(100))
                    continue;
                have += s->readAll().size();
                while (have >= requestBytes) {
                    have -= requestBytes;
                    s->write(reply);
                    s->flush();
                }
            }
        });
        while (port == 0)
            std::this_thread::yield();
    }
    ~Responder()
    {
        if (thread.joinable())
            thread.join();
    }
};

const QStringList kReply{QStringLiteral("NS"), QStringLiteral("USER")};

void setUp(Responder &responder)
{
    responder.requestBytes = FrameCodec::encode({QStringLiteral("!NS")}, false).size();
    responder.reply = FrameCodec::encode({QStringLiteral("!NS")}, false) + FrameCodec::encode(kReply, false);
}

void BM_TransactRoundTrip(benchmark::State &state)
{
    Responder echo;
    setUp(echo);
    echo.start(0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, echo.port);
    client.waitForConnected(5000);
    const QByteArray request = FrameCodec::encode({QStringLiteral("!NS")}, false);

    Responder responder;
    setUp(responder);
    MLink link;
    AcceptingListener listener(link);
    responder.start(quint16(listener.port()));
    QDeadlineTimer deadline(5000);
    while (!link.IsConnected() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!link.IsConnected() || client.state() != QAbstractSocket::ConnectedState) {
        state.SkipWithError("no connection");
        return;
    }

    BenchRatio ratio("BM_TransactRoundTrip", "raw TCP echo", BenchRatio::AtMost, 1.5, "us");
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < RoundTrips; ++i) {
            QStringList message{QStringLiteral("NS")};
            benchmark::DoNotOptimize(link.Transact(5, message));
        }
        const double transactUs = timer.nsecsElapsed() / 1e3;
        timer.restart();
        for (int i = 0; i < RoundTrips; ++i) {
            client.write(request);
            client.flush();
            qint64 got = 0;
            while (got < echo.reply.size()) {
                if (client.bytesAvailable() == 0)
                    client.waitForReadyRead(1000);
                got += client.readAll().size();
            }
        }
        ratio.add(transactUs / RoundTrips, timer.nsecsElapsed() / 1e3 / RoundTrips);
        state.SetIterationTime(transactUs / 1e6);
    }
    ratio.report(state);
    client.abort();
    link.Control()->Close();
}

// --- a frame near the bound -----------------------------------------------------------------

// Writes ["TIP", text] of textUnits units from a small buffer, written again and again,
// so the server's side holds next to nothing of it.
void sendLargeFrame(int fd, qint64 textUnits, bool unicode)
{
    const QByteArray head = mserver::frameHead(QStringLiteral("TIP"), quint32(textUnits), unicode);
    ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
    QByteArray chunk(1024 * 1024, 'x');
    if (unicode)
        for (qsizetype i = 1; i < chunk.size(); i += 2)
            chunk[i] = '\0';
    qint64 left = textUnits * (unicode ? 2 : 1);
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        qint64 sent = 0;
        while (sent < n) {
            const ssize_t k = ::send(fd, chunk.constData() + sent, size_t(n - sent), MSG_NOSIGNAL);
            if (k <= 0)
                return;
            sent += k;
        }
        left -= n;
    }
}

void BM_LargeFramePeak(benchmark::State &state)
{
    const bool unicode = state.range(0) != 0;
    MLink link;
    AcceptingListener listener(link);
    qint64 receivedUnits = -1;
    QObject::connect(&link, &MLink::OnMessage, &link, [&](const QStringList &m) {
        receivedUnits = m.value(0) == QLatin1String("TIP") ? m.value(1).size() : -2;
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(listener.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QDeadlineTimer deadline(5000);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        state.SkipWithError("no connection");
        return;
    }
    while (!link.IsConnected() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!link.IsConnected()) {
        ::close(fd);
        state.SkipWithError("the link took no connection");
        return;
    }
    // As the greeting's feature 1 does.
    link.setFeatures(unicode ? 1 : 0);

    // Just below the bound, less the units of the code and the lengths.
    const qint64 textUnits = FrameAssembler::MaxFrameUnits - 4 - 2 - (4 + 3) - 4 - 16;
    const double frameMiB = double(FrameAssembler::MaxFrameUnits * (unicode ? 2 : 1)) / (1024 * 1024);
    BenchRatio ratio(unicode ? "Unicode frame near the bound, peak memory" : "ANSI frame near the bound, peak memory",
                     "the frame's size", BenchRatio::AtMost, 2, "MiB");
    for (auto _ : state) {
        receivedUnits = -1;
        // What an earlier pass left allocated is not this pass's.
        QCoreApplication::processEvents();
        if (!resetPeak()) {
            state.SkipWithError("/proc/self/clear_refs cannot be written: no peak to measure");
            break;
        }
        const qint64 before = statusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        std::thread server([&] { sendLargeFrame(fd, textUnits, unicode); });
        QDeadlineTimer wait(60000);
        while (receivedUnits == -1 && !wait.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        server.join();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        const qint64 peak = statusKb("VmHWM:");
        if (receivedUnits != textUnits) {
            state.SkipWithError("the frame did not come through whole");
            break;
        }
        ratio.add(double(peak - before) / 1024, frameMiB);
        state.SetIterationTime(ms / 1000);
    }
    ratio.report(state);
    ::close(fd);
    link.Control()->Close();
}

} // namespace

BENCHMARK(BM_FrameEncodeDecode)->ArgName("unicode")->Arg(0)->Arg(1)->UseManualTime()
    ->Iterations(BenchRatio::Passes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TransactRoundTrip)->UseManualTime()->Iterations(BenchRatio::Passes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargeFramePeak)->ArgName("unicode")->Arg(0)->Arg(1)->UseManualTime()
    ->Iterations(BenchRatio::Passes)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // The heap as the program keeps it (Vantrel's main does the same).
    keepHeapForFrames();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    BenchRatio::printReports();
    benchmark::Shutdown();
    return 0;
}
