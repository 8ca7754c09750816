#include "portbook.h"

#include <QElapsedTimer>

namespace {

// Monotonic, so an offer's age is right across clock changes and daylight saving.
qint64 monotonicSeconds()
{
    static QElapsedTimer timer = [] { QElapsedTimer t; t.start(); return t; }();
    return timer.elapsed() / 1000;
}

} // namespace

PortBook::PortBook(QObject *parent)
    : QObject(parent)
    , m_clock(monotonicSeconds)
{
}

void PortBook::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void PortBook::resetSlots(int n)
{
    m_portSlots = QVector<quint32>(qMax(0, n), 0);
}

quint32 PortBook::slotPort(quint16 sentryPort, int slot)
{
    const quint32 port = quint32(sentryPort) + 2u * quint32(slot - 1) + 1u;
    return port > 65535u ? 0u : port;
}

PortBook::Allotment PortBook::allotSlot(quint16 sentryPort)
{
    Allotment allotment;
    for (int i = 0; i < m_portSlots.size(); ++i) {
        if (m_portSlots[i] != 0)
            continue;
        const quint32 port = slotPort(sentryPort, i + 1);
        if (port == 0)
            break;   // every later slot lies further past 65535
        m_portSlots[i] = port;
        allotment.slot = i + 1;
        allotment.port = quint16(port);
        refreshState();
        break;
    }
    return allotment;
}

void PortBook::freeSlot(int slot)
{
    if (slot >= 1 && slot <= m_portSlots.size() && m_portSlots[slot - 1] != 0) {
        m_portSlots[slot - 1] = 0;
        refreshState();
    }
}

int PortBook::heldSlotCount() const
{
    return int(m_portSlots.size() - m_portSlots.count(0u));
}

void PortBook::addLiveBooking()
{
    ++m_liveCount;
    emit bookingAdded();
}

void PortBook::removeLiveBooking()
{
    if (m_liveCount > 0)
        --m_liveCount;
}

void PortBook::UpdatePortState(quint16 Port, bool Listening, bool Offered)
{
    // A booking without a slot has port 0; offering 0 would read as "none ready".
    if (Port != 0) {
        if (Listening) {
            if (!m_ready.contains(Port))
                m_ready.append(Port);
        } else {
            m_ready.removeAll(Port);
        }
        auto offer = std::find_if(m_offered.begin(), m_offered.end(),
                                  [Port](const auto &entry) { return entry.first == Port; });
        if (Offered) {
            if (offer == m_offered.end())
                m_offered.append({Port, m_clock()});
        } else if (offer != m_offered.end()) {
            m_offered.erase(offer);
        }
    }
    refreshState();
}

void PortBook::returnExpiredOffers()
{
    // Collected first: putting a port back removes it from the list being walked.
    const qint64 now = m_clock();
    QList<quint16> expired;
    for (const auto &offer : m_offered) {
        if (offer.second + OfferLifetimeSeconds < now)
            expired.append(offer.first);
    }
    for (const quint16 port : expired)
        UpdatePortState(port, true, false);
}

quint16 PortBook::offerReadyPort()
{
    returnExpiredOffers();
    if (m_ready.isEmpty())
        return 0;
    const quint16 port = m_ready.last();
    UpdatePortState(port, false, true);
    return port;
}

QList<quint16> PortBook::offeredPorts() const
{
    QList<quint16> ports;
    for (const auto &offer : m_offered)
        ports.append(offer.first);
    return ports;
}

void PortBook::setLblPort(const QString &text)
{
    if (text == m_lblPort)
        return;
    m_lblPort = text;
    emit lblPortChanged(text);
}

QString PortBook::listeningText(quint16 port, int sessions)
{
    return QStringLiteral("Listening on port %1 for %2 session%3")
        .arg(port)
        .arg(sessions)
        .arg(sessions > 1 ? QStringLiteral("s") : QString());
}

QString PortBook::stateText() const
{
    // Bookings beyond the slots hold port 0 and can never be offered; counting
    // them as connected would show fewer free slots than ready tasks.
    const int ready = int(m_ready.size());
    int connected = 0;
    for (const quint32 port : m_portSlots)
        connected += port != 0 && !m_ready.contains(quint16(port)) ? 1 : 0;
    return QStringLiteral("Connected: %1, Ready: %2/%3, Pending: %4")
        .arg(connected)
        .arg(ready)
        .arg(slotCount() - connected)
        .arg(m_offered.size());
}
