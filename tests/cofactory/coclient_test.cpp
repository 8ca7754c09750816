#include "objserver.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>

namespace {

using namespace objserver;

struct ClientRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ClientRun runClient(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(COCLIENT_PROGRAM), args);
    ClientRun run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

TEST(SampleClient, DebugsThroughTheSwappedFactory)
{
    ObjServer server;
    server.playDebugTarget();
    server.on("Sample.Person", "%ClassName", [](const Call &) { return Reply::value("Sample.Person"); });
    ASSERT_TRUE(server.start());

    const ClientRun run = runClient({server.connectString(), "Sample.Person", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "connected\nopened Sample.Person\ndisconnected\n");
    EXPECT_EQ(server.log(), (QStringList{
                                QString("Connect(\"%1\")").arg(server.connectString()),
                                "New(\"VantrelDebug\") -> VantrelDebug#1",
                                "VantrelDebug#1.ClientIP()",
                                "VantrelDebug#1.Enable(\"127.0.0.1\")",
                                "OpenId(\"Sample.Person\",\"1\") -> Sample.Person#2",
                                "Sample.Person#2.%ClassName()",
                                "VantrelDebug#1.Disable()",
                                "VantrelDebug#1.sys_Close()",
                                "Disconnect()",
                            }));
}

TEST(SampleClient, ServerWithoutTheDebugClassStillServesTheClient)
{
    ObjServer server;
    ASSERT_TRUE(server.start());
    const ClientRun run = runClient({server.connectString()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(server.log(), (QStringList{QString("Connect(\"%1\")").arg(server.connectString()),
                                         "New(\"VantrelDebug\")", "Disconnect()"}));
    // The reason no session arrives is in the client's log.
    EXPECT_TRUE(run.err.contains("VantrelDebug")) << run.err.toStdString();
}

// The client says why it has no connection.
TEST(SampleClient, AFailedConnectionSaysWhy)
{
    QTcpServer closed;   // a port nobody listens on once closed
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString deadPort = QString::number(closed.serverPort());
    closed.close();
    const struct
    {
        QString connectString;
        QString said;
    } rows[] = {
        {"127.0.0.1:notaport", "The connect string \"127.0.0.1:notaport\" is not host:port[:namespace]"},
        {"127.0.0.1:" + deadPort, "Cannot reach the object server at 127.0.0.1:" + deadPort + ": Connection refused"},
    };
    for (const auto &row : rows) {
        const ClientRun run = runClient({row.connectString});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(row.said)) << run.err.toStdString();
    }
}

} // namespace
