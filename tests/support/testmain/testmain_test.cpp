// A test that ends, by passing or by crashing, takes along every process it started,
// also one started detached that no longer has it as its parent.
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace {

TEST(TestMain, ADetachedProcessEndsWithTheTestThatStartedIt)
{
    const struct { const char *end; QProcess::ExitStatus status; } cases[] = {
        {"pass", QProcess::NormalExit},
        {"abort", QProcess::CrashExit},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.end);
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("pid"));
        QProcess test;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORPHAN_PID_FILE"), pidFile);
        env.insert(QStringLiteral("ORPHAN_END"), QString::fromLatin1(c.end));
        test.setProcessEnvironment(env);
        test.start(QStringLiteral(ORPHAN_LEAVER), {});
        ASSERT_TRUE(test.waitForFinished(60000));
        EXPECT_EQ(test.exitStatus(), c.status);

        QFile file(pidFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const qint64 pid = file.readAll().toLongLong();
        ASSERT_GT(pid, 0);
        // Gone, not merely orphaned: the harness has ended and reaped it before it ended.
        errno = 0;
        EXPECT_EQ(::kill(pid_t(pid), 0), -1);
        EXPECT_EQ(errno, ESRCH);
        if (::kill(pid_t(pid), 0) == 0)
            ::kill(pid_t(pid), SIGKILL);
    }
}

} // namespace
