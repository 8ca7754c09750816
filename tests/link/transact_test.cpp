#include "framecodec.h"
#include "linkrecorder.h"
#include "mlink.h"
#include "mserver.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace mserver;

namespace {

QByteArray frame(const QStringList &fields)
{
    return FrameCodec::encode(fields, false);
}

void settle(int ms = 60)
{
    pumpUntil([] { return false; }, ms);
}

// A link accepted from a scripted server, with every notification recorded.
struct Fixture
{
    MLink link;
    LinkRecorder rec{link};
    MServer server;

    explicit Fixture(QList<Step> script) : server(std::move(script)) {}
    bool open()
    {
        const bool ok = server.startAccepted(link);
        rec.log.removeAll("OnConnect");
        return ok;
    }
};

} // namespace

TEST(MLinkTransact, PrefixesTheCodeAndReturnsTheFrameAfterTheEcho)
{
    Fixture f({expectRaw(QByteArray::fromHex("0000000D000100000007214E53")), send({"!NS"}),
               send({"NS", "USER"}), expectAck()});
    ASSERT_TRUE(f.open());
    QStringList request{"NS"};
    const QStringList reply = f.link.Transact(3, request);
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    EXPECT_EQ(request, QStringList{"!NS"});
    EXPECT_FALSE(f.link.InTransact());
    LinkSession(f.link).Send({});
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "end"}));
}

TEST(MLinkTransact, RaisesFramesBeforeTheEchoInsideAndAfterTheReplyBeforeReturning)
{
    struct Case { const char *name; QByteArray block; QStringList log; };
    const Case cases[] = {
        {"before echo", frame({"STP", "1"}) + frame({"!NS"}) + frame({"NS", "USER"}),
         {"begin", "OnMessage:STP|1", "end", "returned"}},
        {"after reply", frame({"!NS"}) + frame({"NS", "USER"}) + frame({"CC", "5"}),
         {"begin", "end", "OnMessage:CC|5", "returned"}},
        {"both, several", frame({"A"}) + frame({"B"}) + frame({"!NS"}) + frame({"NS", "USER"}) + frame({"C"})
                              + frame({"D"}),
         {"begin", "OnMessage:A", "OnMessage:B", "end", "OnMessage:C", "OnMessage:D", "returned"}},
        // An echo-like frame after the echo is the reply, whatever its code.
        {"reply with the echo's code", frame({"!NS"}) + frame({"!NS"}), {"begin", "end", "returned"}},
    };
    for (const Case &c : cases) {
        Fixture f({expect({"!NS"}), sendRaw(c.block)});
        ASSERT_TRUE(f.open()) << c.name;
        const QStringList reply = f.link.Transact(3, QStringList{"NS"});
        f.rec.log << "returned";
        if (QByteArray(c.name) != "reply with the echo's code")
            EXPECT_EQ(reply, (QStringList{"NS", "USER"})) << c.name;
        else
            EXPECT_EQ(reply, QStringList{"!NS"}) << c.name;
        EXPECT_EQ(f.rec.log, c.log) << c.name;
        EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
    }
}

TEST(MLinkTransact, CompletesAFrameBegunBeforeTheTransaction)
{
    const QByteArray stp = frame({"STP", "1"});
    Fixture f({sendRaw(stp.left(7)), expect({"!NS"}), sendRaw(stp.mid(7) + frame({"!NS"})), pause(20),
               send({"NS", "USER"})});
    ASSERT_TRUE(f.open());
    ASSERT_TRUE(pumpUntil([&] { return f.link.Control()->BytesWaiting() == 0; }));
    settle(30);   // the half frame now sits in the link's buffer
    const QStringList reply = f.link.Transact(3, QStringList{"NS"});
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "OnMessage:STP|1", "end"}));
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
}

TEST(MLinkTransact, RefusesANestedTransactionWithoutWritingIt)
{
    Fixture f({expect({"!NS"}), send({"STP", "1"}), pause(20), send({"!NS"}), send({"NS", "USER"}), expectAck(),
               expectSilence(50)});
    ASSERT_TRUE(f.open());
    QStringList nested;
    QObject::connect(&f.link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "STP")
            nested = f.link.Transact(0, QStringList{"SIE"});
    });
    const QStringList reply = f.link.Transact(3, QStringList{"NS"});
    LinkSession(f.link).Send({});
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    EXPECT_EQ(nested, (QStringList{"MSG", "Transaction pending - second transaction request (SIE) failed"}));
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
    EXPECT_EQ(f.rec.count("begin"), 1);
    EXPECT_EQ(f.rec.count("end"), 1);
}

TEST(MLinkTransact, TimesOutAfterSilenceAndKeepsTheLink)
{
    Fixture f({expect({"!NS"}), send({"!NS"})});
    ASSERT_TRUE(f.open());
    f.link.setMsPerTimeoutSecond(200);
    QElapsedTimer clock;
    clock.start();
    const QStringList reply = f.link.Transact(1, QStringList{"NS"});
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(reply, (QStringList{"MSG", "Timeout (1 seconds) awaiting reply for Transact !NS"}));
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 1500);
    EXPECT_TRUE(f.link.IsConnected());
    EXPECT_FALSE(f.link.InTransact());
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "end"}));
}

TEST(MLinkTransact, CountsTheTimeOutFromTheLastDataReceived)
{
    // Each byte comes after half the time-out: the whole reply takes many
    // time-outs, yet none of them runs out.
    Fixture f({expect({"!NS"}), send({"!NS"}), sendSlowly({"K"}, 100)});
    ASSERT_TRUE(f.open());
    f.link.setMsPerTimeoutSecond(200);
    const QStringList reply = f.link.Transact(1, QStringList{"NS"});
    EXPECT_EQ(reply, QStringList{"K"});
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
}

TEST(MLinkTransact, DefaultTimeOutIsTwentySeconds)
{
    struct Case { int given; int used; };
    for (Case c : {Case{0, 20}, Case{-5, 20}, Case{1, 1}, Case{3, 3}})
        EXPECT_EQ(MLink::effectiveTimeout(c.given), c.used) << c.given;
}

TEST(MLinkTransact, PeerClosingEndsTheWaitAtOnceAndClosesAfterReturn)
{
    Fixture f({expect({"!NS"}), send({"!NS"}), pause(30), close()});
    ASSERT_TRUE(f.open());
    QElapsedTimer clock;
    clock.start();
    const QStringList reply = f.link.Transact(0, QStringList{"NS"});   // 20 s, not waited
    EXPECT_LT(clock.elapsed(), 1500);
    ASSERT_EQ(reply.size(), 2);
    EXPECT_EQ(reply.at(0), "MSG");
    EXPECT_TRUE(reply.at(1).startsWith("Error 10054 (")) << reply.at(1).toStdString();
    EXPECT_TRUE(reply.at(1).endsWith(") awaiting reply for Transact !NS\rTimeout= 20 seconds"))
        << reply.at(1).toStdString();
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "end"}));   // no OnClose yet
    ASSERT_TRUE(pumpUntil([&] { return f.rec.count("OnClose") == 1; }));
    settle();
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "end", "OnClose"}));
}

TEST(MLinkTransact, ReplyThatComesWithTheCloseIsStillTheReply)
{
    Fixture f({expect({"!NS"}), sendRaw(frame({"!NS"}) + frame({"NS", "USER"}) + frame({"CC", "5"})), close()});
    ASSERT_TRUE(f.open());
    const QStringList reply = f.link.Transact(0, QStringList{"NS"});
    f.rec.log << "returned";
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    ASSERT_TRUE(pumpUntil([&] { return f.rec.count("OnClose") == 1; }));
    EXPECT_EQ(f.rec.log, (QStringList{"begin", "end", "OnMessage:CC|5", "returned", "OnClose"}));
}

TEST(MLinkTransact, DropRequestOrMalformedFrameEndsTheWaitAndDropsTheLinkAfterwards)
{
    struct Case { const char *name; QByteArray block; const char *reason; };
    const Case cases[] = {
        {"drop request", frame({"<DSCON>"}), "The server asked to drop the link"},
        {"malformed", QByteArray::fromHex("000000030000"), "Malformed frame: "},
    };
    for (const Case &c : cases) {
        Fixture f({expect({"!NS"}), sendRaw(c.block), expectClose()});
        ASSERT_TRUE(f.open()) << c.name;
        const QStringList reply = f.link.Transact(0, QStringList{"NS"});
        ASSERT_EQ(reply.size(), 2) << c.name;
        EXPECT_TRUE(reply.at(1).startsWith(QStringLiteral("Error 10054 (") + c.reason)) << reply.at(1).toStdString();
        EXPECT_EQ(f.rec.log, (QStringList{"begin", "end"})) << c.name;
        EXPECT_TRUE(f.server.wait()) << c.name << ": " << f.server.failure().toStdString();
        ASSERT_TRUE(pumpUntil([&] { return f.rec.count("OnClose") == 1; })) << c.name;
        EXPECT_FALSE(f.link.IsConnected());
    }
}

// More fields than a frame's count can hold would go out as another message, and a frame
// longer than the receive side takes would come back refused; the "!" before the code
// counts. The request is refused before anything is written or switched off.
TEST(MLinkTransact, RefusesARequestNoFrameCarriesWithoutWritingIt)
{
    Fixture f({expect({"NEXT"}), expectSilence(50)});
    // The server waits for "NEXT" while the requests of tens of megabytes are built and
    // refused, which takes seconds on a loaded machine.
    f.server.setStepTimeoutMs(60000);
    ASSERT_TRUE(f.open());
    auto ofFields = [](int count) {
        QStringList request{"SIR"};
        while (request.size() < count)
            request.append(QString());
        return request;
    };
    // ["!SIR", text] is one unit over the bound: 6 + (4 + 4) + (4 + text).
    const QString text(FrameCodec::MaxFrameUnits - 17, QLatin1Char('a'));
    struct Case { const char *name; QStringList request; QString failure; };
    const Case cases[] = {
        {"32768 fields", ofFields(32768),
         "Message too long - transaction request (SIR) of 32768 fields failed (at most 32767)"},
        {"65536 fields", ofFields(65536),
         "Message too long - transaction request (SIR) of 65536 fields failed (at most 32767)"},
        {"one unit longer than the bound with its \"!\"", {"SIR", text},
         "Message too long - transaction request (SIR) of 33554433 units failed (at most 33554432)"},
    };
    for (const Case &c : cases) {
        QStringList request = c.request;
        const QStringList reply = f.link.Transact(3, request);
        EXPECT_EQ(reply, (QStringList{"MSG", c.failure})) << c.name;
        EXPECT_EQ(request.value(0), "SIR") << c.name;
        EXPECT_FALSE(f.link.InTransact()) << c.name;
    }
    EXPECT_TRUE(f.rec.log.isEmpty()) << f.rec.log.join(", ").toStdString();
    LinkSession(f.link).Send({"NEXT"});
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
    EXPECT_EQ(f.server.received().size(), 1);
}

TEST(MLinkTransact, IdleLinkRepliesAtOnceAndWritesNothing)
{
    MLink link;
    LinkRecorder rec(link);
    const QStringList reply = link.Transact(5, QStringList{"SIR"});
    EXPECT_EQ(reply, (QStringList{"MSG", "Error 10057 (Socket is not connected) awaiting reply for Transact !SIR"
                                         "\rTimeout= 5 seconds"}));
    EXPECT_TRUE(rec.log.isEmpty());
    EXPECT_FALSE(link.InTransact());
    EXPECT_FALSE(link.CheckEnv());
}

// The greeting's "HI2" handler runs the "NS" transaction from inside the link's own
// receive notification; the reply must still be read and nothing after it lost.
TEST(MLinkTransact, RunsFromAHandlerOfTheReceiveNotification)
{
    Fixture f({pause(30), sendRaw(frame({"HI2", "JOB"}) + frame({"X", "1"})), expect({"!NS"}), pause(30), send({"!NS"}),
               pause(30), sendRaw(frame({"NS", "USER"}) + frame({"Y"})), expectAck()});
    QStringList reply;
    QObject::connect(&f.link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "HI2") {
            reply = f.link.Transact(2, QStringList{"NS"});
            LinkSession(f.link).Send({});
            f.rec.log << "returned";
        }
    });
    ASSERT_TRUE(f.open());
    ASSERT_TRUE(pumpUntil([&] { return f.rec.count("OnMessage:Y") == 1; })) << f.rec.log.join(", ").toStdString() << " / " << reply.join(",").toStdString();
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    EXPECT_EQ(f.rec.log, (QStringList{"OnMessage:HI2|JOB", "begin", "OnMessage:X|1", "end", "OnMessage:Y",
                                      "returned"}));
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
}

TEST(MLinkTransact, CheckEnvReadsTheNamespaceAndAcknowledges)
{
    struct Case { QStringList reply; bool ok; QString env; };
    const Case cases[] = {{{"NS", "USER"}, true, "USER"}, {{"MSG", "no"}, false, ""}};
    for (const Case &c : cases) {
        Fixture f({answer({"NS"}, c.reply), expectAck()});
        ASSERT_TRUE(f.open());
        EXPECT_EQ(f.link.CheckEnv(), c.ok);
        EXPECT_EQ(f.link.Env(), c.env);
        EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
    }
}

TEST(MLinkTransact, SpeaksUnicodeFramesOnceTheFeatureIsSet)
{
    const QString text = QString::fromUtf8("\u20AC \u03A9");
    Fixture f({unicode(true), answer({"SIR", "1", "ROU", "*"}, {"SIR", text}), expectAck()});
    ASSERT_TRUE(f.open());
    f.link.setFeatures(1);
    const QStringList reply = f.link.Transact(3, QStringList{"SIR", "1", "ROU", "USER"});
    LinkSession(f.link).Send({});
    EXPECT_EQ(reply, (QStringList{"SIR", text}));
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
}

// A lock-step server waits for the acknowledgement of a message sent before the
// echo; the handler may take longer than the time-out (a message box) before it
// sends it. The silence is counted from when the wait resumes, not from when the
// message arrived.
TEST(MLinkTransact, TimeSpentInAHandlerInsideTheWaitIsNotSilence)
{
    Fixture f({expect({"!NS"}), send({"STP", "1"}), expectAck(), send({"!NS"}), send({"NS", "USER"})});
    ASSERT_TRUE(f.open());
    f.link.setMsPerTimeoutSecond(250);
    QObject::connect(&f.link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "STP") {
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 600) {}   // over two time-outs long, without the event loop
            LinkSession(f.link).Send({});
        }
    });
    const QStringList reply = f.link.Transact(1, QStringList{"NS"});
    EXPECT_EQ(reply, (QStringList{"NS", "USER"}));
    EXPECT_TRUE(f.server.wait()) << f.server.failure().toStdString();
}

// A drop request or a broken frame behind the reply ends the session like a peer
// that closes: after the caller has its reply, not under its feet.
TEST(MLinkTransact, DropBehindTheReplyClosesOnlyAfterReturn)
{
    struct Case { const char *name; QByteArray tail; };
    const Case cases[] = {
        {"drop request", frame({"<DSCON>"}) + frame({"LOST"})},
        {"malformed", QByteArray::fromHex("000000030000")},
    };
    for (const Case &c : cases) {
        Fixture f({expect({"!NS"}), sendRaw(frame({"!NS"}) + frame({"NS", "USER"}) + frame({"CC", "5"}) + c.tail),
                   expectClose()});
        ASSERT_TRUE(f.open()) << c.name;
        const QStringList reply = f.link.Transact(0, QStringList{"NS"});
        f.rec.log << "returned";
        EXPECT_EQ(reply, (QStringList{"NS", "USER"})) << c.name;
        ASSERT_TRUE(pumpUntil([&] { return f.rec.count("OnClose") == 1; })) << c.name;
        settle();
        EXPECT_EQ(f.rec.log, (QStringList{"begin", "end", "OnMessage:CC|5", "returned", "OnClose"})) << c.name;
        EXPECT_TRUE(f.server.wait()) << c.name << ": " << f.server.failure().toStdString();
    }
}

// A handler of a frame raised inside the wait ends the session and shows a box; the next
// server is taken on under it, speaks and leaves before the box is answered. What it said
// and its close came while the wait held the link's notifications back. Once the
// transaction has returned they are raised as that server's own, and its end runs: the
// link is not left with an end pending that nobody will run.
TEST(MLinkTransact, AServerTakenOnUnderABoxInTheWaitIsHeardAndItsEndRuns)
{
    MLink link;
    LinkRecorder rec(link);
    std::unique_ptr<MServer> next;
    bool nextClosedUnderTheBox = false;
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) != "HI" || next)
            return;
        link.Disconnect();
        // The box.
        next = std::make_unique<MServer>(QList<Step>{send({"HI", "B"}), close()});
        ASSERT_TRUE(next->startAccepted(link));
        nextClosedUnderTheBox = pumpUntil([&] { return link.EndPending(); }, 3000);
    });
    MServer first({expect({"!SIG", "1"}), send({"HI", "A"}), expectClose()});
    ASSERT_TRUE(first.startAccepted(link));
    rec.log.clear();

    const QStringList reply = link.Transact(3, QStringList{"SIG", "1"});
    EXPECT_EQ(reply.value(0), "MSG");
    EXPECT_TRUE(nextClosedUnderTheBox);
    ASSERT_TRUE(pumpUntil([&] { return !link.IsConnected() && !link.EndPending(); }))
        << rec.log.join(", ").toStdString();
    settle();
    EXPECT_EQ(rec.log, (QStringList{"begin", "OnMessage:HI|A", "BeforeClose", "OnClose", "OnConnect", "end",
                                    "OnMessage:HI|B", "OnClose"}));
    EXPECT_TRUE(first.wait()) << first.failure().toStdString();
    EXPECT_TRUE(next->wait()) << next->failure().toStdString();
}
