#include "addin.h"
#include "clientfactory.h"
#include "heaptuning.h"
#include "messageboxprompt.h"
#include "programicon.h"
#include "userprompt.h"

#include <QApplication>

// Vantrel                 an interactive start
// Vantrel SQ<handle>      started by the Sentry for a waiting server: listens at once
// Vantrel S               started from the Sentry's tray menu: like an interactive start
//
// The environment:
//   VANTREL_QUIET           message boxes go to stderr and are answered cautiously
//   VANTREL_INSTANCE_LOCK   the lock file of the one interactive copy
//   VANTREL_ASSUME_WINE     1: take the Wine branches (for checking them by hand)
//   VANTREL_SENTRY_*        where the Sentry is found (see VantrelSentry)
int main(int argc, char **argv)
{
    keepHeapForFrames();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setOrganizationName(QStringLiteral("Brindlecote"));
    // Boxes shown before the main window exists, or without it, carry the picture too.
    QApplication::setWindowIcon(programIcon());

    if (qEnvironmentVariableIsEmpty("VANTREL_QUIET"))
        setUserPrompt(std::make_shared<MessageBoxPrompt>(QStringLiteral("Vantrel")));

    // Before the main window: its Attach dialog creates the object factory by name.
    CacheObject::registerClasses();

    AddIn::setCommandLine(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
    if (!AddIn::Main())
        return AddIn::exitRequested() ? AddIn::exitCode() : 0;
    return app.exec();
}
