#include "bookinghost.h"
#include "bookingservice.h"
#include "bookingwire.h"
#include "portbook.h"
#include "requestlistener.h"
#include "sanitized.h"
#include "sentrycore.h"
#include "sentrytestsupport.h"
#include "taskstarter.h"
#include "vantrelerror.h"

#include <QLocalSocket>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

class CoreHost : public BookingHost
{
public:
    explicit CoreHost(SentryCore *core) : m_core(core) {}
    bool statusWindowExists() const override { return true; }
    void startStatusWindow() override {}
    void unloadStatusWindow() override {}
    quint16 ListeningPort() const override { return m_core->ListeningPort(); }
    QString LocalAddress() const override { return m_core->LocalAddress(); }

private:
    SentryCore *m_core;
};

struct Tally
{
    int sent = 0;
    int answered = 0;
    int target = 0;
    int zeroQuestionMarks = 0;
    std::map<quint16, int> offers;          // non-zero answers per port
    std::map<quint16, int> madeReady;       // "LISTENING 1" sent per port
};

// A server process: asks a few times on one connection, hangs up, comes back.
// Dropped when all three request links are busy, it simply tries again.
class ServerAgent : public QObject
{
public:
    ServerAgent(quint16 port, Tally &tally) : m_port(port), m_tally(tally)
    {
        connect(&m_socket, &QTcpSocket::connected, this, &ServerAgent::ask);
        connect(&m_socket, &QTcpSocket::readyRead, this, &ServerAgent::onReply);
        connect(&m_socket, &QTcpSocket::disconnected, this, &ServerAgent::again);
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket.state() == QAbstractSocket::UnconnectedState)
                again();
        });
        dial();
    }

private:
    void dial()
    {
        if (m_tally.sent >= m_tally.target)
            return;
        m_asked = 0;
        m_buffer.clear();
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
    }

    void again()
    {
        // A request on a connection the Sentry dropped was never served; ask again.
        if (m_outstanding) {
            m_outstanding = false;
            --m_tally.sent;
        }
        QTimer::singleShot(int(QRandomGenerator::global()->bounded(1, 4)), this, [this] {
            if (m_socket.state() == QAbstractSocket::UnconnectedState)
                dial();
        });
    }

    void ask()
    {
        if (m_tally.sent >= m_tally.target) {
            m_socket.disconnectFromHost();
            return;
        }
        ++m_tally.sent;
        m_request = QRandomGenerator::global()->bounded(10) == 0 ? '?' : '+';
        m_outstanding = true;
        m_socket.write(QByteArray(1, m_request));
    }

    void onReply()
    {
        m_buffer += m_socket.readAll();
        if (m_buffer.size() < 2)
            return;
        const quint16 port = replyPort(m_buffer.left(2));
        m_buffer.remove(0, 2);
        m_outstanding = false;
        ++m_tally.answered;
        if (port != 0)
            ++m_tally.offers[port];
        else if (m_request == '?')
            ++m_tally.zeroQuestionMarks;
        if (++m_asked < 4)
            ask();
        else
            m_socket.disconnectFromHost();
    }

    quint16 m_port;
    Tally &m_tally;
    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_asked = 0;
    char m_request = '+';
    bool m_outstanding = false;   // a request is on its way; its answer is still to be counted

public:
    bool outstanding() const { return m_outstanding && m_socket.state() == QAbstractSocket::ConnectedState; }
};

// A task that books in, turns ready and busy, and now and then ends and books again.
class TaskAgent : public QObject
{
public:
    TaskAgent(const QString &name, Tally &tally) : m_name(name), m_tally(tally)
    {
        connect(&m_socket, &QLocalSocket::connected, this, [this] { m_socket.write(BookingWire::bookRequest()); });
        connect(&m_socket, &QLocalSocket::readyRead, this, &TaskAgent::onReply);
        connect(&m_timer, &QTimer::timeout, this, &TaskAgent::step);
        m_socket.connectToServer(m_name);
    }

    bool booked() const { return m_booked; }
    quint16 port() const { return m_port; }
    bool ready() const { return m_ready; }

    void stop() { m_timer.stop(); }
    void setListening(bool on)
    {
        if (!m_booked)
            return;
        m_ready = on;
        if (on && m_port != 0)
            ++m_tally.madeReady[m_port];
        m_socket.write(BookingWire::listeningRequest(on));
        m_socket.flush();
    }
    void leave()
    {
        m_booked = false;
        m_socket.disconnectFromServer();
    }

private:
    void onReply()
    {
        m_buffer += m_socket.readAll();
        const auto line = BookingWire::takeLine(m_buffer);
        if (!line)
            return;
        const BookingWire::Reply reply = BookingWire::parseReply(*line);
        ASSERT_EQ(reply.kind, BookingWire::Reply::Booked);
        m_booked = true;
        m_port = reply.port;
        setListening(true);
        m_timer.start(int(QRandomGenerator::global()->bounded(2, 8)));
    }

    void step()
    {
        const int dice = int(QRandomGenerator::global()->bounded(10));
        if (dice == 0) {
            // End the booking and come back as a new task.
            m_timer.stop();
            leave();
            m_buffer.clear();
            QTimer::singleShot(2, this, [this] { m_socket.connectToServer(m_name); });
        } else {
            setListening(dice > 3);
        }
    }

    QString m_name;
    Tally &m_tally;
    QLocalSocket m_socket;
    QTimer m_timer;
    QByteArray m_buffer;
    bool m_booked = false;
    bool m_ready = false;
    quint16 m_port = 0;
};

TEST(SentryLoad, FiftyServersAndTasksComingAndGoingLeaveTheBookkeepingExact)
{
    SentryCore core;
    core.setListenAddress("127.0.0.1");
    GetHost::Resolver resolver;
    resolver.hostName = [](int &) -> std::optional<QString> { return QString("devbox"); };
    resolver.addressesOf = [](const QString &) -> std::optional<QList<QHostAddress>> {
        return QList<QHostAddress>{QHostAddress("192.0.2.7")};
    };
    core.setResolver(resolver);
    // No offer ages during the run, so every answer must be a fresh ready port.
    core.portBook()->setClock([] { return qint64(0); });
    // No task started for a server books in here, so only the agents' bookings
    // let another start: never two starts without a booking between them, and
    // never one with every slot booked.
    int tasksStarted = 0;
    bool bookedSinceStart = true;
    QObject::connect(core.portBook(), &PortBook::bookingAdded, [&] { bookedSinceStart = true; });
    core.taskStarter()->setLauncher([&](const QString &, const QStringList &args) {
        EXPECT_TRUE(args.value(0).startsWith("SQ"));
        EXPECT_TRUE(bookedSinceStart) << "a second task started before the first booked in";
        EXPECT_TRUE(core.portBook()->gPortSlots().contains(0u)) << "a task started with every slot booked";
        bookedSinceStart = false;
        ++tasksStarted;
        return true;
    });
    quint16 port = 0;
    for (int attempt = 0; attempt < 5 && !core.isStarted(); ++attempt) {
        port = freeLoopbackPort();
        try {
            core.StartUp(QString("%1 10").arg(port));
        } catch (const VantrelError &) {
        }
    }
    ASSERT_TRUE(core.isStarted());

    QTemporaryDir dir;
    CoreHost host(&core);
    BookingService bookings(core.portBook(), &host);
    ASSERT_TRUE(bookings.listen(dir.filePath("sentry")));

    Tally tally;
    tally.target = 1000;
    std::vector<std::unique_ptr<TaskAgent>> tasks;
    for (int i = 0; i < 12; ++i)   // more tasks than slots: some book with port 0
        tasks.push_back(std::make_unique<TaskAgent>(dir.filePath("sentry"), tally));
    std::vector<std::unique_ptr<ServerAgent>> servers;
    for (int i = 0; i < 50; ++i)
        servers.push_back(std::make_unique<ServerAgent>(port, tally));

    ASSERT_TRUE(waitUntil([&] { return tally.answered >= tally.target; }, 30000 * sanitized::SlowFactor))
        << tally.answered;
    // Let the answers already on their way arrive, so both sides count the same requests.
    ASSERT_TRUE(waitUntil([&] {
        return std::none_of(servers.begin(), servers.end(), [](const auto &s) { return s->outstanding(); });
    }, 5000));
    EXPECT_EQ(tally.answered, 1000);
    servers.clear();
    for (auto &task : tasks)
        task->stop();
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(tasks.begin(), tasks.end(), [](const auto &t) { return t->booked(); });
    }, 5000));

    // No port was handed out twice for one turn of being ready.
    for (const auto &[offeredPort, count] : tally.offers)
        EXPECT_LE(count, tally.madeReady[offeredPort]) << "port " << offeredPort;
    EXPECT_LE(tasksStarted, tally.zeroQuestionMarks);

    // Every booked task ready: the table, the sets and the label must say exactly that.
    for (auto &task : tasks)
        task->setListening(true);
    PortBook *book = core.portBook();
    std::multiset<quint32> bookedPorts;
    std::set<quint16> readyExpected;
    for (const auto &task : tasks) {
        if (task->port() != 0) {
            bookedPorts.insert(task->port());
            readyExpected.insert(task->port());
        }
    }
    ASSERT_TRUE(waitUntil([&] {
        return book->gLiveCount() == 12 && int(book->readyPorts().size()) == int(readyExpected.size());
    }, 5000));
    EXPECT_EQ(bookedPorts.size(), 10u);
    std::multiset<quint32> slotPorts;
    for (const quint32 slotPort : book->gPortSlots()) {
        if (slotPort != 0)
            slotPorts.insert(slotPort);
    }
    EXPECT_EQ(slotPorts, bookedPorts);
    const QList<quint16> ready = book->readyPorts();
    EXPECT_EQ(std::set<quint16>(ready.begin(), ready.end()), readyExpected);
    EXPECT_TRUE(book->offeredPorts().isEmpty());
    // The two tasks beyond the slots hold none and count as neither.
    EXPECT_EQ(book->lblPort(), "Connected: 0, Ready: 10/10, Pending: 0");

    for (auto &task : tasks)
        task->leave();
    ASSERT_TRUE(waitUntil([&] { return book->gLiveCount() == 0; }, 5000));
    EXPECT_EQ(book->gPortSlots(), QVector<quint32>(10, 0));
    EXPECT_TRUE(book->readyPorts().isEmpty());
    EXPECT_EQ(book->lblPort(), "Connected: 0, Ready: 0/10, Pending: 0");
    EXPECT_EQ(core.listener()->busyLinkCount(), 0);
}

} // namespace
