#include "bookingendpoint.h"
#include "messageservice.h"
#include "sentryapp.h"
#include "sentrycore.h"
#include "singleinstance.h"
#include "statustexts.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VantrelSentry"));
    // The window hides into the tray; the Sentry ends only when it is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList arguments = QApplication::arguments().mid(1);
    const bool embedded = arguments.contains(QString::fromLatin1(BookingEndpoint::EmbeddingArgument));
    const QString commandLine = arguments.join(QLatin1Char(' '));

    std::unique_ptr<MessageService> messages = MessageService::create();

    SingleInstance instance(BookingEndpoint::lockFilePath());
    if (!instance.tryLock()) {
        // A copy started for a booking lost the race to another one; the task's
        // retries reach the winner.
        if (embedded)
            return 0;
        messages->inform(StatusTexts::caption(), StatusTexts::onlyOneInstance(), MessageService::Critical);
        return 1;
    }

    SentryApp sentry(messages.get());
    const QString listenAddress = qEnvironmentVariable("VANTREL_SENTRY_LISTEN_ADDRESS");
    if (!listenAddress.isEmpty())
        sentry.core()->setListenAddress(listenAddress);
    QObject::connect(&sentry, &SentryApp::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);

    QString bookingError;
    const bool bookingOpen = sentry.openBookingServer(BookingEndpoint::serverName(), &bookingError);
    if (!bookingOpen)
        std::fprintf(stderr, "VantrelSentry: tasks cannot book in: %s\n", qPrintable(bookingError));

    if (embedded) {
        if (!bookingOpen)
            return 1;
        sentry.setEmbeddedCommandLine(qEnvironmentVariable("VANTREL_SENTRY_EMBEDDED_COMMAND_LINE"));
        sentry.waitForFirstBooking();
    } else if (!sentry.startByHand(commandLine)) {
        return 1;
    }
    return app.exec();
}
