#include "portbook.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A Sentry on port 4321 with live tasks booked in as the booking service books
// them: the first gets 4322 (slot 1), the second 4324, and so on.
struct Book
{
    PortBook book;
    qint64 now = 1000;

    explicit Book(int sessions = 10, int live = 0)
    {
        book.setClock([this] { return now; });
        book.resetSlots(sessions);
        for (int i = 0; i < live; ++i) {
            book.addLiveBooking();
            book.allotSlot(4321);
        }
    }
};

TEST(PortBook, OffersTheMostRecentlyReadyPortFirst)
{
    Book b(10, 2);
    b.book.UpdatePortState(4322, true, false);   // A
    b.book.UpdatePortState(4324, true, false);   // B
    EXPECT_EQ(b.book.offerReadyPort(), 4324);
    b.now += 10;
    EXPECT_EQ(b.book.offerReadyPort(), 4322);
    b.now += 10;
    EXPECT_EQ(b.book.offerReadyPort(), 0);
    EXPECT_EQ(b.book.offeredPorts(), (QList<quint16>{4324, 4322}));
}

TEST(PortBook, OfferReturnsOnlyWhenOlderThanThirtyWholeSeconds)
{
    struct Case { qint64 age; bool reoffered; };
    for (const Case c : {Case{29, false}, Case{30, false}, Case{31, true}, Case{90, true}}) {
        SCOPED_TRACE(c.age);
        Book b(10, 2);
        b.book.UpdatePortState(4322, true, false);
        ASSERT_EQ(b.book.offerReadyPort(), 4322);
        b.book.UpdatePortState(4324, true, false);   // a port that became ready after the offer
        b.now += c.age;
        // A returned offer goes to the end of the ready set, so it is picked before 4324.
        EXPECT_EQ(b.book.offerReadyPort(), c.reoffered ? 4322 : 4324);
    }
}

TEST(PortBook, TwoExpiredOffersBothComeBackOnOneRequest)
{
    Book b(10, 3);
    for (quint16 port : {4322, 4324, 4326})
        b.book.UpdatePortState(port, true, false);
    b.book.offerReadyPort();
    b.book.offerReadyPort();
    b.book.offerReadyPort();
    b.now += 31;
    EXPECT_EQ(b.book.offerReadyPort(), 4322);   // all three came back, in offer order
    EXPECT_EQ(b.book.readyPorts(), (QList<quint16>{4326, 4324}));
    EXPECT_EQ(b.book.offeredPorts(), (QList<quint16>{4322}));
}

TEST(PortBook, ListeningKeepsOneEntryAndFalseClearsBothSets)
{
    Book b(10, 3);
    b.book.UpdatePortState(4322, true, false);
    b.book.UpdatePortState(4324, true, false);
    b.book.UpdatePortState(4322, true, false);
    EXPECT_EQ(b.book.readyPorts(), (QList<quint16>{4322, 4324}));

    EXPECT_EQ(b.book.offerReadyPort(), 4324);
    b.book.UpdatePortState(4324, false, false);
    b.book.UpdatePortState(4322, false, false);
    EXPECT_TRUE(b.book.readyPorts().isEmpty());
    EXPECT_TRUE(b.book.offeredPorts().isEmpty());
}

TEST(PortBook, PortZeroNeverEntersTheSets)
{
    Book b(10, 1);
    b.book.UpdatePortState(0, true, false);
    EXPECT_TRUE(b.book.readyPorts().isEmpty());
    EXPECT_EQ(b.book.offerReadyPort(), 0);
}

// The worked example: tasks A (4322), B (4324), C (4326) booked on a 10-slot Sentry.
TEST(PortBook, LabelFollowsTheBookkeeping)
{
    Book b(10, 3);
    b.book.UpdatePortState(4322, true, false);
    b.book.UpdatePortState(4324, true, false);
    EXPECT_EQ(b.book.lblPort(), "Connected: 1, Ready: 2/9, Pending: 0");
    EXPECT_EQ(b.book.offerReadyPort(), 4324);
    EXPECT_EQ(b.book.lblPort(), "Connected: 2, Ready: 1/8, Pending: 1");
    EXPECT_EQ(b.book.offerReadyPort(), 4322);
    EXPECT_EQ(b.book.lblPort(), "Connected: 3, Ready: 0/7, Pending: 2");
    b.book.setLblPort("Handling connection...");
    EXPECT_EQ(b.book.offerReadyPort(), 0);
    EXPECT_EQ(b.book.lblPort(), "Handling connection...");   // nothing moved, nothing refreshed
    b.book.UpdatePortState(4324, false, false);
    EXPECT_EQ(b.book.lblPort(), "Connected: 3, Ready: 0/7, Pending: 1");
    b.now += 31;
    EXPECT_EQ(b.book.offerReadyPort(), 4322);
    EXPECT_EQ(b.book.lblPort(), "Connected: 3, Ready: 0/7, Pending: 1");
    for (int slot = 1; slot <= 3; ++slot) {
        b.book.removeLiveBooking();
        b.book.UpdatePortState(quint16(4321 + 2 * slot - 1), false, false);
        b.book.freeSlot(slot);
    }
    EXPECT_EQ(b.book.lblPort(), "Connected: 0, Ready: 0/10, Pending: 0");
}

TEST(PortBook, LabelFollowsBookingsInAndOutAndCountsOnlySlots)
{
    Book b(2);
    b.book.setLblPort("Listening on port 4321 for 2 sessions");
    struct Step { const char *what; std::function<void(PortBook &)> change; const char *label; };
    const Step steps[] = {
        {"A books in", [](PortBook &p) { p.addLiveBooking(); p.allotSlot(4321); },
         "Connected: 1, Ready: 0/1, Pending: 0"},
        {"B books in", [](PortBook &p) { p.addLiveBooking(); p.allotSlot(4321); },
         "Connected: 2, Ready: 0/0, Pending: 0"},
        // C finds no slot: port 0, never ready, and not connected either.
        {"C books in", [](PortBook &p) { p.addLiveBooking(); p.allotSlot(4321); },
         "Connected: 2, Ready: 0/0, Pending: 0"},
        {"A and B ready", [](PortBook &p) { p.UpdatePortState(4322, true, false); p.UpdatePortState(4324, true, false); },
         "Connected: 0, Ready: 2/2, Pending: 0"},
        {"C says ready", [](PortBook &p) { p.UpdatePortState(0, true, false); },
         "Connected: 0, Ready: 2/2, Pending: 0"},
        {"B offered", [](PortBook &p) { p.offerReadyPort(); },
         "Connected: 1, Ready: 1/1, Pending: 1"},
        {"A books out", [](PortBook &p) { p.removeLiveBooking(); p.UpdatePortState(4322, false, false); p.freeSlot(1); },
         "Connected: 1, Ready: 0/1, Pending: 1"},
    };
    for (const Step &step : steps) {
        step.change(b.book);
        EXPECT_EQ(b.book.lblPort(), step.label) << step.what;
    }
    EXPECT_EQ(b.book.gLiveCount(), 2);   // the close question still names every booking
}

TEST(PortBook, ListeningText)
{
    EXPECT_EQ(PortBook::listeningText(4321, 10), "Listening on port 4321 for 10 sessions");
    EXPECT_EQ(PortBook::listeningText(5000, 3), "Listening on port 5000 for 3 sessions");
    EXPECT_EQ(PortBook::listeningText(4321, 1), "Listening on port 4321 for 1 session");
}

TEST(PortBook, SlotsGiveEveryOtherPortAndAreReused)
{
    PortBook book;
    book.resetSlots(10);
    EXPECT_EQ(book.allotSlot(4321).port, 4322);
    EXPECT_EQ(book.allotSlot(4321).port, 4324);
    book.freeSlot(1);
    const PortBook::Allotment again = book.allotSlot(4321);
    EXPECT_EQ(again.slot, 1);
    EXPECT_EQ(again.port, 4322);
    EXPECT_EQ(book.allotSlot(4321).port, 4326);
    for (int i = 4; i <= 10; ++i)
        EXPECT_EQ(book.allotSlot(4321).port, 4321 + 2 * (i - 1) + 1);
    const PortBook::Allotment none = book.allotSlot(4321);   // the eleventh task
    EXPECT_EQ(none.slot, 0);
    EXPECT_EQ(none.port, 0);
}

TEST(PortBook, SlotPortsNeverPassTheLastPort)
{
    struct Case { quint16 sentryPort; int slot; quint32 port; };
    for (const Case c : {Case{4321, 10, 4340}, Case{40001, 1, 40002}, Case{65530, 3, 65535},
                         Case{65530, 4, 0}, Case{65535, 1, 0}}) {
        EXPECT_EQ(PortBook::slotPort(c.sentryPort, c.slot), c.port) << c.sentryPort << " slot " << c.slot;
    }
    PortBook book;
    book.resetSlots(5);
    QList<quint16> ports;
    for (int i = 0; i < 5; ++i)
        ports.append(book.allotSlot(65530).port);
    EXPECT_EQ(ports, (QList<quint16>{65531, 65533, 65535, 0, 0}));
}

} // namespace
