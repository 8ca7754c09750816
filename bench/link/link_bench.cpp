// Frame codec against memcpy, and a transaction round trip against a raw TCP echo of the
// same bytes through the same kind of socket; each pass times both back to back.
//   BM_FrameEncodeDecode/unicode: 1 MB of fields encoded and decoded, beside a memcpy of
//     the frame. Target: at most 2 times the copy (half its throughput).
//   BM_TransactRoundTrip: "NS" transactions of the link, beside a QTcpSocket writing the
//     same request and reading the same reply. Target: at most 1.5 times the echo.
#include "benchratio.h"
#include "frameassembler.h"
#include "framecodec.h"
#include "mlink.h"
#include "socketx.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <malloc.h>
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
    SocketX listener;
    listener.setLocalAddress(QStringLiteral("127.0.0.1"));
    listener.Listen();
    MLink link;
    QObject::connect(&listener, &SocketX::OnAccept, &listener, [&](int handle, qint16) {
        link.Accept(handle, SocketX::unfoldPort(listener.LocalPort()));
    });
    responder.start(quint16(SocketX::unfoldPort(listener.LocalPort())));
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

} // namespace

BENCHMARK(BM_FrameEncodeDecode)->ArgName("unicode")->Arg(0)->Arg(1)->UseManualTime()
    ->Iterations(BenchRatio::Passes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TransactRoundTrip)->UseManualTime()->Iterations(BenchRatio::Passes)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // Every codec round decodes into a megabyte of fresh strings. Left to its defaults,
    // glibc hands those pages back to the kernel after each round and faults them in
    // again on the next, so the figure measured page faults, and depended on which row
    // ran first; a long-running task's heap keeps its pages, as these settings do.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    BenchRatio::printReports();
    benchmark::Shutdown();
    return 0;
}
