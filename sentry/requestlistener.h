#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class PortBook;
class SocketX;

// The Sentry's request port: a server connects, sends one byte and gets back the
// port of a ready task in two bytes. Three links serve at most three servers at
// once; a fourth connection is dropped without an answer and the listener keeps
// listening.
//   "+"  the most recently ready port, or 0 0 when none is ready;
//   "?"  the same, and with none ready a new task is started for the server,
//        but one at a time, since any host can send "?"s as fast as it likes:
//        until the task started last books in (or TaskStartTimeoutSeconds have
//        passed on the port book's clock) a "?" starts nothing; nor does it while
//        every slot holds a booking, as the task could only book port 0;
//   anything else: the link is closed and nothing is written.
// A link stays open after its answer; the server may ask again on it.
// No idle time-out: servers may keep a link open between requests, so a link
// frees only when its server closes it (three servers that never do keep the
// Sentry from answering a fourth).
class RequestListener : public QObject
{
    Q_OBJECT
public:
    static constexpr int BufferSize = 8192;
    // Time a started task has to book in before a "?" may start another.
    static constexpr qint64 TaskStartTimeoutSeconds = 10;

    explicit RequestListener(PortBook *book, QObject *parent = nullptr);
    ~RequestListener() override;

    // Called with True when a "?" finds no ready task and may start one.
    void setTaskStarter(std::function<void(bool)> startNewTask) { m_startNewTask = std::move(startNewTask); }
    // "0.0.0.0" (every interface) unless set otherwise.
    void setListenAddress(const QString &address);

    void SetListeningPort(quint16 port);
    // Listens and shows "Listening on port ...". Throws VantrelError with the
    // socket error number (10048 when the port is taken).
    void StartListening(int sessions);
    // The port listened on (or to be listened on), 0..65535.
    quint16 ListeningPort() const;
    void close();

    int busyLinkCount() const;

private:
    void mtcpListener_Accept(int handle);
    void HandleRequest(SocketX *link);
    void startTaskForServer();

    PortBook *m_book;
    std::function<void(bool)> m_startNewTask;
    std::optional<qint64> m_taskStartedAt;   // a task started for a server has not booked in since
    SocketX *mtcpListener;
    SocketX *mtcpLink;
    SocketX *mtcpLink2;
    SocketX *mtcpLink3;
    std::array<SocketX *, 3> mLinks;
};
