#include "bookingendpoint.h"

#include <QCoreApplication>
#include <QDir>

#include <unistd.h>

namespace BookingEndpoint {

QString serverName()
{
    const QString overridden = qEnvironmentVariable(SocketVariable);
    if (!overridden.isEmpty())
        return overridden;
    // The runtime directory is private to the user; the temporary directory is
    // shared, so there the user id keeps two users' Sentries apart.
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir(runtimeDir).exists())
        return QDir(runtimeDir).filePath(QStringLiteral("vantrel-sentry"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("vantrel-sentry-%1").arg(::getuid()));
}

QString lockFilePath()
{
    const QString name = serverName();
    if (name.contains(QLatin1Char('/')))
        return name + QStringLiteral(".lock");
    return QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock"));
}

QString sentryProgram()
{
    const QString overridden = qEnvironmentVariable(ProgramVariable);
    if (!overridden.isEmpty())
        return overridden;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("VantrelSentry"));
}

} // namespace BookingEndpoint
