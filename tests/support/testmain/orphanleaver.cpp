// Starts a process detached, as the booking client starts a Sentry, writes its pid to
// the file named by ORPHAN_PID_FILE, and ends as ORPHAN_END says: "abort" crashes,
// anything else passes.
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>

TEST(OrphanLeaver, StartsADetachedProcessAndEnds)
{
    qint64 pid = 0;
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("600")}, QString(), &pid));
    QFile file(qEnvironmentVariable("ORPHAN_PID_FILE"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(pid));
    file.close();
    if (qEnvironmentVariable("ORPHAN_END") == QLatin1String("abort"))
        std::abort();
}
