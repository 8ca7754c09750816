// A task that only books in: prints its booking (or the error) on one line and
// keeps the booking until it is killed. "listen" as argument also sets Listening.
#include "connection2.h"
#include "vantrelerror.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        Connection2 booking;
        std::printf("BOOKED %u %u %s\n", booking.Port(), booking.SentryPort(), qPrintable(booking.LocalAddress()));
        std::fflush(stdout);
        if (app.arguments().contains(QStringLiteral("listen")))
            booking.Listening(true);
        return app.exec();
    } catch (const VantrelError &error) {
        std::printf("ERROR %d %s\n", qint32(error.number()), qPrintable(error.text()));
        std::fflush(stdout);
        return 2;
    }
}
