// The server's stop and its variables, as the main window handles them, beside raw
// loopback pairs exchanging the same frames in the same order.
//   StopToVariablesRequest: from the server's "STP" until the server has read the
//     task's "VAR*" request (the acknowledgement comes first), with the variables of
//     the last stop listed. Target: ratio <= 2.
//   ThousandVariablesToSuspended: from the first of 1,000 "VAR+" rows (protocol 5: each
//     waits for its acknowledgement) until "VARend" is acknowledged and the window says
//     "Application suspended" with the 1,000 rows in its variables list, and the window
//     has painted them. Target: ratio <= 3.
// Each iteration runs the task's exchange and the raw ones back to back; each ratio is
// the median of the iterations' ratios.
//
// Two task sides stand beside the main window. The blocking floor, the figure judged
// against the target: a thread that reads the socket blocking, cuts each frame by its
// length without decoding it and writes the prepared answer without Nagle's algorithm,
// which is the least the wire lets any task take. The event-loop peer, shown beside it
// without a target: a QTcpSocket in the GUI thread's event loop, like the link's, that
// takes each frame whole (decoded) and writes the prepared answer in one write; it tells
// what the main window costs over an event loop doing the same exchange.
//
// The server is played by a thread of its own over blocking loopback sockets, the same
// code against every task side, so all sides of a ratio pay the same for it. The main
// window works on the GUI thread, which sleeps in its event loop as the program does.
#include "addin.h"
#include "benchratio.h"
#include "frameassembler.h"
#include "framecodec.h"
#include "frmmdi.h"
#include "frmvars.h"
#include "isentrybooking.h"
#include "mlink.h"
#include "recordingprompt.h"
#include "varlistmodel.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTcpSocket>
#include <QElapsedTimer>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int VariableCount = 1000;
constexpr int IoTimeoutMs = 5000;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

QByteArray frame(const QStringList &fields)
{
    return FrameCodec::encode(fields, false);
}

// One end of a loopback connection, read and written blocking on the thread that owns
// it. Frames are ANSI: the greeting offers no Unicode.
class Wire
{
public:
    explicit Wire(int fd) : m_fd(fd) {}
    ~Wire()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Wire(const Wire &) = delete;
    Wire &operator=(const Wire &) = delete;

    bool write(const QByteArray &bytes)
    {
        qint64 sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }

    // The next message, decoded; the task's keep-alive "PING" is passed over.
    bool readFrame(QStringList &out)
    {
        for (;;) {
            const FrameAssembler::TakeResult r = m_rx.take(out, false);
            if (r == FrameAssembler::Malformed)
                return false;
            if (r == FrameAssembler::Complete) {
                if (out.value(0) == QLatin1String("PING"))
                    continue;
                return true;
            }
            if (!receive([this](const char *data, qint64 size) { m_rx.append(data, size); }))
                return false;
        }
    }

    // The next frame's bytes, cut by its length and not decoded: what the blocking
    // floor's task side does with what it is sent.
    bool skipFrame()
    {
        for (;;) {
            const qint64 have = m_raw.size() - m_rawPos;
            if (have >= 4) {
                const auto *p = reinterpret_cast<const uchar *>(m_raw.constData() + m_rawPos);
                const qint64 length = (qint64(p[0]) << 24) | (qint64(p[1]) << 16) | (qint64(p[2]) << 8) | p[3];
                if (length < 6)
                    return false;
                if (have >= length) {
                    m_rawPos += length;
                    if (m_rawPos == m_raw.size()) {
                        m_raw.resize(0);
                        m_rawPos = 0;
                    }
                    return true;
                }
            }
            if (!receive([this](const char *data, qint64 size) { m_raw.append(data, size); }))
                return false;
        }
    }

    // Expects a message with this code (empty: the acknowledgement).
    bool expect(const QString &code)
    {
        QStringList message;
        return readFrame(message) && message.value(0) == code && (!code.isEmpty() || message.isEmpty());
    }

private:
    template<typename Sink>
    bool receive(Sink sink)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, IoTimeoutMs) <= 0)
            return false;
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        sink(buffer, n);
        return true;
    }

    int m_fd;
    FrameAssembler m_rx;
    QByteArray m_raw;
    qint64 m_rawPos = 0;
};

int connectLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    // A server answers each message as one write; it need not wait for anything.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// A thread that runs one job at a time for the GUI thread, and wakes the GUI thread's
// event loop when the job is done.
class Worker
{
public:
    Worker() { m_thread = std::thread([this] { loop(); }); }
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void post(std::function<bool()> job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_job = std::move(job);
            m_done = false;
        }
        m_wake.notify_one();
    }
    bool done() const { return m_done; }
    bool succeeded() const { return m_succeeded; }

private:
    void loop()
    {
        for (;;) {
            std::function<bool()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_quit || m_job; });
                if (m_quit)
                    return;
                job = std::move(m_job);
                m_job = nullptr;
            }
            m_succeeded = job();
            m_done = true;
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<bool()> m_job;
    bool m_quit = false;
    std::atomic<bool> m_done{true};
    std::atomic<bool> m_succeeded{true};
    std::thread m_thread;
};

// Runs the GUI thread's event loop, sleeping between events as the program does, until
// pred holds; false after timeoutMs.
bool pumpUntil(const std::function<bool()> &pred, int timeoutMs = 20000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;   // lets the time limit be noticed when nothing else happens
    tick.start(200);
    while (!pred()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets the GUI thread finish what the last exchange left it (layouts, a repaint), so that
// the next exchange, ours or the raw pair's, starts at an idle event loop, as a stop that
// follows the user's step does; neither side then waits behind the other's work.
void settle()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    for (int turn = 0; turn < 100 && dispatcher->processEvents(QEventLoop::AllEvents); ++turn) {
    }
}

// Runs the jobs, each on its worker, and the GUI thread's event loop until all are done.
bool runJobs(std::initializer_list<std::pair<Worker *, std::function<bool()>>> jobs,
             const std::function<void()> &afterEvents = {})
{
    for (const auto &[worker, job] : jobs)
        worker->post(job);
    const bool finished = pumpUntil([&] {
        if (afterEvents)
            afterEvents();
        for (const auto &job : jobs) {
            if (!job.first->done())
                return false;
        }
        return true;
    });
    if (!finished)
        return false;
    for (const auto &job : jobs) {
        if (!job.first->succeeded())
            return false;
    }
    return true;
}

// --- the frames ------------------------------------------------------------------------------

const QByteArray &ackFrame()
{
    static const QByteArray bytes = frame({});
    return bytes;
}

const QByteArray &stopFrame()
{
    static const QByteArray bytes = frame({QStringLiteral("STP"), QStringLiteral("1")});
    return bytes;
}

const QByteArray &endFrame()
{
    static const QByteArray bytes = frame({QStringLiteral("VARend")});
    return bytes;
}

// The task's request for the variables of level 1, into a list of that many rows.
QByteArray variablesRequestFrame(int rows)
{
    return frame({QStringLiteral("VAR*"), QStringLiteral("1"), QString::number(rows), QString()});
}

// 1,000 variables of level 1 in the server's order, each after the one before; every
// tenth has descendants not yet sent.
const QList<QByteArray> &variableRows()
{
    static const QList<QByteArray> rows = [] {
        QList<QByteArray> out;
        QString previous;
        for (int i = 0; i < VariableCount; ++i) {
            const QString name = QStringLiteral("VAR%1").arg(i, 4, 10, QLatin1Char('0'));
            const QString value = QStringLiteral("value %1 of the routine's state").arg(i * 7919);
            const QString flags = i % 10 == 0 ? QStringLiteral("3") : QStringLiteral("1");
            // Root, raw value, format, value text, level, short name, flags, follows, tip.
            out.append(frame({QStringLiteral("VAR+"), name, value, QStringLiteral("0"), value, QStringLiteral("0"),
                              name, flags, previous, name}));
            previous = name;
        }
        return out;
    }();
    return rows;
}

// --- the server's side, the same against both task sides ----------------------------------------

// "STP", then the acknowledgement and the variables request; t0 and t1 bracket them.
bool stopToRequest(Wire &server, Clock::time_point &t0, Clock::time_point &t1)
{
    QStringList request;
    t0 = Clock::now();
    if (!server.write(stopFrame()) || !server.expect(QString()) || !server.readFrame(request))
        return false;
    t1 = Clock::now();
    return request.value(0) == QLatin1String("VAR*");
}

// The answer to a variables request without rows, so the next stop starts clean.
bool noVariables(Wire &server)
{
    return server.write(endFrame()) && server.expect(QString());
}

// The rows one by one, each after the acknowledgement of the one before, then "VARend"
// and its acknowledgement.
bool sendVariables(Wire &server, Clock::time_point &t0, Clock::time_point &t1)
{
    t0 = Clock::now();
    for (const QByteArray &row : variableRows()) {
        if (!server.write(row) || !server.expect(QString()))
            return false;
    }
    if (!server.write(endFrame()) || !server.expect(QString()))
        return false;
    t1 = Clock::now();
    return true;
}

// --- the raw pair's task side ----------------------------------------------------------------

// The task's end of the raw pair: a socket in the GUI thread's event loop that takes each
// frame whole and answers as the task must: an acknowledgement for every message, and
// after "STP" the variables request with it, in one write.
class RawTask : public QObject
{
public:
    explicit RawTask(int fd)
    {
        m_socket.setSocketDescriptor(fd);
        connect(&m_socket, &QTcpSocket::readyRead, this, &RawTask::read);
    }
    QByteArray request = variablesRequestFrame(0); // what follows the acknowledgement of "STP"

private:
    void read()
    {
        m_rx.append(m_socket.readAll());
        QStringList message;
        while (m_rx.take(message, false) == FrameAssembler::Complete) {
            if (message.isEmpty())
                continue;
            if (message.value(0) == QLatin1String("STP"))
                m_socket.write(ackFrame() + request);
            else
                m_socket.write(ackFrame());
            m_socket.flush(); // now, as the link sends, not when the event loop next runs
        }
    }

    QTcpSocket m_socket;
    FrameAssembler m_rx;
};

// --- the blocking floor's task side: reads each frame by its length, writes what the task would ---

// "STP": its acknowledgement and the variables request.
bool floorStop(Wire &task, const QByteArray &request)
{
    return task.skipFrame() && task.write(ackFrame() + request);
}

// An acknowledgement for each of that many frames.
bool floorAcknowledge(Wire &task, int frames)
{
    for (int i = 0; i < frames; ++i) {
        if (!task.skipFrame() || !task.write(ackFrame()))
            return false;
    }
    return true;
}

// --- the task sides ---------------------------------------------------------------------------

// A booking without a Sentry: the window listens on a port of ours.
class BenchBooking : public ISentryBooking
{
public:
    explicit BenchBooking(quint16 port) : m_port(port) {}
    void Listening(bool) override {}
    quint16 Port() const override { return m_port; }
    QString LocalAddress() const override { return QStringLiteral("127.0.0.1"); }
    quint16 SentryPort() const override { return 0; }

private:
    quint16 m_port;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

// The main window of a "SQ0" start, greeted by a server at protocol 5 and stopped once,
// so that it is suspended at level 1 with an empty variables list. Its settings are
// those of a first start (a temporary settings folder) and boxes are recorded.
struct TaskSide
{
    std::shared_ptr<RecordingPrompt> prompt = std::make_shared<RecordingPrompt>();
    frmMDI *window = nullptr;
    std::unique_ptr<Wire> server;
    Worker serverThread;
    QString error;

    TaskSide()
    {
        const quint16 port = freePort();
        setUserPrompt(prompt);
        AddIn::setExitHook([](int) {});
        setSentryBookingFactory([port] { return std::unique_ptr<ISentryBooking>(new BenchBooking(port)); });
        AddIn::setCommandLine(QStringLiteral("SQ0"));
        AddIn::Main();
        window = AddIn::gfrmMDI();
        if (!window) {
            error = QStringLiteral("the main window did not start");
            return;
        }
        const int fd = connectLoopback(port);
        if (fd < 0 || !pumpUntil([this] { return window->link()->IsConnected(); })) {
            error = QStringLiteral("the main window did not take the connection");
            return;
        }
        server = std::make_unique<Wire>(fd);
        if (!runJobs({{&serverThread, [this] { return greet(*server); }}})) {
            error = QStringLiteral("the greeting failed");
            return;
        }
        Clock::time_point t0, t1;
        if (!runJobs({{&serverThread, [this, &t0, &t1] { return stopToRequest(*server, t0, t1) && noVariables(*server); }}})
            || !suspended()) {
            error = QStringLiteral("the first stop failed");
            return;
        }
        if (!prompt->asked.empty())
            error = QStringLiteral("a box came up: ") + prompt->asked.front().text;
    }

    ~TaskSide()
    {
        server.reset();
        pumpUntil([this] { return !window || !window->link()->IsConnected(); }, 5000);
        AddIn::reset();
        AddIn::setExitHook({});
        setSentryBookingFactory({});
        setUserPrompt(nullptr);
    }

    static bool greet(Wire &s)
    {
        // Feature 4 names the level in the caption, 16 offers linewise stepping; no
        // Unicode (1) and no private variables (2).
        return s.write(frame({"HI", "CACHE", "x:1:5", "20", "NT"})) && s.expect(QString())
            && s.write(frame({"HI2", "", "4711", "USER"})) && s.expect(QString())
            && s.expect("IAM") && s.expect("BonE") && s.expect("CC") && s.expect("STPin")
            && s.expect("!NS") && s.write(frame({"!NS"})) && s.write(frame({"NS", "USER"}))
            && s.expect(QString()) && s.expect(QString());
    }

    bool suspended() const
    {
        return window->MState() == 1 && window->statusText() == QLatin1String("Application suspended");
    }

    bool filled() const
    {
        return suspended() && window->varsPane()->listModel(1)->rowCount() == VariableCount;
    }

    // A stop whose variables all come new.
    bool fill()
    {
        window->varsPane()->Clear();
        Clock::time_point t0, t1;
        return runJobs({{&serverThread, [&] { return stopToRequest(*server, t0, t1) && sendVariables(*server, t0, t1); }}})
            && pumpUntil([this] { return filled(); });
    }
};

// Both ends of one fresh loopback connection; false (and -1s) when it cannot be made.
bool loopbackConnection(int &client, int &accepted)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    client = connectLoopback(ntohs(address.sin_port));
    accepted = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    return client >= 0 && accepted >= 0;
}

// Two sockets of one loopback connection: the server's end on a thread, the task's end in
// the GUI thread's event loop.
struct RawPair
{
    std::unique_ptr<Wire> server;
    std::unique_ptr<RawTask> task;
    Worker serverThread;
    QString error;

    RawPair()
    {
        int client = -1;
        int accepted = -1;
        if (!loopbackConnection(client, accepted)) {
            error = QStringLiteral("no loopback connection");
            return;
        }
        server = std::make_unique<Wire>(client);
        task = std::make_unique<RawTask>(accepted);
    }
};

// Two sockets of one loopback connection, a blocking thread on each; the task's end
// without Nagle's algorithm: the wire's floor.
struct FloorPair
{
    std::unique_ptr<Wire> server;
    std::unique_ptr<Wire> task;
    Worker serverThread;
    Worker taskThread;
    QString error;

    FloorPair()
    {
        int client = -1;
        int accepted = -1;
        if (!loopbackConnection(client, accepted)) {
            error = QStringLiteral("no loopback connection for the floor");
            return;
        }
        const int on = 1;
        ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        server = std::make_unique<Wire>(client);
        task = std::make_unique<Wire>(accepted);
    }
};

TaskSide *g_task = nullptr;
RawPair *g_raw = nullptr;
FloorPair *g_floor = nullptr;

bool ready(benchmark::State &state)
{
    for (const QString *error : {&g_task->error, &g_raw->error, &g_floor->error}) {
        if (!error->isEmpty()) {
            state.SkipWithError(error->toUtf8().constData());
            return false;
        }
    }
    return true;
}

// "STP" to "VAR*". Target: ratio <= 2. "stalled" is the share of the task's exchanges
// that took 5 ms or more: a request written apart from its acknowledgement waits, with
// Nagle's algorithm on, for the server's delayed ACK of the first.
void StopToVariablesRequest(benchmark::State &state)
{
    if (!ready(state))
        return;
    TaskSide &task = *g_task;
    // Stopped with the variables of the last stop listed, as when stepping.
    if (!task.fill()) {
        state.SkipWithError("the variables did not come");
        return;
    }
    RawPair &raw = *g_raw;
    FloorPair &floor = *g_floor;
    raw.task->request = variablesRequestFrame(VariableCount);
    const QByteArray floorRequest = variablesRequestFrame(VariableCount);
    const bool linkNoDelay = state.range(0) != 0;
    task.window->link()->Control()->setNoDelay(linkNoDelay);
    const std::string name = linkNoDelay ? "StopToVariablesRequest, link without delay (diagnosis)"
                                         : "StopToVariablesRequest";
    BenchRatio ratio(name, "blocking floor", BenchRatio::AtMost, linkNoDelay ? 0 : 2, "us");
    BenchRatio eventLoop(name + ", beside the event-loop peer", "event-loop peer", BenchRatio::AtMost, 0, "us");
    int stalled = 0;
    for (auto _ : state) {
        Clock::time_point t0, t1, r0, r1, f0, f1;
        settle();
        bool ok = runJobs({{&task.serverThread, [&] { return stopToRequest(*task.server, t0, t1); }}})
            && runJobs({{&task.serverThread, [&] { return noVariables(*task.server); }}}) && task.suspended();
        settle();
        ok = ok && runJobs({{&raw.serverThread, [&] { return stopToRequest(*raw.server, r0, r1) && noVariables(*raw.server); }}});
        settle();
        ok = ok && runJobs({{&floor.serverThread, [&] { return stopToRequest(*floor.server, f0, f1) && noVariables(*floor.server); }},
                            {&floor.taskThread, [&] { return floorStop(*floor.task, floorRequest)
                                                             && floorAcknowledge(*floor.task, 1); }}});
        if (!ok) {
            state.SkipWithError("the exchange failed");
            break;
        }
        const double us = microseconds(t1 - t0);
        ratio.add(us, microseconds(f1 - f0));
        eventLoop.add(us, microseconds(r1 - r0));
        stalled += us >= 5000;
        state.SetIterationTime(us / 1e6);
    }
    task.window->link()->Control()->setNoDelay(false);
    ratio.report(state);
    eventLoop.keep();
    state.counters["stalled"] = double(stalled) / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}
// Argument 0: the link as the program has it. Argument 1, a diagnosis: the link's socket
// switched to no-delay from outside, to show what the task's own work costs.
BENCHMARK(StopToVariablesRequest)->ArgName("link_nodelay")
    ->Arg(0)->Arg(1)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

// The first "VAR+" to "Application suspended" with the list filled and painted. Target:
// ratio <= 3. The task's time ends when the server has the acknowledgement of "VARend"
// and the window shows the state and the rows, whichever comes later, plus the paint that
// follows ("paint_ms" on its own).
void ThousandVariablesToSuspended(benchmark::State &state)
{
    if (!ready(state))
        return;
    TaskSide &task = *g_task;
    RawPair &raw = *g_raw;
    FloorPair &floor = *g_floor;
    raw.task->request = variablesRequestFrame(0);
    const QByteArray floorRequest = variablesRequestFrame(0);
    BenchRatio ratio("ThousandVariablesToSuspended", "blocking floor", BenchRatio::AtMost, 3);
    BenchRatio eventLoop("ThousandVariablesToSuspended, beside the event-loop peer", "event-loop peer",
                         BenchRatio::AtMost, 0);
    double paintMs = 0;
    for (auto _ : state) {
        // A list emptied as by a new session, so every row is a new one.
        task.window->varsPane()->Clear();
        Clock::time_point t0, t1, r0, r1, stopped;
        settle();
        bool ok = runJobs({{&task.serverThread, [&] { return stopToRequest(*task.server, t0, t1); }}});
        Clock::time_point filled{};
        ok = ok && runJobs({{&task.serverThread, [&] { return sendVariables(*task.server, t0, t1); }}}, [&] {
            if (filled == Clock::time_point{} && task.filled())
                filled = Clock::now();
        });
        if (!ok || filled == Clock::time_point{}) {
            state.SkipWithError("the task's exchange failed");
            return;
        }
        const Clock::time_point beforePaint = Clock::now();
        QCoreApplication::processEvents();
        const Clock::time_point painted = Clock::now();
        paintMs += microseconds(painted - beforePaint) / 1000;
        settle();

        ok = runJobs({{&raw.serverThread, [&] { return stopToRequest(*raw.server, r0, stopped)
                                                       && sendVariables(*raw.server, r0, r1); }}});
        settle();
        Clock::time_point f0, f1;
        ok = ok && runJobs({{&floor.serverThread, [&] { return stopToRequest(*floor.server, f0, stopped)
                                                               && sendVariables(*floor.server, f0, f1); }},
                            {&floor.taskThread, [&] { return floorStop(*floor.task, floorRequest)
                                                             && floorAcknowledge(*floor.task, VariableCount + 1); }}});
        if (!ok) {
            state.SkipWithError("the raw exchange failed");
            return;
        }
        const double ms = microseconds(std::max(t1, filled) - t0 + (painted - beforePaint)) / 1000;
        ratio.add(ms, microseconds(f1 - f0) / 1000);
        eventLoop.add(ms, microseconds(r1 - r0) / 1000);
        state.SetIterationTime(ms / 1000);
    }
    ratio.report(state);
    eventLoop.keep();
    state.counters["paint_ms"] = paintMs / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}
BENCHMARK(ThousandVariablesToSuspended)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("config"));
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    benchmark::Initialize(&argc, argv);
    {
        RawPair raw;
        FloorPair floor;
        TaskSide task;
        g_raw = &raw;
        g_floor = &floor;
        g_task = &task;
        benchmark::RunSpecifiedBenchmarks();
        g_task = nullptr;
        g_floor = nullptr;
        g_raw = nullptr;
    }
    BenchRatio::printReports();
    benchmark::Shutdown();
    return 0;
}
