#include "bookingendpoint.h"
#include "connection2.h"
#include "isentrybooking.h"
#include "vantrelerror.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class FakeBooking : public ISentryBooking
{
public:
    void Listening(bool) override {}
    quint16 Port() const override { return 4322; }
    QString LocalAddress() const override { return QString(); }
    quint16 SentryPort() const override { return 4321; }
};

TEST(SentryBookingFactory, CreatesTheFakeWhenSetAndAConnection2Otherwise)
{
    setSentryBookingFactory([] { return std::make_unique<FakeBooking>(); });
    EXPECT_EQ(makeSentryBooking()->Port(), 4322);
    setSentryBookingFactory(nullptr);

    // No Sentry and none to start: the real booking's activation error reaches the caller.
    QTemporaryDir dir;
    qputenv(BookingEndpoint::SocketVariable, dir.filePath("nobody").toUtf8());
    qputenv(BookingEndpoint::ProgramVariable, dir.filePath("VantrelSentry").toUtf8());
    try {
        makeSentryBooking();
        FAIL() << "booked without a Sentry";
    } catch (const VantrelError &error) {
        EXPECT_EQ(error.number(), Connection2::ServerExecutionFailed);
    }
    qunsetenv(BookingEndpoint::SocketVariable);
    qunsetenv(BookingEndpoint::ProgramVariable);
}

} // namespace
