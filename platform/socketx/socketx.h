#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// One TCP link or listener, with the contract the link, the main window's listener
// and the Sentry were written against:
//   - state numbers 1 closed, 3 connecting, 4 connected, 5 listening (6 closing);
//   - ports are signed 16-bit at this interface: 40000 travels as -25536;
//   - reads and writes are byte-exact; a text is written as Windows-1252 bytes;
//   - notifications OnAccept/OnConnect/OnReceive/OnSend/OnClose carry a 16-bit
//     error code in Windows Sockets numbering (0 = success);
//   - the peer address is plain IPv4 text ("127.0.0.1", never "::ffff:127.0.0.1").
//
// Getters carry the property names callers know (State, PeerAddress, ...);
// setters are setXxx. Everything lives on one thread; nothing here blocks except
// WaitForBytes, which a transaction uses to read the link without an event loop.
class SocketX : public QObject
{
    Q_OBJECT
public:
    enum StateNumber : qint16 {
        Closed = 1,
        Connecting = 3,
        Connected = 4,
        Listening = 5,
        Closing = 6,
    };

    // Windows Sockets error numbers that callers compare against.
    enum ErrorCode : qint16 {
        NoError = 0,
        WouldBlock = 10035,          // never reported: Qt buffers every write
        AddressInUse = 10048,
        NetworkDown = 10050,
        NetworkUnreachable = 10051,
        ConnectionReset = 10054,
        NotConnected = 10057,
        TimedOut = 10060,
        ConnectionRefused = 10061,
        HostNotFound = 11001,
    };

    // What the socket reads ahead of its owner at most; Read() returns no more.
    static constexpr qint64 ReadAheadBytes = 1024 * 1024;

    explicit SocketX(QObject *parent = nullptr);
    ~SocketX() override;

    // Fold a port into the signed 16-bit form of this interface, and back.
    static qint16 foldPort(int port) { return qint16(quint16(port & 0xFFFF)); }
    static int unfoldPort(int port) { return port & 0xFFFF; }

    // --- settings ---------------------------------------------------------
    bool Blocking() const { return m_blocking; }
    void setBlocking(bool on) { m_blocking = on; }
    bool NoDelay() const { return m_noDelay; }
    void setNoDelay(bool on);
    // Bit 0 set: receive notifications are raised. A transaction clears it while it
    // reads the link itself; bytes that arrive meanwhile stay waiting, and a
    // notification follows when the bit is set again with bytes still waiting.
    qint16 NotifyFlags() const { return m_notifyFlags; }
    void setNotifyFlags(qint16 flags);
    qint16 ReadSetting() const { return m_readSetting; }
    void setReadSetting(qint16 v) { m_readSetting = v; }
    // Seconds a transaction waits for data; kept for the caller, not used here.
    qint16 Timeout() const { return m_timeout; }
    void setTimeout(qint16 seconds) { m_timeout = seconds; }
    qint32 RecvBufferSize() const { return m_recvBufferSize; }
    void setRecvBufferSize(qint32 bytes);
    qint32 SendBufferSize() const { return m_sendBufferSize; }
    void setSendBufferSize(qint32 bytes);

    // "0.0.0.0" means every interface.
    QString LocalAddress() const { return m_localAddress; }
    void setLocalAddress(const QString &address) { m_localAddress = address; }
    // While connected or listening, the port actually bound; otherwise the setting.
    qint16 LocalPort() const;
    void setLocalPort(qint16 port) { m_localPort = port; }
    QString RemoteAddress() const { return m_remoteAddress; }
    void setRemoteAddress(const QString &address) { m_remoteAddress = address; }
    qint16 RemotePort() const { return m_remotePort; }
    void setRemotePort(qint16 port) { m_remotePort = port; }

    // --- read-only state ----------------------------------------------------
    qint16 State() const;
    QString StateText() const;
    QString PeerAddress() const;
    qint16 PeerPort() const;
    qint64 BytesWaiting() const;
    // Bytes the last write handed over; always all of them, since Qt buffers.
    qint64 SentCount() const { return m_sentCount; }
    QString ErrorText() const { return m_errorText; }
    qint16 LastError() const { return m_lastError; }

    // What the Sentry's status window shows about the socket layer.
    static QString WinsockVersion();
    static QString LibraryName();
    static QString Description();
    static QString ComponentVersion();

    // --- operations -----------------------------------------------------------
    // Nothing to prepare in advance: Qt creates the socket when it is used.
    void Open() {}
    // Listens on LocalAddress/LocalPort; 0 or an error code (ErrorText says why).
    qint16 Listen();
    // Starts connecting to RemoteAddress/RemotePort; the outcome arrives as OnConnect.
    void Connect();
    // Takes over the connection a listener announced with OnAccept. False when the
    // handle is unknown (already taken or dropped).
    bool Accept(int handle);
    // Closes from this side; raises no OnClose. Bytes already written still leave.
    // Safe from a handler of this socket's own notification, also from an event loop
    // that handler runs: the connection is freed only once the notification returned.
    void Close();
    QByteArray Read();
    // 0, or NotConnected when there is no link.
    qint16 Write(const QByteArray &bytes);
    qint16 Write(const QString &text);
    // Pushes written bytes to the network now rather than at the next event-loop turn.
    void Flush();
    // True when bytes are waiting or arrive within ms; blocks without an event loop.
    bool WaitForBytes(int ms);

    // Registers a connection so that a SocketX can Accept it by handle. The listener
    // uses this for every incoming connection; a connection not accepted by the end
    // of the current event-loop turn is dropped.
    static int registerPending(QTcpSocket *socket);

signals:
    void OnAccept(int handle, qint16 error);
    void OnConnect(qint16 error);
    void OnReceive(qint16 error);
    void OnSend(qint16 error);
    // The peer closed the link (never raised by our own Close).
    void OnClose(qint16 error);

private:
    void adopt(QTcpSocket *socket);
    void releaseSocket();
    void scheduleReceive();
    void onNewConnection();
    void onConnected();
    void onReadyRead();
    void onErrorOccurred();
    void onDisconnected();
    void setError(qint16 code, const QString &text);
    static qint16 errorCodeOf(int qtError);

    QPointer<QTcpSocket> m_socket;   // the link, when this object is one
    QPointer<QTcpServer> m_server;   // the listener, when this object is one
    bool m_blocking = false;
    bool m_noDelay = false;
    qint16 m_notifyFlags = 63;
    qint16 m_readSetting = 0;
    qint16 m_timeout = 0;
    qint32 m_recvBufferSize = 8192;
    qint32 m_sendBufferSize = 8192;
    QString m_localAddress = QStringLiteral("0.0.0.0");
    qint16 m_localPort = 0;
    QString m_remoteAddress;
    qint16 m_remotePort = 0;
    qint64 m_sentCount = 0;
    qint16 m_lastError = 0;
    QString m_errorText;
    bool m_receivePending = false;   // a deferred receive notification is queued
    bool m_connecting = false;       // the next error is the outcome of Connect
};
