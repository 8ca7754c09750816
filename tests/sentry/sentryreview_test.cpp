#include "bookinghost.h"
#include "bookingservice.h"
#include "bookingwire.h"
#include "portbook.h"
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

} // namespace
