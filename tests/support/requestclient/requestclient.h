#pragma once

#include "eventwait.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <memory>

// A server's side of the request port, driven without blocking so the Sentry in
// the same thread keeps running.
class RequestClient
{
public:
    explicit RequestClient(quint16 port)
        : m_socket(std::make_unique<QTcpSocket>())
    {
        m_socket->connectToHost(QHostAddress::LocalHost, port);
    }

    bool waitConnected(int ms = 3000)
    {
        return waitUntil([this] { return m_socket->state() == QAbstractSocket::ConnectedState; }, ms);
    }

    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }

    // The next n bytes, or what arrived before the time ran out.
    QByteArray read(int n, int ms = 3000)
    {
        waitUntil([&] { return m_received.size() + m_socket->bytesAvailable() >= n; }, ms);
        m_received += m_socket->readAll();
        const QByteArray head = m_received.left(n);
        m_received.remove(0, head.size());
        return head;
    }

    QByteArray ask(char request) { send(QByteArray(1, request)); return read(2); }

    bool waitClosed(int ms = 3000)
    {
        return waitUntil([this] { return m_socket->state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    QTcpSocket *socket() const { return m_socket.get(); }

private:
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_received;
};

inline quint16 replyPort(const QByteArray &reply)
{
    return reply.size() == 2 ? quint16((quint8(reply[0]) << 8) | quint8(reply[1])) : quint16(0xFFFF);
}

// The task's port as the Sentry hands it to a server that asks for a ready task ("+");
// 0 until a task has told the Sentry it listens, or when waitMs ran out first.
inline quint16 readyTaskPort(quint16 sentryPort, int waitMs = 10000)
{
    quint16 port = 0;
    waitUntil([&] {
        RequestClient client(sentryPort);
        if (!client.waitConnected(1000))
            return false;
        const quint16 answer = replyPort(client.ask('+'));
        port = answer == 0xFFFF ? 0 : answer;
        return port != 0;
    }, waitMs);
    return port;
}
