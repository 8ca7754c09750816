#include "clientfactory.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpSocket>

#include <cmath>

namespace CacheObject {

QString showConnectDialog(const QString &title);   // connectdlg.cpp

namespace {

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
    bool open(const QString &host, quint16 port, int timeoutMs)
    {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(host, port);
        if (!m_socket->waitForConnected(timeoutMs)) {
            close();
            return false;
        }
        return true;
    }

    bool isOpen() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }

    void close()
    {
        if (m_socket) {
            m_socket->abort();
            m_socket.reset();
        }
        m_buffer.clear();
    }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Sends one request and waits for its reply; the reply's value, or a raised error.
    QVariant request(QJsonObject message, const QVariantList &args)
    {
        const int timeoutMs = m_timeoutMs;
        if (!isOpen())
            throw clientError(ClientError::NotConnected, QStringLiteral("Not connected to a server"));
        QJsonArray jsonArgs;
        for (const QVariant &arg : args)
            jsonArgs.append(encode(arg));
        message.insert(QStringLiteral("args"), jsonArgs);
        m_socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');

        QElapsedTimer clock;
        clock.start();
        while (m_socket->bytesToWrite() > 0) {
            if (!m_socket->waitForBytesWritten(remaining(clock, timeoutMs)))
                fail(clock, timeoutMs);
        }
        const QJsonObject reply = readReply(clock, timeoutMs);
        if (reply.contains(QStringLiteral("err"))) {
            const QJsonObject err = reply.value(QStringLiteral("err")).toObject();
            throw ComError(static_cast<std::uint32_t>(static_cast<qint64>(err.value(QStringLiteral("number")).toDouble())),
                           err.value(QStringLiteral("source")).toString(),
                           err.value(QStringLiteral("description")).toString());
        }
        return decode(reply.value(QStringLiteral("ret")));
    }

private:
    static int remaining(const QElapsedTimer &clock, int timeoutMs)
    {
        return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed()));
    }

    // A wait came back empty: the peer went away, or the time ran out. Either way
    // the connection is done, since a late reply would be taken for the next call's.
    [[noreturn]] void fail(const QElapsedTimer &clock, int timeoutMs)
    {
        const bool timedOut = isOpen() && remaining(clock, timeoutMs) == 0;
        close();
        if (timedOut)
            throw clientError(ClientError::TimedOut,
                              QStringLiteral("The server did not answer within %1 ms").arg(timeoutMs));
        throw clientError(ClientError::ConnectionLost, QStringLiteral("The server closed the connection"));
    }

    QJsonObject readReply(const QElapsedTimer &clock, int timeoutMs)
    {
        for (;;) {
            m_buffer += m_socket->readAll();
            const int end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                QJsonParseError error{};
                const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
                if (!doc.isObject() || (!doc.object().contains(QStringLiteral("ret"))
                                        && !doc.object().value(QStringLiteral("err")).isObject())) {
                    close();
                    throw clientError(ClientError::BadReply, QStringLiteral("The server's reply could not be read"));
                }
                return doc.object();
            }
            if (!isOpen() || !m_socket->waitForReadyRead(remaining(clock, timeoutMs))) {
                if (m_socket && m_socket->bytesAvailable() > 0)
                    continue;   // the last bytes arrived together with the close
                fail(clock, timeoutMs);
            }
        }
    }

    QJsonValue encode(const QVariant &value);
    QVariant decode(const QJsonValue &value);

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer;     // received bytes not yet cut into lines
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
        if (object.value(QStringLiteral("obj")).isDouble()) {
            const auto id = static_cast<qint64>(object.value(QStringLiteral("obj")).toDouble());
            return objectValue(std::make_shared<RemoteObject>(shared_from_this(), id));
        }
        close();
        throw clientError(ClientError::BadReply, QStringLiteral("The server's reply could not be read"));
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
    if (pieces.size() < 2 || pieces.at(0).trimmed().isEmpty())
        return false;
    bool ok = false;
    const uint port = pieces.at(1).trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return false;

    auto connection = std::make_shared<Connection>();
    connection->setTimeoutMs(m_callTimeoutMs);
    if (!connection->open(pieces.at(0).trimmed(), static_cast<quint16>(port), m_callTimeoutMs))
        return false;
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
