#include "socketx.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

bool pumpUntil(const std::function<bool()> &done, int ms = 2000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A listener plus one link accepted from it and one connected to it.
struct Pair
{
    SocketX listener;
    SocketX client;
    SocketX server;   // the accepted end
    int handle = 0;

    bool open()
    {
        listener.setLocalAddress(QStringLiteral("127.0.0.1"));
        if (listener.Listen() != 0)
            return false;
        QObject::connect(&listener, &SocketX::OnAccept, &listener,
                         [this](int h, qint16) { handle = h; server.Accept(h); });
        client.setRemoteAddress(QStringLiteral("127.0.0.1"));
        client.setRemotePort(listener.LocalPort());
        client.Connect();
        return pumpUntil([this] {
            return client.State() == SocketX::Connected && server.State() == SocketX::Connected;
        });
    }
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

TEST(SocketX, FoldsPortsIntoSigned16Bits)
{
    struct Case { int port; qint16 folded; };
    const Case cases[] = {{4321, 4321}, {40000, -25536}, {65535, -1}, {32767, 32767}, {32768, -32768}, {0, 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(SocketX::foldPort(c.port), c.folded) << c.port;
        EXPECT_EQ(SocketX::unfoldPort(c.folded), c.port) << c.port;
    }
}

TEST(SocketX, ReportsStateNumbersThroughALinkLifetime)
{
    Pair p;
    EXPECT_EQ(p.client.State(), SocketX::Closed);
    EXPECT_EQ(p.client.StateText(), "Closed");
    ASSERT_TRUE(p.open());
    EXPECT_EQ(p.listener.State(), SocketX::Listening);
    EXPECT_EQ(p.client.State(), SocketX::Connected);
    EXPECT_EQ(p.server.State(), SocketX::Connected);
    EXPECT_EQ(p.server.PeerAddress(), "127.0.0.1");
    EXPECT_EQ(p.server.PeerPort(), SocketX::foldPort(SocketX::unfoldPort(p.client.LocalPort())));
    EXPECT_EQ(p.server.LocalPort(), p.listener.LocalPort());
    p.client.Close();
    EXPECT_EQ(p.client.State(), SocketX::Closed);
    p.listener.Close();
    EXPECT_EQ(p.listener.State(), SocketX::Closed);
}

TEST(SocketX, AcceptedLinkCarriesEveryByteValueBothWays)
{
    Pair p;
    ASSERT_TRUE(p.open());
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));

    struct Direction { SocketX *from; SocketX *to; };
    for (Direction d : {Direction{&p.client, &p.server}, Direction{&p.server, &p.client}}) {
        QSignalSpy received(d.to, &SocketX::OnReceive);
        ASSERT_EQ(d.from->Write(all), 0);
        EXPECT_EQ(d.from->SentCount(), 256);
        QByteArray got;
        ASSERT_TRUE(pumpUntil([&] { got += d.to->Read(); return got.size() >= 256; }));
        EXPECT_EQ(got, all);
        EXPECT_GE(received.count(), 1);
    }
}

TEST(SocketX, WritesTextAsWindows1252Bytes)
{
    Pair p;
    ASSERT_TRUE(p.open());
    ASSERT_EQ(p.client.Write(QString::fromUtf8("\u20AC\u00E9>\u03A9")), 0);
    QByteArray got;
    ASSERT_TRUE(pumpUntil([&] { got += p.server.Read(); return got.size() >= 4; }));
    EXPECT_EQ(got, QByteArray("\x80\xE9>?", 4));
}

TEST(SocketX, HoldsReceiveNotificationsWhileBitZeroIsClearAndLosesNoBytes)
{
    Pair p;
    ASSERT_TRUE(p.open());
    QSignalSpy received(&p.server, &SocketX::OnReceive);
    p.server.setNotifyFlags(32);
    p.client.Write(QByteArray("abc"));
    ASSERT_TRUE(pumpUntil([&] { return p.server.BytesWaiting() == 3; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(received.count(), 0);

    p.server.setNotifyFlags(63);
    ASSERT_TRUE(pumpUntil([&] { return received.count() > 0; }));
    EXPECT_EQ(p.server.Read(), QByteArray("abc"));
}

TEST(SocketX, WaitForBytesReadsWithoutAnEventLoop)
{
    Pair p;
    ASSERT_TRUE(p.open());
    p.server.setNotifyFlags(32);
    EXPECT_FALSE(p.server.WaitForBytes(50));
    p.client.Write(QByteArray("x"));
    p.client.Flush();
    ASSERT_TRUE(p.server.WaitForBytes(2000));
    EXPECT_EQ(p.server.Read(), QByteArray("x"));
    EXPECT_EQ(p.server.State(), SocketX::Connected);   // the time-out above left the link up
}

TEST(SocketX, ReportsRefusedConnectWithWinsockNumber)
{
    SocketX s;
    QSignalSpy connected(&s, &SocketX::OnConnect);
    s.setRemoteAddress(QStringLiteral("127.0.0.1"));
    s.setRemotePort(SocketX::foldPort(closedPort()));
    s.Connect();
    ASSERT_TRUE(pumpUntil([&] { return connected.count() > 0; }));
    EXPECT_EQ(connected.count(), 1);
    EXPECT_EQ(connected.at(0).at(0).value<qint16>(), SocketX::ConnectionRefused);
    EXPECT_FALSE(s.ErrorText().isEmpty());
    EXPECT_EQ(s.State(), SocketX::Closed);
}

TEST(SocketX, PeerCloseRaisesCloseButOwnCloseDoesNot)
{
    Pair p;
    ASSERT_TRUE(p.open());
    QSignalSpy serverClosed(&p.server, &SocketX::OnClose);
    QSignalSpy clientClosed(&p.client, &SocketX::OnClose);
    p.client.Write(QByteArray("last words"));
    p.client.Close();   // written bytes still leave
    ASSERT_TRUE(pumpUntil([&] { return serverClosed.count() > 0; }));
    EXPECT_EQ(p.server.Read(), QByteArray("last words"));
    EXPECT_EQ(p.server.State(), SocketX::Closed);
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(clientClosed.count(), 0);
    EXPECT_EQ(serverClosed.count(), 1);
}

TEST(SocketX, DropsAnnouncedConnectionNobodyAccepts)
{
    SocketX listener;
    listener.setLocalAddress(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(listener.Listen(), 0);
    int announced = 0;
    QObject::connect(&listener, &SocketX::OnAccept, [&](int h, qint16) { announced = h; });
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(SocketX::unfoldPort(listener.LocalPort())));
    ASSERT_TRUE(pumpUntil([&] { return announced != 0; }));
    ASSERT_TRUE(pumpUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; }));
    SocketX late;
    EXPECT_FALSE(late.Accept(announced));
}

TEST(SocketX, ListenOnBusyPortReportsAddressInUse)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    SocketX s;
    s.setLocalPort(SocketX::foldPort(holder.serverPort()));
    EXPECT_EQ(s.Listen(), SocketX::AddressInUse);
    EXPECT_NE(s.State(), SocketX::Listening);
}
