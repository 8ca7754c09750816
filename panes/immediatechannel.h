#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The output channel of one command run in the server process: a plain TCP connection
// beside the debug link, without frames, on which the server writes the command's
// output and which it closes when the output is complete.
//
// On a link this side opened, the channel connects to the server (connectTo) and, once
// connected, writes "*"; on a link the server opened, it listens (listen) and takes the
// server's connection. Either way opened() tells that the output is on its way,
// arrived() hands over each piece as it comes, decoded, and closed() follows the last
// piece when the server closes.
//
// The channel keeps nothing it has handed over, and its socket holds at most
// ReadBufferBytes between two pieces. It hands over every piece as soon as it is read,
// so a command that writes without end is not slowed down by the connection: the
// output keeps coming, and whatever the owner cannot keep the owner drops (the
// immediate pane keeps the newest text and says how much has gone).
//
// A connect that fails, or a listener nobody connects to, raises nothing: the command
// simply produced no channel. One channel serves one command; start() on a channel in
// use drops what it had first. Everything runs on the GUI thread through the sockets'
// signals.
class ImmediateChannel : public QObject
{
    Q_OBJECT
public:
    explicit ImmediateChannel(QObject *parent = nullptr);
    ~ImmediateChannel() override;

    // The bytes are UTF-16LE text (true) or one Windows-1252 character each (false).
    void setUnicode(bool on) { m_unicode = on; }

    void connectTo(const QString &host, quint16 port);
    // Listens on 0.0.0.0:port for the server at `server`; connections from other
    // addresses are dropped and the listener keeps waiting. False with the socket's
    // text in `error` when the port cannot be bound.
    bool listen(quint16 port, const QString &server, QString &error);

    // What the socket reads ahead of the owner at most.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;

    // Drops the listener, the connection and what was received.
    void abort();
    // The listener only; a connection already taken goes on.
    void closeListener();

    bool isListening() const;
    // The connection is open (connected or accepted) and the server has not closed it.
    bool isOpen() const;

signals:
    void opened();
    // A piece of the output, decoded. An odd last byte of a Unicode stream waits for
    // its partner and comes with the next piece.
    void arrived(const QString &text);
    void closed();

private:
    void adopt(QTcpSocket *socket);
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void readAvailable(QTcpSocket *socket);
    QString decode(const QByteArray &bytes);

    QPointer<QTcpServer> m_listener;
    QPointer<QTcpSocket> m_socket;
    QHostAddress m_server;      // the only peer the listener takes
    QByteArray m_oddByte;       // the first half of a UTF-16 unit split between reads
    bool m_unicode = false;
    bool m_open = false;        // between opened() and closed()
};
