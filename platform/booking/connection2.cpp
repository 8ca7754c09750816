#include "connection2.h"

#include "bookingendpoint.h"
#include "bookingwire.h"
#include "vantrelerror.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

Connection2::Connection2(QObject *parent)
    : Connection2(Options(), parent)
{
}

Connection2::Connection2(const Options &options, QObject *parent)
    : QObject(parent)
    , m_socket(new QLocalSocket(this))
{
    connectOrStartSentry(options);
    book(options);
    connect(m_socket, &QLocalSocket::disconnected, this, &Connection2::sentryLost);
}

Connection2::~Connection2()
{
    // Ending the booking is the task's own doing, not a Sentry that went away.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool Connection2::isAlive() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

void Connection2::Listening(bool isListening)
{
    if (!isAlive())
        return;
    m_socket->write(BookingWire::listeningRequest(isListening));
    // The task may accept a server right after this; the Sentry must see the
    // change before it hands the port to another server.
    m_socket->flush();
}

void Connection2::connectOrStartSentry(const Options &options)
{
    const QString name = options.serverName.isEmpty() ? BookingEndpoint::serverName() : options.serverName;
    QElapsedTimer elapsed;
    elapsed.start();
    bool started = false;
    for (;;) {
        m_socket->connectToServer(name);
        if (m_socket->waitForConnected(1000))
            return;
        m_socket->abort();
        if (!started) {
            const QString program = options.sentryProgram.isEmpty() ? BookingEndpoint::sentryProgram()
                                                                    : options.sentryProgram;
            if (!QFileInfo(program).isExecutable()
                || !QProcess::startDetached(program, {QString::fromLatin1(BookingEndpoint::EmbeddingArgument)})) {
                throw VantrelError(ServerExecutionFailed,
                                   QStringLiteral("Server execution failed: %1 could not be started").arg(program));
            }
            started = true;
        }
        if (elapsed.elapsed() > options.startTimeoutMs) {
            throw VantrelError(ServerExecutionFailed,
                               QStringLiteral("Server execution failed: the Sentry did not answer on %1").arg(name));
        }
        QThread::msleep(50);
    }
}

void Connection2::book(const Options &options)
{
    m_socket->write(BookingWire::bookRequest());
    m_socket->flush();

    QByteArray buffer;
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        buffer += m_socket->readAll();
        if (const auto line = BookingWire::takeLine(buffer)) {
            const BookingWire::Reply reply = BookingWire::parseReply(*line);
            if (reply.kind == BookingWire::Reply::Booked) {
                m_port = reply.port;
                m_sentryPort = reply.sentryPort;
                m_localAddress = reply.localAddress;
                return;
            }
            m_socket->abort();
            if (reply.kind == BookingWire::Reply::Error)
                throw VantrelError(quint32(reply.number), reply.description);
            throw VantrelError(ObjectDisconnected, QStringLiteral("The Sentry sent an answer that is not a booking"));
        }
        if (m_socket->state() != QLocalSocket::ConnectedState) {
            throw VantrelError(ObjectDisconnected,
                               QStringLiteral("The Sentry closed the connection before booking"));
        }
        const qint64 left = options.replyTimeoutMs - elapsed.elapsed();
        if (left <= 0) {
            m_socket->abort();
            throw VantrelError(CallTimedOut, QStringLiteral("The Sentry did not answer the booking in time"));
        }
        m_socket->waitForReadyRead(int(qMin<qint64>(left, 500)));
    }
}
