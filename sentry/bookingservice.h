#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class BookingHost;
class PortBook;
class QLocalServer;
class QLocalSocket;

// The Sentry's side of the tasks' bookings. Each local connection is one booking
// object: its "BOOK" allots a slot (bringing the Sentry up first when it was
// started for this booking), "LISTENING" moves its port in the port book, and the
// connection's end releases the slot, whether the task ended cleanly or died.
class BookingService : public QObject
{
    Q_OBJECT
public:
    // Error numbers a creating task receives.
    static constexpr quint32 PortInUseError = 0x80040201u;   // base + 513
    static constexpr quint32 OtherError = 0x80040000u;       // base + 0
    static QString errorSource() { return QStringLiteral("VantrelSentry"); }

    BookingService(PortBook *book, BookingHost *host, QObject *parent = nullptr);
    ~BookingService() override;

    // Listens under name; a socket file left by a Sentry that died is removed
    // first (the caller holds the single-instance lock, so it cannot be live).
    bool listen(const QString &name, QString *error = nullptr);
    void close();

    // Connections that hold a booking.
    int bookedCount() const;

signals:
    void bookingArrived();
    // A booking brought the Sentry up and that failed; the task has its answer.
    // Nothing is left to serve: the process should end.
    void startFailed();

private:
    struct Booking
    {
        QByteArray buffer;
        bool booked = false;
        int mSlot = 0;         // 1-based slot held, 0 for none
        quint16 mPort = 0;     // the slot's port, 0 for none
        QByteArray answer;     // repeated if the task books twice on one connection
    };

    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    void onDisconnected(QLocalSocket *socket);
    void create(QLocalSocket *socket, Booking &booking);
    void end(Booking &booking);

    PortBook *m_book;
    BookingHost *m_host;
    QLocalServer *m_server;
    QHash<QLocalSocket *, Booking> m_bookings;
};
