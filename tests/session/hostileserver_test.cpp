#include "mainwindowfixture.h"

#include "frameassembler.h"
#include "framecodec.h"
#include "mlink.h"
#include "mserver.h"
#include "procmemory.h"
#include "programsettings.h"

#include <QFile>
#include <QLoggingCategory>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "sanitized.h"

// The sanitizer's allocator interface: there in a sanitized build, used there alone.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *, size_t),
                                              void (*freeHook)(const volatile void *));
size_t __sanitizer_get_allocated_size(const volatile void *p);
}

namespace {

using Clock = std::chrono::steady_clock;

// Answers every box at once with the cautious answer, as the recording prompt does, but
// keeps only a count and the last few texts: a run raises thousands of boxes.
class CountingPrompt : public IUserPrompt
{
public:
    Answer ask(const Question &question) override
    {
        ++count;
        recent.push_back(question.text.left(160));
        if (recent.size() > 6)
            recent.pop_front();
        return cautiousAnswer(question.buttons);
    }

    int count = 0;
    std::deque<QString> recent;
};

// The server end played badly on purpose: random frames of every code the task knows and
// of some it does not, with random fields, from a thread of its own over plain sockets.
// It must never wait for the task's thread (which blocks inside transactions), so it
// reads whatever the task writes while it writes, and answers every request it reads
// with the echo and a random reply. When the task ends a session it connects again
// through the task's listener and goes on where it was.
class HostilePeer
{
public:
    HostilePeer(quint16 port, quint32 seed, int frameCount)
        : m_port(port), m_random(seed), m_frameCount(frameCount) {}
    ~HostilePeer() { stop(); }

    void start() { m_thread = std::thread([this] { run(); }); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    bool finished() const { return m_finished; }
    int malformedFromTask() const { return m_malformed; }
    int requestsAnswered() const { return m_requests; }
    int sessions() const { return m_sessions; }
    int routinesSent() const { return m_routinesSent; }

    std::string summary() const
    {
        std::ostringstream s;
        s << m_sent << " of " << m_frameCount << " frames sent, " << m_sessions << " connections, "
          << m_requests << " requests answered, " << m_framesRead << " frames read, " << m_barriersLost
          << " barriers lost, " << m_routinesSent << " routine texts sent";
        return s.str();
    }

private:
    static constexpr int OutBufferLow = 512;   // a reply waits behind at most this much
    static constexpr int FramesPerBarrier = 16;

    struct Connection
    {
        int iamsExpected = 0;     // "HI2" frames sent on this connection
        int iamsReceived = 0;
        int sinceBarrier = 0;     // frames sent since the last barrier
        bool awaiting = false;    // a barrier is out
        Clock::time_point awaitingSince;
    };

    void run()
    {
        while (!m_stop && !m_finished) {
            const int fd = connectToTask();
            if (fd < 0)
                return;
            ++m_sessions;
            serve(fd);
            ::close(fd);
        }
    }

    int connectToTask()
    {
        while (!m_stop) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(m_port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
                const int on = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                quickAck(fd);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
                return fd;
            }
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return -1;
    }

    // One connection, until the task closes it or every frame is out and handled.
    //
    // The task reads greedily and keeps what it has not handled yet; frames it holds when
    // a session ends are never handled. So the peer does not run ahead: after a few frames,
    // and right after a frame that may end the session, it sends a greeting's second part
    // ("HI2") and waits for the "IAM" that every one of them brings about, wherever the
    // task handles it. A barrier that never comes back (an echo taken for another, say)
    // is given up after a while.
    void serve(int fd)
    {
        FrameAssembler rx;
        QByteArray out;
        Connection c;
        while (!m_stop) {
            if (c.awaiting) {
                if (c.iamsReceived >= c.iamsExpected) {
                    c.awaiting = false;
                } else if (Clock::now() - c.awaitingSince > std::chrono::seconds(2)) {
                    ++m_barriersLost;
                    c.iamsExpected = c.iamsReceived;
                    c.awaiting = false;
                }
            }
            if (!c.awaiting && m_sent >= m_frameCount && out.isEmpty() && c.sinceBarrier == 0) {
                m_finished = true;
                return;
            }
            while (!c.awaiting && out.size() < OutBufferLow) {
                if (m_sent < m_frameCount) {
                    const QStringList frame = randomFrame();
                    FrameCodec::encodeInto(out, frame, false);
                    ++m_sent;
                    ++c.sinceBarrier;
                    const QString code = frame.value(0);
                    if (code == QLatin1String("HI2"))
                        ++c.iamsExpected;
                    if (c.sinceBarrier < FramesPerBarrier && !mayEndSession(code) && m_sent < m_frameCount)
                        continue;
                } else if (c.sinceBarrier == 0) {
                    break;
                }
                FrameCodec::encodeInto(out, {"HI2", "", "1", "USER"}, false);
                ++c.iamsExpected;
                c.sinceBarrier = 0;
                c.awaiting = true;
                c.awaitingSince = Clock::now();
            }
            pollfd p{fd, short(POLLIN | (out.isEmpty() ? 0 : POLLOUT)), 0};
            if (::poll(&p, 1, 20) < 0 && errno != EINTR)
                return;
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[65536];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    return;   // the task ended the session
                if (n > 0) {
                    quickAck(fd);
                    rx.append(buffer, n);
                    if (!answerRequests(rx, out, c))
                        return;
                }
            }
            if ((p.revents & POLLOUT) && !out.isEmpty()) {
                const ssize_t n = ::send(fd, out.constData(), size_t(out.size()), MSG_NOSIGNAL);
                if (n > 0)
                    out.remove(0, int(n));
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return;
            }
        }
    }

    static bool mayEndSession(const QString &code)
    {
        return code == QLatin1String("HI") || code == QLatin1String("BYE") || code == QLatin1String("<DSCON>");
    }

    // The task writes small frames with Nagle's algorithm on: its second frame waits for
    // the acknowledgement of the first, which a quiet peer would delay by 40 ms. The
    // option lapses, so it is set again after every read.
    static void quickAck(int fd)
    {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }

    // False when the task wrote something that is no frame.
    bool answerRequests(FrameAssembler &rx, QByteArray &out, Connection &c)
    {
        for (;;) {
            QStringList frame;
            const FrameAssembler::TakeResult taken = rx.take(frame, false);
            if (taken == FrameAssembler::NeedMore)
                return true;
            if (taken == FrameAssembler::Malformed) {
                ++m_malformed;
                return false;
            }
            ++m_framesRead;
            const QString code = frame.value(0);
            if (code == QLatin1String("IAM"))
                ++c.iamsReceived;
            if (code.startsWith(QLatin1Char('!'))) {
                ++m_requests;
                FrameCodec::encodeInto(out, {code}, false);
                FrameCodec::encodeInto(out, replyTo(frame), false);
            }
        }
    }

    // --- random choices ----------------------------------------------------------------

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool percent(int p) { return below(100) < p; }
    template<typename T>
    const T &oneOf(const std::vector<T> &items) { return items[size_t(below(int(items.size())))]; }
    QString number(int low, int high) { return QString::number(std::uniform_int_distribution<int>(low, high)(m_random)); }

    QString text(int length)
    {
        static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz ABCXYZ0123456789,;\"()^$%@\u00e9");
        QString t(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            t[i] = letters.at(below(int(letters.size())));
        return t;
    }

    QString routine() { return oneOf<QString>({"DEMO", "ABC", "%ZU", "@1", "@XEC", "NEW"}); }
    QString nameSpace() { return oneOf<QString>({"USER", "USER", "%SYS", ""}); }
    QString root() { return oneOf<QString>({"X", "Y", "X(1)", "X(1,2)", "X(\"a\")", "^G", "%", "Z", ""}); }

    // Whatever a field of a hostile server might hold.
    QString field()
    {
        switch (below(11)) {
        case 0: return QString();
        case 1: return number(0, 20);
        case 2: return oneOf<QString>({"-1", "-5", "-32768", "-32769", "-2147483648", "-2147483649", "-0"});
        case 3: return oneOf<QString>({"32767", "32768", "65536", "2147483647", "2147483648", "4294967296",
                                       "99999999999999999999", "1e308", "1e999", "-1e999"});
        case 4: return oneOf<QString>({"abc", "NaN", "nan", "inf", "-inf", " 12 ", "0x1F", "1,5", "True",
                                       "False", "--1", "+", ".", "1e", "\u00bd"});
        case 5: return routine();
        case 6: return text(percent(10) ? 200 + below(3000) : below(40));
        case 7: return oneOf<QString>({"A\r\nB", "\r", "\n", "\r\n\r\n", "line1\rline2\nline3", "\r\n"});
        case 8: return oneOf<QString>({"START", "TAG+3", "+1", "+0", "^DEMO", "START^DEMO^USER", "TAG+-2",
                                       "+99999"});
        case 9: return oneOf<QString>({"2.5", "-0.5", "1.0000001", "0.4999", "3.5"});
        default: return oneOf<QString>({"*", "**", "!", "!SIG", "<DSCON>", "\t", QString(QChar(0)), "\u20ac",
                                        "USER", "%SYS"});
        }
    }

    QStringList randomFields(const QString &code)
    {
        QStringList fields{code};
        for (int n = below(13); n > 0; --n)
            fields.append(field());
        return fields;
    }

    // An even feature mask, or one that converts to nothing: bit 1 would switch the link
    // to Unicode framing, which this peer does not speak.
    QString features()
    {
        switch (below(5)) {
        case 0: return QString::number(below(64) * 2);
        case 1: return QString::number(std::uniform_int_distribution<qint32>(-1073741824, 1073741823)(m_random) * 2);
        case 2: return QString();
        case 3: return QStringLiteral("abc");
        default: return QStringLiteral("99999999999");
        }
    }

    // The fields a server would send for the code, give or take.
    QStringList plausible(const QString &code)
    {
        if (code == QLatin1String("HI"))
            return {code, oneOf<QString>({"CACHE", "GTM", "DSM", "MSM", ""}),
                    oneOf<QString>({"x:1:7", "x:0:5", "x:1:3", "x:0:0", "x:0:6", "bad", "x:9:1", "x:-1:2", "x:1:"}),
                    features(), "NT"};
        if (code == QLatin1String("HI2"))
            return {code, "", number(1, 99999), nameSpace(), percent(50) ? text(5) : QString()};
        if (code == QLatin1String("ERR"))
            return {code, number(0, 6), text(20), routine(), number(0, 6)};
        if (code == QLatin1String("STP") || code == QLatin1String("BRK"))
            return {code, number(-1, 7)};
        if (code == QLatin1String("STKtop") || code == QLatin1String("STK"))
            return {code, number(0, 7), nameSpace(), routine(), oneOf<QString>({"START", "TAG", ""}),
                    number(0, 5), number(-3, 12)};
        if (code == QLatin1String("VAR+"))
            return {code, root(), text(3), number(0, 3), text(4), number(0, 3), root(), number(0, 63), root(),
                    root(), number(-1, 3)};
        if (code == QLatin1String("VAR="))
            return {code, root(), text(3), number(0, 3), text(4), number(0, 3), root(), number(0, 63), "", "",
                    number(-1, 3)};
        if (code == QLatin1String("VARfmt"))
            return {code, root(), text(5), number(0, 4)};
        if (code == QLatin1String("VAR-"))
            return {code, root()};
        if (code == QLatin1String("MSG"))
            return {code, text(20), oneOf<QString>({"0", "16", "48", "64", "4", "3", "1", "4096", "-1"}), text(6)};
        if (code == QLatin1String("MSTATE"))
            return {code, number(-7, 4)};
        if (code == QLatin1String("BPU"))
            return percent(50) ? QStringList{code, number(0, 5), text(6)}
                               : QStringList{code, number(0, 5), text(6), number(-2, 5)};
        if (code == QLatin1String("WPU"))
            return {code, number(0, 5), text(4), oneOf<QString>({"0", "1", "True", "x"})};
        if (code == QLatin1String("BYE"))
            return {code, oneOf<QString>({"0", "1", "-1", "True", ""})};
        if (code == QLatin1String("REDIR"))
            return {code, number(1, 65535), text(8)};
        if (code == QLatin1String("ED"))
            return percent(70) ? QStringList{code, oneOf<QString>({"1", "1", "2", "3", "0", "7", "-1"}), routine(),
                                             nameSpace(), oneOf<QString>({"1", "0", "-1"})}
                               : QStringList{code, "1", routine(), nameSpace()};
        if (code == QLatin1String("TIP"))
            return {code, text(4), text(30)};
        return {code, text(10)};
    }

    QStringList randomFrame()
    {
        // Weighted: the codes that open routines or end the session are rarer, or every
        // frame would cost a document and the session would rarely get far.
        static const std::vector<std::pair<QString, int>> codes = {
            {"HI", 3}, {"HI2", 3}, {"STP", 4}, {"BRK", 3}, {"ERR", 3}, {"VAR+", 10}, {"VAR=", 6},
            {"VARfmt", 4}, {"VAR-", 4}, {"VARend", 6}, {"CLS", 2}, {"STKreload", 2}, {"STKtop", 5},
            {"STK", 5}, {"CC", 3}, {"MSG", 4}, {"SLO", 3}, {"TIP", 3}, {"MSTATE", 4}, {"BPU", 4},
            {"WPU", 4}, {"BYE", 1}, {"REDIR", 2}, {"REP", 3}, {"ED", 2}, {"", 3}, {"PING", 1},
            {"XYZ", 1}, {"stp", 1}, {"HI3", 1}, {"!SIG", 1}, {"NS", 1}, {"SIG", 1}, {"<DSCON>", 1},
        };
        static const int total = [] {
            int sum = 0;
            for (const auto &c : codes)
                sum += c.second;
            return sum;
        }();
        int pick = below(total);
        QString code;
        for (const auto &c : codes) {
            if (pick < c.second) {
                code = c.first;
                break;
            }
            pick -= c.second;
        }
        QStringList frame = percent(50) ? plausible(code) : randomFields(code);
        if (code == QLatin1String("HI") && frame.size() > 3)
            frame[3] = features();
        return frame;
    }

    QString routineText()
    {
        return oneOf<QString>({
            "DEMO ; a routine\r\nSTART S X=1\r\n S Y=2 W X+Y\r\n Q",
            "",
            "TAG ; t\r\n W !,\"hi\"\r\nTAG2 Q:X  S Y=$$F(1)\r\n G TAG\r\nF(A) Q A+1",
            "\r\n\r\n",
            " ",
            "X\tY\r\n\tZ",
            "START " + text(300),
        });
    }

    // The echo is sent already; this is what follows it. Often what the task asked for,
    // often something else entirely.
    QStringList replyTo(const QStringList &request)
    {
        const QString code = request.value(0).mid(1);
        const int roll = below(100);
        if (roll < 15)
            return {QStringLiteral("MSG"), text(20)};
        if (roll < 35) {
            // A "HI2" here may or may not be handled, and would upset the count of barriers.
            QStringList frame = randomFrame();
            if (frame.value(0) == QLatin1String("HI2"))
                frame[0] = QStringLiteral("CC");
            return frame;
        }
        if (roll < 45)
            return randomFields(code);
        if (code == QLatin1String("SIG") || code == QLatin1String("SIR")) {
            // Few routines open: each costs a code window.
            if (roll < 75)
                return {QStringLiteral("SIM"), "", text(20)};
            ++m_routinesSent;
            QStringList reply{code, request.value(1), request.value(2), request.value(3), "0", routineText(),
                              oneOf<QString>({"CACHE", "GTM", ""})};
            if (code == QLatin1String("SIR")) {
                reply.removeAt(4);
                if (percent(50))
                    reply = reply.mid(0, 4);
            }
            return reply;
        }
        if (code == QLatin1String("NS"))
            return {code, nameSpace()};
        if (code == QLatin1String("PPG")) {
            QStringList reply{code};
            for (int n = below(4); n > 0; --n) {
                reply << oneOf<QString>({"lenLABEL", "lenLVAR", "lenGVAR", "lenROUTINE", "other"})
                      << (percent(50) ? number(0, 63) : field());
            }
            return reply;
        }
        if (code == QLatin1String("SIE"))
            return {code, oneOf<QString>({"0", "1", ""})};
        return {code};
    }

    const quint16 m_port;
    std::mt19937 m_random;
    const int m_frameCount;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_sent{0};
    std::atomic<int> m_sessions{0};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_framesRead{0};
    std::atomic<int> m_malformed{0};
    std::atomic<int> m_barriersLost{0};
    std::atomic<int> m_routinesSent{0};
};

class HostileServerTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        // Every malformed field is worth a line of debug output; a hundred thousand frames
        // would spend their time writing them.
        QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*.debug=false\nvantrel.*.info=false"));
        boxes = std::make_shared<CountingPrompt>();
        setUserPrompt(boxes);
        window = start("SQ0");
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        QLoggingCategory::setFilterRules(QString());
        MainWindowTest::TearDown();
    }

    std::string recentBoxes() const
    {
        QStringList texts;
        for (const QString &text : boxes->recent)
            texts << text;
        return QStringLiteral("%1 boxes, the last: %2").arg(boxes->count).arg(texts.join(" | ")).toStdString();
    }

    std::shared_ptr<CountingPrompt> boxes;
    frmMDI *window = nullptr;
};

TEST_F(HostileServerTest, RandomFramesNeitherCrashNorHangTheTaskAndAGreetingWorksAfterwards)
{
    // The 20 seconds of a transaction become 100 ms: a request left unanswered by a
    // closed session must not stall the run.
    window->link()->setMsPerTimeoutSecond(5);

    HostilePeer peer(taskPort, 20240611u, 100000);
    peer.start();
    // Generous: a run takes well under a minute; a task that hangs never gets there.
    const bool done = waitUntil([&] { return peer.finished(); }, 400000);
    peer.stop();
    ASSERT_TRUE(done) << peer.summary() << "; " << recentBoxes();
    std::cout << peer.summary() << "; " << recentBoxes() << std::endl;
    EXPECT_EQ(peer.malformedFromTask(), 0) << peer.summary();
    EXPECT_GT(peer.sessions(), 1) << peer.summary();
    EXPECT_GT(peer.requestsAnswered(), 0) << peer.summary();
    EXPECT_GT(peer.routinesSent(), 0) << peer.summary();

    // The peer has closed: the task is free and listens again. Free means the last
    // session's end has been handled too (a close deferred behind a handler's box), for
    // until then the listener turns the next server away.
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending(); }, 60000))
        << "state " << window->MState() << ", connected " << window->link()->IsConnected();
    EXPECT_TRUE(window->statusText().startsWith("Listening on port ")) << window->statusText().toStdString();

    // And an ordinary server is greeted as ever.
    using namespace mserver;
    MServer server(QList<Step>{
        connectTo(taskPort),
        send({"HI", "GTM", "x:1:7", "16", "NT"}),
        expectAck(),
        send({"HI2", "", "4711", "USER"}),
        expectAck(),
    } + greetingAnswer());
    server.setStepTimeoutMs(10000);
    server.start();
    ASSERT_TRUE(server.wait(20000)) << server.failure().toStdString();
    EXPECT_EQ(window->MState(), -2);
    EXPECT_EQ(window->link()->Env(), "USER");
    // A code window the random session left maximised adds its name to the caption.
    EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job 4711 in USER on GTM at 127.0.0.1"))
        << window->windowTitle().toStdString();
}

// --- one frame's bound ------------------------------------------------------------------------

// A server that declares one frame of `declared` units: ["XYZ", text] whose text fills
// the frame, in the framing agreed by its greeting. A frame the task takes is sent
// whole and followed by a greeting, which the task must acknowledge; for any other the
// body is written on and on, until the task drops the link or `cap` bytes have gone.
struct DeclaringPeer
{
    static constexpr qint64 Cap = 128 * 1024 * 1024;

    quint16 port = 0;
    quint32 declared = 0;
    bool unicode = false;
    bool whole = false;

    // Results.
    std::atomic<bool> done{false};
    bool acknowledged = false;   // the greeting after the frame was answered
    bool dropped = false;        // the task closed or reset the link under the body
    qint64 bodySent = 0;
    qint64 msToDrop = -1;        // from the length's last byte to the drop
    std::string failure;

    void run()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            failure = "no connection to the task";
        else
            play(fd);
        ::close(fd);
        done = true;
    }

    void play(int fd)
    {
        FrameAssembler rx;
        // The greeting is ANSI; its feature 1 switches both ways to Unicode.
        if (!sendAll(fd, FrameCodec::encode({"HI", "GTM", "x:1:7", unicode ? "1" : "0", "NT"}, false))
            || !readAck(fd, rx, false)) {
            failure = "the greeting was not acknowledged";
            return;
        }
        const int unitBytes = unicode ? 2 : 1;
        const quint32 textUnits = declared - 6 - (4 + 3) - 4;
        const QByteArray head = mserver::frameHead(QStringLiteral("XYZ"), textUnits, unicode);
        if (!sendAll(fd, head)) {
            failure = "the header could not be sent";
            return;
        }
        const auto sentHeader = Clock::now();
        QByteArray chunk(1024 * 1024, 'x');
        if (unicode)
            for (qsizetype i = 1; i < chunk.size(); i += 2)
                chunk[i] = '\0';
        const qint64 body = whole ? qint64(textUnits) * unitBytes : Cap;
        while (bodySent < body) {
            const qint64 n = std::min<qint64>(body - bodySent, chunk.size());
            const ssize_t k = ::send(fd, chunk.constData(), size_t(n), MSG_NOSIGNAL);
            if (k <= 0) {
                dropped = true;
                msToDrop = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sentHeader).count();
                return;
            }
            bodySent += k;
        }
        if (!whole)
            return;
        acknowledged = sendAll(fd, FrameCodec::encode({"HI", "GTM", "x:1:7", unicode ? "1" : "0", "NT"}, unicode))
                       && readAck(fd, rx, unicode);
    }

    static bool sendAll(int fd, const QByteArray &bytes)
    {
        for (qint64 sent = 0; sent < bytes.size();) {
            const ssize_t k = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (k <= 0)
                return false;
            sent += k;
        }
        return true;
    }

    static bool readAck(int fd, FrameAssembler &rx, bool unicode)
    {
        for (;;) {
            QStringList frame;
            const FrameAssembler::TakeResult taken = rx.take(frame, unicode);
            if (taken == FrameAssembler::Complete)
                return frame.isEmpty();
            if (taken == FrameAssembler::Malformed)
                return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            rx.append(buffer, n);
        }
    }
};

// Under the sanitizer the resident size is no measure of what the program holds: every
// block carries a shadow and red zones, and freed blocks wait in a quarantine instead of
// being reused (a frame read in pieces leaves all its pieces there). The sanitizer's
// allocator hooks count the bytes the program holds instead, and their peak.
namespace liveheap {

std::atomic<qint64> held{0};   // since the hooks went in: blocks freed that are older make it dip
std::atomic<qint64> peak{0};

void onMalloc(const volatile void *, size_t size)
{
    const qint64 now = held.fetch_add(qint64(size), std::memory_order_relaxed) + qint64(size);
    qint64 highest = peak.load(std::memory_order_relaxed);
    while (now > highest && !peak.compare_exchange_weak(highest, now, std::memory_order_relaxed)) {
    }
}

void onFree(const volatile void *block)
{
    if constexpr (sanitized::Sanitized)
        if (block)
            held.fetch_sub(qint64(__sanitizer_get_allocated_size(block)), std::memory_order_relaxed);
}

// Hooks go in before any thread starts, as the sanitizer asks.
bool install()
{
    if constexpr (sanitized::Sanitized)
        return __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) > 0;
    return false;
}
const bool installed = install();

} // namespace liveheap

// What the task grows by while a row plays: the live heap's peak where the hooks count
// it, else the peak of the resident size (or the largest sampled, on a kernel that
// cannot restart the peak).
class GrowthMeter
{
public:
    GrowthMeter()
    {
        if (liveheap::installed) {
            m_before = liveheap::held.load();
            liveheap::peak.store(m_before);
        } else {
            m_peakReset = resetPeak();
            m_before = statusKb("VmRSS:") * 1024;
            m_sampled = m_before;
        }
    }
    void sample()
    {
        if (!liveheap::installed && !m_peakReset)
            m_sampled = std::max(m_sampled, statusKb("VmRSS:") * 1024);
    }
    qint64 grownKb() const
    {
        if (liveheap::installed)
            return (liveheap::peak.load() - m_before) / 1024;
        return ((m_peakReset ? statusKb("VmHWM:") * 1024 : m_sampled) - m_before) / 1024;
    }
    const char *what() const
    {
        return liveheap::installed ? "live heap" : m_peakReset ? "resident, peak" : "resident, sampled";
    }

private:
    bool m_peakReset = false;
    qint64 m_before = 0;    // bytes
    qint64 m_sampled = 0;
};

class FrameBoundTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window = start("SQ0");
        ASSERT_NE(window, nullptr);
    }

    frmMDI *window = nullptr;
};

TEST_F(FrameBoundTest, ALengthAboveTheBoundIsRefusedAtOnceAndTheTaskListensAgain)
{
    const quint32 bound = quint32(FrameAssembler::MaxFrameUnits);
    struct Row { const char *name; quint32 declared; bool unicode; bool taken; };
    const Row rows[] = {
        {"ANSI, at the bound", bound, false, true},
        {"ANSI, one unit over", bound + 1, false, false},
        {"ANSI, 2^31 - 1 units", 0x7FFFFFFFu, false, false},
        {"Unicode, at the bound", bound, true, true},
        {"Unicode, one unit over", bound + 1, true, false},
        {"Unicode, 2^31 - 1 units", 0x7FFFFFFFu, true, false},
    };
    // What the task may grow by besides the frame's text: its sockets' buffers and the
    // heap's own slack. A task that buffered the body would grow by the 128 MiB sent.
    const qint64 slackKb = 24 * 1024;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        GrowthMeter meter;
        DeclaringPeer peer;
        peer.port = taskPort;
        peer.declared = row.declared;
        peer.unicode = row.unicode;
        peer.whole = row.taken;
        std::thread thread([&peer] { peer.run(); });
        const bool finished = waitUntil([&] {
            meter.sample();
            return peer.done.load();
        }, 60000);
        thread.join();
        ASSERT_TRUE(finished);
        ASSERT_EQ(peer.failure, "");
        const qint64 grownKb = meter.grownKb();
        const qint64 textKb = qint64(row.declared) * 2 / 1024;   // two bytes a unit in a QString
        std::cout << row.name << ": grew " << grownKb << " KiB (" << meter.what() << "), "
                  << peer.bodySent << " bytes of body sent" << std::endl;
        if (row.taken) {
            // Taken whole, and the link goes on: the greeting after it is answered.
            EXPECT_TRUE(peer.acknowledged);
            EXPECT_FALSE(peer.dropped);
            // Its text is what the frame may cost: twice its bytes in ANSI, as many in Unicode.
            EXPECT_LE(grownKb, textKb + slackKb) << "grew " << grownKb << " KiB";
        } else {
            // Refused once its length was in: the body after it is never kept.
            EXPECT_TRUE(peer.dropped) << peer.bodySent << " bytes of the body went in";
            EXPECT_LE(peer.bodySent, 32 * 1024 * 1024);
            EXPECT_LE(peer.msToDrop, 2000);
            EXPECT_LE(grownKb, slackKb) << "grew " << grownKb << " KiB";
        }
        // The session ended as for any link that drops, and the task is free again.
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending(); }, 20000))
            << "state " << window->MState();
        EXPECT_TRUE(window->statusText().startsWith("Listening on port ")) << window->statusText().toStdString();
    }
}

} // namespace
