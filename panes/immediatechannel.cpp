#include "immediatechannel.h"

#include "ansicodec.h"

#include <QTcpServer>
#include <QTcpSocket>

ImmediateChannel::ImmediateChannel(QObject *parent)
    : QObject(parent)
{
}

ImmediateChannel::~ImmediateChannel()
{
    // No closed() from a channel that goes with its owner.
    if (m_socket)
        disconnect(m_socket, nullptr, this, nullptr);
}

void ImmediateChannel::connectTo(const QString &host, quint16 port)
{
    abort();
    auto *socket = new QTcpSocket(this);
    adopt(socket);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        m_open = true;
        emit opened();
        // The server waits for this byte before it writes the output. A text write of
        // one character, as the link writes its raw prefixes: one byte in any mode.
        if (m_socket == socket)
            socket->write("*", 1);
    });
    socket->connectToHost(host, port);
}

bool ImmediateChannel::listen(quint16 port, const QString &server, QString &error)
{
    abort();
    m_server = QHostAddress(server);
    auto *listener = new QTcpServer(this);
    if (!listener->listen(QHostAddress::AnyIPv4, port)) {
        error = listener->errorString();
        delete listener;
        return false;
    }
    m_listener = listener;
    connect(listener, &QTcpServer::newConnection, this, &ImmediateChannel::onNewConnection);
    return true;
}

void ImmediateChannel::onNewConnection()
{
    QTcpServer *listener = m_listener;
    if (!listener)
        return;
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        // Anyone on the network could reach a listener on every address; only the
        // session's server may write into the pane.
        if (m_socket || !socket->peerAddress().isEqual(m_server, QHostAddress::TolerantConversion)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        adopt(socket);
        closeListener();
        m_open = true;
        emit opened();
        // The server may have written and closed before the connection was taken.
        if (m_socket == socket) {
            onReadyRead();
            if (socket->state() != QAbstractSocket::ConnectedState)
                onDisconnected();
        }
        return;
    }
}

void ImmediateChannel::adopt(QTcpSocket *socket)
{
    socket->setParent(this);
    // Without a bound Qt would read whatever the server writes, as fast as it comes.
    socket->setReadBufferSize(ReadBufferBytes);
    m_socket = socket;
    m_oddByte.clear();
    m_open = false;
    connect(socket, &QTcpSocket::readyRead, this, &ImmediateChannel::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &ImmediateChannel::onDisconnected);
    // A connect that fails ends the attempt quietly: there is simply no output.
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == m_socket && !m_open) {
            m_socket = nullptr;
            socket->deleteLater();
        }
    });
}

void ImmediateChannel::onReadyRead()
{
    if (m_socket && m_open)
        readAvailable(m_socket);
}

void ImmediateChannel::readAvailable(QTcpSocket *socket)
{
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return;
    const QString text = decode(bytes);
    if (!text.isEmpty())
        emit arrived(text);
}

void ImmediateChannel::onDisconnected()
{
    QTcpSocket *socket = m_socket;
    if (!socket || !m_open)
        return;
    // The owner may abort the channel while it takes the last piece.
    readAvailable(socket);
    if (socket != m_socket)
        return;
    m_socket = nullptr;
    m_open = false;
    m_oddByte.clear();
    disconnect(socket, nullptr, this, nullptr);
    socket->deleteLater();
    emit closed();
}

void ImmediateChannel::abort()
{
    closeListener();
    if (QTcpSocket *socket = m_socket) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        socket->deleteLater();
    }
    m_socket = nullptr;
    m_open = false;
    m_oddByte.clear();
}

void ImmediateChannel::closeListener()
{
    if (QTcpServer *listener = m_listener) {
        listener->close();
        listener->deleteLater();
    }
    m_listener = nullptr;
}

bool ImmediateChannel::isListening() const
{
    return m_listener && m_listener->isListening();
}

bool ImmediateChannel::isOpen() const
{
    return m_open;
}

QString ImmediateChannel::decode(const QByteArray &bytes)
{
    if (!m_unicode)
        return AnsiCodec::decode(bytes);
    const QByteArray whole = m_oddByte.isEmpty() ? bytes : m_oddByte + bytes;
    const qsizetype units = whole.size() / 2;
    m_oddByte = whole.size() % 2 ? whole.right(1) : QByteArray();
    QString text(units, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(whole.constData());
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < units; ++i)
        out[i] = char16_t(in[2 * i] | (in[2 * i + 1] << 8));
    return text;
}
