#include "framecodec.h"
#include "linkrecorder.h"
#include "mlink.h"
#include "mserver.h"
#include "socketx.h"
#include "vantrelerror.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace mserver;

namespace {

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();   // closed again when probe goes
}

// Lets late notifications arrive, so a test can check that none came.
void settle(int ms = 60)
{
    pumpUntil([] { return false; }, ms);
}

const QString kCR = QStringLiteral("\r");

// A message of field 0 code and empty fields up to count fields in all.
QStringList messageOfFields(const QString &code, int count)
{
    QStringList fields{code};
    while (fields.size() < count)
        fields.append(QString());
    return fields;
}

// What the dispatcher does with "REDIR": asks for the job link, and on refusal goes
// on with the link it has. Refusals are collected in refused.
void redirectLikeTheDispatcher(MLink &link, QStringList &refused)
{
    QObject::connect(&link, &MLink::OnMessage, [&link, &refused](const QStringList &m) {
        if (m.value(0) != "REDIR")
            return;
        try {
            link.ConnectJob(m.value(1), m.value(2));
        } catch (const VantrelError &e) {
            refused << e.text();
            LinkSession(link).Send({"STILL", "HERE"});
        }
    });
}

} // namespace

TEST(MLinkVersion, AgreesOnTheLowerVersionOrRefuses)
{
    struct Case { QString info; QString text; int version; bool ok; };
    const Case cases[] = {
        {"x:3:9", "x", 7, true},
        {"x:5:4", "x", -1, false},
        {"x", "x", 0, true},
        {"x:3", "x", -1, false},            // server part missing counts as 0, below the minimum
        {"x:0:5", "x", 5, true},
        {"x::6", "x", 6, true},
        {"x:1:5:more", "x", 5, true},
        {"x:a:5", "x", -1, false},          // not a number: refused, never a crash
        {"x:1:five", "x", -1, false},
        {"x:0:-2", "x", -1, false},
        {"x:0:99999999999", "x", -1, false},
        {"", "", 0, true},
    };
    for (const Case &c : cases) {
        MLink link;
        QString info = c.info;
        EXPECT_EQ(link.VersionCheck(info), c.ok) << c.info.toStdString();
        EXPECT_EQ(info, c.text) << c.info.toStdString();
        EXPECT_EQ(link.ProtocolVersion(), c.version) << c.info.toStdString();
    }
}

TEST(MLinkFeatures, TestsMasksAndSwitchesUnicodeWithBitOne)
{
    struct Case { qint32 features; qint32 mask; bool has; };
    const Case cases[] = {{1, 1, true}, {3, 1, true}, {5, 1, true}, {2, 1, false},
                          {2, 6, true}, {4, 6, true}, {8, 6, false}, {0, 0, false}};
    MLink link;
    for (const Case &c : cases) {
        link.setFeatures(c.features);
        EXPECT_EQ(link.HasFeature(c.mask), c.has) << c.features << " & " << c.mask;
        EXPECT_EQ(link.IsUnicode(), (c.features & 1) != 0);
    }
}

TEST(MLinkAccept, ConnectsOnceAndRefusesASecondAccept)
{
    MLink link;
    LinkRecorder rec(link);
    MServer server({expectSilence(20)});
    ASSERT_TRUE(server.startAccepted(link));
    EXPECT_EQ(rec.log, QStringList{"OnConnect"});
    EXPECT_FALSE(link.IsOutbound());
    EXPECT_EQ(link.HostIP(), "127.0.0.1");
    EXPECT_GT(link.MainPort(), 0);
    try {
        link.Accept(12345, 1);
        FAIL() << "second Accept accepted";
    } catch (const VantrelError &e) {
        EXPECT_EQ(e.number(), VantrelError::Base);
        EXPECT_EQ(e.text(), "MLink already connected");
    }
    try {
        link.ConnectServer("127.0.0.1", "1", "S1");
        FAIL() << "ConnectServer while connected";
    } catch (const VantrelError &e) {
        EXPECT_EQ(e.text(), "MLink already connected (ConnectServer)");
    }
    EXPECT_TRUE(link.IsConnected());
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
}

TEST(MLinkAccept, ReportsPortsAbove32767AsTheTruePort)
{
    MLink link;
    for (quint16 port = 40000; port < 40100; ++port) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::Any, port))
            continue;
        probe.close();
        MServer server({});
        ASSERT_TRUE(server.startAccepted(link, port));
        EXPECT_EQ(link.MainPort(), port);
        return;
    }
    GTEST_SKIP() << "no free port from 40000";
}

TEST(MLinkConnect, TakesTheRequestLinkThroughRedirToTheJobLink)
{
    MLink link;
    LinkRecorder rec(link);
    MServer server({acceptRequest("S1"), redirect("K9"), acceptJob("K9"), send({"HI", "CACHE"})});
    server.start();
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "REDIR") {
            EXPECT_EQ(rec.count("OnConnect"), 0);   // the request link raises none
            link.ConnectJob(m.value(1), m.value(2));
        }
    });
    link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
    EXPECT_FALSE(link.IsConnected());
    ASSERT_TRUE(pumpUntil([&] { return rec.count("OnMessage:HI|CACHE") == 1; }));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(rec.log, (QStringList{"OnMessage:REDIR|" + QString::number(server.jobPort()) + "|K9",
                                    "OnConnect", "OnMessage:HI|CACHE"}));
    EXPECT_TRUE(link.IsOutbound());
    EXPECT_EQ(link.MainPort(), server.jobPort());
    EXPECT_EQ(link.HostIP(), "127.0.0.1");
}

TEST(MLinkConnect, ConnectJobNeedsALink)
{
    MLink link;
    try {
        link.ConnectJob("5002", "K9");
        FAIL() << "ConnectJob on an idle link";
    } catch (const VantrelError &e) {
        EXPECT_EQ(e.number(), VantrelError::Base);
        EXPECT_EQ(e.text(), "MLink not yet connected (ConnectJob)");
    }
}

TEST(MLinkConnect, ReportsARefusedConnectionWithItsNumber)
{
    MLink link;
    LinkRecorder rec(link);
    const quint16 port = closedPort();
    link.ConnectServer("127.0.0.1", QString::number(port), "S1");
    ASSERT_TRUE(pumpUntil([&] { return !rec.log.isEmpty(); }));
    settle();
    ASSERT_EQ(rec.log.size(), 1);
    const QString expected = "OnConnectFailed:Failed to connect to 127.0.0.1 on port " + QString::number(port)
                             + kCR + "Error: 10061" + kCR + "Description: ";
    EXPECT_TRUE(rec.log.at(0).startsWith(expected)) << rec.log.at(0).toStdString();
    EXPECT_GT(rec.log.at(0).size(), expected.size());
}

TEST(MLinkConnect, GivesUpWhenNoRedirComes)
{
    MLink link;
    link.setConnectTimeoutMs(150);
    LinkRecorder rec(link);
    MServer server({acceptRequest("S1"), expectClose()});
    server.start();
    link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
    ASSERT_TRUE(pumpUntil([&] { return !rec.log.isEmpty(); }));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();   // the link closed the request link
    settle();
    EXPECT_EQ(rec.log, QStringList{"OnConnectFailed:Failed to connect to 127.0.0.1 on port "
                                   + QString::number(server.port())});
}

// A refusal is the attempt's one answer: no "Connection failed" follows it at the
// time-out, and a retry finds the link free. A "MSG" on the session itself is only a
// message.
TEST(MLinkConnect, RefusalEndsTheAttemptQuietlyAndARetryConnects)
{
    MLink link;
    link.setConnectTimeoutMs(150);
    LinkRecorder rec(link);
    QStringList refused;
    redirectLikeTheDispatcher(link, refused);
    {
        MServer server({acceptRequest("S1"), send({"MSG", "No such session"}), expectClose()});
        server.start();
        link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
        ASSERT_TRUE(pumpUntil([&] { return !rec.log.isEmpty(); }));
        EXPECT_FALSE(link.IsConnected());
        EXPECT_TRUE(server.wait()) << server.failure().toStdString();
        settle(400);   // well past the connect time-out
        EXPECT_EQ(rec.log, QStringList{"OnMessage:MSG|No such session"});
    }
    rec.log.clear();
    MServer again({acceptRequest("S2"), redirect("K2"), acceptJob("K2"), send({"MSG", "just a note"}),
                   send({"HI", "CACHE"})});
    again.start();
    link.ConnectServer("127.0.0.1", QString::number(again.port()), "S2");
    ASSERT_TRUE(pumpUntil([&] { return rec.count("OnMessage:HI|CACHE") == 1; }));
    EXPECT_TRUE(again.wait()) << again.failure().toStdString();
    EXPECT_TRUE(link.IsConnected());
    EXPECT_EQ(rec.log, (QStringList{"OnMessage:REDIR|" + QString::number(again.jobPort()) + "|K2", "OnConnect",
                                    "OnMessage:MSG|just a note", "OnMessage:HI|CACHE"}));
    EXPECT_TRUE(refused.isEmpty());
}

// The close itself is silent; the time-out then reports the failure, so a caller
// waiting for the session is never left waiting for ever.
TEST(MLinkConnect, RequestLinkClosedBeforeRedirFailsAtTheTimeOut)
{
    MLink link;
    link.setConnectTimeoutMs(300);
    LinkRecorder rec(link);
    MServer server({acceptRequest("S1"), close()});
    server.start();
    link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    settle(100);
    EXPECT_TRUE(rec.log.isEmpty()) << rec.log.join(", ").toStdString();
    EXPECT_FALSE(link.IsConnected());
    ASSERT_TRUE(pumpUntil([&] { return !rec.log.isEmpty(); }));
    EXPECT_EQ(rec.log, QStringList{"OnConnectFailed:Connection failed"});
}

// A failed outbound attempt used to leave its session identifier behind, which made
// the close of the next accepted session silent: the main window never learnt of
// it and never listened again. Accept clears it too, whatever attempt came before.
TEST(MLinkConnect, FailedAttemptLeavesTheNextAcceptedCloseReported)
{
    enum Failure { Refused, TimedOut, RequestClosed, JobRefused, AcceptedBeforeTheTimeOut };
    for (Failure failure : {Refused, TimedOut, RequestClosed, JobRefused, AcceptedBeforeTheTimeOut}) {
        MLink link;
        // Long enough that only Accept can have cleared what the request link left.
        link.setConnectTimeoutMs(failure == AcceptedBeforeTheTimeOut ? 60000 : 150);
        LinkRecorder rec(link);
        QStringList refused;
        redirectLikeTheDispatcher(link, refused);
        std::unique_ptr<MServer> request;
        const quint16 nowhere = closedPort();
        if (failure == Refused) {
            link.ConnectServer("127.0.0.1", QString::number(nowhere), "S1");
            ASSERT_TRUE(pumpUntil([&] { return rec.log.size() == 1; }));
        } else {
            QList<Step> script{acceptRequest("S1")};
            if (failure == JobRefused)
                script << send({"REDIR", QString::number(nowhere), "K9"}) << expectClose();
            else
                script << (failure == TimedOut ? expectClose() : close());
            request = std::make_unique<MServer>(script);
            request->start();
            link.ConnectServer("127.0.0.1", QString::number(request->port()), "S1");
            ASSERT_TRUE(request->wait()) << failure << ": " << request->failure().toStdString();
            if (failure == JobRefused) {
                ASSERT_TRUE(pumpUntil([&] { return rec.log.size() == 2; })) << rec.log.join(", ").toStdString();
            }
            settle();
        }
        if (failure == JobRefused) {
            ASSERT_EQ(rec.log.size(), 2) << rec.log.join(", ").toStdString();
            EXPECT_EQ(rec.log.at(0), "OnMessage:REDIR|" + QString::number(nowhere) + "|K9");
            EXPECT_TRUE(rec.log.at(1).startsWith("OnConnectFailed:Failed to connect to 127.0.0.1 on port "
                                                 + QString::number(nowhere) + kCR + "Error: 10061"))
                << rec.log.at(1).toStdString();
            EXPECT_TRUE(refused.isEmpty());
        }
        if (failure == AcceptedBeforeTheTimeOut) {
            EXPECT_TRUE(rec.log.isEmpty()) << rec.log.join(", ").toStdString();
        }
        EXPECT_FALSE(link.IsConnected()) << failure;
        rec.log.clear();

        MServer session({pause(30), close()});
        ASSERT_TRUE(session.startAccepted(link)) << failure;
        ASSERT_TRUE(pumpUntil([&] { return rec.count("OnClose") > 0; })) << failure;
        settle();
        EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnClose"})) << failure;
    }
}

// Only our own request link, still waiting, is redirected. On any other link the
// "REDIR" is refused and the link goes on as before: replacing it would have left a
// session that no close is ever reported for.
TEST(MLinkConnect, RedirOverAnyOtherLinkIsRefusedAndTheLinkGoesOn)
{
    const QString nowhere = QString::number(closedPort());
    struct Case { const char *name; bool outbound; };
    for (Case c : {Case{"accepted link", false}, Case{"job link", true}}) {
        MLink link;
        LinkRecorder rec(link);
        QStringList refused;
        redirectLikeTheDispatcher(link, refused);
        QList<Step> script;
        if (c.outbound)
            script << acceptRequest("S1") << redirect("K9") << acceptJob("K9");
        script << send({"REDIR", nowhere, "K8"}) << expect({"STILL", "HERE"}) << send({"STP", "1"});
        MServer server(script);
        if (c.outbound) {
            server.start();
            link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
        } else {
            ASSERT_TRUE(server.startAccepted(link)) << c.name;
        }
        ASSERT_TRUE(pumpUntil([&] { return rec.count("OnMessage:STP|1") == 1; })) << c.name;
        EXPECT_TRUE(server.wait()) << c.name << ": " << server.failure().toStdString();
        settle();
        EXPECT_EQ(refused, QStringList{"MLink not awaiting a redirection (ConnectJob)"}) << c.name;
        EXPECT_TRUE(link.IsConnected()) << c.name;
        EXPECT_EQ(link.IsOutbound(), c.outbound) << c.name;
        EXPECT_EQ(rec.count("OnConnect"), 1) << c.name;
        EXPECT_EQ(rec.log.filter(QRegularExpression("^(OnClose|BeforeClose|OnConnectFailed)")), QStringList())
            << c.name;
    }
}

TEST(MLinkClose, PeerCloseOfAnAcceptedLinkRaisesOnCloseOnly)
{
    MLink link;
    LinkRecorder rec(link);
    MServer server({send({"STP", "1"}), close()});
    ASSERT_TRUE(server.startAccepted(link));
    ASSERT_TRUE(pumpUntil([&] { return rec.count("OnClose") > 0; }));
    settle();
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnMessage:STP|1", "OnClose"}));
    EXPECT_EQ(link.HostIP(), "");
    EXPECT_EQ(link.MainPort(), 0);
}

TEST(MLinkClose, DisconnectLetsBeforeCloseHandlersStillSend)
{
    MLink link;
    LinkRecorder rec(link);
    QObject::connect(&link, &MLink::BeforeClose, [&] { LinkSession(link).Send({"SIU", "1", "ABC", "USER"}); });
    MServer server({expect({"SIU", "1", "ABC", "USER"}), expectClose()});
    ASSERT_TRUE(server.startAccepted(link));
    link.Disconnect();
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "BeforeClose", "OnClose"}));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();

    rec.log.clear();
    link.Disconnect();   // idle
    EXPECT_EQ(rec.log, QStringList{"OnClose"});
}

TEST(MLinkClose, OnCloseHandlerThatDisconnectsAgainDoesNotLoop)
{
    MLink link;
    LinkRecorder rec(link);
    QObject::connect(&link, &MLink::OnClose, [&] { link.Disconnect(); });
    link.Disconnect();
    EXPECT_EQ(rec.log, QStringList{"OnClose"});
}

TEST(MLinkSession, NewLinkStartsWithoutTheLastSessionsData)
{
    MLink link;
    {
        MServer first({answer({"NS"}, {"NS", "USER"}), expectAck()});
        ASSERT_TRUE(first.startAccepted(link));
        link.setFeatures(1 | 8);
        QString info = "x:1:5";
        link.VersionCheck(info);
        // Both ends speak Unicode after the greeting; the script speaks ANSI, so
        // switch back for the transaction.
        link.setFeatures(8);
        ASSERT_TRUE(link.CheckEnv());
        EXPECT_EQ(link.Env(), "USER");
        EXPECT_TRUE(first.wait()) << first.failure().toStdString();
        link.Disconnect();
    }
    MServer second({});
    ASSERT_TRUE(second.startAccepted(link));
    EXPECT_EQ(link.Features(), 0);
    EXPECT_FALSE(link.HasFeature(8));
    EXPECT_FALSE(link.IsUnicode());
    EXPECT_EQ(link.ProtocolVersion(), 0);
    EXPECT_EQ(link.Env(), "");
}

TEST(MLinkReceive, DropRequestClosesWithoutRaisingIt)
{
    MLink link;
    LinkRecorder rec(link);
    // One write: the link may close on the drop request before a second write is sent.
    MServer server({sendRaw(FrameCodec::encode({"<DSCON>"}, false) + FrameCodec::encode({"STP", "1"}, false)),
                    expectClose()});
    ASSERT_TRUE(server.startAccepted(link));
    ASSERT_TRUE(pumpUntil([&] { return rec.count("OnClose") > 0; }));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    settle();
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnClose"}));
}

TEST(MLinkReceive, HandlerThatDisconnectsStopsTheRestOfTheRead)
{
    MLink link;
    LinkRecorder rec(link);
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "BYE")
            link.Disconnect();
    });
    const QByteArray three = FrameCodec::encode({"BYE"}, false) + FrameCodec::encode({"STP", "1"}, false)
                             + FrameCodec::encode({"STP", "2"}, false);
    MServer server({sendRaw(three), expectClose()});
    ASSERT_TRUE(server.startAccepted(link));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    settle();
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnMessage:BYE", "BeforeClose", "OnClose"}));
}

TEST(MLinkReceive, MalformedFrameDropsTheLinkThroughTheClosePath)
{
    struct Case { const char *name; QByteArray bytes; };
    const Case cases[] = {
        {"length below 6", QByteArray::fromHex("000000030000")},
        {"field past the frame", QByteArray::fromHex("0000000C000100000009414243")},
        {"count beyond 16 bits", QByteArray::fromHex("00000006FFFF")},
    };
    for (const Case &c : cases) {
        MLink link;
        LinkRecorder rec(link);
        MServer server({send({"STP", "1"}), sendRaw(c.bytes), expectClose()});
        ASSERT_TRUE(server.startAccepted(link)) << c.name;
        EXPECT_TRUE(server.wait()) << c.name << ": " << server.failure().toStdString();
        ASSERT_TRUE(pumpUntil([&] { return rec.count("OnClose") > 0; })) << c.name;
        settle();
        EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnMessage:STP|1", "OnClose"})) << c.name;
        EXPECT_FALSE(link.IsConnected());
    }
}

TEST(MLinkReceive, SwitchesModeBetweenTwoFramesOfOneRead)
{
    MLink link;
    LinkRecorder rec(link);
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "HI") {
            LinkSession(link).Send({});   // the greeting's acknowledgement still goes out in ANSI
            link.setFeatures(m.value(1).toInt());
        }
    });
    const QString euro(QChar(0x20AC));
    MServer server({sendRaw(FrameCodec::encode({"HI", "1"}, false) + FrameCodec::encode({"HI2", euro}, true)),
                    expectAck(), unicode(true), expect({"IAM", euro})});
    ASSERT_TRUE(server.startAccepted(link));
    ASSERT_TRUE(pumpUntil([&] { return rec.messages().size() == 2; }));
    LinkSession(link).Send({"IAM", euro});
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(rec.messages(), (QStringList{"OnMessage:HI|1", "OnMessage:HI2|" + euro}));
}

TEST(MLinkReceive, EmptyMessageArrivesWithAnEmptyCode)
{
    MLink link;
    QList<QStringList> got;
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) { got.append(m); });
    MServer server({send({})});
    ASSERT_TRUE(server.startAccepted(link));
    ASSERT_TRUE(pumpUntil([&] { return !got.isEmpty(); }));
    EXPECT_EQ(got.at(0), QStringList{QString()});
}

// A handler that shows a message box runs an event loop. What arrives meanwhile is
// raised as soon as the handler returns, in stream order and never inside it; Qt
// raises no second readyRead for it, so waiting for one would hold it until the
// server next spoke (here: never). Closing the link inside the box, from either end,
// used to free the socket under Qt's feet and crash when the box returned.
TEST(MLinkReceive, WhatArrivesWhileAHandlerRunsFollowsItAsSoonAsItReturns)
{
    enum InTheBox { Nothing, Notify, Disconnect };   // Notify: as when a transaction ends
    struct Case {
        const char *name;
        QList<Step> script;
        InTheBox inTheBox;
        QStringList log;
    };
    const QStringList abc{"begin A", "end A", "begin B", "end B", "begin C", "end C"};
    const Case cases[] = {
        {"a frame during the box", {send({"A"}), pause(150), send({"B"}), expectAck(), expectAck()}, Nothing,
         {"begin A", "end A", "begin B", "end B"}},
        {"frames buffered before and one during the box, socket notifying inside it",
         {sendRaw(FrameCodec::encode({"A"}, false) + FrameCodec::encode({"B"}, false)), pause(150), send({"C"}),
          expectAck(), expectAck(), expectAck()},
         Notify, abc},
        {"a frame and the close during the box", {send({"A"}), pause(150), send({"B"}), close()}, Notify,
         {"begin A", "end A", "begin B", "end B", "OnClose"}},
        {"the link disconnected inside the box", {send({"A"}), pause(150), send({"B"}), expectClose()}, Disconnect,
         {"begin A", "OnClose", "end A"}},
    };
    for (const Case &c : cases) {
        MLink link;
        QStringList log;
        QObject::connect(&link, &MLink::OnClose, [&] { log << "OnClose"; });
        QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
            log << "begin " + m.value(0);
            if (m.value(0) == "A") {
                QEventLoop box;
                QTimer::singleShot(500, &box, &QEventLoop::quit);
                QTimer::singleShot(300, &box, [&link, &c] {
                    if (c.inTheBox == Notify) {
                        link.Control()->setNotifyFlags(32);
                        link.Control()->setNotifyFlags(63);
                    } else if (c.inTheBox == Disconnect) {
                        link.Disconnect();
                    }
                });
                box.exec();
            }
            LinkSession(link).Send({});
            log << "end " + m.value(0);
        });
        MServer server(c.script);
        ASSERT_TRUE(server.startAccepted(link)) << c.name;
        ASSERT_TRUE(pumpUntil([&] { return log.size() >= c.log.size(); }, 3000))
            << c.name << ": " << log.join(", ").toStdString();
        EXPECT_TRUE(server.wait()) << c.name << ": " << server.failure().toStdString();
        settle();
        EXPECT_EQ(log, c.log) << c.name;
    }
}

// The server waits for the answers to what it sent; the layouts and the repaint that a
// handler leaves for the event loop must not stand between them and the wire. The work
// left here is a posted call that waits a while for the server to have read the answer,
// as a slow repaint would keep the event loop busy; the frames a handler writes still
// leave together.
TEST(MLinkSend, AHandlersFramesLeaveBeforeTheWorkItLeftForTheEventLoop)
{
    MLink link;
    MServer server({send({"STP", "1"}), expectTogether({{}, {"VAR*", "1"}}), send({"VARend"}), expectAck()});
    bool answerOnTheWire = false;
    int raised = 0;
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        ++raised;
        LinkSession(link).Send({});
        if (m.value(0) != "STP")
            return;
        LinkSession(link).Send({"VAR*", "1"});
        QMetaObject::invokeMethod(&link, [&] {
            QDeadlineTimer patience(1000);
            while (!answerOnTheWire && !patience.hasExpired()) {
                answerOnTheWire = server.received().size() >= 2;
                QThread::msleep(5);
            }
        }, Qt::QueuedConnection);
    });
    ASSERT_TRUE(server.startAccepted(link));
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_EQ(raised, 2);
    EXPECT_TRUE(answerOnTheWire);
}

TEST(MLinkSend, DoesNothingWhileIdle)
{
    MLink link;
    LinkSession(link).Send({"PING"});   // no socket error, no exception
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.HostIP(), "");
    EXPECT_EQ(link.MainPort(), 0);
}

// The count has two digits: 65,536 fields would go out as a frame of none, which the
// server reads as an acknowledgement; and a frame longer than the receive side takes would
// be refused when the server sent it back. Such a message is dropped whole, and the link
// carries on with the next one.
TEST(MLinkSend, NeverWritesAMessageNoFrameCarries)
{
    struct Case { const char *name; QStringList message; bool sent; };
    const Case cases[] = {
        {"32768 fields", messageOfFields("BIG", 32768), false},
        {"65536 fields", messageOfFields("BIG", 65536), false},
        {"65537 fields", messageOfFields("BIG", 65537), false},
        {"32767 fields", messageOfFields("BIG", 32767), true},
        // 6 + (4 + 3) + (4 + text): one unit over the bound.
        {"one unit longer than the bound",
         {"BIG", QString(FrameCodec::MaxFrameUnits - 16, QLatin1Char('a'))}, false},
    };
    for (const Case &c : cases) {
        MLink link;
        QList<Step> script;
        if (c.sent)
            script << expect({"BIG", "**"});
        script << expect({"NEXT", "1"}) << expectSilence(50);
        MServer server(script);
        ASSERT_TRUE(server.startAccepted(link)) << c.name;
        LinkSession(link).Send(c.message);
        LinkSession(link).Send({"NEXT", "1"});
        EXPECT_TRUE(server.wait()) << c.name << ": " << server.failure().toStdString();
        const QList<Fields> got = server.received();
        ASSERT_EQ(got.size(), c.sent ? 2 : 1) << c.name;
        if (c.sent) {
            EXPECT_EQ(got.at(0), c.message);
        }
        EXPECT_TRUE(link.IsConnected());
    }
}

// The Connect dialog shows the failure in a message box, whose event loop keeps
// reading the link. A "REDIR" that comes after the time-out must not bring up a
// session the user has just been told failed (and the time-out then closed).
TEST(MLinkConnect, TimedOutRequestLinkIsGoneBeforeTheFailureIsReported)
{
    MLink link;
    link.setConnectTimeoutMs(150);
    LinkRecorder rec(link);
    MServer server({acceptRequest("S1"), pause(500), redirect("K9"), acceptJob("K9")});
    server.setStepTimeoutMs(500);
    server.start();
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &m) {
        if (m.value(0) == "REDIR")
            link.ConnectJob(m.value(1), m.value(2));
    });
    bool connectedInHandler = true;
    QObject::connect(&link, &MLink::OnConnectFailed, [&](const QString &) {
        connectedInHandler = link.IsConnected();   // a retry would be refused
        settle(800);                               // the message box
    });
    link.ConnectServer("127.0.0.1", QString::number(server.port()), "S1");
    ASSERT_TRUE(pumpUntil([&] { return !rec.log.isEmpty(); }));
    settle(300);
    EXPECT_EQ(rec.log, QStringList{"OnConnectFailed:Failed to connect to 127.0.0.1 on port "
                                   + QString::number(server.port())});
    EXPECT_FALSE(connectedInHandler);
    EXPECT_FALSE(link.IsConnected());
}

// The main window's OnClose handler shows the "Disconnected Abruptly" box, whose
// event loop may accept the next session. That session's close is a close of its
// own and must be reported, not taken for the handler disconnecting again.
TEST(MLinkClose, LinkAcceptedInsideAnOnCloseHandlerReportsItsOwnClose)
{
    MLink link;
    LinkRecorder rec(link);
    std::unique_ptr<MServer> next;
    bool nextClosed = false;
    QObject::connect(&link, &MLink::OnClose, [&] {
        if (next)
            return;
        next = std::make_unique<MServer>(QList<Step>{pause(30), close()});
        ASSERT_TRUE(next->startAccepted(link));
        nextClosed = pumpUntil([&] { return rec.count("OnClose") == 2; }, 2000);   // the box
    });
    MServer first({close()});
    ASSERT_TRUE(first.startAccepted(link));
    ASSERT_TRUE(pumpUntil([&] { return next && next->finished(); }));
    settle();
    EXPECT_TRUE(nextClosed);
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnClose", "OnConnect", "OnClose"}));
    EXPECT_FALSE(link.IsConnected());
}

// A step of the user's (not a handler of the server's frames) sends a command the server
// waits for, then leaves more work for the event loop, as a relayout or a slow repaint
// would. The command is on the wire before that work runs, without anyone flushing.
TEST(MLinkSend, AUserStepsFrameLeavesAheadOfTheWorkTheStepLeftForTheEventLoop)
{
    MLink link;
    MServer server({expect({"STPin"})});
    ASSERT_TRUE(server.startAccepted(link));
    bool onTheWire = false;
    QMetaObject::invokeMethod(&link, [&] {
        LinkSession(link).Send({"STPin"});
        QMetaObject::invokeMethod(&link, [&] {
            QDeadlineTimer patience(1000);
            while (!onTheWire && !patience.hasExpired()) {
                onTheWire = server.received().size() >= 1;
                QThread::msleep(5);
            }
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    EXPECT_TRUE(server.wait()) << server.failure().toStdString();
    EXPECT_TRUE(onTheWire);
}

// From the peer's close until the OnClose handlers have returned, the link's session has
// not ended: EndPending says so, while its id is already another and no longer current.
TEST(MLinkClose, TheEndIsPendingUntilTheOnCloseHandlersHaveReturned)
{
    MLink link;
    std::atomic<bool> watched{false};
    MServer server({call("the handler is in place", [&](Peer &, QString &) {
                        while (!watched)
                            QThread::msleep(5);
                        return true;
                    }),
                    close()});
    ASSERT_TRUE(server.startAccepted(link));
    const LinkSession session(link);
    EXPECT_TRUE(session.isCurrent());
    bool pendingInHandler = false;
    bool currentInHandler = true;
    QObject::connect(&link, &MLink::OnClose, [&] {
        pendingInHandler = link.EndPending();
        currentInHandler = session.isCurrent();
    });
    watched = true;
    ASSERT_TRUE(pumpUntil([&] { return !link.IsConnected() && !link.EndPending(); }));
    EXPECT_TRUE(pendingInHandler);
    EXPECT_FALSE(currentInHandler);
    EXPECT_FALSE(session.isCurrent());
}

// The frames that came with the peer's close are its last words, raised before the end;
// the end is pending while their handlers run. A box in one of them runs an event loop,
// where the main window would otherwise take the next server on, and this session's end
// would then never run. Here the receive notification is held back (as a transaction
// holds it), so the frame is read only with the close.
TEST(MLinkClose, TheEndIsPendingWhileTheFramesThatCameWithTheCloseAreRaised)
{
    MLink link;
    LinkRecorder rec(link);
    std::atomic<bool> held{false};
    MServer server({call("the receive notification held back", [&](Peer &, QString &) {
                        while (!held)
                            QThread::msleep(5);
                        return true;
                    }),
                    send({"LAST"}), close()});
    ASSERT_TRUE(server.startAccepted(link));
    link.Control()->setNotifyFlags(32);
    bool pendingInHandler = false;
    bool connectedInHandler = true;
    QObject::connect(&link, &MLink::OnMessage, [&](const QStringList &) {
        pendingInHandler = link.EndPending();
        connectedInHandler = link.IsConnected();
        settle(100);   // the box
    });
    held = true;
    ASSERT_TRUE(pumpUntil([&] { return rec.count("OnClose") > 0; }));
    EXPECT_EQ(rec.log, (QStringList{"OnConnect", "OnMessage:LAST", "OnClose"}));
    EXPECT_TRUE(pendingInHandler);
    EXPECT_FALSE(connectedInHandler);
    EXPECT_FALSE(link.EndPending());
}
