#include "socketx.h"

#include "ansicodec.h"

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

namespace {

// Connections announced by a listener and not yet taken over, by handle.
QHash<int, QPointer<QTcpSocket>> &pendingTable()
{
    static QHash<int, QPointer<QTcpSocket>> table;
    return table;
}

int g_nextHandle = 0;

// A connection closed from our side is kept alive until its written bytes have
// left; one whose peer never reads is cut after this long.
constexpr int kLingerMs = 30000;

// Notifications of any socket still on the stack. A handler may run an event loop (a
// message box) and release a socket there; Qt would carry out its deleteLater inside
// that loop, while the socket is still inside the readyRead that led to the handler,
// and crash on return. Released sockets wait here until the outermost notification
// has returned.
int g_notifyDepth = 0;

QList<QPointer<QObject>> &graveyard()
{
    static QList<QPointer<QObject>> dead;
    return dead;
}

void bury(QObject *object)
{
    if (g_notifyDepth > 0)
        graveyard().append(object);
    else
        object->deleteLater();
}

struct NotifyScope
{
    NotifyScope() { ++g_notifyDepth; }
    ~NotifyScope()
    {
        if (--g_notifyDepth > 0)
            return;
        const QList<QPointer<QObject>> dead = std::exchange(graveyard(), {});
        for (const QPointer<QObject> &object : dead) {
            if (object)
                object->deleteLater();
        }
    }
    Q_DISABLE_COPY_MOVE(NotifyScope)
};

QHostAddress hostAddressOf(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String("0.0.0.0"))
        return QHostAddress(QHostAddress::AnyIPv4);
    return QHostAddress(text);
}

} // namespace

SocketX::SocketX(QObject *parent) : QObject(parent) {}

SocketX::~SocketX()
{
    releaseSocket();
    if (m_server)
        m_server->close();
}

void SocketX::setNoDelay(bool on)
{
    m_noDelay = on;
    if (m_socket)
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, on ? 1 : 0);
}

// Linux tunes its own socket buffers better than the fixed sizes a Windows stack
// needed; the sizes are kept so that callers can report them.
void SocketX::setRecvBufferSize(qint32 bytes) { m_recvBufferSize = bytes; }
void SocketX::setSendBufferSize(qint32 bytes) { m_sendBufferSize = bytes; }

void SocketX::setNotifyFlags(qint16 flags)
{
    const bool resumed = !(m_notifyFlags & 1) && (flags & 1);
    m_notifyFlags = flags;
    // Bytes that arrived while notifications were off would otherwise wait for the
    // next packet before anyone looks at them.
    if (resumed)
        scheduleReceive();
}

void SocketX::scheduleReceive()
{
    if (m_receivePending || BytesWaiting() == 0)
        return;
    m_receivePending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_receivePending = false;
        if ((m_notifyFlags & 1) && BytesWaiting() > 0)
            emit OnReceive(0);
    }, Qt::QueuedConnection);
}

qint16 SocketX::LocalPort() const
{
    if (m_server && m_server->isListening())
        return foldPort(m_server->serverPort());
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return foldPort(m_socket->localPort());
    return m_localPort;
}

qint16 SocketX::State() const
{
    if (m_server && m_server->isListening())
        return Listening;
    if (!m_socket)
        return Closed;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return Connecting;
    case QAbstractSocket::ConnectedState:
        return Connected;
    case QAbstractSocket::ClosingState:
        return Closing;
    default:
        return Closed;
    }
}

QString SocketX::StateText() const
{
    switch (State()) {
    case Connecting: return QStringLiteral("Connecting");
    case Connected: return QStringLiteral("Connected");
    case Listening: return QStringLiteral("Listening");
    case Closing: return QStringLiteral("Closing");
    default: return QStringLiteral("Closed");
    }
}

QString SocketX::PeerAddress() const
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return QString();
    // A dual-stack socket reports IPv4 peers as "::ffff:a.b.c.d"; callers compare
    // and show the plain form.
    const QHostAddress peer = m_socket->peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

qint16 SocketX::PeerPort() const
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return 0;
    return foldPort(m_socket->peerPort());
}

qint64 SocketX::BytesWaiting() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}

QString SocketX::WinsockVersion() { return QStringLiteral("2.2"); }
QString SocketX::LibraryName() { return QStringLiteral("Qt Network ") + QLatin1String(qVersion()); }
QString SocketX::Description() { return QStringLiteral("TCP/IP sockets over Qt"); }
QString SocketX::ComponentVersion() { return QStringLiteral("1.0"); }

qint16 SocketX::Listen()
{
    releaseSocket();
    if (m_server)
        m_server->close();
    else {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &SocketX::onNewConnection);
    }
    if (!m_server->listen(hostAddressOf(m_localAddress), quint16(unfoldPort(m_localPort)))) {
        const qint16 code = m_server->serverError() == QAbstractSocket::AddressInUseError
                                ? qint16(AddressInUse)
                                : errorCodeOf(m_server->serverError());
        setError(code, m_server->errorString());
        return code;
    }
    setError(0, QString());
    return 0;
}

void SocketX::Connect()
{
    releaseSocket();
    if (m_server)
        m_server->close();
    auto *socket = new QTcpSocket(this);
    adopt(socket);
    setError(0, QString());
    m_connecting = true;
    if (m_localAddress != QLatin1String("0.0.0.0") || m_localPort != 0)
        socket->bind(hostAddressOf(m_localAddress), quint16(unfoldPort(m_localPort)));
    socket->connectToHost(m_remoteAddress, quint16(unfoldPort(m_remotePort)),
                          QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

bool SocketX::Accept(int handle)
{
    QPointer<QTcpSocket> socket = pendingTable().take(handle);
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        if (socket)
            socket->deleteLater();
        setError(NotConnected, QStringLiteral("No pending connection with handle %1").arg(handle));
        return false;
    }
    releaseSocket();
    if (m_server)
        m_server->close();
    socket->setParent(this);
    adopt(socket);
    m_remoteAddress = PeerAddress();
    m_remotePort = PeerPort();
    setError(0, QString());
    // The peer may have spoken before we took the connection over; its first
    // readyRead then went to nobody.
    scheduleReceive();
    return true;
}

void SocketX::Close()
{
    releaseSocket();
    if (m_server)
        m_server->close();
}

QByteArray SocketX::Read()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

qint16 SocketX::Write(const QByteArray &bytes)
{
    m_sentCount = 0;
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        setError(NotConnected, QStringLiteral("Socket is not connected"));
        return NotConnected;
    }
    // QTcpSocket takes every byte into its own buffer, so a write never "would
    // block" and nothing needs queueing on this side.
    const qint64 n = m_socket->write(bytes);
    if (n < 0) {
        setError(errorCodeOf(m_socket->error()), m_socket->errorString());
        return m_lastError;
    }
    m_sentCount = n;
    return 0;
}

qint16 SocketX::Write(const QString &text)
{
    return Write(AnsiCodec::encode(text));
}

void SocketX::Flush()
{
    if (m_socket)
        m_socket->flush();
}

bool SocketX::WaitForBytes(int ms)
{
    if (!m_socket)
        return false;
    if (m_socket->bytesAvailable() > 0)
        return true;
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    return m_socket->waitForReadyRead(ms) || m_socket->bytesAvailable() > 0;
}

int SocketX::registerPending(QTcpSocket *socket)
{
    const int handle = ++g_nextHandle;
    pendingTable().insert(handle, socket);
    QTimer::singleShot(0, [handle] {
        QPointer<QTcpSocket> left = pendingTable().take(handle);
        if (left) {
            left->abort();
            left->deleteLater();
        }
    });
    return handle;
}

void SocketX::adopt(QTcpSocket *socket)
{
    m_socket = socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, m_noDelay ? 1 : 0);
    // Left unbounded, Qt takes in whatever the peer sends as fast as it comes, also while
    // nobody reads (a handler's box): a large frame would then sit here whole besides its
    // decoded text. Bounded, the rest waits in the kernel and the peer is held back.
    socket->setReadBufferSize(ReadAheadBytes);
    connect(socket, &QTcpSocket::connected, this, &SocketX::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &SocketX::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        NotifyScope scope;
        emit OnSend(0);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketX::onErrorOccurred);
    connect(socket, &QTcpSocket::disconnected, this, &SocketX::onDisconnected);
}

void SocketX::releaseSocket()
{
    QPointer<QTcpSocket> socket = m_socket;
    m_socket = nullptr;
    m_connecting = false;
    if (!socket)
        return;
    socket->disconnect(this);
    // Bytes written just before the close (lock releases, the last acknowledgement)
    // must still reach the peer, so the socket outlives this object until it is done.
    socket->setParent(nullptr);
    const auto state = socket->state();
    if (state != QAbstractSocket::ConnectedState && state != QAbstractSocket::ClosingState) {
        // Not connected yet: nothing written can be waiting, and Qt would otherwise
        // finish the connect only to close it again.
        socket->abort();
        bury(socket);
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, [s = socket.data()] { bury(s); });
    QTimer::singleShot(kLingerMs, socket, [s = socket.data()] {
        s->abort();
        bury(s);
    });
    socket->flush();
    socket->disconnectFromHost();
}

void SocketX::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        const int handle = registerPending(socket);
        NotifyScope scope;
        emit OnAccept(handle, 0);
    }
}

void SocketX::onConnected()
{
    NotifyScope scope;
    m_connecting = false;
    if (m_socket)
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, m_noDelay ? 1 : 0);
    emit OnConnect(0);
}

void SocketX::onReadyRead()
{
    NotifyScope scope;
    if (m_notifyFlags & 1)
        emit OnReceive(0);
}

void SocketX::onErrorOccurred()
{
    if (!m_socket)
        return;
    const auto error = m_socket->error();
    // A blocking wait that runs out reports a time-out; the link itself is fine.
    if (error == QAbstractSocket::SocketTimeoutError
        && m_socket->state() == QAbstractSocket::ConnectedState)
        return;
    NotifyScope scope;
    setError(errorCodeOf(error), m_socket->errorString());
    // While connecting, an error is the outcome of Connect; once connected, the
    // disconnected() that follows reports the close.
    if (m_connecting) {
        m_connecting = false;
        emit OnConnect(m_lastError);
    }
}

void SocketX::onDisconnected()
{
    NotifyScope scope;
    emit OnClose(0);
}

void SocketX::setError(qint16 code, const QString &text)
{
    m_lastError = code;
    m_errorText = text;
}

qint16 SocketX::errorCodeOf(int qtError)
{
    switch (QAbstractSocket::SocketError(qtError)) {
    case QAbstractSocket::ConnectionRefusedError: return ConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return ConnectionReset;
    case QAbstractSocket::HostNotFoundError: return HostNotFound;
    case QAbstractSocket::SocketTimeoutError: return TimedOut;
    case QAbstractSocket::NetworkError: return NetworkUnreachable;
    case QAbstractSocket::AddressInUseError: return AddressInUse;
    default: return qint16(10000 + qtError);
    }
}
