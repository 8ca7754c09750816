#pragma once

#include "isentrybooking.h"

#include <QObject>
#include <QPointer>

class QLocalSocket;

// A task's booking with the Sentry. Creating it connects to the Sentry of this
// user, starting one in its embedded mode when none runs, and books a slot; the
// connection lives as long as the object, so the slot is freed the moment the
// task ends, however it ends.
//
// Creation failures are thrown as VantrelError (the Sentry's own error number and
// description when it refused, a COM-style activation error when it could not be
// reached). The port, the Sentry's port and the address never change during a
// booking, so they are read once and kept.
class Connection2 : public QObject, public ISentryBooking
{
    Q_OBJECT
public:
    struct Options
    {
        QString serverName;      // empty: BookingEndpoint::serverName()
        QString sentryProgram;   // empty: BookingEndpoint::sentryProgram()
        int startTimeoutMs = 15000;   // for a started Sentry to open its server
        int replyTimeoutMs = 20000;   // for the booking answer (a fresh Sentry starts up first)
    };

    // Activation errors, numbered as COM reports them to a client.
    static constexpr quint32 ServerExecutionFailed = 0x80080005u;
    static constexpr quint32 ObjectDisconnected = 0x80010108u;
    static constexpr quint32 CallTimedOut = 0x8001011Fu;

    explicit Connection2(QObject *parent = nullptr);
    explicit Connection2(const Options &options, QObject *parent = nullptr);
    ~Connection2() override;

    void Listening(bool isListening) override;
    quint16 Port() const override { return m_port; }
    QString LocalAddress() const override { return m_localAddress; }
    quint16 SentryPort() const override { return m_sentryPort; }

    // False once the Sentry has gone away; Listening is then a no-op and the task
    // keeps serving the port it has (a new booking could hand out another one).
    bool isAlive() const;

signals:
    void sentryLost();

private:
    void connectOrStartSentry(const Options &options);
    void book(const Options &options);

    QPointer<QLocalSocket> m_socket;
    quint16 m_port = 0;
    quint16 m_sentryPort = 0;
    QString m_localAddress;
};
