#include "bookingendpoint.h"
#include "bookingwire.h"
#include "connection2.h"
#include "vantrelerror.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Connection2, NoSentryAndNoProgramToStartIsAnActivationError)
{
    QTemporaryDir dir;
    Connection2::Options options;
    options.serverName = dir.filePath("nobody");
    options.sentryProgram = dir.filePath("VantrelSentry");
    try {
        Connection2 task(options);
        FAIL() << "booked without a Sentry";
    } catch (const VantrelError &error) {
        EXPECT_EQ(error.number(), Connection2::ServerExecutionFailed);
        EXPECT_TRUE(error.text().contains(options.sentryProgram));
    }
}

TEST(BookingWire, RoundTrips)
{
    const auto booked = BookingWire::parseReply(BookingWire::bookedReply(4322, 4321, QString()).chopped(1));
    EXPECT_EQ(booked.kind, BookingWire::Reply::Booked);
    EXPECT_EQ(booked.port, 4322);
    EXPECT_EQ(booked.localAddress, "");
    const auto error = BookingWire::parseReply(
        BookingWire::errorReply(-2147220991, "VantrelSentry", "line one\r\nline two\\").chopped(1));
    EXPECT_EQ(error.kind, BookingWire::Reply::Error);
    EXPECT_EQ(error.number, -2147220991);
    EXPECT_EQ(error.source, "VantrelSentry");
    EXPECT_EQ(error.description, "line one\r\nline two\\");
    EXPECT_EQ(BookingWire::parseReply("BOOKED 70000 1 x").kind, BookingWire::Reply::Invalid);
    EXPECT_EQ(BookingWire::parseRequest("LISTENING 0").listening, false);
    EXPECT_EQ(BookingWire::parseRequest("LISTENING 2").kind, BookingWire::Request::Invalid);
}

TEST(BookingEndpoint, PerUserNameUnlessOverridden)
{
    const QByteArray saved = qgetenv(BookingEndpoint::SocketVariable);
    qunsetenv(BookingEndpoint::SocketVariable);
    EXPECT_TRUE(BookingEndpoint::serverName().contains("vantrel-sentry"));
    EXPECT_EQ(BookingEndpoint::lockFilePath(), BookingEndpoint::serverName() + ".lock");

    qputenv(BookingEndpoint::SocketVariable, "/tmp/x/sentry");
    EXPECT_EQ(BookingEndpoint::serverName(), "/tmp/x/sentry");
    EXPECT_EQ(BookingEndpoint::lockFilePath(), "/tmp/x/sentry.lock");
    if (saved.isNull())
        qunsetenv(BookingEndpoint::SocketVariable);
    else
        qputenv(BookingEndpoint::SocketVariable, saved);
}

} // namespace
