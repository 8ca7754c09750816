// Frame codec against memcpy, and a transaction round trip against a raw TCP echo
// of the same bytes; the ratios are printed at the end.
#include "frameassembler.h"
#include "framecodec.h"
#include "mlink.h"
#include "socketx.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <map>
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

void BM_Memcpy(benchmark::State &state)
{
    const QByteArray frame = FrameCodec::encode(megabyteOfFields(), state.range(0) != 0);
    QByteArray copy(frame.size(), Qt::Uninitialized);
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.constData(), size_t(frame.size()));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * frame.size());
}

void BM_FrameEncodeDecode(benchmark::State &state)
{
    const bool unicode = state.range(0) != 0;
    const QStringList fields = megabyteOfFields();
    const qint64 frameBytes = FrameCodec::encode(fields, unicode).size();
    FrameAssembler rx;
    QByteArray out;
    QStringList back;
    for (auto _ : state) {
        out.resize(0);
        FrameCodec::encodeInto(out, fields, unicode);
        rx.append(out);
        if (rx.take(back, unicode) != FrameAssembler::Complete)
            state.SkipWithError("frame did not decode");
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(state.iterations() * frameBytes);
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

void BM_RawEchoRoundTrip(benchmark::State &state)
{
    Responder responder;
    setUp(responder);
    responder.start(0);
    {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, responder.port);
        client.waitForConnected(5000);
        const QByteArray request = FrameCodec::encode({QStringLiteral("!NS")}, false);
        for (auto _ : state) {
            client.write(request);
            client.flush();
            qint64 got = 0;
            while (got < responder.reply.size()) {
                if (client.bytesAvailable() == 0)
                    client.waitForReadyRead(1000);
                got += client.readAll().size();
            }
        }
        client.abort();
    }
}

void BM_TransactRoundTrip(benchmark::State &state)
{
    Responder responder;
    setUp(responder);
    SocketX listener;
    listener.setLocalAddress(QStringLiteral("127.0.0.1"));
    listener.Listen();
    {
        MLink link;
        QObject::connect(&listener, &SocketX::OnAccept, &listener, [&](int handle, qint16) {
            link.Accept(handle, SocketX::unfoldPort(listener.LocalPort()));
        });
        responder.start(quint16(SocketX::unfoldPort(listener.LocalPort())));
        QDeadlineTimer deadline(5000);
        while (!link.IsConnected() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!link.IsConnected()) {
            state.SkipWithError("link did not connect");
            return;
        }
        for (auto _ : state) {
            QStringList request{QStringLiteral("NS")};
            benchmark::DoNotOptimize(link.Transact(5, request));
        }
        link.Control()->Close();
    }
}

// Prints the console table, then the two ratios the link is held to.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            m_time[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        auto have = [this](const char *name) { return m_time.count(name) != 0; };
        for (const char *mode : {"0", "1"}) {
            const std::string codec = std::string("BM_FrameEncodeDecode/") + mode;
            const std::string copy = std::string("BM_Memcpy/") + mode;
            if (have(codec.c_str()) && have(copy.c_str()))
                std::cout << (mode[0] == '0' ? "ANSI" : "Unicode") << " encode+decode throughput = "
                          << 100.0 * m_time[copy] / m_time[codec] << " % of memcpy (target >= 50 %)\n";
        }
        if (have("BM_TransactRoundTrip") && have("BM_RawEchoRoundTrip"))
            std::cout << "transaction round trip = " << m_time["BM_TransactRoundTrip"] / m_time["BM_RawEchoRoundTrip"]
                      << " x raw TCP echo (target <= 1.5 x)\n";
    }

private:
    std::map<std::string, double> m_time;
};

} // namespace

BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameEncodeDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawEchoRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TransactRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
