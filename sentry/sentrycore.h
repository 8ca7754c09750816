#pragma once

#include "gethost.h"

#include <QObject>
#include <QString>

class PortBook;
class RequestListener;
class TaskStarter;

// The Sentry without its window: the port book, the request listener, the task
// starter and what start-up found out. The status window shows it; tests drive it
// directly.
class SentryCore : public QObject
{
    Q_OBJECT
public:
    explicit SentryCore(QObject *parent = nullptr);
    ~SentryCore() override;

    PortBook *portBook() const { return m_book; }
    RequestListener *listener() const { return m_listener; }
    TaskStarter *taskStarter() const { return m_taskStarter.get(); }

    void setResolver(GetHost::Resolver resolver) { m_resolver = std::move(resolver); }
    // Every interface ("0.0.0.0") unless set otherwise.
    void setListenAddress(const QString &address);

    // Reads the command line ("[port [slots]]"), sizes the slot table, looks up
    // this PC's address and starts listening. Throws VantrelError: the socket
    // error number (10048 when the port is taken), or 6 when the slot ports
    // would not all fit below 65536.
    void StartUp(const QString &commandLine);
    bool isStarted() const { return m_started; }
    // Stops listening and drops the request links.
    void shutDown();

    quint16 ListeningPort() const;
    QString LocalAddress() const { return m_localAddress; }
    int sessions() const;

    QString tipText() const;
    QString wsInfoText() const;

private:
    PortBook *m_book;
    RequestListener *m_listener;
    std::unique_ptr<TaskStarter> m_taskStarter;
    GetHost::Resolver m_resolver;
    QString m_localAddress;
    bool m_started = false;
};
