#include "portbook.h"
#include "requestlistener.h"
#include "sentrytestsupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class RequestListenerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        book.resetSlots(10);
        book.setClock([this] { return now; });
        for (int i = 0; i < 3; ++i)
            bookIn();
        listener.setTaskStarter([this](bool forServer) { started.append(forServer); });
        listener.setListenAddress("127.0.0.1");
        listener.SetListeningPort(0);   // an ephemeral port for the test
        listener.StartListening(10);
        port = listener.ListeningPort();
        ASSERT_NE(port, 0);
    }

    // As the booking service books a task in: slots 1, 2, 3 hold 4322, 4324, 4326.
    void bookIn()
    {
        book.addLiveBooking();
        book.allotSlot(4321);
    }

    qint64 now = 500;
    PortBook book;
    RequestListener listener{&book};
    QList<bool> started;
    quint16 port = 0;
};

TEST_F(RequestListenerTest, AnswersWithTheReadyPortHighByteFirstAndKeepsTheLinkOpen)
{
    EXPECT_EQ(book.lblPort(), QString("Listening on port %1 for 10 sessions").arg(port));
    book.UpdatePortState(4322, true, false);
    book.UpdatePortState(4340, true, false);
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('+'), QByteArray("\x10\xF4", 2));
    EXPECT_EQ(server.ask('+'), QByteArray("\x10\xE2", 2));
    EXPECT_EQ(server.ask('+'), QByteArray("\x00\x00", 2));
    EXPECT_TRUE(started.isEmpty());   // "+" never starts a task
    EXPECT_EQ(server.socket()->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(book.lblPort(), "Connected: 3, Ready: 0/7, Pending: 2");
}

TEST_F(RequestListenerTest, QuestionMarkWithNoneReadyStartsOneTask)
{
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    EXPECT_EQ(started, QList<bool>{true});

    book.UpdatePortState(4324, true, false);
    EXPECT_EQ(server.ask('?'), QByteArray("\x10\xE4", 2));
    EXPECT_EQ(started.size(), 1);
}

TEST_F(RequestListenerTest, QuestionMarksStartOneTaskUntilItBooksInOrItsTimeIsUp)
{
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    struct Step { const char *what; std::function<void()> before; int requests; int startedAfter; };
    const Step steps[] = {
        {"first", [] {}, 1, 1},
        {"a flood while it starts", [] {}, 100, 1},
        {"just before its time is up", [&] { now += RequestListener::TaskStartTimeoutSeconds - 1; }, 1, 1},
        {"its time is up", [&] { now += 1; }, 1, 2},
        {"more while the second starts", [] {}, 3, 2},
        {"a task booked in", [&] { bookIn(); }, 3, 3},
    };
    for (const Step &step : steps) {
        step.before();
        for (int i = 0; i < step.requests; ++i)
            ASSERT_EQ(server.ask('?'), QByteArray("\x00\x00", 2)) << step.what;
        EXPECT_EQ(started.size(), step.startedAfter) << step.what;
    }
    EXPECT_EQ(started, QList<bool>(3, true));
}

TEST_F(RequestListenerTest, QuestionMarkWithEverySlotBookedStartsNothing)
{
    for (int i = 4; i <= 10; ++i)
        bookIn();
    bookIn();   // the eleventh task books in without a slot
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    now += RequestListener::TaskStartTimeoutSeconds;
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    EXPECT_TRUE(started.isEmpty());

    book.freeSlot(10);
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    EXPECT_EQ(started, QList<bool>{true});
}

TEST_F(RequestListenerTest, OnlyTheFirstByteOfAReadCounts)
{
    book.UpdatePortState(4322, true, false);
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    server.send("+x");
    EXPECT_EQ(server.read(2), QByteArray("\x10\xE2", 2));
    EXPECT_EQ(server.read(1, 200), QByteArray());
    EXPECT_EQ(server.ask('+'), QByteArray("\x00\x00", 2));   // still open, still served
}

TEST_F(RequestListenerTest, AnyOtherByteClosesTheLinkAndChangesNothing)
{
    book.UpdatePortState(4322, true, false);
    book.UpdatePortState(4324, true, false);
    ASSERT_EQ(book.offerReadyPort(), 4324);
    const QList<quint16> ready = book.readyPorts();
    const QList<quint16> offered = book.offeredPorts();

    for (const char request : {'x', '\0', '\xFF', '-'}) {
        RequestClient server(port);
        ASSERT_TRUE(server.waitConnected());
        server.send(QByteArray(1, request));
        EXPECT_TRUE(server.waitClosed());
        EXPECT_EQ(server.read(2, 100), QByteArray());
    }
    EXPECT_EQ(book.readyPorts(), ready);
    EXPECT_EQ(book.offeredPorts(), offered);
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(RequestListenerTest, AFourthConnectionIsDroppedAndTheListenerKeepsListening)
{
    book.UpdatePortState(4322, true, false);
    std::vector<std::unique_ptr<RequestClient>> servers;
    for (int i = 0; i < 3; ++i) {
        servers.push_back(std::make_unique<RequestClient>(port));
        ASSERT_TRUE(servers.back()->waitConnected());
    }
    ASSERT_TRUE(waitUntil([&] { return listener.busyLinkCount() == 3; }, 3000));

    RequestClient fourth(port);
    EXPECT_TRUE(fourth.waitClosed());
    EXPECT_EQ(fourth.read(2, 100), QByteArray());
    EXPECT_EQ(book.readyPorts(), QList<quint16>{4322});

    servers.front()->socket()->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return listener.busyLinkCount() == 2; }, 3000));
    RequestClient fifth(port);
    ASSERT_TRUE(fifth.waitConnected());
    EXPECT_EQ(fifth.ask('+'), QByteArray("\x10\xE2", 2));
}

TEST_F(RequestListenerTest, AnOfferNotTakenIsMadeAgainAfterThirtySeconds)
{
    book.UpdatePortState(4322, true, false);
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('+'), QByteArray("\x10\xE2", 2));
    now += 30;
    EXPECT_EQ(server.ask('+'), QByteArray("\x00\x00", 2));
    now += 1;
    EXPECT_EQ(server.ask('+'), QByteArray("\x10\xE2", 2));
}

} // namespace
