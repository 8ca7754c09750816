#include "bookinghost.h"
#include "bookingservice.h"
#include "connection2.h"
#include "portbook.h"
#include "sentrycore.h"
#include "vantrelerror.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Stands in for the status window: reports a port without listening, unless a
// start-up is scripted.
class FakeHost : public BookingHost
{
public:
    bool statusWindowExists() const override { return windowExists; }
    void startStatusWindow() override
    {
        ++starts;
        windowExists = true;
        if (startUp)
            startUp();
    }
    void unloadStatusWindow() override { windowExists = false; ++unloads; }
    quint16 ListeningPort() const override { return port; }
    QString LocalAddress() const override { return "192.0.2.7"; }

    bool windowExists = true;
    quint16 port = 4321;
    std::function<void()> startUp;
    int starts = 0;
    int unloads = 0;
};

// The Sentry's booking side on a thread of its own, as it would be in its own
// process: the task's Connection2 blocks while it books.
class SentryThread
{
public:
    explicit SentryThread(int sessions, quint16 port = 4321, bool windowExists = true)
    {
        host.port = port;
        host.windowExists = windowExists;
        name = dir.filePath("sentry");
        context.moveToThread(&thread);
        thread.start();
        run([&] {
            book = new PortBook;
            book->resetSlots(sessions);
            service = new BookingService(book, &host);
            failures = new QSignalSpy(service, &BookingService::startFailed);
            listening = service->listen(name);
        });
    }

    ~SentryThread()
    {
        run([&] {
            delete failures;
            delete service;
            delete core;
            delete book;
        });
        thread.quit();
        thread.wait();
    }

    template<typename F>
    void run(F f)
    {
        QMetaObject::invokeMethod(&context, f, Qt::BlockingQueuedConnection);
    }

    int liveCount()
    {
        int count = 0;
        run([&] { count = book->gLiveCount(); });
        return count;
    }

    bool waitLiveCount(int expected)
    {
        return QTest::qWaitFor([&] { return liveCount() == expected; }, 3000);
    }

    Connection2::Options options() const
    {
        Connection2::Options o;
        o.serverName = name;
        o.sentryProgram = "/nonexistent/VantrelSentry";
        o.startTimeoutMs = 2000;
        o.replyTimeoutMs = 5000;
        return o;
    }

    std::unique_ptr<Connection2> book2() { return std::make_unique<Connection2>(options()); }

    QTemporaryDir dir;
    QString name;
    QThread thread;
    QObject context;
    FakeHost host;
    PortBook *book = nullptr;
    BookingService *service = nullptr;
    SentryCore *core = nullptr;
    QSignalSpy *failures = nullptr;
    bool listening = false;
};

TEST(Booking, SlotsAreAllottedInOrderAndReused)
{
    SentryThread sentry(10);
    ASSERT_TRUE(sentry.listening);
    auto a = sentry.book2();
    auto b = sentry.book2();
    EXPECT_EQ(a->Port(), 4322);
    EXPECT_EQ(b->Port(), 4324);
    EXPECT_EQ(a->SentryPort(), 4321);
    EXPECT_EQ(a->LocalAddress(), "192.0.2.7");

    a.reset();
    ASSERT_TRUE(sentry.waitLiveCount(1));
    auto c = sentry.book2();
    EXPECT_EQ(c->Port(), 4322);
    auto d = sentry.book2();
    EXPECT_EQ(d->Port(), 4326);

    std::vector<std::unique_ptr<Connection2>> rest;
    for (int i = 0; i < 7; ++i)
        rest.push_back(sentry.book2());
    EXPECT_EQ(rest.back()->Port(), 4340);
    auto eleventh = sentry.book2();   // no slot left: not an error
    EXPECT_EQ(eleventh->Port(), 0);
    EXPECT_EQ(sentry.liveCount(), 11);
    EXPECT_EQ(sentry.host.starts, 0);   // the window existed: no second start-up
}

TEST(Booking, PortsAboveTheSignedRangeStayUnsigned)
{
    SentryThread sentry(2, 40001);
    auto task = sentry.book2();
    EXPECT_EQ(task->Port(), 40002);
    EXPECT_EQ(task->SentryPort(), 40001);
}

TEST(Booking, ListeningMovesThePortAndTheConnectionsEndFreesIt)
{
    SentryThread sentry(10);
    auto a = sentry.book2();
    auto b = sentry.book2();
    a->Listening(true);
    b->Listening(true);
    auto ready = [&] { QList<quint16> r; sentry.run([&] { r = sentry.book->readyPorts(); }); return r; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready().size() == 2; }, 3000));
    EXPECT_EQ(ready(), (QList<quint16>{4322, 4324}));

    quint16 offered = 0;
    sentry.run([&] { offered = sentry.book->offerReadyPort(); });
    EXPECT_EQ(offered, 4324);
    b->Listening(false);   // its listener accepted the server
    ASSERT_TRUE(QTest::qWaitFor([&] {
        QList<quint16> o;
        sentry.run([&] { o = sentry.book->offeredPorts(); });
        return o.isEmpty();
    }, 3000));

    a.reset();   // a task that ends (or dies: the kernel closes its socket the same way)
    ASSERT_TRUE(sentry.waitLiveCount(1));
    EXPECT_TRUE(ready().isEmpty());
    b.reset();
    ASSERT_TRUE(sentry.waitLiveCount(0));
    QVector<quint32> slotTable;
    QString label;
    sentry.run([&] { slotTable = sentry.book->gPortSlots(); label = sentry.book->lblPort(); });
    EXPECT_EQ(slotTable, QVector<quint32>(10, 0));
    EXPECT_EQ(label, "Connected: 0, Ready: 0/10, Pending: 0");
}

TEST(Booking, AFailedStartReachesTheTaskAndLeavesNothingCounted)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, 0));
    const quint16 taken = occupier.serverPort();

    SentryThread sentry(10, 4321, false);
    sentry.run([&] {
        sentry.core = new SentryCore;
        sentry.core->setListenAddress("127.0.0.1");
        GetHost::Resolver none;
        none.hostName = [](int &e) -> std::optional<QString> { e = 1; return std::nullopt; };
        sentry.core->setResolver(none);
        sentry.host.startUp = [&] {
            sentry.core->StartUp(QString::number(taken));
        };
    });
    // What the task reports is the port the Sentry tried, as the Sentry knows it.
    sentry.host.port = taken;

    try {
        sentry.book2();
        FAIL() << "booking succeeded on an occupied port";
    } catch (const VantrelError &error) {
        EXPECT_EQ(error.number(), 0x80040201u);
        EXPECT_EQ(qint32(error.number()), -2147220991);
        EXPECT_EQ(error.text(), QString("Port %1 may be in use by another task on this PC").arg(taken));
    }
    EXPECT_EQ(sentry.liveCount(), 0);
    EXPECT_FALSE(sentry.host.windowExists);
    EXPECT_EQ(sentry.host.unloads, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { int n = 0; sentry.run([&] { n = sentry.failures->count(); }); return n == 1; }, 3000));
}

TEST(Booking, OtherStartErrorsCarryTheirOwnNumberAndText)
{
    SentryThread sentry(10, 4321, false);
    sentry.host.startUp = [] { throw VantrelError(6, "Overflow: port 65530 leaves no room for 5 sessions below port 65536"); };
    try {
        sentry.book2();
        FAIL() << "booking succeeded";
    } catch (const VantrelError &error) {
        EXPECT_EQ(error.number(), 0x80040000u);
        EXPECT_EQ(error.text(), "(6) Overflow: port 65530 leaves no room for 5 sessions below port 65536");
    }
    EXPECT_EQ(sentry.liveCount(), 0);
}

TEST(Booking, ATaskOutlivesItsSentry)
{
    auto sentry = std::make_unique<SentryThread>(10);
    auto task = sentry->book2();
    QSignalSpy lost(task.get(), &Connection2::sentryLost);
    sentry.reset();   // the user exited the Sentry
    ASSERT_TRUE(QTest::qWaitFor([&] { return !task->isAlive(); }, 3000));
    EXPECT_EQ(lost.count(), 1);
    task->Listening(true);   // a no-op now, not an error
    EXPECT_EQ(task->Port(), 4322);
}

TEST(Booking, AnythingButOurMessagesDropsTheConnection)
{
    SentryThread sentry(10);
    for (const QByteArray &junk : {QByteArray("HELLO\n"), QByteArray("BOOK 2\n"), QByteArray(5000, 'x'),
                                   QByteArray("LISTENING 1\n")}) {
        QLocalSocket client;
        client.connectToServer(sentry.name);
        ASSERT_TRUE(client.waitForConnected(2000));
        client.write(junk);
        client.flush();
        // "LISTENING" before "BOOK" is ignored rather than dropped; the others are cut off.
        if (!junk.startsWith("LISTENING")) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 3000));
        }
        QTest::qWait(20);
        EXPECT_EQ(sentry.liveCount(), 0);
    }
    auto task = sentry.book2();
    EXPECT_EQ(task->Port(), 4322);
}

TEST(Booking, ATaskEndingItsBookingDoesNotHearOfALostSentry)
{
    SentryThread sentry(10);
    auto task = sentry.book2();
    QSignalSpy lost(task.get(), &Connection2::sentryLost);
    task.reset();
    EXPECT_EQ(lost.count(), 0);
    EXPECT_TRUE(sentry.waitLiveCount(0));
}

} // namespace
