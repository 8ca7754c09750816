#include "bookingservice.h"

#include "bookinghost.h"
#include "bookingwire.h"
#include "portbook.h"
#include "statustexts.h"
#include "vantrelerror.h"

#include <QLocalServer>
#include <QLocalSocket>

BookingService::BookingService(PortBook *book, BookingHost *host, QObject *parent)
    : QObject(parent)
    , m_book(book)
    , m_host(host)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &BookingService::onNewConnection);
}

BookingService::~BookingService()
{
    // Ending the bookings here would touch a port book that may already be gone.
    for (auto it = m_bookings.begin(); it != m_bookings.end(); ++it)
        it.key()->disconnect(this);
}

bool BookingService::listen(const QString &name, QString *error)
{
    QLocalServer::removeServer(name);
    if (m_server->listen(name))
        return true;
    if (error)
        *error = m_server->errorString();
    return false;
}

void BookingService::close()
{
    m_server->close();
}

int BookingService::bookedCount() const
{
    int count = 0;
    for (const Booking &booking : m_bookings)
        count += booking.booked ? 1 : 0;
    return count;
}

void BookingService::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        m_bookings.insert(socket, Booking());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void BookingService::onReadyRead(QLocalSocket *socket)
{
    auto it = m_bookings.find(socket);
    if (it == m_bookings.end())
        return;
    it->buffer += socket->readAll();
    while (const auto line = BookingWire::takeLine(it->buffer)) {
        const BookingWire::Request request = BookingWire::parseRequest(*line);
        switch (request.kind) {
        case BookingWire::Request::Book:
            if (it->booked) {
                socket->write(it->answer);
                socket->flush();
            } else {
                Booking created;
                create(socket, created);
                // Answering a task that has already died ends its connection on
                // the spot (the write fails), before the booking was stored with
                // it: end that booking here, or its slot and count would stay taken.
                it = m_bookings.find(socket);
                if (it == m_bookings.end()) {
                    end(created);
                    return;
                }
                it->booked = created.booked;
                it->mSlot = created.mSlot;
                it->mPort = created.mPort;
                it->answer = created.answer;
            }
            break;
        case BookingWire::Request::Listening:
            if (it->booked)
                m_book->UpdatePortState(it->mPort, request.listening, false);
            break;
        case BookingWire::Request::Invalid:
            // Not one of our tasks: drop it; the disconnect ends any booking it held.
            socket->abort();
            return;
        }
    }
    if (it->buffer.size() > BookingWire::MaxLineLength)
        socket->abort();
}

void BookingService::onDisconnected(QLocalSocket *socket)
{
    auto it = m_bookings.find(socket);
    if (it == m_bookings.end())
        return;
    end(*it);
    m_bookings.erase(it);
    socket->deleteLater();
}

void BookingService::create(QLocalSocket *socket, Booking &booking)
{
    emit bookingArrived();
    m_book->addLiveBooking();
    bool madeWindow = false;
    try {
        if (!m_host->statusWindowExists()) {
            madeWindow = true;
            m_host->startStatusWindow();
        }
        const PortBook::Allotment allotment = m_book->allotSlot(m_host->ListeningPort());
        booking.mSlot = allotment.slot;
        booking.mPort = allotment.port;
        booking.booked = true;
        booking.answer = BookingWire::bookedReply(booking.mPort, m_host->ListeningPort(), m_host->LocalAddress());
        socket->write(booking.answer);
        socket->flush();
    } catch (const VantrelError &error) {
        // No booking exists, so it must not be counted: a count left behind here
        // would show in "in use by n task(s)" for the rest of the run.
        m_book->removeLiveBooking();
        const bool portInUse = error.number() == 10048;
        const quint32 number = portInUse ? PortInUseError : OtherError;
        const QString description = portInUse
            ? StatusTexts::startFailureReason(10048, QString(), m_host->ListeningPort())
            : StatusTexts::startFailureReason(qint64(error.number()), error.text(), m_host->ListeningPort());
        socket->write(BookingWire::errorReply(qint32(number), errorSource(), description));
        socket->flush();
        socket->waitForBytesWritten(1000);
        if (madeWindow) {
            if (m_host->statusWindowExists())
                m_host->unloadStatusWindow();
            emit startFailed();
        }
    }
}

void BookingService::end(Booking &booking)
{
    if (!booking.booked)
        return;
    booking.booked = false;
    m_book->removeLiveBooking();
    m_book->UpdatePortState(booking.mPort, false, false);
    m_book->freeSlot(booking.mSlot);
}
