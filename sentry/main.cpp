#include "bookingendpoint.h"
#include "messageboxprompt.h"
#include "sentryapp.h"
#include "sentrycore.h"
#include "singleinstance.h"
#include "statustexts.h"
#include "userprompt.h"

#include <QApplication>

#include <cstdio>

// VantrelSentry [port [sessions]]     started by hand: window, tray icon, listening
// VantrelSentry -Embedding            started by a task's booking: waits for it
//
// The environment can move a Sentry out of everybody's way (tests run many at once):
//   VANTREL_SENTRY_SOCKET                 the local server name (and, beside it, the lock file)
//   VANTREL_SENTRY_EMBEDDED_COMMAND_LINE  "[port [sessions]]" for a Sentry started by a booking
//   VANTREL_SENTRY_LISTEN_ADDRESS         the request port's address instead of every interface
//   VANTREL_SENTRY_QUIET                  boxes go to stderr, answered cautiously
//   VANTREL_SENTRY_TASK_PROGRAM           the program started as a new task instead of the
//                                         Vantrel beside the Sentry (tests start a recorder)

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VantrelSentry"));
    // The window hides into the tray; the Sentry ends only when it is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList arguments = QApplication::arguments().mid(1);
    const bool embedded = arguments.contains(QString::fromLatin1(BookingEndpoint::EmbeddingArgument));
    const QString commandLine = arguments.join(QLatin1Char(' '));

    // With VANTREL_SENTRY_QUIET the boxes go to stderr and are answered cautiously,
    // for runs nobody watches.
    if (qEnvironmentVariableIsEmpty("VANTREL_SENTRY_QUIET"))
        setUserPrompt(std::make_shared<MessageBoxPrompt>(StatusTexts::caption()));

    SingleInstance instance(BookingEndpoint::lockFilePath());
    if (!instance.tryLock()) {
        // A copy started for a booking lost the race to another one; the task's
        // retries reach the winner.
        if (embedded)
            return 0;
        tellUser(StatusTexts::onlyOneInstance(), StatusTexts::caption(), IUserPrompt::Icon::Critical);
        return 1;
    }

    SentryApp sentry;
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
