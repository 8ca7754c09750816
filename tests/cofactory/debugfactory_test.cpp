#include "clientfactory.h"
#include "debugfactory.h"
#include "fakes.h"
#include "objserver.h"

#include <gtest/gtest.h>

#include <QtGlobal>

namespace {

using CacheObject::Optional;

// A DebugFactory whose real factory is the recording fake, registered under the
// real factory's class identity for the test's lifetime.
class DebugFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ObjectRegistry::registerClass(CacheObject::FactoryClsid, QString(), [this] {
            ++created;
            return fake;
        });
    }

    ObjectRegistry::Scope scope;   // restores the registry afterwards
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<RecordingFactory> fake = std::make_shared<RecordingFactory>(log);
    int created = 0;
};

// Collects the library's log lines while alive.
class WarningCatcher
{
public:
    WarningCatcher() { s_lines.clear(); m_previous = qInstallMessageHandler(&WarningCatcher::handle); }
    ~WarningCatcher() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &text) { s_lines.append(text); }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

TEST_F(DebugFactoryTest, EveryMemberReachesTheRealFactoryWithItsNumberAndArguments)
{
    const DispatchPtr object = std::make_shared<FakeServerDebug>(log, "other");
    for (qint32 id : {5, 6, 7, 8, 11, 20})
        fake->answers.insert(id, objectValue(object));
    for (qint32 id : {9, 12, 13, 14, 19, 26})
        fake->answers.insert(id, QStringLiteral("text"));
    for (qint32 id : {16, 17, 18, 24})
        fake->answers.insert(id, 3);

    const QVariant a = QStringLiteral("a"), b = QStringLiteral("b"), c = QStringLiteral("c");
    CacheObject::ErrorParams all;
    for (int i = 0; i < 10; ++i)
        all[i] = i + 1;
    struct Row
    {
        const char *call;
        std::function<void(DebugFactory &)> run;
        QString expected;
    };
    const QList<Row> rows{
        {"SetLogMask", [](DebugFactory &f) { f.SetLogMask(5); }, "3(5)"},
        {"New", [](DebugFactory &f) { f.New("C"); }, "4(\"C\")"},
        {"New vtInit", [](DebugFactory &f) { f.New("C", 7); }, "4(\"C\",7)"},
        {"Open", [](DebugFactory &f) { f.Open("C", "1"); }, "5(\"C\",\"1\")"},
        {"Open concurency", [](DebugFactory &f) { f.Open("C", "1", 4); }, "5(\"C\",\"1\",4)"},
        {"OpenEx", [](DebugFactory &f) { f.OpenEx("C", "1"); }, "6(\"C\",\"1\")"},
        {"OpenEx concurency", [](DebugFactory &f) { f.OpenEx("C", "1", 4); }, "6(\"C\",\"1\",4)"},
        {"OpenId", [](DebugFactory &f) { f.OpenId("C", "1"); }, "7(\"C\",\"1\")"},
        {"OpenId concurency", [](DebugFactory &f) { f.OpenId("C", "1", 4); }, "7(\"C\",\"1\",4)"},
        {"Static", [](DebugFactory &f) { f.Static("C"); }, "8(\"C\")"},
        {"ConnectDlg", [](DebugFactory &f) { f.ConnectDlg(); }, "9()"},
        {"ConnectDlg title", [](DebugFactory &f) { f.ConnectDlg(QStringLiteral("T")); }, "9(\"T\")"},
        {"IsConnected", [](DebugFactory &f) { f.IsConnected(); }, "10()"},
        {"ResultSet", [](DebugFactory &f) { f.ResultSet("C", "Q"); }, "11(\"C\",\"Q\")"},
        {"GetClassName", [](DebugFactory &f) { f.GetClassName("1"); }, "12(\"1\")"},
        {"GetID", [](DebugFactory &f) { f.GetID("x"); }, "13(\"x\")"},
        {"GetErrorText code only", [](DebugFactory &f) { f.GetErrorText(5); }, "14(5)"},
        {"GetErrorText leading run", [&](DebugFactory &f) { f.GetErrorText(5, {a, b}); }, "14(5,\"a\",\"b\")"},
        {"GetErrorText gap ends the run", [&](DebugFactory &f) { f.GetErrorText(5, {a, std::nullopt, c}); },
         "14(5,\"a\")"},
        {"GetErrorText first missing", [&](DebugFactory &f) { f.GetErrorText(5, {std::nullopt, b}); }, "14(5)"},
        {"GetErrorText all ten", [&](DebugFactory &f) { f.GetErrorText(5, all); }, "14(5,1,2,3,4,5,6,7,8,9,10)"},
        {"SetOutput", [](DebugFactory &f) { f.SetOutput(1); }, "15(1)"},
        {"GetLastErrorCount", [](DebugFactory &f) { f.GetLastErrorCount(); }, "16()"},
        {"GetLastErrorNumber", [](DebugFactory &f) { f.GetLastErrorNumber(); }, "17()"},
        {"GetLastErrorNumber ErrNo", [](DebugFactory &f) { f.GetLastErrorNumber(2); }, "17(2)"},
        {"GetLastErrorParamCount", [](DebugFactory &f) { f.GetLastErrorParamCount(); }, "18()"},
        {"GetLastErrorParamCount ErrNo", [](DebugFactory &f) { f.GetLastErrorParamCount(2); }, "18(2)"},
        {"GetLastErrorParam none", [](DebugFactory &f) { f.GetLastErrorParam(); }, "19()"},
        {"GetLastErrorParam ErrNo", [](DebugFactory &f) { f.GetLastErrorParam(2); }, "19(2)"},
        {"GetLastErrorParam both", [](DebugFactory &f) { f.GetLastErrorParam(2, 3); }, "19(2,3)"},
        {"GetLastErrorParam ParamNo", [](DebugFactory &f) { f.GetLastErrorParam(std::nullopt, 3); },
         "19(<missing>,3)"},
        {"DynamicSQL", [](DebugFactory &f) { f.DynamicSQL("S"); }, "20(\"S\")"},
        {"TransactionStart", [](DebugFactory &f) { f.TransactionStart(); }, "21()"},
        {"TransactionRollBack", [](DebugFactory &f) { f.TransactionRollBack(); }, "22()"},
        {"TransactionCommit", [](DebugFactory &f) { f.TransactionCommit(); }, "23()"},
        {"TransactionLevel", [](DebugFactory &f) { f.TransactionLevel(); }, "24()"},
        {"SetCacheLog", [](DebugFactory &f) { f.SetCacheLog(1); }, "25(1)"},
        {"GetConnectionList", [](DebugFactory &f) { f.GetConnectionList(); }, "26()"},
        {"IsMultibyte", [](DebugFactory &f) { f.IsMultibyte(); }, "27()"},
    };
    DebugFactory factory;
    for (const Row &row : rows) {
        log->lines.clear();
        row.run(factory);
        EXPECT_EQ(log->lines, QStringList{row.expected}) << row.call;
    }
    // One real factory for all of them, created at the first call.
    EXPECT_EQ(created, 1);
}

TEST_F(DebugFactoryTest, ResultsAreConvertedByAutomationRules)
{
    DebugFactory factory;
    fake->answers.insert(27, 5);
    EXPECT_TRUE(factory.IsMultibyte());                 // non-zero is True
    fake->answers.insert(27, 0);
    EXPECT_FALSE(factory.IsMultibyte());
    fake->answers.insert(16, 70000);                    // beyond 16 bits
    EXPECT_THROW(factory.GetLastErrorCount(), ComError);
    fake->answers.insert(24, QStringLiteral("many"));
    try {
        factory.TransactionLevel();
        FAIL() << "no error";
    } catch (const ComError &error) {
        EXPECT_EQ(error.number(), DispError::TypeMismatch);
    }
    fake->raising.insert(26);                           // a real factory's error passes unchanged
    try {
        factory.GetConnectionList();
        FAIL() << "no error";
    } catch (const ComError &error) {
        EXPECT_EQ(error.number(), 0x80040998u);
        EXPECT_EQ(error.source(), "Factory");
        EXPECT_EQ(error.description(), "call 26 failed");
    }
}

TEST_F(DebugFactoryTest, ConnectBranches)
{
    {
        SCOPED_TRACE("the real factory refuses: nothing is created");
        fake->answers.insert(1, false);
        DebugFactory factory;
        EXPECT_FALSE(factory.Connect("cs"));
        EXPECT_EQ(log->lines, QStringList{"1(\"cs\")"});
        fake->answers.remove(1);
    }
    {
        SCOPED_TRACE("no debug class on the server: connected, silent but logged");
        log->lines.clear();
        fake->raising.insert(4);
        WarningCatcher warnings;
        DebugFactory factory;
        EXPECT_TRUE(factory.Connect("cs"));
        // Still connected after the refusal: the server merely lacks the class.
        EXPECT_EQ(log->lines, (QStringList{"1(\"cs\")", "4(\"VantrelDebug\")", "10()"}));
        ASSERT_EQ(warnings.lines().size(), 1);
        EXPECT_TRUE(warnings.lines().first().contains("VantrelDebug")) << warnings.lines().first().toStdString();
        fake->raising.remove(4);
    }
    {
        SCOPED_TRACE("success: Enable gets exactly the ClientIP text");
        log->lines.clear();
        DebugFactory factory;
        EXPECT_TRUE(factory.Connect("cs"));
        EXPECT_EQ(log->lines, (QStringList{"1(\"cs\")", "4(\"VantrelDebug\")", "debug1.ClientIP()",
                                           "debug1.Enable(\"10.0.0.9\")"}));
        EXPECT_NE(factory.serverDebug(), nullptr);
    }
    struct Refusal
    {
        const char *name;
        QString member;
        QVariant answer;
        std::uint32_t number;
        std::int32_t hresult;
        QString description;
    };
    const QList<Refusal> refusals{
        {"empty ClientIP", "ClientIP", QString(), 0x80040200u, -2147220992, "Failed to identify client IP at server"},
        {"Enable answers 0", "Enable", 0, 0x80040201u, -2147220991, "Failed to create server-side debug object"},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.name);
        log->lines.clear();
        fake->made.clear();
        fake->configure = [&](FakeServerDebug &object) { object.answers.insert(r.member, r.answer); };
        DebugFactory factory;
        try {
            factory.Connect("cs");
            ADD_FAILURE() << "no error";
        } catch (const ComError &error) {
            EXPECT_EQ(error.number(), r.number);
            EXPECT_EQ(error.hresult(), r.hresult);
            EXPECT_EQ(error.source(), "VantrelCO.COFactory");
            EXPECT_EQ(error.description(), r.description);
        }
        // The connection stays: nothing disconnects it.
        EXPECT_FALSE(log->lines.contains("2()"));
        log->lines.clear();
        factory.Disconnect();
        EXPECT_EQ(log->lines, (QStringList{"debug1.Disable()", "debug1.sys_Close()", "2()"}));
    }
}

TEST_F(DebugFactoryTest, ASecondConnectEndsTheHeldSessionFirstWhateverItAnswers)
{
    for (bool disableFails : {false, true}) {
        SCOPED_TRACE(disableFails ? "Disable fails" : "Disable works");
        fake->made.clear();
        fake->configure = [&](FakeServerDebug &object) {
            if (disableFails)
                object.raising.insert("Disable");
        };
        DebugFactory factory;
        ASSERT_TRUE(factory.Connect("one"));
        log->lines.clear();
        ASSERT_TRUE(factory.Connect("two"));
        EXPECT_EQ(log->lines, (QStringList{"debug1.Disable()", "debug1.sys_Close()", "1(\"two\")",
                                           "4(\"VantrelDebug\")", "debug2.ClientIP()",
                                           "debug2.Enable(\"10.0.0.9\")"}));
        log->lines.clear();
    }
}

TEST_F(DebugFactoryTest, DisconnectReleasesThenDisconnectsAlways)
{
    {
        SCOPED_TRACE("without a Connect only the real factory's Disconnect");
        DebugFactory factory;
        EXPECT_TRUE(factory.Disconnect());
        EXPECT_EQ(log->lines, QStringList{"2()"});
    }
    for (const QString failing : {"Disable", "sys_Close"}) {
        SCOPED_TRACE(failing.toStdString());
        fake->made.clear();
        fake->configure = [&](FakeServerDebug &object) { object.raising.insert(failing); };
        DebugFactory factory;
        ASSERT_TRUE(factory.Connect("cs"));
        log->lines.clear();
        try {
            factory.Disconnect();
            ADD_FAILURE() << "no error";
        } catch (const ComError &error) {
            EXPECT_EQ(error.description(), failing + " failed");
        }
        EXPECT_EQ(log->lines, (QStringList{"debug1.Disable()", "debug1.sys_Close()", "2()"}));
        EXPECT_EQ(factory.serverDebug(), nullptr);
        // Not stuck: the next Disconnect only disconnects.
        log->lines.clear();
        EXPECT_NO_THROW(factory.Disconnect());
        EXPECT_EQ(log->lines, QStringList{"2()"});
    }
}

TEST_F(DebugFactoryTest, DestructorReleasesWithoutDisconnectingAndNeverRaises)
{
    for (bool disableFails : {false, true}) {
        SCOPED_TRACE(disableFails ? "Disable fails" : "Disable works");
        log->lines.clear();
        fake->made.clear();
        fake->configure = [&](FakeServerDebug &object) {
            if (disableFails)
                object.raising.insert("Disable");
        };
        {
            DebugFactory factory;
            ASSERT_TRUE(factory.Connect("cs"));
            log->lines.clear();
        }
        EXPECT_EQ(log->lines, (QStringList{"debug1.Disable()", "debug1.sys_Close()"}));
    }
}

TEST_F(DebugFactoryTest, ItIsCreatedByNameAndItsLateBoundConnectDebugsToo)
{
    VantrelCO::registerClasses();
    const DispatchPtr object = ObjectRegistry::createObject("VantrelCO.DebugFactory");
    ASSERT_NE(std::dynamic_pointer_cast<DebugFactory>(object), nullptr);
    EXPECT_TRUE(toBoolValue(object->call(CacheObject::DispConnect, {QStringLiteral("cs")})));
    EXPECT_TRUE(toBoolValue(object->call(QStringLiteral("IsConnected"))));
    EXPECT_EQ(log->lines, (QStringList{"1(\"cs\")", "4(\"VantrelDebug\")", "debug1.ClientIP()",
                                       "debug1.Enable(\"10.0.0.9\")", "10()"}));
    EXPECT_TRUE(ObjectRegistry::isRegistered(VantrelCO::DebugClsid));
    EXPECT_TRUE(ObjectRegistry::isRegistered("VantrelCO.Debug"));
}

// Over the real object client: when creating the debug class fails because the
// client dropped the connection, Connect says so with the client's own error; a
// server that merely lacks the class still gives True and stays usable.
TEST(DebugFactoryOverTheObjectClient, ConnectRaisesWhenTheConnectionWasLostCreatingTheDebugObject)
{
    using namespace objserver;
    namespace ClientError = CacheObject::ClientError;
    ObjectRegistry::Scope scope;
    int timeoutMs = 0;
    ObjectRegistry::registerClass(CacheObject::FactoryClsid, QString(), [&timeoutMs] {
        auto client = std::make_shared<CacheObject::ClientFactory>();
        client->setCallTimeoutMs(timeoutMs);
        return client;
    });
    struct Row
    {
        const char *name;
        std::function<Reply(const Call &)> reply;
        std::uint32_t error;   // 0: Connect gives True and the connection stands
    };
    const QList<Row> rows{
        {"a reply with another call's id",
         [](const Call &c) { return Reply::raw("{\"id\":" + QByteArray::number(c.id.toInteger() + 7) + ",\"ret\":{\"obj\":1}}\n"); },
         ClientError::OutOfStep},
        {"an oversized reply", [](const Call &) { return Reply::flood(CacheObject::ClientFactory::MaxReplyBytes + 1024 * 1024); },
         ClientError::ReplyTooLong},
        {"silence", [](const Call &) { return Reply::silence(); }, ClientError::TimedOut},
        {"a close", [](const Call &) { return Reply::close(); }, ClientError::ConnectionLost},
        {"no such class", [](const Call &) {
             return Reply::error(ClassMissing, "ObjServer", "Class does not exist: VantrelDebug"); }, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        // Only silence waits out the time-out; the others have all the time they need.
        timeoutMs = row.error == ClientError::TimedOut ? 300 : 20000;
        ObjServer server;
        server.on("", "New", row.reply);
        ASSERT_TRUE(server.start());
        DebugFactory factory;
        bool connected = false;
        std::uint32_t raised = 0;
        QString source;
        try {
            connected = factory.Connect(server.connectString());
        } catch (const ComError &error) {
            raised = error.number();
            source = error.source() + ": " + error.description();
        }
        EXPECT_EQ(raised, row.error) << source.toStdString();
        EXPECT_EQ(connected, row.error == 0);
        EXPECT_EQ(factory.IsConnected(), row.error == 0);
        if (row.error) {
            EXPECT_TRUE(source.startsWith(ClientError::Source + ": ")) << source.toStdString();
        }
        EXPECT_EQ(factory.serverDebug(), nullptr);
    }
}

} // namespace
