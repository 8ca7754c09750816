#include "objserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>

namespace objserver {

namespace {

const QStringList FactoryMembers{
    "Connect", "Disconnect", "SetLogMask", "New", "Open", "OpenEx", "OpenId", "Static", "ConnectDlg",
    "IsConnected", "ResultSet", "GetClassName", "GetID", "GetErrorText", "SetOutput", "GetLastErrorCount",
    "GetLastErrorNumber", "GetLastErrorParamCount", "GetLastErrorParam", "DynamicSQL", "TransactionStart",
    "TransactionRollBack", "TransactionCommit", "TransactionLevel", "SetCacheLog", "GetConnectionList",
    "IsMultibyte"};

const QString ResultSetClass = QStringLiteral("%ResultSet");

QString argText(const QJsonValue &value)
{
    if (value.isObject() && value.toObject().value("missing").toBool())
        return QStringLiteral("<missing>");
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString argsText(const QJsonArray &args)
{
    QStringList parts;
    for (const QJsonValue &arg : args)
        parts.append(argText(arg));
    return parts.join(QLatin1Char(','));
}

QString peerText(const QTcpSocket &socket)
{
    bool ok = false;
    const quint32 v4 = socket.peerAddress().toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : socket.peerAddress().toString();
}

struct Cursor
{
    QList<QStringList> rows;
    int current = -1;
};

} // namespace

QString Call::text(int i) const
{
    if (i >= args.size())
        return QString();
    const QJsonValue v = args.at(i);
    return v.isString() ? v.toString() : argText(v);
}

Reply Reply::value(const QJsonValue &value)
{
    Reply r;
    r.kind = Kind::Value;
    r.data = value;
    return r;
}

Reply Reply::object(const QString &className)
{
    Reply r;
    r.kind = Kind::Object;
    r.text = className;
    return r;
}

Reply Reply::existing(qint64 objectId)
{
    Reply r;
    r.kind = Kind::Existing;
    r.data = double(objectId);
    return r;
}

Reply Reply::error(qint32 number, const QString &source, const QString &description)
{
    Reply r;
    r.kind = Kind::Error;
    r.data = number;
    r.text = source;
    r.description = description;
    return r;
}

Reply Reply::silence()
{
    Reply r;
    r.kind = Kind::Silence;
    return r;
}

Reply Reply::close()
{
    Reply r;
    r.kind = Kind::Close;
    return r;
}

Reply Reply::raw(const QByteArray &bytes)
{
    Reply r;
    r.kind = Kind::Raw;
    r.bytes = bytes;
    return r;
}

Reply Reply::flood(qint64 bytes, int sliceBytes, int msPerSlice)
{
    Reply r;
    r.kind = Kind::Flood;
    r.count = bytes;
    r.sliceBytes = sliceBytes;
    r.msPerSlice = msPerSlice;
    return r;
}

Reply Reply::floodAfter(const QByteArray &first, qint64 bytes, int sliceBytes)
{
    Reply r = flood(bytes, sliceBytes);
    r.bytes = first;
    return r;
}

struct ObjServer::Impl
{
    mutable QMutex mutex;
    QHash<QString, Handler> handlers;   // "class\nmember"
    QSet<QString> classes;
    QHash<QPair<QString, QString>, QList<QStringList>> resultSets;
    QHash<qint64, QString> objects;     // id -> class
    QHash<qint64, Cursor> cursors;      // result-set objects
    qint64 nextId = 1;
    QStringList log;
    int connections = 0;
    std::atomic<qint64> floodLeft{0};
    std::atomic<int> replyDelayMs{0};

    QThread *thread = nullptr;
    QEventLoop *loop = nullptr;
    quint16 port = 0;

    DebugTargetOptions target;
    bool targetPlayed = false;
    std::thread sessionThread;
    std::unique_ptr<mserver::MServer> session;
    QString sessionFailure;
    std::atomic<bool> sessionSettled{false};
    std::atomic<bool> stopping{false};

    static QString key(const QString &className, const QString &member)
    {
        return className + QLatin1Char('\n') + member.toLower();
    }

    void run(QTcpServer &server)
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                {
                    QMutexLocker lock(&mutex);
                    ++connections;
                }
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    for (int end = buffer->indexOf('\n'); end >= 0 && socket->isOpen(); end = buffer->indexOf('\n')) {
                        const QByteArray line = buffer->left(end);
                        buffer->remove(0, end + 1);
                        serve(*socket, line);
                    }
                });
            }
        });
    }

    void serve(QTcpSocket &socket, const QByteArray &line)
    {
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        Call call;
        call.args = request.value("args").toArray();
        call.peerAddress = peerText(socket);
        call.id = request.value("id");
        if (request.contains("call")) {
            call.dispId = request.value("call").toInt();
            call.member = FactoryMembers.value(call.dispId - 1, QStringLiteral("#%1").arg(call.dispId));
        } else {
            call.object = qint64(request.value("obj").toDouble());
            call.member = request.value("member").toString();
            QMutexLocker lock(&mutex);
            call.className = objects.value(call.object, QStringLiteral("?"));
        }
        QString entry = call.object == 0
                            ? QStringLiteral("%1(%2)").arg(call.member, argsText(call.args))
                            : QStringLiteral("%1#%2.%3(%4)").arg(call.className).arg(call.object).arg(call.member,
                                                                                                  argsText(call.args));
        if (const int delay = replyDelayMs)
            QThread::msleep(delay);
        const Reply reply = answer(call);
        QJsonObject out;
        switch (reply.kind) {
        case Reply::Kind::Silence:
            appendLog(entry);
            return;
        case Reply::Kind::Close:
            appendLog(entry);
            socket.disconnectFromHost();
            return;
        case Reply::Kind::Raw:
            appendLog(entry);
            socket.write(reply.bytes);
            socket.flush();
            return;
        case Reply::Kind::Flood:
            appendLog(entry);
            if (!reply.bytes.isEmpty())
                socket.write(reply.bytes);
            startFlood(socket, reply);
            return;
        case Reply::Kind::Error:
            out.insert("err", QJsonObject{{"number", reply.data.toInteger()},
                                          {"source", reply.text},
                                          {"description", reply.description}});
            break;
        case Reply::Kind::Object: {
            qint64 id = 0;
            {
                QMutexLocker lock(&mutex);
                id = nextId++;
                objects.insert(id, reply.text);
                if (reply.text == ResultSetClass && call.dispId == 11)
                    cursors.insert(id, Cursor{resultSets.value({call.text(0), call.text(1)}), -1});
            }
            entry += QStringLiteral(" -> %1#%2").arg(reply.text).arg(id);
            out.insert("ret", QJsonObject{{"obj", double(id)}});
            break;
        }
        case Reply::Kind::Existing:
            out.insert("ret", QJsonObject{{"obj", reply.data}});
            break;
        case Reply::Kind::Value:
            out.insert("ret", reply.data.isUndefined() ? QJsonValue(QJsonValue::Null) : reply.data);
            break;
        }
        if (!call.id.isUndefined())
            out.insert("id", call.id);
        appendLog(entry);
        socket.write(QJsonDocument(out).toJson(QJsonDocument::Compact) + '\n');
        socket.flush();
        if (call.object == 0 && call.dispId == 2)
            socket.disconnectFromHost();
    }

    // Writes 'x' a slice at a time: when the socket has sent the last one, or paced.
    void startFlood(QTcpSocket &socket, const Reply &reply)
    {
        floodLeft = reply.count;
        const qint64 slice = reply.sliceBytes;
        auto more = [this, socket = &socket, slice] {
            if (floodLeft <= 0 || socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState)
                return;
            const qint64 n = std::min<qint64>(slice, floodLeft);
            floodLeft -= n;
            socket->write(QByteArray(int(n), 'x'));
        };
        if (reply.msPerSlice > 0) {
            auto *timer = new QTimer(&socket);
            QObject::connect(timer, &QTimer::timeout, &socket, more);
            timer->start(reply.msPerSlice);
        } else {
            QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, more);
        }
        more();
    }

    void appendLog(const QString &entry)
    {
        QMutexLocker lock(&mutex);
        log.append(entry);
    }

    Reply answer(const Call &call)
    {
        Handler handler;
        {
            QMutexLocker lock(&mutex);
            handler = handlers.value(key(call.className, call.member));
        }
        if (handler)
            return handler(call);
        if (call.object == 0)
            return factoryDefault(call);
        if (call.className == ResultSetClass)
            return resultSetMember(call);
        return Reply::error(MemberNotFound, call.className, QStringLiteral("Unknown member %1").arg(call.member));
    }

    Reply factoryDefault(const Call &call)
    {
        switch (call.dispId) {
        case 1: case 2: case 10:
            return Reply::value(true);
        case 4: case 5: case 6: case 7: case 8: {
            QMutexLocker lock(&mutex);
            if (classes.contains(call.text(0)))
                return Reply::object(call.text(0));
            return Reply::error(ClassMissing, QStringLiteral("ObjServer"),
                                QStringLiteral("Class does not exist: %1").arg(call.text(0)));
        }
        case 11: {
            QMutexLocker lock(&mutex);
            if (resultSets.contains({call.text(0), call.text(1)}))
                return Reply::object(ResultSetClass);
            return Reply::error(ClassMissing, QStringLiteral("ObjServer"),
                                QStringLiteral("Query does not exist: %1:%2").arg(call.text(0), call.text(1)));
        }
        default:
            return Reply::error(MemberNotFound, QStringLiteral("ObjServer"),
                                QStringLiteral("Not scripted: %1").arg(call.member));
        }
    }

    Reply resultSetMember(const Call &call)
    {
        QMutexLocker lock(&mutex);
        Cursor &cursor = cursors[call.object];
        const QString member = call.member.toLower();
        if (member == QLatin1String("execute") || member == QLatin1String("close"))
            return Reply::value(1);
        if (member == QLatin1String("next")) {
            if (cursor.current + 1 < cursor.rows.size()) {
                ++cursor.current;
                return Reply::value(1);
            }
            cursor.current = cursor.rows.size();
            return Reply::value(0);
        }
        if (member == QLatin1String("getdata")) {
            const int column = call.text(0).toInt();
            if (cursor.current < 0 || cursor.current >= cursor.rows.size())
                return Reply::value(QString());
            return Reply::value(cursor.rows.at(cursor.current).value(column - 1));
        }
        return Reply::error(MemberNotFound, ResultSetClass, QStringLiteral("Unknown member %1").arg(call.member));
    }

    // The server process the debugger would see: asks the Sentry on the client's
    // machine for a ready task, then connects to it and runs the session's steps.
    void playServerProcess(const QString &address)
    {
        QElapsedTimer clock;
        clock.start();
        quint16 taskPort = 0;
        while (!stopping && taskPort == 0 && clock.elapsed() < 15000) {
            QTcpSocket socket;
            socket.connectToHost(address, target.sentryPort);
            if (socket.waitForConnected(1000)) {
                socket.write("+");
                socket.waitForBytesWritten(1000);
                QByteArray reply;
                while (reply.size() < 2 && socket.waitForReadyRead(1000))
                    reply += socket.readAll();
                if (reply.size() >= 2) {
                    const quint16 port = quint16((quint8(reply[0]) << 8) | quint8(reply[1]));
                    if (port != 0 && port != 0xFFFF)
                        taskPort = port;
                }
            }
            if (taskPort == 0)
                QThread::msleep(100);
        }
        QMutexLocker lock(&mutex);
        if (taskPort == 0) {
            sessionFailure = QStringLiteral("the Sentry on %1:%2 offered no task").arg(address).arg(target.sentryPort);
        } else {
            session = std::make_unique<mserver::MServer>(QList<mserver::Step>{mserver::connectTo(taskPort)}
                                                         + target.session);
            session->setStepTimeoutMs(20000);
            session->start();
        }
        sessionSettled = true;
    }

    Reply enable(const Call &call)
    {
        bool startSession = false;
        {
            QMutexLocker lock(&mutex);
            if (target.sentryPort != 0 && !targetPlayed) {
                targetPlayed = true;
                startSession = true;
            }
        }
        if (startSession)
            sessionThread = std::thread([this, address = call.text(0)] { playServerProcess(address); });
        return Reply::value(target.enableResult);
    }
};

ObjServer::ObjServer() : d(std::make_unique<Impl>()) {}

ObjServer::~ObjServer()
{
    d->stopping = true;
    if (d->thread) {
        QMetaObject::invokeMethod(d->loop, "quit", Qt::QueuedConnection);
        d->thread->wait();
        delete d->thread;
    }
    if (d->sessionThread.joinable())
        d->sessionThread.join();
}

void ObjServer::on(const QString &className, const QString &member, Handler handler)
{
    QMutexLocker lock(&d->mutex);
    d->handlers.insert(Impl::key(className, member), std::move(handler));
    if (!className.isEmpty())
        d->classes.insert(className);
}

void ObjServer::addClass(const QString &className)
{
    QMutexLocker lock(&d->mutex);
    d->classes.insert(className);
}

void ObjServer::addResultSet(const QString &className, const QString &queryName, const QList<QStringList> &rows)
{
    QMutexLocker lock(&d->mutex);
    d->resultSets.insert({className, queryName}, rows);
}

void ObjServer::playDebugTarget(const DebugTargetOptions &options)
{
    d->target = options;
    const QString cls = QStringLiteral("VantrelDebug");
    on(cls, "ClientIP", [this](const Call &call) {
        return Reply::value(d->target.clientIP.value_or(call.peerAddress));
    });
    on(cls, "Enable", [this](const Call &call) { return d->enable(call); });
    on(cls, "Disable", [](const Call &) { return Reply::value(QJsonValue::Null); });
    on(cls, "sys_Close", [](const Call &) { return Reply::value(1); });
    if (options.withEnable2) {
        on(cls, "Enable2", [this](const Call &call) {
            d->enable(call);
            return Reply::value(QString());
        });
        on(cls, "Disable2", [](const Call &) { return Reply::value(QString()); });
    }
}

bool ObjServer::start(quint16 port)
{
    std::atomic<bool> ready{false};
    std::atomic<bool> listening{false};
    d->thread = QThread::create([this, &ready, &listening, port] {
        QTcpServer server;
        QEventLoop loop;
        d->loop = &loop;
        listening = server.listen(QHostAddress::LocalHost, port);
        d->port = server.serverPort();
        d->run(server);
        ready = true;
        loop.exec();
        // Sockets are children of the server and close with it.
    });
    d->thread->start();
    while (!ready && !d->thread->isFinished())
        QThread::msleep(1);
    return listening;
}

quint16 ObjServer::port() const { return d->port; }

QString ObjServer::connectString(const QString &nameSpace) const
{
    return QStringLiteral("127.0.0.1:%1:%2").arg(d->port).arg(nameSpace);
}

QStringList ObjServer::log() const
{
    QMutexLocker lock(&d->mutex);
    return d->log;
}

bool ObjServer::waitForLog(int lines, int ms) const
{
    QElapsedTimer clock;
    clock.start();
    while (log().size() < lines) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(2);
    }
    return true;
}

void ObjServer::setReplyDelayMs(int ms) { d->replyDelayMs = ms; }

qint64 ObjServer::floodLeft() const { return d->floodLeft; }

int ObjServer::connectionCount() const
{
    QMutexLocker lock(&d->mutex);
    return d->connections;
}

mserver::MServer *ObjServer::session() const
{
    QMutexLocker lock(&d->mutex);
    return d->session.get();
}

QString ObjServer::sessionFailure() const
{
    QMutexLocker lock(&d->mutex);
    return d->sessionFailure;
}

bool ObjServer::waitForSession(int ms) const
{
    return mserver::pumpUntil([this] { return bool(d->sessionSettled); }, ms) && session() != nullptr;
}

} // namespace objserver
