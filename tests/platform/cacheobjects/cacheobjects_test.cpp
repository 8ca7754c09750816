#include "clientfactory.h"
#include "objserver.h"
#include "sanitized.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

namespace {

using namespace objserver;

// What a call raised; number 0 when it returned.
struct Raised
{
    std::uint32_t number = 0;
    QString source;
    QString description;
};

Raised raisedBy(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ComError &error) {
        return {error.number(), error.source(), error.description()};
    }
    return {};
}

class ClientFactoryTest : public ::testing::Test
{
protected:
    void connect()
    {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(factory.Connect(server.connectString()));
    }

    ObjServer server;
    CacheObject::ClientFactory factory;
};

TEST_F(ClientFactoryTest, ValuesAndObjectsMakeTheRoundTrip)
{
    server.on("Person", "Echo", [](const Call &call) { return Reply::value(call.args); });
    server.on("Person", "Name", [](const Call &) { return Reply::value("Ann Øster"); });
    server.on("Person", "Spouse", [](const Call &) { return Reply::object("Person"); });
    server.on("Person", "Self", [](const Call &call) { return Reply::existing(call.object); });
    connect();

    const DispatchPtr person = factory.OpenId("Person", "1");
    ASSERT_NE(person, nullptr);
    EXPECT_EQ(toStringValue(person->call(QStringLiteral("Name"))), "Ann Øster");
    const QVariantList echoed = person->call(QStringLiteral("Echo"),
                                             {QStringLiteral("x"), 42, 2.5, true, nullValue(), paramNotFound(),
                                              objectValue(person)})
                                    .toList();
    ASSERT_EQ(echoed.size(), 7);
    EXPECT_EQ(echoed.at(0), "x");
    EXPECT_EQ(echoed.at(1).toInt(), 42);
    EXPECT_EQ(echoed.at(2).toDouble(), 2.5);
    EXPECT_EQ(echoed.at(3).toBool(), true);
    EXPECT_TRUE(isNullValue(echoed.at(4)));
    EXPECT_TRUE(isParamNotFound(echoed.at(5)));
    ASSERT_TRUE(isObjectValue(echoed.at(6)));
    EXPECT_EQ(toStringValue(objectFrom(echoed.at(6))->call(QStringLiteral("Name"))), "Ann Øster");

    const DispatchPtr spouse = toObjectValue(person->call(QStringLiteral("Spouse")));
    ASSERT_NE(spouse, nullptr);
    const DispatchPtr self = toObjectValue(spouse->call(QStringLiteral("Self")));
    EXPECT_EQ(toStringValue(self->call(QStringLiteral("Name"))), "Ann Øster");

    EXPECT_EQ(server.log(), (QStringList{
                                QString("Connect(\"%1\")").arg(server.connectString()),
                                "OpenId(\"Person\",\"1\") -> Person#1",
                                "Person#1.Name()",
                                "Person#1.Echo(\"x\",42,2.5,true,null,<missing>,{\"obj\":1})",
                                "Person#1.Name()",
                                "Person#1.Spouse() -> Person#2",
                                "Person#2.Self()",
                                "Person#2.Name()",
                            }));
}

TEST_F(ClientFactoryTest, TheSameFactoryAnswersByNumberAndOptionalArgumentsGoOnlyWhenGiven)
{
    server.on("", "GetErrorText", [](const Call &call) { return Reply::value(QString::number(call.args.size())); });
    server.on("", "GetLastErrorParam", [](const Call &) { return Reply::value("p"); });
    server.addClass("Person");
    connect();
    QVariantList args{QStringLiteral("Person"), QStringLiteral("1"), 4};
    ASSERT_NE(objectFrom(factory.Invoke(CacheObject::DispOpenId, args)), nullptr);
    EXPECT_EQ(factory.GetErrorText(5, {QVariant("a"), std::nullopt, QVariant("c")}), "2");
    EXPECT_EQ(factory.GetLastErrorParam(std::nullopt, 3), "p");
    EXPECT_TRUE(factory.IsConnected());
    EXPECT_EQ(server.log().mid(1), (QStringList{"OpenId(\"Person\",\"1\",4) -> Person#1",
                                                "GetErrorText(5,\"a\")", "GetLastErrorParam(<missing>,3)"}));
}

TEST_F(ClientFactoryTest, AServerErrorIsRaisedWithNumberSourceAndDescription)
{
    server.on("Person", "Save", [](const Call &) { return Reply::error(-2147220990, "Sample.Person", "locked"); });
    connect();
    const DispatchPtr person = factory.New("Person");
    try {
        person->call(QStringLiteral("Save"));
        FAIL() << "no error";
    } catch (const ComError &error) {
        EXPECT_EQ(error.hresult(), -2147220990);
        EXPECT_EQ(error.source(), "Sample.Person");
        EXPECT_EQ(error.description(), "locked");
    }
    try {
        factory.New("Nobody");
        FAIL() << "no error";
    } catch (const ComError &error) {
        EXPECT_EQ(error.hresult(), ClassMissing);
    }
    // An error is an answer: the connection goes on.
    EXPECT_TRUE(factory.IsConnected());
    EXPECT_NE(factory.New("Person"), nullptr);
}

TEST_F(ClientFactoryTest, ATimeOutOrAServerClosingMidCallEndsTheConnection)
{
    struct Row
    {
        const char *name;
        Reply reply;
        std::uint32_t number;
    };
    const QList<Row> rows{{"silence", Reply::silence(), CacheObject::ClientError::TimedOut},
                          {"close", Reply::close(), CacheObject::ClientError::ConnectionLost}};
    server.on("Person", "silence", [](const Call &) { return Reply::silence(); });
    server.on("Person", "close", [](const Call &) { return Reply::close(); });
    ASSERT_TRUE(server.start());
    factory.setCallTimeoutMs(300);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(factory.Connect(server.connectString()));
        const DispatchPtr person = factory.New("Person");
        try {
            person->call(QString::fromLatin1(row.name));
            ADD_FAILURE() << "no error";
        } catch (const ComError &error) {
            EXPECT_EQ(error.number(), row.number);
            EXPECT_EQ(error.source(), "CacheObject.Factory");
        }
        EXPECT_FALSE(factory.IsConnected());
        // Later calls say so instead of reading a stale reply.
        try {
            person->call(QStringLiteral("Name"));
            ADD_FAILURE() << "no error";
        } catch (const ComError &error) {
            EXPECT_EQ(error.number(), CacheObject::ClientError::NotConnected);
        }
    }
}

TEST_F(ClientFactoryTest, ARefusedConnectionSaysWhy)
{
    server.on("", "Connect", [](const Call &call) { return Reply::value(call.text(0).endsWith(":USER")); });
    ASSERT_TRUE(server.start());
    QTcpServer closed;   // a port nobody listens on once closed
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 deadPort = closed.serverPort();
    closed.close();
    struct Row
    {
        QString connectString;
        std::uint32_t error;   // 0: no error, Connect gives False
        const char *text;      // part of the error's text
    };
    const QList<Row> rows{
        {"", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {"127.0.0.1", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {"127.0.0.1:", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {":1972", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {"127.0.0.1:abc", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {"127.0.0.1:0", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {"127.0.0.1:70000", CacheObject::ClientError::BadConnectString, "is not host:port"},
        {QString("127.0.0.1:%1:USER").arg(deadPort), CacheObject::ClientError::Unreachable, "refused"},
        {server.connectString("SAMPLES"), 0, ""},   // the server says no
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.connectString.toStdString());
        bool connected = false;
        const Raised raised = raisedBy([&] { connected = factory.Connect(row.connectString); });
        EXPECT_FALSE(connected);
        EXPECT_EQ(raised.number, row.error);
        EXPECT_EQ(raised.source, row.error ? "CacheObject.Factory" : "");
        EXPECT_TRUE(raised.description.contains(QLatin1String(row.text))) << raised.description.toStdString();
        EXPECT_FALSE(factory.IsConnected());
    }
    EXPECT_THROW(factory.New("Person"), ComError);
    EXPECT_TRUE(factory.Connect(server.connectString()));
    EXPECT_TRUE(factory.Disconnect());
    EXPECT_FALSE(factory.IsConnected());
    EXPECT_EQ(server.log().last(), "Disconnect()");
}

// The bytes of one reply line with the call's own id, the rest as given.
QByteArray replyLine(const Call &call, const QByteArray &rest)
{
    return "{\"id\":" + QByteArray::number(call.id.toInteger()) + "," + rest + "}\n";
}

TEST_F(ClientFactoryTest, AReplyThatCannotBeTrustedEndsTheConnectionWithAClearError)
{
    struct Row
    {
        const char *name;
        std::function<QByteArray(const Call &)> reply;
        std::uint32_t error;
    };
    using CacheObject::ClientError::BadReply;
    using CacheObject::ClientError::OutOfStep;
    const QList<Row> rows{
        {"not json", [](const Call &) { return QByteArray("Welcome!\n"); }, BadReply},
        {"no id", [](const Call &) { return QByteArray("{\"ret\":1}\n"); }, OutOfStep},
        {"another call's id", [](const Call &c) { return "{\"id\":" + QByteArray::number(c.id.toInteger() - 1) + ",\"ret\":1}\n"; }, OutOfStep},
        {"huge error number", [](const Call &c) { return replyLine(c, "\"err\":{\"number\":1e300,\"source\":\"s\",\"description\":\"d\"}"); }, BadReply},
        {"fractional error number", [](const Call &c) { return replyLine(c, "\"err\":{\"number\":-7.5}"); }, BadReply},
        {"error number 0", [](const Call &c) { return replyLine(c, "\"err\":{\"number\":0,\"description\":\"ok?\"}"); }, BadReply},
        {"error without a number", [](const Call &c) { return replyLine(c, "\"err\":{\"description\":\"d\"}"); }, BadReply},
        {"error number as text", [](const Call &c) { return replyLine(c, "\"err\":{\"number\":\"-5\"}"); }, BadReply},
        {"huge object id", [](const Call &c) { return replyLine(c, "\"ret\":{\"obj\":1e300}"); }, BadReply},
        {"fractional object id", [](const Call &c) { return replyLine(c, "\"ret\":{\"obj\":7.5}"); }, BadReply},
        {"object id 0", [](const Call &c) { return replyLine(c, "\"ret\":{\"obj\":0}"); }, BadReply},
    };
    for (const Row &row : rows)
        server.on("Person", QString::fromLatin1(row.name), [row](const Call &c) { return Reply::raw(row.reply(c)); });
    ASSERT_TRUE(server.start());
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(factory.Connect(server.connectString()));
        const DispatchPtr person = factory.New("Person");
        const Raised raised = raisedBy([&] { person->call(QString::fromLatin1(row.name)); });
        EXPECT_EQ(raised.number, row.error) << raised.description.toStdString();
        EXPECT_EQ(raised.source, "CacheObject.Factory");
        EXPECT_FALSE(raised.description.isEmpty());
        EXPECT_FALSE(factory.IsConnected());
    }
}

TEST_F(ClientFactoryTest, AnExtraReplyLineIsNeverTakenForTheNextCallsReply)
{
    server.on("Person", "Twice", [](const Call &c) {
        return Reply::raw(replyLine(c, "\"ret\":\"first\"") + replyLine(c, "\"ret\":\"again\""));
    });
    server.on("Person", "Enable", [](const Call &) { return Reply::value(true); });
    connect();
    const DispatchPtr person = factory.New("Person");
    EXPECT_EQ(toStringValue(person->call(QStringLiteral("Twice"))), "first");
    const Raised raised = raisedBy([&] { person->call(QStringLiteral("Enable")); });
    EXPECT_EQ(raised.number, CacheObject::ClientError::OutOfStep) << "the stale reply was taken";
    EXPECT_FALSE(raised.description.isEmpty());
    EXPECT_FALSE(factory.IsConnected());
}

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(ClientFactoryTest, AnEndlessReplyLineEndsAtTheLimitWithMemoryBounded)
{
    constexpr qint64 Flood = 100LL * 1024 * 1024;   // 100 MB, no line end
    server.on("Person", "Flood", [](const Call &) { return Reply::flood(Flood); });
    connect();
    const DispatchPtr person = factory.New("Person");
    const long before = peakResidentKb();
    const Raised raised = raisedBy([&] { person->call(QStringLiteral("Flood")); });
    EXPECT_EQ(raised.number, CacheObject::ClientError::ReplyTooLong) << raised.description.toStdString();
    EXPECT_TRUE(raised.description.contains(QString::number(CacheObject::ClientFactory::MaxReplyBytes)));
    EXPECT_FALSE(factory.IsConnected());
    // The line was held up to the limit, never whole (the server's side writes in slices).
    const long grownKb = peakResidentKb() - before;
    EXPECT_LT(grownKb, 3 * CacheObject::ClientFactory::MaxReplyBytes / 1024 + 16 * 1024
                           + (sanitized::Sanitized ? sanitized::AsanQuarantineKb : 0));
    EXPECT_GT(server.floodLeft(), 0);
}

// The resident size now, from the kernel's own count of this process's pages.
long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

// A server that goes on sending after its reply, while the program's event loop runs
// between two calls (as a dialog's does): the socket reads ahead only its bounded
// buffer, the rest stays with the server, and the next call refuses the stray bytes.
TEST_F(ClientFactoryTest, BytesSentUnaskedBetweenCallsAreHeldOnlyUpToTheReadBuffer)
{
    constexpr qint64 Flood = 128LL * 1024 * 1024;
    server.on("Person", "Chatty", [](const Call &c) { return Reply::floodAfter(replyLine(c, "\"ret\":\"hi\""), Flood); });
    connect();
    const DispatchPtr person = factory.New("Person");
    const long before = residentKb();
    EXPECT_EQ(toStringValue(person->call(QStringLiteral("Chatty"))), "hi");
    long peak = before;
    QElapsedTimer idle;
    idle.start();
    // Long enough for the whole flood to be taken in when nothing bounds the socket.
    while (server.floodLeft() > 0 && idle.elapsed() < 2000 * sanitized::SlowFactor) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        peak = std::max(peak, residentKb());
    }
    EXPECT_GT(server.floodLeft(), 0) << "the client took in everything the server sent";
    EXPECT_LT(peak - before, 16L * 1024 + (sanitized::Sanitized ? sanitized::AsanQuarantineKb : 0));
    const Raised raised = raisedBy([&] { person->call(QStringLiteral("Name")); });
    EXPECT_EQ(raised.number, CacheObject::ClientError::OutOfStep) << raised.description.toStdString();
    EXPECT_FALSE(factory.IsConnected());
}

TEST_F(ClientFactoryTest, TheTimeOutBoundsTheWholeReplyWhileBytesKeepComing)
{
    // 8 MB in 16 KB slices 5 ms apart: bytes arrive for well over two seconds, each
    // far inside the time-out, and the line never ends within it.
    server.on("Person", "Trickle", [](const Call &) { return Reply::flood(8LL * 1024 * 1024, 16 * 1024, 5); });
    connect();
    factory.setCallTimeoutMs(300);
    const DispatchPtr person = factory.New("Person");
    const Raised raised = raisedBy([&] { person->call(QStringLiteral("Trickle")); });
    EXPECT_EQ(raised.number, CacheObject::ClientError::TimedOut) << raised.description.toStdString();
    // Given up while the server was still sending.
    EXPECT_GT(server.floodLeft(), 0);
    EXPECT_FALSE(factory.IsConnected());
}

TEST(ClientFactoryRegistration, RegisteredUnderBothNamesAndTheConnectDialogHasASeam)
{
    ObjectRegistry::Scope scope;
    CacheObject::registerClasses();
    for (const QString &name : QStringList{"CacheObject.Factory", "CacheActiveX.Factory", CacheObject::FactoryClsid}) {
        const auto factory = CacheObject::createFactory(name);
        ASSERT_NE(std::dynamic_pointer_cast<CacheObject::ClientFactory>(factory), nullptr) << name.toStdString();
    }
    QStringList titles;
    CacheObject::setConnectDlgHook([&](const QString &title) {
        titles.append(title);
        return QStringLiteral("127.0.0.1:1972:USER");
    });
    const auto factory = CacheObject::createFactory("CacheActiveX.Factory");
    EXPECT_EQ(factory->ConnectDlg(QStringLiteral("Select Server+%up")), "127.0.0.1:1972:USER");
    EXPECT_EQ(titles, QStringList{"Select Server+%up"});
    CacheObject::setConnectDlgHook({});
    // Without a widget application there is nobody to ask.
    EXPECT_EQ(factory->ConnectDlg(), "");
    ObjectRegistry::unregister("CacheActiveX.Factory");
    EXPECT_THROW(CacheObject::createFactory("CacheActiveX.Factory"), ComError);
    EXPECT_NO_THROW(CacheObject::createFactory());
}

} // namespace
