#include "singleinstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString answerOf(QProcess &process)
{
    process.waitForReadyRead(10000);
    return QString::fromUtf8(process.readLine()).trimmed();
}

TEST(SingleInstance, ALiveHolderKeepsTheLockAndADeadOneLosesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString lockPath = dir.filePath("deeper/app.lock");   // the folder is made on demand

    QProcess holder;
    holder.start(SINGLEINSTANCE_HOLDER, {lockPath});
    ASSERT_EQ(answerOf(holder), "LOCKED");
    const qint64 holderPid = holder.processId();
    EXPECT_EQ(SingleInstance::holder(lockPath), holderPid);

    SingleInstance mine(lockPath);
    EXPECT_FALSE(mine.tryLock());

    holder.kill();   // SIGKILL: its lock file stays behind
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_EQ(SingleInstance::holder(lockPath), holderPid);

    ASSERT_TRUE(mine.tryLock());
    EXPECT_EQ(SingleInstance::holder(lockPath), QCoreApplication::applicationPid());

    // Now this process is the live holder another copy runs into.
    QProcess late;
    late.start(SINGLEINSTANCE_HOLDER, {lockPath});
    EXPECT_EQ(answerOf(late), "REFUSED");
    EXPECT_TRUE(late.waitForFinished(5000));
}

TEST(SingleInstance, NoLockFileHasNoHolder)
{
    QTemporaryDir dir;
    EXPECT_EQ(SingleInstance::holder(dir.filePath("none.lock")), 0);
}

} // namespace
