#include "debug.h"
#include "fakes.h"

#include <gtest/gtest.h>

namespace {

// A Debug connected (or not) to a recording factory whose server objects are set up per case.
struct DebugCase
{
    const char *name;
    std::function<void(FakeServerDebug &)> server;   // how the server object behaves
    std::function<bool(Debug &)> act;                // the call under test, after Connect
    bool expected;
    QString lastError;
    QStringList serverCalls;                         // the server object's calls during act
};

FakeServerDebug &withEnable2(FakeServerDebug &o, const QVariant &answer)
{
    o.answers.insert("Enable2", answer);
    return o;
}

TEST(DebugTest, EnableAndDisableTable)
{
    const QList<DebugCase> cases{
        {"Enable2 answers \"\"", [](FakeServerDebug &o) { withEnable2(o, QString()); },
         [](Debug &d) { return d.Enable(); }, true, "", {"debug1.ClientIP()", "debug1.Enable2(\"10.0.0.9\")"}},
        {"Enable2 answers a text", [](FakeServerDebug &o) { withEnable2(o, QString("busy")); },
         [](Debug &d) { return d.Enable(); }, false, "busy", {"debug1.ClientIP()", "debug1.Enable2(\"10.0.0.9\")"}},
        {"no Enable2, Enable answers False", [](FakeServerDebug &o) { o.answers.insert("Enable", false); },
         [](Debug &d) { return d.Enable(); }, false, "Vantrel Debugger session could not be enabled",
         {"debug1.ClientIP()", "debug1.Enable2(\"10.0.0.9\")", "debug1.ClientIP()", "debug1.Enable(\"10.0.0.9\")"}},
        {"no Enable2, Enable answers True", [](FakeServerDebug &) {},
         [](Debug &d) { return d.Enable(); }, true, "",
         {"debug1.ClientIP()", "debug1.Enable2(\"10.0.0.9\")", "debug1.ClientIP()", "debug1.Enable(\"10.0.0.9\")"}},
        {"both raise", [](FakeServerDebug &o) { o.raising.insert("Enable"); },
         [](Debug &d) { return d.Enable(); }, false, "Enable failed",
         {"debug1.ClientIP()", "debug1.Enable2(\"10.0.0.9\")", "debug1.ClientIP()", "debug1.Enable(\"10.0.0.9\")"}},
        {"Disable2 answers \"\"", [](FakeServerDebug &o) { o.answers.insert("Disable2", QString()); },
         [](Debug &d) { return d.Disable(); }, true, "", {"debug1.Disable2()"}},
        {"Disable2 answers a text", [](FakeServerDebug &o) { o.answers.insert("Disable2", QString("no")); },
         [](Debug &d) { return d.Disable(); }, false, "no", {"debug1.Disable2()"}},
        {"no Disable2", [](FakeServerDebug &) {},
         [](Debug &d) { return d.Disable(); }, true, "", {"debug1.Disable2()", "debug1.Disable()"}},
    };
    for (const DebugCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto log = std::make_shared<CallLog>();
        RecordingFactory factory(log);
        factory.configure = [&](FakeServerDebug &o) {
            o.answers.insert("Enable2", QString());   // Connect's own Enable succeeds
            o.answers.insert("Enable", true);
        };
        Debug debug;
        ASSERT_TRUE(debug.Connect(factory));
        auto &server = *factory.made.first();
        server.answers.remove("Enable2");
        c.server(server);
        log->lines.clear();
        EXPECT_EQ(c.act(debug), c.expected);
        EXPECT_EQ(debug.LastError(), c.lastError);
        EXPECT_EQ(log->lines, c.serverCalls);
    }
}

TEST(DebugTest, BeforeConnectAndFailingConnects)
{
    auto log = std::make_shared<CallLog>();
    RecordingFactory factory(log);
    {
        Debug debug;
        EXPECT_EQ(debug.LastError(), "");
        EXPECT_FALSE(debug.Enable());
        EXPECT_EQ(debug.LastError(), "No Factory yet supplied to Connect");
        EXPECT_FALSE(debug.Disable());
        EXPECT_EQ(debug.LastError(), "No Factory yet supplied to Connect");
    }
    {
        SCOPED_TRACE("New raises: False with its description, never raised");
        factory.raising.insert(4);
        Debug debug;
        EXPECT_FALSE(debug.Connect(factory));
        EXPECT_EQ(debug.LastError(), "call 4 failed");
        factory.raising.clear();
    }
    {
        SCOPED_TRACE("New answers no object: False, and Enable says why");
        factory.answers.insert(4, nullValue());
        Debug debug;
        EXPECT_FALSE(debug.Connect(factory));
        EXPECT_EQ(debug.LastError(), "No Factory yet supplied to Connect");
        factory.answers.remove(4);
    }
    {
        SCOPED_TRACE("a successful Connect leaves LastError empty");
        Debug debug;
        factory.configure = [](FakeServerDebug &o) { o.answers.insert("Enable2", QString()); };
        EXPECT_TRUE(debug.Connect(factory));
        EXPECT_EQ(debug.LastError(), "");
        // The late-bound face answers the same.
        QVariantList none;
        EXPECT_EQ(debug.Invoke(Debug::DispLastError, none).toString(), "");
        EXPECT_TRUE(debug.call(QStringLiteral("Enable")).toBool());
    }
}

TEST(DebugTest, DisableRaisesWhenBothDisablesFail)
{
    auto log = std::make_shared<CallLog>();
    RecordingFactory factory(log);
    factory.configure = [](FakeServerDebug &o) { o.raising.insert("Disable"); };
    Debug debug;
    ASSERT_TRUE(debug.Connect(factory));
    EXPECT_THROW(debug.Disable(), ComError);
}

TEST(DebugTest, ConnectTwiceReleasesTheOldObjectAndIsNeverStuck)
{
    auto log = std::make_shared<CallLog>();
    RecordingFactory factory(log);
    Debug debug;
    ASSERT_TRUE(debug.Connect(factory));
    log->lines.clear();
    ASSERT_TRUE(debug.Connect(factory));
    EXPECT_EQ(log->lines.mid(0, 3), (QStringList{"debug1.Disable()", "debug1.sys_Close()", "4(\"VantrelDebug\")"}));

    // The held object's release fails: this Connect reports it, the next one works.
    factory.made.last()->raising.insert("sys_Close");
    log->lines.clear();
    EXPECT_FALSE(debug.Connect(factory));
    EXPECT_EQ(debug.LastError(), "sys_Close failed");
    EXPECT_EQ(log->lines, (QStringList{"debug2.Disable()", "debug2.sys_Close()"}));
    log->lines.clear();
    EXPECT_TRUE(debug.Connect(factory));
    EXPECT_EQ(debug.LastError(), "");
    EXPECT_EQ(log->lines.first(), "4(\"VantrelDebug\")");
}

TEST(DebugTest, DestroyingItAfterTheServerWentAwayRaisesNothing)
{
    auto log = std::make_shared<CallLog>();
    RecordingFactory factory(log);
    factory.configure = [](FakeServerDebug &o) {
        o.raising.insert("Disable");
        o.raising.insert("sys_Close");
    };
    {
        Debug debug;
        ASSERT_TRUE(debug.Connect(factory));
        log->lines.clear();
    }   // would end the program if the destructor let the error out
    EXPECT_EQ(log->lines, (QStringList{"debug1.Disable()", "debug1.sys_Close()"}));
}

} // namespace
