#include "bookinghost.h"
#include "bookingservice.h"
#include "bookingwire.h"
#include "portbook.h"
#include "requestlistener.h"
#include "sentrytestsupport.h"

#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class WindowUpHost : public BookingHost
{
public:
    bool statusWindowExists() const override { return true; }
    void startStatusWindow() override {}
    void unloadStatusWindow() override {}
    quint16 ListeningPort() const override { return 4321; }
    QString LocalAddress() const override { return QString(); }
};

// The booking side in this thread; tasks are raw local sockets driven without blocking.
struct BookingSide
{
    BookingSide()
    {
        book.resetSlots(3);
        name = dir.filePath("sentry");
        listening = service.listen(name);
    }

    QTemporaryDir dir;
    QString name;
    PortBook book;
    WindowUpHost host;
    BookingService service{&book, &host};
    bool listening = false;
};

TEST(BookingRobustness, ATaskThatDiesRightAfterAskingLeavesNoBookingBehind)
{
    BookingSide sentry;
    ASSERT_TRUE(sentry.listening);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QLocalSocket task;
        task.connectToServer(sentry.name);
        ASSERT_TRUE(task.waitForConnected(2000));
        task.write(BookingWire::bookRequest());
        task.flush();
        task.abort();   // gone before the answer can reach it
        // Let the service see the request and the end, in whichever order they come.
        waitUntil([&] { return false; }, 50);
        EXPECT_EQ(sentry.book.gLiveCount(), 0);
        EXPECT_EQ(sentry.book.gPortSlots(), QVector<quint32>(3, 0));
    }
}

TEST(RequestRobustness, ServersThatDieOrSendJunkLeaveTheRequestPortWorking)
{
    PortBook book;
    book.resetSlots(10);
    qint64 now = 0;
    book.setClock([&] { return now; });
    book.addLiveBooking();
    RequestListener listener(&book);
    int started = 0;
    listener.setTaskStarter([&](bool) { ++started; });
    listener.setListenAddress("127.0.0.1");
    listener.SetListeningPort(0);
    listener.StartListening(10);
    const quint16 port = listener.ListeningPort();

    book.UpdatePortState(4322, true, false);
    const QList<QByteArray> sends = {QByteArray("+"), QByteArray("?"), QByteArray(), QByteArray("x"),
                                     QByteArray(70000, '+'), QByteArray("\0+", 2)};
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<RequestClient>> servers;
        for (const QByteArray &bytes : sends) {
            servers.push_back(std::make_unique<RequestClient>(port));
            RequestClient &server = *servers.back();
            ASSERT_TRUE(server.waitConnected());
            if (!bytes.isEmpty())
                server.send(bytes);
            server.socket()->abort();   // gone at once, reply or not
            servers.pop_back();
        }
        waitUntil([&] { return listener.busyLinkCount() == 0; }, 3000);
    }
    EXPECT_EQ(listener.busyLinkCount(), 0);

    // The port offered to a server that died comes back once the offer is stale.
    now += 31;
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('+'), QByteArray("\x10\xE2", 2));
    EXPECT_EQ(server.ask('+'), QByteArray("\x00\x00", 2));
}

} // namespace
