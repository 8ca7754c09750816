#include "clientfactory.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>

namespace CacheObject {

QString showConnectDialog(const QString &title);   // connectdlg.cpp

namespace {

constexpr int MaxReplyBytes = ClientFactory::MaxReplyBytes;
constexpr double MaxObjectId = 9007199254740992.0;   // 2^53

ComError clientError(std::uint32_t number, const QString &text)
{
    return ComError(number, ClientError::Source, text);
}

ConnectDlgHook &connectDlgHook()
{
    static ConnectDlgHook hook;
    return hook;
}

} // namespace

// One connection to the object server, shared by the factory and every server
// object it handed out, so that an object outliving a Disconnect finds it closed
// instead of dangling.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    // Throws Unreachable with the socket's own reason when no connection comes about.
    void open(const QString &host, quint16 port, int timeoutMs)
    {
        m_socket = std::make_unique<QTcpSocket>();
        // Left unbounded, the socket would take in whatever the server sends whenever an
        // event loop runs (a dialog between two calls), far past MaxReplyBytes; bounded,
        // the rest waits in the server's send queue until a call reads it.
        m_socket->setReadBufferSize(ClientFactory::ReadBufferBytes);
        m_socket->connectToHost(host, port);
        if (!m_socket->waitForConnected(timeoutMs)) {
            const QString reason = m_socket->error() == QAbstractSocket::UnknownSocketError
                                       ? QStringLiteral("no answer within %1 ms").arg(timeoutMs)
                                       : m_socket->errorString();
            close();
            throw clientError(ClientError::Unreachable,
                              QStringLiteral("Cannot reach the object server at %1:%2: %3").arg(host).arg(port).arg(reason));
        }
    }

    bool isOpen() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }

    void close()
    {
        if (m_socket) {
            m_socket->abort();
            m_socket.reset();
        }
        m_buffer.clear();
        m_scanned = 0;
    }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Sends one request and waits for its reply; the reply's value, or a raised error.
    QVariant request(QJsonObject message, const QVariantList &args)
    {
        const int timeoutMs = m_timeoutMs;
        if (!isOpen())
            throw clientError(ClientError::NotConnected, QStringLiteral("Not connected to a server"));
        // Every reply of earlier calls has been read: whatever waits now is a reply
        // nobody asked for, and the server's count of calls is not ours.
        if (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0)
            outOfStep(QStringLiteral("The server sent a reply no call was waiting for"));
        QJsonArray jsonArgs;
        for (const QVariant &arg : args)
            jsonArgs.append(encode(arg));
        const qint64 id = ++m_lastCallId;
        message.insert(QStringLiteral("id"), id);
        message.insert(QStringLiteral("args"), jsonArgs);
        m_socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');

        const QDeadlineTimer deadline(timeoutMs);
        while (m_socket->bytesToWrite() > 0) {
            if (!m_socket->waitForBytesWritten(remainingMs(deadline)))
                fail(deadline, timeoutMs);
        }
        const QJsonObject reply = readReply(deadline, timeoutMs);
        const QJsonValue replyId = reply.value(QStringLiteral("id"));
        if (!replyId.isDouble() || replyId.toDouble() != double(id)) {
            outOfStep(QStringLiteral("The server's reply does not answer this call (call %1, reply to %2)")
                          .arg(id)
                          .arg(QString::fromUtf8(QJsonDocument(QJsonArray{replyId}).toJson(QJsonDocument::Compact))
                                   .mid(1).chopped(1)));
        }
        if (reply.contains(QStringLiteral("err")))
            throw serverError(reply.value(QStringLiteral("err")).toObject());
        return decode(reply.value(QStringLiteral("ret")));
    }

private:
    static int remainingMs(const QDeadlineTimer &deadline)
    {
        return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
    }

    // A wait came back empty: the peer went away, or the time ran out. Either way
    // the connection is done, since a late reply would be taken for the next call's.
    [[noreturn]] void fail(const QDeadlineTimer &deadline, int timeoutMs)
    {
        const bool timedOut = !isOpen() ? false : deadline.hasExpired();
        close();
        if (timedOut)
            throw clientError(ClientError::TimedOut,
                              QStringLiteral("The server did not answer within %1 ms").arg(timeoutMs));
        throw clientError(ClientError::ConnectionLost, QStringLiteral("The server closed the connection"));
    }

    [[noreturn]] void badReply(const QString &why)
    {
        close();
        throw clientError(ClientError::BadReply, QStringLiteral("The server's reply could not be read: ") + why);
    }

    [[noreturn]] void outOfStep(const QString &text)
    {
        close();
        throw clientError(ClientError::OutOfStep, text);
    }

    // The server's error, raised as it gave it; a reply that does not say which
    // failure it reports is not an error anyone could act on.
    ComError serverError(const QJsonObject &err)
    {
        const QJsonValue number = err.value(QStringLiteral("number"));
        const double d = number.toDouble();
        // Failure numbers are 32-bit: negative HRESULTs, the same written unsigned, or
        // positive error numbers; 0 is success, not a failure.
        if (!number.isDouble() || d != std::floor(d) || d < -2147483648.0 || d > 4294967295.0 || d == 0)
            badReply(QStringLiteral("an error without a failure number"));
        const auto value = static_cast<qint64>(d);
        return ComError(static_cast<std::uint32_t>(value), err.value(QStringLiteral("source")).toString(),
                        err.value(QStringLiteral("description")).toString());
    }

    QJsonObject readReply(const QDeadlineTimer &deadline, int timeoutMs)
    {
        for (;;) {
            // Only the bytes not yet looked at are searched: a long line arriving in
            // many pieces costs one pass, not one per piece.
            const int end = m_buffer.indexOf('\n', m_scanned);
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                m_scanned = 0;
                QJsonParseError error{};
                const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
                const QJsonObject reply = doc.object();
                if (!doc.isObject()
                    || (!reply.contains(QStringLiteral("ret")) && !reply.value(QStringLiteral("err")).isObject()))
                    badReply(QStringLiteral("not a reply object"));
                return reply;
            }
            m_scanned = m_buffer.size();
            if (m_buffer.size() > MaxReplyBytes) {
                close();
                throw clientError(ClientError::ReplyTooLong,
                                  QStringLiteral("The server's reply is longer than %1 bytes; the connection was dropped")
                                      .arg(MaxReplyBytes));
            }
            // The time-out bounds the whole reply, however steadily its bytes come.
            if (deadline.hasExpired())
                fail(deadline, timeoutMs);
            if (m_socket->bytesAvailable() > 0 || (isOpen() && m_socket->waitForReadyRead(remainingMs(deadline)))) {
                // At most what still fits under the limit (plus one byte to tell), and
                // no more than has come: read() sizes its buffer by what it is asked for.
                m_buffer += m_socket->read(
                    std::min<qint64>(m_socket->bytesAvailable(), MaxReplyBytes + 1 - m_buffer.size()));
                continue;
            }
            fail(deadline, timeoutMs);
        }
    }

    QJsonValue encode(const QVariant &value);
    QVariant decode(const QJsonValue &value);

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer;     // received bytes not yet cut into lines
    int m_scanned = 0;       // bytes of m_buffer known to hold no line end
    qint64 m_lastCallId = 0; // each request's id; its reply must carry the same
    int m_timeoutMs = 20000; // the longest wait for one reply
};

// An object that lives on the server, called by member name.
class RemoteObject : public IDispatchObject
{
public:
    RemoteObject(std::shared_ptr<Connection> connection, qint64 id)
        : m_connection(std::move(connection)), m_id(id) {}

    QVariant InvokeByName(const QString &member, QVariantList &args) override
    {
        QJsonObject message{{QStringLiteral("obj"), m_id}, {QStringLiteral("member"), member}};
        return m_connection->request(message, args);
    }

    const Connection *connection() const { return m_connection.get(); }
    qint64 id() const { return m_id; }

private:
    std::shared_ptr<Connection> m_connection;
    qint64 m_id;
};

QJsonValue Connection::encode(const QVariant &value)
{
    if (!value.isValid() || isNullValue(value))
        return QJsonValue(QJsonValue::Null);
    if (isParamNotFound(value))
        return QJsonObject{{QStringLiteral("missing"), true}};
    if (isObjectValue(value)) {
        auto remote = std::dynamic_pointer_cast<RemoteObject>(objectFrom(value));
        if (!remote || remote->connection() != this)
            throw ComError(DispError::TypeMismatch, ClientError::Source,
                           QStringLiteral("Only objects of this connection can be passed to the server"));
        return QJsonObject{{QStringLiteral("obj"), remote->id()}};
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Long: case QMetaType::ULong:
        return value.toLongLong();
    case QMetaType::Double: case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QVariantList: {
        QJsonArray array;
        for (const QVariant &item : value.toList())
            array.append(encode(item));
        return array;
    }
    default:
        if (value.canConvert<QString>())
            return value.toString();
        throw ComError(DispError::TypeMismatch, ClientError::Source,
                       QStringLiteral("A value of type %1 cannot be sent").arg(QString::fromLatin1(value.typeName())));
    }
}

QVariant Connection::decode(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return nullValue();
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::floor(d) == d && std::fabs(d) <= 2147483647.0)
            return static_cast<int>(d);
        if (std::floor(d) == d && std::fabs(d) < 9.0e15)
            return static_cast<qlonglong>(d);
        return d;
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue &item : value.toArray())
            list.append(decode(item));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.value(QStringLiteral("missing")).toBool())
            return paramNotFound();
        const QJsonValue obj = object.value(QStringLiteral("obj"));
        if (obj.isDouble()) {
            // Identifiers are whole numbers a double holds exactly; anything else would
            // name some other object.
            const double id = obj.toDouble();
            if (id != std::floor(id) || id < 1 || id > MaxObjectId)
                badReply(QStringLiteral("an object identifier that is not a whole number from 1 to 2^53"));
            return objectValue(std::make_shared<RemoteObject>(shared_from_this(), static_cast<qint64>(id)));
        }
        badReply(QStringLiteral("an object value without an identifier"));
    }
    default:
        return QVariant();
    }
}

// --- ClientFactory ------------------------------------------------------------------

ClientFactory::ClientFactory() = default;

ClientFactory::~ClientFactory()
{
    if (m_connection)
        m_connection->close();
}

void ClientFactory::setCallTimeoutMs(int ms)
{
    m_callTimeoutMs = ms;
    if (m_connection)
        m_connection->setTimeoutMs(ms);
}

QVariant ClientFactory::forward(qint32 dispId, QVariantList args)
{
    if (!m_connection)
        throw clientError(ClientError::NotConnected, QStringLiteral("Not connected to a server"));
    return m_connection->request(QJsonObject{{QStringLiteral("call"), dispId}}, args);
}

bool ClientFactory::Connect(const QString &connectString)
{
    // A new connection replaces the old one; objects of the old one then find it closed.
    if (m_connection) {
        m_connection->close();
        m_connection.reset();
    }
    const QStringList pieces = connectString.split(QLatin1Char(':'));
    bool ok = false;
    const uint port = pieces.value(1).trimmed().toUInt(&ok);
    if (pieces.size() < 2 || pieces.at(0).trimmed().isEmpty() || !ok || port < 1 || port > 65535) {
        throw clientError(ClientError::BadConnectString,
                          QStringLiteral("The connect string \"%1\" is not host:port[:namespace]").arg(connectString));
    }

    auto connection = std::make_shared<Connection>();
    connection->setTimeoutMs(m_callTimeoutMs);
    connection->open(pieces.at(0).trimmed(), static_cast<quint16>(port), m_callTimeoutMs);
    m_connection = connection;
    bool accepted = false;
    try {
        accepted = toBoolValue(forward(DispConnect, {connectString}));
    } catch (...) {
        connection->close();
        m_connection.reset();
        throw;
    }
    if (!accepted) {
        connection->close();
        m_connection.reset();
    }
    return accepted;
}

bool ClientFactory::Disconnect()
{
    if (!m_connection)
        return false;
    auto connection = std::move(m_connection);
    // The server is told so that it can end the session at once; the
    // connection closes whatever it answers.
    try {
        connection->request(QJsonObject{{QStringLiteral("call"), DispDisconnect}}, {});
    } catch (const ComError &) {
    }
    connection->close();
    return true;
}

QString ClientFactory::ConnectDlg(const Optional &title)
{
    const QString text = title ? toStringValue(*title) : QString();
    if (const ConnectDlgHook &hook = connectDlgHook())
        return hook(text);
    return showConnectDialog(text);
}

bool ClientFactory::IsConnected() { return m_connection && m_connection->isOpen(); }

void setConnectDlgHook(ConnectDlgHook hook) { connectDlgHook() = std::move(hook); }

void registerClasses()
{
    ObjectRegistry::registerClass(FactoryClsid, FactoryProgId, [] { return std::make_shared<ClientFactory>(); });
    ObjectRegistry::registerProgId(ActiveXProgId, FactoryClsid);
}

} // namespace CacheObject
