#include "sentrytestsupport.h"
#include "singleinstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Each test gets a private Sentry: its own local server name and lock file in a
// temporary directory, and a request port nothing else uses. A task it starts is
// the recorder, which notes its arguments in the directory and ends.
class SentryProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        port = freeSentryPort(3);
        env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTREL_SENTRY_SOCKET", dir.filePath("sentry"));
        env.insert("VANTREL_SENTRY_PROGRAM", SENTRY_PROGRAM);
        env.insert("VANTREL_SENTRY_EMBEDDED_COMMAND_LINE", QString("%1 3").arg(port));
        env.insert("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
        env.insert("VANTREL_SENTRY_QUIET", "1");
        env.insert("VANTREL_SENTRY_TASK_PROGRAM", TASK_RECORDER);
        env.insert("VANTREL_TASK_RECORD", recordPath());
        env.insert("QT_QPA_PLATFORM", "offscreen");
    }

    void TearDown() override
    {
        for (auto &process : processes) {
            process->kill();
            process->waitForFinished(3000);
        }
        // The Sentry a task started is nobody's child; the lock names it. A Sentry that
        // lost a start race may still be on its way and take the lock once the winner is
        // gone, so the lock is read again until nobody new holds it.
        qint64 ended = 0;   // the holder ended in the round before, if any
        for (int round = 0; round < 10; ++round) {
            const qint64 sentry = SingleInstance::holder(lockPath());
            if (sentry <= 0 || sentry == qint64(::getpid()) || ::kill(pid_t(sentry), 0) != 0) {
                if (round > 0 && ended == 0)
                    break;
                ended = 0;
                waitUntil([] { return false; }, 100);
                continue;
            }
            ::kill(pid_t(sentry), SIGTERM);
            ended = sentry;
            waitUntil([] { return false; }, 100);
        }
    }

    QString lockPath() const { return dir.filePath("sentry.lock"); }
    QString recordPath() const { return dir.filePath("tasks"); }

    // The argument lines of the tasks started so far.
    QStringList startedTasks() const
    {
        QFile record(recordPath());
        if (!record.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QProcess *start(const QString &program, const QStringList &arguments)
    {
        processes.push_back(std::make_unique<QProcess>());
        QProcess *process = processes.back().get();
        process->setProcessEnvironment(env);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    QProcess *task(const QStringList &arguments = {}) { return start(BOOKING_CLIENT, arguments); }

    static QString lineOf(QProcess *process)
    {
        waitUntil([process] { return process->canReadLine() || process->state() == QProcess::NotRunning; }, 20000);
        return QString::fromUtf8(process->readLine()).trimmed();
    }

    QString booked(quint16 taskPort) const
    {
        return QString("BOOKED %1 %2 ").arg(taskPort).arg(port);
    }

    QTemporaryDir dir;
    quint16 port = 0;
    QProcessEnvironment env;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(SentryProcessTest, ATaskStartsTheSentryAndADeadTaskFreesItsSlot)
{
    QProcess *first = task({"listen"});
    EXPECT_TRUE(lineOf(first).startsWith(booked(port + 1)));
    const qint64 sentry = SingleInstance::holder(lockPath());
    ASSERT_GT(sentry, 0);
    EXPECT_EQ(::kill(pid_t(sentry), 0), 0);

    QProcess *second = task();
    EXPECT_TRUE(lineOf(second).startsWith(booked(port + 3)));

    // The Sentry the task started answers servers on its request port.
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(replyPort(server.ask('+')), port + 1);

    first->kill();   // SIGKILL: no chance to say goodbye
    first->waitForFinished(3000);
    QProcess *third = task();
    EXPECT_TRUE(lineOf(third).startsWith(booked(port + 1)));
    EXPECT_EQ(SingleInstance::holder(lockPath()), sentry);
}

TEST_F(SentryProcessTest, ASentryThatDiedIsReplacedDespiteItsLeftovers)
{
    QProcess *first = task();
    EXPECT_TRUE(lineOf(first).startsWith(booked(port + 1)));
    const qint64 dead = SingleInstance::holder(lockPath());
    ASSERT_GT(dead, 0);
    ::kill(pid_t(dead), SIGKILL);   // leaves its socket file and its lock file behind
    ASSERT_TRUE(waitUntil([&] { return ::kill(pid_t(dead), 0) != 0; }, 5000));

    QProcess *second = task();
    EXPECT_TRUE(lineOf(second).startsWith(booked(port + 1)));
    const qint64 replacement = SingleInstance::holder(lockPath());
    EXPECT_GT(replacement, 0);
    EXPECT_NE(replacement, dead);
}

TEST_F(SentryProcessTest, TwoTasksRacingStartOneSentry)
{
    QProcess *a = task();
    QProcess *b = task();
    const QStringList lines = {lineOf(a), lineOf(b)};
    QStringList ports;
    for (const QString &line : lines) {
        ASSERT_TRUE(line.startsWith("BOOKED ")) << line.toStdString();
        ports.append(line.section(' ', 1, 1));
    }
    ports.sort();
    // One slot table handed out both ports; two Sentries would each have given port + 1.
    EXPECT_EQ(ports, (QStringList{QString::number(port + 1), QString::number(port + 3)}));
}

TEST_F(SentryProcessTest, ASecondHandStartedSentryRefusesToRun)
{
    QProcess *sentry = start(SENTRY_PROGRAM, {QString::number(port), "2"});
    ASSERT_TRUE(waitUntil([&] {
        RequestClient probe(port);
        return probe.waitConnected(200);
    }, 10000));

    QProcess *second = start(SENTRY_PROGRAM, {QString::number(freeLoopbackPort())});
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_TRUE(second->readAllStandardError().contains("Only one instance is permitted"));

    EXPECT_EQ(sentry->state(), QProcess::Running);
    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));

    // A task books with the hand-started Sentry rather than starting another.
    QProcess *booking = task();
    EXPECT_TRUE(lineOf(booking).startsWith(booked(port + 1)));
}

TEST_F(SentryProcessTest, AServerFindingNoTaskReadyGetsOneTaskStarted)
{
    QProcess *sentry = start(SENTRY_PROGRAM, {QString::number(port), "2"});
    ASSERT_TRUE(waitUntil([&] {
        RequestClient probe(port);
        return probe.waitConnected(200);
    }, 10000));

    RequestClient server(port);
    ASSERT_TRUE(server.waitConnected());
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    // Asking again before the started task has booked in starts no second one.
    EXPECT_EQ(server.ask('?'), QByteArray("\x00\x00", 2));
    EXPECT_TRUE(waitUntil([&] { return !startedTasks().isEmpty(); }, 10000));
    waitUntil([] { return false; }, 200);   // room for a second task to show, were there one
    EXPECT_EQ(startedTasks(), QStringList{"SQ0"});
    EXPECT_EQ(sentry->state(), QProcess::Running);
}

TEST_F(SentryProcessTest, AStartedSentryThatCannotListenTellsTheTaskAndEnds)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::LocalHost, port));

    QProcess *booking = task();
    EXPECT_EQ(lineOf(booking), QString("ERROR -2147220991 Port %1 may be in use by another task on this PC").arg(port));
    EXPECT_TRUE(waitUntil([&] {
        const qint64 sentry = SingleInstance::holder(lockPath());
        return sentry <= 0 || ::kill(pid_t(sentry), 0) != 0;
    }, 10000));
}

} // namespace
