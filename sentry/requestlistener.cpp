#include "requestlistener.h"

#include "portbook.h"
#include "socketx.h"
#include "vantrelerror.h"

namespace {

SocketX *makeSocket(QObject *parent)
{
    auto *socket = new SocketX(parent);
    socket->setBlocking(false);
    socket->setRecvBufferSize(RequestListener::BufferSize);
    socket->setSendBufferSize(RequestListener::BufferSize);
    return socket;
}

} // namespace

RequestListener::RequestListener(PortBook *book, QObject *parent)
    : QObject(parent)
    , m_book(book)
    , mtcpListener(makeSocket(this))
    , mtcpLink(makeSocket(this))
    , mtcpLink2(makeSocket(this))
    , mtcpLink3(makeSocket(this))
    , mLinks{mtcpLink, mtcpLink2, mtcpLink3}
{
    mtcpListener->setLocalAddress(QStringLiteral("0.0.0.0"));
    mtcpListener->setLocalPort(SocketX::foldPort(4321));
    connect(mtcpListener, &SocketX::OnAccept, this, [this](int handle, qint16) { mtcpListener_Accept(handle); });
    for (SocketX *link : mLinks)
        connect(link, &SocketX::OnReceive, this, [this, link](qint16) { HandleRequest(link); });
    // Any booking may be the started task's; either way a ready port may follow.
    connect(m_book, &PortBook::bookingAdded, this, [this] { m_taskStartedAt.reset(); });
}

RequestListener::~RequestListener() = default;

void RequestListener::setListenAddress(const QString &address)
{
    mtcpListener->setLocalAddress(address);
}

void RequestListener::SetListeningPort(quint16 port)
{
    mtcpListener->setLocalPort(SocketX::foldPort(port));
}

void RequestListener::StartListening(int sessions)
{
    const qint16 error = mtcpListener->Listen();
    if (error != 0)
        throw VantrelError(quint32(error), mtcpListener->ErrorText());
    m_book->setLblPort(PortBook::listeningText(ListeningPort(), sessions));
}

quint16 RequestListener::ListeningPort() const
{
    return quint16(SocketX::unfoldPort(mtcpListener->LocalPort()));
}

void RequestListener::close()
{
    for (SocketX *link : mLinks)
        link->Close();
    mtcpListener->Close();
}

int RequestListener::busyLinkCount() const
{
    int busy = 0;
    for (const SocketX *link : mLinks)
        busy += link->State() == SocketX::Connected ? 1 : 0;
    return busy;
}

void RequestListener::mtcpListener_Accept(int handle)
{
    for (SocketX *link : mLinks) {
        if (link->State() == SocketX::Connected)
            continue;
        if (link->Accept(handle))
            m_book->setLblPort(QStringLiteral("Handling connection..."));
        return;
    }
    // All three links are busy: the connection is simply not taken, and the
    // socket layer drops it. The listener stays open, so the connections still
    // waiting in its backlog keep their turn.
}

void RequestListener::HandleRequest(SocketX *link)
{
    const QByteArray bytes = link->Read();
    if (bytes.isEmpty())
        return;
    const char request = bytes.at(0);
    if (request != '+' && request != '?') {
        link->Close();
        return;
    }
    const quint16 port = m_book->offerReadyPort();
    if (port == 0 && request == '?')
        startTaskForServer();
    const char reply[2] = {char(port >> 8), char(port & 0xFF)};
    link->Write(QByteArray(reply, 2));
    link->Flush();
}

void RequestListener::startTaskForServer()
{
    if (!m_startNewTask || !m_book->hasFreeSlot())
        return;
    const qint64 now = m_book->now();
    if (m_taskStartedAt && now - *m_taskStartedAt < TaskStartTimeoutSeconds)
        return;
    m_taskStartedAt = now;
    m_startNewTask(true);
}
