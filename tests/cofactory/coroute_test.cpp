#include "mainwindowfixture.h"

#include "clientfactory.h"
#include "debugfactory.h"
#include "objserver.h"

namespace {

// The road a debugging client opens: DebugFactory enables "VantrelDebug" on the
// server, whose process then asks the Sentry here for a ready task and greets it.
TEST_F(MainWindowTest, AClientDebuggingThroughVantrelCOBringsTheServerProcessToATask)
{
    using namespace mserver;
    useRealSentry();
    frmMDI *window = start("SQ0");
    ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();

    objserver::ObjServer server;
    objserver::DebugTargetOptions target;
    target.sentryPort = sentryPort;
    target.session = QList<Step>{
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "4711", "USER"}),
        expectAck(),
    } + greetingAnswer();
    server.playDebugTarget(target);
    ASSERT_TRUE(server.start());

    ObjectRegistry::Scope scope;
    CacheObject::registerClasses();
    DebugFactory factory;
    ASSERT_TRUE(factory.Connect(server.connectString()));
    ASSERT_TRUE(server.waitForSession(20000)) << server.sessionFailure().toStdString();
    EXPECT_TRUE(server.session()->wait(20000)) << server.session()->failure().toStdString();
    EXPECT_TRUE(waitUntil([&] { return window->windowTitle().startsWith("Vantrel - Job 4711 in USER"); }, 10000))
        << window->windowTitle().toStdString();

    EXPECT_TRUE(factory.Disconnect());
    EXPECT_EQ(server.log().mid(1, 3), (QStringList{"New(\"VantrelDebug\") -> VantrelDebug#1",
                                                   "VantrelDebug#1.ClientIP()",
                                                   "VantrelDebug#1.Enable(\"127.0.0.1\")"}));
}

} // namespace
