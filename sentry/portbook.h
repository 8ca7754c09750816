#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

#include <functional>

// Which task ports are ready, offered or busy, the slot table tasks book their
// ports from, and the count of live bookings; with the status line that shows
// them (`lblPort`). Shared by the request listener, the booking service and the
// status window, all on the Sentry's one thread.
//
// A port's life: ready (in mcolReady) -> offered to a server (in mcolOffered)
// -> busy (in neither, its task serves a session) -> ready again.
class PortBook : public QObject
{
    Q_OBJECT
public:
    // Whole seconds from any fixed origin; only differences are used.
    using Clock = std::function<qint64()>;

    // An offer not taken for longer than this goes back to the ready set.
    static constexpr qint64 OfferLifetimeSeconds = 30;

    explicit PortBook(QObject *parent = nullptr);

    void setClock(Clock clock);
    // The Sentry's one notion of time: offers age by it, task starts time out by it.
    qint64 now() const { return m_clock(); }

    // Sizes the slot table to n free slots.
    void resetSlots(int n);
    int slotCount() const { return int(m_portSlots.size()); }
    // Slot i (1-based) holds its port, or 0 when free.
    const QVector<quint32> &gPortSlots() const { return m_portSlots; }

    // The port slot i carries for a Sentry on sentryPort; past 65535 there is none (0).
    static quint32 slotPort(quint16 sentryPort, int slot);

    struct Allotment
    {
        int slot = 0;        // 1-based; 0 when none was free
        quint16 port = 0;
    };
    // Takes the first free slot. No free slot is not an error: the result is slot 0, port 0.
    // Taking and freeing a slot refresh the status line.
    Allotment allotSlot(quint16 sentryPort);
    void freeSlot(int slot);

    // Slots holding a booking; bookings beyond the slots hold none.
    int heldSlotCount() const;
    bool hasFreeSlot() const { return heldSlotCount() < slotCount(); }

    // Every booking, with a slot or without (the count the close question names).
    int gLiveCount() const { return m_liveCount; }
    void addLiveBooking();
    void removeLiveBooking();

    // The one writer of the ready and offered sets; refreshes the status line.
    void UpdatePortState(quint16 Port, bool Listening, bool Offered);

    // What a "+" or "?" request gets: expired offers go back to the ready set
    // first, then the most recently ready port is offered. 0 when none is ready.
    quint16 offerReadyPort();

    // Oldest first; the last one is offered next.
    QList<quint16> readyPorts() const { return m_ready; }
    // In the order they were offered.
    QList<quint16> offeredPorts() const;

    QString lblPort() const { return m_lblPort; }
    void setLblPort(const QString &text);

    // "Listening on port 4321 for 10 sessions".
    static QString listeningText(quint16 port, int sessions);
    // "Connected: c, Ready: r/(n - c), Pending: o": c counts the slots whose task
    // is not ready (busy or offered), so that r never exceeds the free n - c.
    QString stateText() const;

signals:
    void lblPortChanged(const QString &text);
    // A task has booked in (with a slot or without).
    void bookingAdded();

private:
    void returnExpiredOffers();
    void refreshState() { setLblPort(stateText()); }

    Clock m_clock;
    QVector<quint32> m_portSlots;               // gPortSlots, index 0 = slot 1
    int m_liveCount = 0;                        // gLiveCount: bookings that succeeded and have not ended
    QList<quint16> m_ready;                     // mcolReady, insertion order
    QList<QPair<quint16, qint64>> m_offered;    // mcolOffered: port and the second it was offered
    QString m_lblPort;
};
