#include "mserver.h"

#include "frameassembler.h"
#include "framecodec.h"
#include "mlink.h"
#include "socketx.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

#include <sys/socket.h>
#include <thread>

namespace mserver {

namespace {

QString show(const Fields &fields)
{
    QStringList quoted;
    for (const QString &f : fields)
        quoted.append(QLatin1Char('"') + f + QLatin1Char('"'));
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

bool fieldMatches(const QString &pattern, const QString &actual)
{
    if (pattern == QLatin1String("*"))
        return true;
    if (!pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?')))
        return pattern == actual;
    QString re;
    for (QChar c : pattern) {
        if (c == QLatin1Char('*'))
            re += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            re += QLatin1Char('.');
        else
            re += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(actual)
        .hasMatch();
}

// Listens on a free loopback port and holds the port after it in `next`, so that no
// other test takes the output channel's port meanwhile. False when no such pair came up.
bool listenWithNextPort(QTcpServer &server, QTcpServer &next)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        const quint16 port = server.serverPort();
        if (port < 65535 && next.listen(QHostAddress::LocalHost, quint16(port + 1)))
            return true;
        server.close();
    }
    return false;
}

// A loopback port P whose next port is free on every address too (a client's output
// channel listens on 0.0.0.0:P+1); 0 when none came up.
quint16 freePortWithNextPort()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpServer probe;
        QTcpServer next;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        if (port < 65535 && next.listen(QHostAddress::AnyIPv4, quint16(port + 1)))
            return port;
    }
    return 0;
}

} // namespace

bool matches(const Fields &pattern, const Fields &actual)
{
    const bool rest = !pattern.isEmpty() && pattern.last() == QLatin1String("**");
    const int fixed = rest ? int(pattern.size()) - 1 : int(pattern.size());
    if (rest ? actual.size() < fixed : actual.size() != fixed)
        return false;
    for (int i = 0; i < fixed; ++i) {
        if (!fieldMatches(pattern.at(i), actual.at(i)))
            return false;
    }
    return true;
}

struct MServer::Impl : Peer
{
    QList<Step> script;
    int stepTimeoutMs = 3000;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<bool> ready{false};
    quint16 mainPort = 0;
    quint16 redirPort = 0;

    mutable QMutex mutex;   // guards what both threads read
    QString failureText;
    QList<Fields> log;

    // Server thread only.
    std::unique_ptr<QTcpServer> listener;
    std::unique_ptr<QTcpServer> jobListener;
    std::unique_ptr<QTcpServer> channelListener;      // on port() + 1
    std::unique_ptr<QTcpServer> jobChannelListener;   // on jobPort() + 1
    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<QTcpSocket> channel;               // the output channel, unframed
    QByteArray in;
    QByteArray channelIn;
    bool unicodeMode = false;

    void record(const Fields &f)
    {
        QMutexLocker lock(&mutex);
        log.append(f);
    }

    bool fill(QDeadlineTimer deadline, QString &why)
    {
        if (!socket) {
            why = QStringLiteral("no link");
            return false;
        }
        if (socket->bytesAvailable() == 0) {
            if (socket->state() != QAbstractSocket::ConnectedState) {
                why = QStringLiteral("the link closed");
                return false;
            }
            const int ms = int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 50)));
            socket->waitForReadyRead(ms);
        }
        in += socket->readAll();
        return true;
    }

    bool readFrame(Fields &out, QString &why) override
    {
        QDeadlineTimer deadline(stepTimeoutMs);
        for (;;) {
            FrameAssembler rx;
            rx.append(in);
            const qint64 before = rx.size();
            const auto r = rx.take(out, unicodeMode);
            if (r == FrameAssembler::Complete) {
                in.remove(0, qsizetype(before - rx.size()));
                record(out);
                return true;
            }
            if (r == FrameAssembler::Malformed) {
                why = QStringLiteral("malformed frame: ") + rx.errorText();
                return false;
            }
            if (stop || deadline.hasExpired()) {
                why = QStringLiteral("no frame within %1 ms").arg(stepTimeoutMs);
                return false;
            }
            if (!fill(deadline, why))
                return false;
        }
    }

    bool takeBufferedFrame(Fields &out) override
    {
        FrameAssembler rx;
        rx.append(in);
        const qint64 before = rx.size();
        if (rx.take(out, unicodeMode) != FrameAssembler::Complete)
            return false;
        in.remove(0, qsizetype(before - rx.size()));
        record(out);
        return true;
    }

    bool readRaw(int count, QByteArray &out, QString &why)
    {
        QDeadlineTimer deadline(stepTimeoutMs);
        while (in.size() < count) {
            if (stop || deadline.hasExpired()) {
                why = QStringLiteral("only %1 of %2 bytes within %3 ms: %4")
                          .arg(in.size()).arg(count).arg(stepTimeoutMs).arg(QString::fromLatin1(in.toHex(' ')));
                return false;
            }
            if (!fill(deadline, why))
                return false;
        }
        out = in.left(count);
        in.remove(0, count);
        return true;
    }

    bool sendBytes(const QByteArray &bytes) override
    {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return false;
        socket->write(bytes);
        while (socket->bytesToWrite() > 0) {
            if (!socket->waitForBytesWritten(stepTimeoutMs))
                return false;
        }
        return true;
    }

    bool sendFrame(const Fields &fields) override
    {
        return sendBytes(FrameCodec::encode(fields, unicodeMode));
    }

    bool isUnicode() const override { return unicodeMode; }

    bool acceptOn(QTcpServer *server, QString &why)
    {
        QDeadlineTimer deadline(stepTimeoutMs);
        while (!server->hasPendingConnections()) {
            if (stop || deadline.hasExpired()) {
                why = QStringLiteral("no connection within %1 ms").arg(stepTimeoutMs);
                return false;
            }
            server->waitForNewConnection(50);
        }
        QTcpSocket *s = server->nextPendingConnection();
        s->setParent(nullptr);
        socket.reset(s);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        in.clear();
        unicodeMode = false;
        return true;
    }

    void run()
    {
        listener = std::make_unique<QTcpServer>();
        jobListener = std::make_unique<QTcpServer>();
        channelListener = std::make_unique<QTcpServer>();
        jobChannelListener = std::make_unique<QTcpServer>();
        if (!listenWithNextPort(*listener, *channelListener))
            listener->listen(QHostAddress::LocalHost, 0);
        if (!listenWithNextPort(*jobListener, *jobChannelListener))
            jobListener->listen(QHostAddress::LocalHost, 0);
        mainPort = listener->serverPort();
        redirPort = jobListener->serverPort();
        ready = true;

        for (int i = 0; i < script.size() && !stop; ++i) {
            QString why;
            if (!script[i].run(*this, why)) {
                QMutexLocker lock(&mutex);
                failureText = QStringLiteral("step %1 (%2): %3").arg(i + 1).arg(script[i].description, why);
                break;
            }
        }
        const bool failed = !failure().isEmpty();
        if (failed && socket)
            socket->abort();
        done = true;
        // Keep the link open and keep listening to it until the test is over, so
        // the client's late messages are logged and its close is not premature.
        while (!stop) {
            if (socket && socket->state() == QAbstractSocket::ConnectedState) {
                socket->waitForReadyRead(20);
                in += socket->readAll();
                Fields f;
                QString ignored;
                FrameAssembler rx;
                rx.append(in);
                const qint64 before = rx.size();
                while (rx.take(f, unicodeMode) == FrameAssembler::Complete)
                    record(f);
                in.remove(0, qsizetype(before - rx.size()));
            } else {
                QThread::msleep(10);
            }
        }
        if (socket)
            socket->abort();
        socket.reset();
        if (channel)
            channel->abort();
        channel.reset();
        listener.reset();
        jobListener.reset();
        channelListener.reset();
        jobChannelListener.reset();
    }

    QString failure() const
    {
        QMutexLocker lock(&mutex);
        return failureText;
    }
};

// --- steps ----------------------------------------------------------------

namespace {

// Reads the next frame and holds it to `pattern`; on a mismatch why shows what came.
bool readMatching(Peer &p, const Fields &pattern, QString &why)
{
    Fields got;
    if (!p.readFrame(got, why))
        return false;
    if (!matches(pattern, got)) {
        why = QStringLiteral("received ") + show(got);
        return false;
    }
    return true;
}

// The failure of a send: the client's end is gone.
bool linkNotOpen(QString &why)
{
    why = QStringLiteral("link not open");
    return false;
}

} // namespace

Step expectTogether(const QList<Fields> &patterns)
{
    QStringList shown;
    for (const Fields &pattern : patterns)
        shown << show(pattern);
    return {QStringLiteral("expect together ") + shown.join(QLatin1Char(' ')),
            [patterns](Peer &p, QString &why) {
                for (int i = 0; i < patterns.size(); ++i) {
                    Fields got;
                    if (i == 0 ? !p.readFrame(got, why) : !p.takeBufferedFrame(got)) {
                        if (i > 0)
                            why = QStringLiteral("frame %1 did not come in the same write").arg(i + 1);
                        return false;
                    }
                    if (!matches(patterns.at(i), got)) {
                        why = QStringLiteral("received ") + show(got);
                        return false;
                    }
                }
                return true;
            }};
}

Step expect(const Fields &pattern)
{
    return {QStringLiteral("expect ") + show(pattern),
            [pattern](Peer &p, QString &why) { return readMatching(p, pattern, why); }};
}

Step expectAck() { return expect({}); }

Step send(const Fields &fields)
{
    return {QStringLiteral("send ") + show(fields),
            [fields](Peer &p, QString &why) { return p.sendFrame(fields) || linkNotOpen(why); }};
}

Step sendSlowly(const Fields &fields, int msPerByte)
{
    return {QStringLiteral("send slowly ") + show(fields), [fields, msPerByte](Peer &p, QString &why) {
                const QByteArray bytes = FrameCodec::encode(fields, p.isUnicode());
                for (char b : bytes) {
                    QThread::msleep(ulong(msPerByte));
                    if (!p.sendBytes(QByteArray(1, b)))
                        return linkNotOpen(why);
                }
                return true;
            }};
}

QByteArray frameHead(const QString &code, quint32 textUnits, bool unicode)
{
    // A number of `count` units, most significant first; a Unicode unit's high byte is 0.
    const auto number = [unicode](quint32 n, int count) {
        QByteArray out;
        for (int i = count - 1; i >= 0; --i) {
            out.append(char((n >> (8 * i)) & 0xFF));
            if (unicode)
                out.append('\0');
        }
        return out;
    };
    const quint32 codeUnits = quint32(code.size());
    const quint32 total = 4 + 2 + (4 + codeUnits) + (4 + textUnits);
    QByteArray head = number(total, 4) + number(2, 2) + number(4 + codeUnits, 4);
    head += unicode ? QByteArray(reinterpret_cast<const char *>(code.utf16()), qsizetype(codeUnits) * 2)
                    : code.toLatin1();
    return head + number(4 + textUnits, 4);
}

Step sendRaw(const QByteArray &bytes)
{
    return {QStringLiteral("send raw ") + QString::fromLatin1(bytes.toHex(' ')),
            [bytes](Peer &p, QString &why) { return p.sendBytes(bytes) || linkNotOpen(why); }};
}

Step expectRaw(const QByteArray &bytes)
{
    return {QStringLiteral("expect raw ") + QString::fromLatin1(bytes.toHex(' ')), [bytes](Peer &p, QString &why) {
                QByteArray got;
                if (!static_cast<MServer::Impl &>(p).readRaw(int(bytes.size()), got, why))
                    return false;
                if (got != bytes) {
                    why = QStringLiteral("received ") + QString::fromLatin1(got.toHex(' '));
                    return false;
                }
                return true;
            }};
}

Step answer(const Fields &request, const Fields &reply)
{
    Fields pattern = request;
    const QString echo = QLatin1Char('!') + request.value(0);
    if (pattern.isEmpty())
        pattern.append(echo);
    else
        pattern[0] = echo;
    return {QStringLiteral("answer ") + show(pattern) + QStringLiteral(" with ") + show(reply),
            [pattern, echo, reply](Peer &p, QString &why) {
                if (!readMatching(p, pattern, why))
                    return false;
                return (p.sendFrame({echo}) && p.sendFrame(reply)) || linkNotOpen(why);
            }};
}

Step unicode(bool on)
{
    return {on ? QStringLiteral("unicode on") : QStringLiteral("unicode off"), [on](Peer &p, QString &) {
                static_cast<MServer::Impl &>(p).unicodeMode = on;
                return true;
            }};
}

Step pause(int ms)
{
    return {QStringLiteral("pause %1 ms").arg(ms), [ms](Peer &, QString &) {
                QThread::msleep(ulong(ms));
                return true;
            }};
}

Step expectSilence(int ms)
{
    return {QStringLiteral("silence for %1 ms").arg(ms), [ms](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                QDeadlineTimer deadline(ms);
                while (!deadline.hasExpired()) {
                    if (impl.socket && impl.socket->state() == QAbstractSocket::ConnectedState)
                        impl.socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
                    else
                        QThread::msleep(5);
                    if (impl.socket)
                        impl.in += impl.socket->readAll();
                    if (!impl.in.isEmpty()) {
                        why = QStringLiteral("received ") + QString::fromLatin1(impl.in.toHex(' '));
                        return false;
                    }
                }
                return true;
            }};
}

Step connectTo(quint16 port)
{
    return {QStringLiteral("connect to %1").arg(port), [port](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                impl.socket = std::make_unique<QTcpSocket>();
                impl.socket->connectToHost(QHostAddress::LocalHost, port);
                if (!impl.socket->waitForConnected(impl.stepTimeoutMs)) {
                    why = impl.socket->errorString();
                    return false;
                }
                impl.socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                impl.in.clear();
                impl.unicodeMode = false;
                return true;
            }};
}

Step acceptLink()
{
    return {QStringLiteral("accept"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                return impl.acceptOn(impl.listener.get(), why);
            }};
}

Step acceptRequest(const QString &sessionId)
{
    const Step accept = acceptLink();
    const Step marker = expectRaw(QByteArray(">"));
    const Step id = expect({sessionId});
    return {QStringLiteral("accept request link for ") + sessionId, [=](Peer &p, QString &why) {
                return accept.run(p, why) && marker.run(p, why) && id.run(p, why);
            }};
}

Step redirect(const QString &key)
{
    return {QStringLiteral("redirect with key ") + key, [key](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                return impl.sendFrame({QStringLiteral("REDIR"), QString::number(impl.redirPort), key})
                       || linkNotOpen(why);
            }};
}

Step acceptJob(const QString &key)
{
    const Step keyBytes = expectRaw(key.toLatin1() + '*');
    const Step connectMsg = expect({QStringLiteral("CONNECT")});
    return {QStringLiteral("accept job link with key ") + key, [=](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (impl.socket)
                    impl.socket->abort();   // the request link has served its purpose
                return impl.acceptOn(impl.jobListener.get(), why) && keyBytes.run(p, why)
                       && connectMsg.run(p, why);
            }};
}

Step close()
{
    return {QStringLiteral("close"), [](Peer &p, QString &) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (impl.socket) {
                    impl.socket->flush();
                    impl.socket->disconnectFromHost();
                    if (impl.socket->state() != QAbstractSocket::UnconnectedState)
                        impl.socket->waitForDisconnected(impl.stepTimeoutMs);
                }
                return true;
            }};
}

Step reset()
{
    return {QStringLiteral("reset"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.socket || impl.socket->socketDescriptor() < 0)
                    return linkNotOpen(why);
                // A zero linger time makes the close a reset.
                const ::linger zero{1, 0};
                ::setsockopt(int(impl.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &zero, sizeof zero);
                impl.socket->abort();
                return true;
            }};
}

Step expectClose()
{
    return {QStringLiteral("expect close"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                QDeadlineTimer deadline(impl.stepTimeoutMs);
                while (impl.socket && impl.socket->state() == QAbstractSocket::ConnectedState) {
                    if (impl.stop || deadline.hasExpired()) {
                        why = QStringLiteral("still open after %1 ms").arg(impl.stepTimeoutMs);
                        return false;
                    }
                    impl.socket->waitForReadyRead(20);
                    impl.in += impl.socket->readAll();
                }
                // Log what the client said on its way out.
                FrameAssembler rx;
                rx.append(impl.in);
                Fields f;
                while (rx.take(f, impl.unicodeMode) == FrameAssembler::Complete)
                    impl.record(f);
                impl.in.clear();
                return true;
            }};
}

// --- the output channel -------------------------------------------------------

namespace {

bool noChannel(QString &why)
{
    why = QStringLiteral("no output channel");
    return false;
}

} // namespace

Step acceptChannel()
{
    return {QStringLiteral("accept the output channel"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.socket) {
                    why = QStringLiteral("no link");
                    return false;
                }
                const quint16 linkPort = impl.socket->localPort();
                QTcpServer *server = linkPort == impl.jobListener->serverPort() ? impl.jobChannelListener.get()
                                   : linkPort == impl.listener->serverPort()    ? impl.channelListener.get()
                                                                                : nullptr;
                if (!server || !server->isListening()) {
                    why = QStringLiteral("no listener on port %1").arg(linkPort + 1);
                    return false;
                }
                QDeadlineTimer deadline(impl.stepTimeoutMs);
                while (!server->hasPendingConnections()) {
                    if (impl.stop || deadline.hasExpired()) {
                        why = QStringLiteral("no channel connection on port %1 within %2 ms")
                                  .arg(server->serverPort()).arg(impl.stepTimeoutMs);
                        return false;
                    }
                    server->waitForNewConnection(50);
                }
                QTcpSocket *s = server->nextPendingConnection();
                s->setParent(nullptr);
                impl.channel.reset(s);
                impl.channelIn.clear();
                while (impl.channelIn.isEmpty()) {
                    if (impl.stop || deadline.hasExpired()) {
                        why = QStringLiteral("no \"*\" on the channel within %1 ms").arg(impl.stepTimeoutMs);
                        return false;
                    }
                    impl.channel->waitForReadyRead(20);
                    impl.channelIn += impl.channel->readAll();
                }
                const QByteArray first = impl.channelIn.left(1);
                impl.channelIn.remove(0, 1);
                if (first != "*") {
                    why = QStringLiteral("received ") + QString::fromLatin1(first.toHex(' '));
                    return false;
                }
                return true;
            }};
}

Step connectChannel()
{
    return {QStringLiteral("connect the output channel"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.socket) {
                    why = QStringLiteral("no link");
                    return false;
                }
                const int port = impl.socket->peerPort() + 1;
                impl.channel = std::make_unique<QTcpSocket>();
                impl.channel->connectToHost(QHostAddress::LocalHost, quint16(port));
                if (!impl.channel->waitForConnected(impl.stepTimeoutMs)) {
                    why = QStringLiteral("port %1: ").arg(port) + impl.channel->errorString();
                    return false;
                }
                impl.channelIn.clear();
                return true;
            }};
}

Step sendChannel(const QByteArray &bytes)
{
    return {QStringLiteral("send on the channel ") + QString::fromLatin1(bytes.toHex(' ')),
            [bytes](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.channel || impl.channel->state() != QAbstractSocket::ConnectedState)
                    return noChannel(why);
                impl.channel->write(bytes);
                while (impl.channel->bytesToWrite() > 0) {
                    if (!impl.channel->waitForBytesWritten(impl.stepTimeoutMs)) {
                        why = impl.channel->errorString();
                        return false;
                    }
                }
                return true;
            }};
}

Step streamChannel(const QByteArray &piece, qint64 bytes)
{
    return {QStringLiteral("stream %1 bytes on the channel").arg(bytes), [piece, bytes](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.channel || impl.channel->state() != QAbstractSocket::ConnectedState)
                    return noChannel(why);
                QTcpSocket &channel = *impl.channel;
                for (qint64 sent = 0; bytes < 0 || sent < bytes;) {
                    const QByteArray next = bytes < 0 || bytes - sent >= piece.size() ? piece : piece.left(bytes - sent);
                    channel.write(next);
                    sent += next.size();
                    while (channel.bytesToWrite() > 4 * piece.size()) {
                        if (!channel.waitForBytesWritten(impl.stepTimeoutMs)) {
                            if (channel.state() != QAbstractSocket::ConnectedState)
                                return true;
                            why = channel.errorString();
                            return false;
                        }
                    }
                    if (channel.state() != QAbstractSocket::ConnectedState)
                        return true;
                }
                while (channel.bytesToWrite() > 0) {
                    if (!channel.waitForBytesWritten(impl.stepTimeoutMs)) {
                        why = channel.errorString();
                        return false;
                    }
                }
                return true;
            }};
}

Step expectChannelSilence(int ms)
{
    return {QStringLiteral("channel silent for %1 ms").arg(ms), [ms](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.channel)
                    return noChannel(why);
                QDeadlineTimer deadline(ms);
                while (!deadline.hasExpired()) {
                    if (impl.channel->state() == QAbstractSocket::ConnectedState)
                        impl.channel->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
                    else
                        QThread::msleep(5);
                    impl.channelIn += impl.channel->readAll();
                    if (!impl.channelIn.isEmpty()) {
                        why = QStringLiteral("received ") + QString::fromLatin1(impl.channelIn.toHex(' '));
                        return false;
                    }
                }
                return true;
            }};
}

Step closeChannel()
{
    return {QStringLiteral("close the output channel"), [](Peer &p, QString &why) {
                auto &impl = static_cast<MServer::Impl &>(p);
                if (!impl.channel)
                    return noChannel(why);
                impl.channel->flush();
                impl.channel->disconnectFromHost();
                if (impl.channel->state() != QAbstractSocket::UnconnectedState)
                    impl.channel->waitForDisconnected(impl.stepTimeoutMs);
                impl.channel.reset();
                return true;
            }};
}

Step call(const QString &description, std::function<bool(Peer &, QString &)> fn)
{
    return {description, std::move(fn)};
}

Step waitUntil(const std::atomic<bool> &flag, const QString &what, int ms)
{
    return {what, [&flag, what, ms](Peer &, QString &why) {
                QDeadlineTimer deadline(ms);
                while (!flag && !deadline.hasExpired())
                    QThread::msleep(5);
                why = QStringLiteral("no ") + what;
                return bool(flag);
            }};
}

// --- MServer --------------------------------------------------------------

MServer::MServer(QList<Step> script) : d(std::make_unique<Impl>())
{
    d->script = std::move(script);
}

MServer::~MServer()
{
    d->stop = true;
    if (d->thread.joinable())
        d->thread.join();
}

void MServer::setStepTimeoutMs(int ms) { d->stepTimeoutMs = ms; }

void MServer::start()
{
    d->thread = std::thread([impl = d.get()] { impl->run(); });
    while (!d->ready)
        QThread::msleep(1);
}

bool MServer::startAccepted(MLink &link, quint16 listenPort)
{
    if (listenPort == 0)
        listenPort = freePortWithNextPort();
    SocketX listener;
    listener.setLocalAddress(QStringLiteral("127.0.0.1"));
    listener.setLocalPort(SocketX::foldPort(listenPort));
    if (listener.Listen() != 0)
        return false;
    const quint16 port = quint16(SocketX::unfoldPort(listener.LocalPort()));
    bool accepted = false;
    QObject::connect(&listener, &SocketX::OnAccept, &listener, [&](int handle, qint16) {
        link.Accept(handle, SocketX::unfoldPort(listener.LocalPort()));
        accepted = true;
    });
    d->script.prepend(connectTo(port));
    start();
    // The script may already be done (or the link closed again) by the time the
    // link has accepted; only a failed connect step means no link.
    pumpUntil([&] { return accepted || !d->failure().isEmpty(); });
    return accepted;
}

quint16 MServer::port() const { return d->mainPort; }
quint16 MServer::jobPort() const { return d->redirPort; }

bool MServer::wait(int ms)
{
    pumpUntil([this] { return bool(d->done); }, ms);
    return d->done && d->failure().isEmpty();
}

bool MServer::finished() const { return d->done; }

QString MServer::failure() const
{
    if (!d->done && d->failure().isEmpty())
        return QStringLiteral("script not finished");
    return d->failure();
}

QList<Fields> MServer::received() const
{
    QMutexLocker lock(&d->mutex);
    return d->log;
}

bool pumpUntil(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done())
            QThread::usleep(200);
    }
    return true;
}

} // namespace mserver
