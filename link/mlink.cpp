#include "mlink.h"

#include "fieldconversion.h"
#include "framecodec.h"
#include "itransactui.h"
#include "socketx.h"
#include "vantrelerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLoggingCategory>
#include <QScopedValueRollback>

Q_LOGGING_CATEGORY(lcLink, "vantrel.link")

namespace {

const QString kDropRequest = QStringLiteral("<DSCON>");
const QChar kCR = QLatin1Char('\r');

// What a message that no frame carries has too much of ("40000 fields", "33554433
// units"), and the most a frame carries of it.
struct Excess
{
    QString size;
    qint64 most;
};

Excess excessOf(const QStringList &fields)
{
    if (fields.size() > FrameCodec::MaxFields)
        return {QStringLiteral("%1 fields").arg(fields.size()), FrameCodec::MaxFields};
    return {QStringLiteral("%1 units").arg(FrameCodec::units(fields)), FrameCodec::MaxFrameUnits};
}

// Handlers index field 0 without checking; an empty message carries none.
QStringList withCode(QStringList message)
{
    if (message.isEmpty())
        message.append(QString());
    return message;
}

} // namespace

MLink::MLink(QObject *parent) : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &MLink::onConnectTimeout);
    newSocket(QString(), 0);
}

MLink::~MLink()
{
    m_connectTimer.stop();
    dropSocket();
}

void MLink::setFeatures(qint32 features)
{
    m_features = features;
    m_unicode = HasFeature(1);
}

bool MLink::VersionCheck(QString &hostInfo)
{
    const QStringList parts = hostInfo.split(QLatin1Char(':'));
    hostInfo = parts.value(0);
    // A missing or empty part counts as 0; anything else that is not a 32-bit
    // number refuses the server rather than guessing.
    auto number = [](const QString &text, bool &ok) {
        const QString t = text.trimmed();
        if (t.isEmpty()) {
            ok = true;
            return 0;
        }
        return t.toInt(&ok);
    };
    bool minOk = true;
    bool serverOk = true;
    const int minimum = number(parts.value(1), minOk);
    const int server = number(parts.value(2), serverOk);
    if (!minOk || !serverOk) {
        m_protocolVersion = -1;
        return false;
    }
    m_protocolVersion = server < 7 ? server : 7;
    if (m_protocolVersion < 0 || m_protocolVersion < minimum) {
        m_protocolVersion = -1;
        return false;
    }
    return true;
}

bool MLink::CheckEnv()
{
    if (!IsConnected())
        return false;
    const LinkSession session(*this);
    QStringList request{QStringLiteral("NS")};
    const QStringList reply = Transact(0, request);
    session.acknowledge();
    if (reply.value(0) != QLatin1String("NS"))
        return false;
    m_env = reply.value(1);
    return true;
}

void MLink::Accept(qint32 socketHandle, qint32 localPort)
{
    if (IsConnected())
        throw VantrelError(VantrelError::Base, QStringLiteral("MLink already connected"));
    resetSession();
    stopConnectTimer();
    m_pendingSessionId.clear();
    m_sessionKey.clear();
    newSocket(QString(), 0);
    m_socket->setLocalPort(SocketX::foldPort(localPort));
    if (!m_socket->Accept(socketHandle))
        throw VantrelError(VantrelError::Base + SocketX::NotConnected, m_socket->ErrorText());
    m_socket->setNoDelay(false);
    emit OnConnect();
}

void MLink::ConnectServer(const QString &remoteAddress, const QString &remotePort,
                          const QString &sessionId)
{
    if (IsConnected())
        throw VantrelError(VantrelError::Base, QStringLiteral("MLink already connected (ConnectServer)"));
    resetSession();
    m_sessionKey.clear();
    m_pendingSessionId = sessionId;
    newSocket(remoteAddress, remotePort.trimmed().toInt());
    // Linux gives up on an unreachable host only after about two minutes; the
    // request link promises an answer within the connect time-out.
    startConnectTimer();
    m_socket->Connect();
}

void MLink::ConnectJob(const QString &redirPort, const QString &sessionKey)
{
    if (!IsConnected())
        throw VantrelError(VantrelError::Base, QStringLiteral("MLink not yet connected (ConnectJob)"));
    // A "REDIR" over an accepted session or a job link would swap a working link for
    // one whose failure nobody hears of: the session would never be cleaned up.
    if (!awaitingRedirection())
        throw VantrelError(VantrelError::Base, QStringLiteral("MLink not awaiting a redirection (ConnectJob)"));
    stopConnectTimer();
    m_sessionKey = sessionKey;
    const QString host = m_socket->RemoteAddress();
    resetStream();
    // The server's port number; one that is none fails the connect rather than folding
    // into another port.
    newSocket(host, FieldConversion::toLongWithin(redirPort, 1, 65535, 0));
    startConnectTimer();
    m_socket->Connect();
}

QString MLink::HostIP() const
{
    return IsConnected() ? m_socket->PeerAddress() : QString();
}

qint32 MLink::MainPort() const
{
    if (!IsConnected())
        return 0;
    return SocketX::unfoldPort(m_isOutbound ? m_socket->RemotePort() : m_socket->LocalPort());
}

bool MLink::IsConnected() const
{
    return m_socket && m_socket->State() == SocketX::Connected;
}

void MLink::Send(const QStringList &elements)
{
    if (!FrameCodec::fits(elements)) {
        // Written anyway, its count or length would wrap and the server would read another
        // message, or whatever the server sent back of it would be refused here.
        const Excess excess = excessOf(elements);
        qCWarning(lcLink).noquote() << "message" << elements.value(0) << "of" << excess.size
                                    << "not sent: a frame carries at most" << excess.most;
        return;
    }
    if (!IsConnected())
        return;
    queueFrame(FrameCodec::encode(elements, m_unicode));
}

void MLink::queueFrame(const QByteArray &frame)
{
    m_outbox += frame;
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    // Ahead of whatever the step queued for the window (layouts, repaints): a step command
    // or a request the server waits for must not wait behind them. Frames handlers write
    // leave earlier, when the handlers have returned (onSocketReceive).
    QCoreApplication::postEvent(this, new QEvent(flushEventType()), Qt::HighEventPriority);
}

QEvent::Type MLink::flushEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void MLink::flushOutbox()
{
    if (m_outbox.isEmpty())
        return;
    const QByteArray frames = std::exchange(m_outbox, QByteArray());
    if (!IsConnected())
        return;
    m_socket->Write(frames);
    m_socket->Flush();
}

bool MLink::event(QEvent *event)
{
    if (event->type() == flushEventType()) {
        m_flushPosted = false;
        flushOutbox();
        return true;
    }
    return QObject::event(event);
}

void MLink::Disconnect()
{
    // A handler of this close that disconnects again would raise OnClose without end.
    // A link set up meanwhile (a handler's message box runs an event loop, where the
    // listener may accept the next session) is another link and closes normally.
    if (m_closingSession == m_sessionId)
        return;
    const quint64 outerClosing = m_closingSession;
    m_closingSession = m_sessionId;
    if (IsConnected())
        emit BeforeClose();   // handlers still Send here (lock releases)
    flushOutbox();
    stopConnectTimer();
    m_pendingSessionId.clear();
    m_sessionKey.clear();
    if (m_socket)
        m_socket->Close();
    resetStream();
    m_closingSession = m_sessionId;   // the closed link, as OnClose handlers see it
    {
        const QScopedValueRollback<bool> ending(m_raisingOnClose, true);
        emit OnClose();
    }
    m_closingSession = outerClosing;
}

QStringList MLink::Transact(int timeoutSec, const QStringList &elements)
{
    QStringList request = elements;
    return Transact(timeoutSec, request);
}

QStringList MLink::Transact(int timeoutSec, QStringList &elements)
{
    const QString code = elements.value(0);
    if (m_inTransact) {
        return {QStringLiteral("MSG"),
                QStringLiteral("Transaction pending - second transaction request (%1) failed").arg(code)};
    }
    const QStringList request = FrameCodec::asRequest(elements);
    if (!FrameCodec::fits(request)) {
        const Excess excess = excessOf(request);
        return {QStringLiteral("MSG"),
                QStringLiteral("Message too long - transaction request (%1) of %2 failed (at most %3)")
                    .arg(code, excess.size).arg(excess.most)};
    }
    const int t = effectiveTimeout(timeoutSec);
    const QString echo = QLatin1Char('!') + code;
    if (!IsConnected()) {
        // Writing to an idle link could only fail; say so the way every other
        // transaction failure is said.
        return errorReply(echo, t, SocketX::NotConnected, QStringLiteral("Socket is not connected"));
    }

    m_inTransact = true;
    m_closePending = false;
    if (m_ui)
        m_ui->begin();
    elements = request;

    SocketX *socket = m_socket;
    const qint16 savedTimeout = socket->Timeout();
    const bool savedBlocking = socket->Blocking();
    const qint16 savedFlags = socket->NotifyFlags();
    socket->setTimeout(qint16(t));
    socket->setReadSetting(1);
    socket->setBlocking(true);
    socket->setNotifyFlags(32);   // the wait below reads the link itself

    const quint64 session = m_sessionId;
    // Frames written ahead of this request in the same step (the acknowledgement of
    // the last reply) leave with it, in one write.
    queueFrame(FrameCodec::encode(elements, m_unicode));
    flushOutbox();

    const qint64 windowMs = qint64(t) * m_msPerSecond;
    QDeadlineTimer deadline(windowMs);
    // Set by every read and every frame taken: the silence that times the
    // transaction out starts only when the wait resumes, so time spent in an
    // OnMessage handler (a message box, a slow pane) is not held against the server.
    bool restartDeadline = false;
    bool awaitingEcho = true;
    QString dropReason;   // set: the stream itself says the link must go
    QStringList reply;
    for (bool done = false; !done;) {
        QStringList frame;
        const FrameAssembler::TakeResult taken = m_rx.take(frame, m_unicode);
        if (taken == FrameAssembler::Complete) {
            restartDeadline = true;
            if (frame.value(0) == kDropRequest) {
                dropReason = QStringLiteral("The server asked to drop the link");
            } else if (!awaitingEcho) {
                reply = withCode(frame);
                done = true;
            } else if (frame.value(0) == echo) {
                awaitingEcho = false;
            } else {
                emit OnMessage(withCode(frame));
            }
            if (!done && (!dropReason.isEmpty() || session != m_sessionId || m_socket != socket)) {
                reply = closedReply(echo, t, dropReason);
                done = true;
            }
            continue;
        }
        if (taken == FrameAssembler::Malformed) {
            dropReason = QStringLiteral("Malformed frame: ") + m_rx.errorText();
            reply = closedReply(echo, t, dropReason);
            break;
        }
        if (session != m_sessionId || m_socket != socket) {
            reply = closedReply(echo, t, QString());
            break;
        }
        if (socket->BytesWaiting() > 0) {
            m_rx.append(socket->Read());
            restartDeadline = true;
            continue;
        }
        // Only once every complete frame is taken: a reply that came with the
        // close is still the reply.
        if (m_closePending || socket->State() != SocketX::Connected) {
            reply = closedReply(echo, t, QString());
            break;
        }
        // What the handlers of frames raised in this wait wrote (their acknowledgements)
        // leaves before it blocks: the server may be waiting for it before the echo.
        flushOutbox();
        if (restartDeadline) {
            deadline.setRemainingTime(windowMs);
            restartDeadline = false;
        }
        if (!socket->WaitForBytes(int(qMax<qint64>(0, deadline.remainingTime())))
            && deadline.hasExpired() && socket->BytesWaiting() == 0
            && socket->State() == SocketX::Connected) {
            reply = {QStringLiteral("MSG"),
                     QStringLiteral("Timeout (%1 seconds) awaiting reply for Transact %2").arg(t).arg(echo)};
            break;
        }
    }

    if (m_socket == socket) {
        socket->setTimeout(savedTimeout);
        socket->setBlocking(savedBlocking);
        socket->setNotifyFlags(savedFlags);
    }
    if (m_ui)
        m_ui->end();
    m_inTransact = false;

    if (session != m_sessionId || m_socket != socket) {
        resumeHeldSession();
        return reply;
    }
    if (!dropReason.isEmpty()) {
        m_rx.clear();   // nothing after a drop request or a broken frame is trusted
        m_closeDeferred = true;
        dropLinkLater(dropReason);
        return reply;
    }
    raiseBufferedFrames(true);
    // The wait's own reads may see the link die without a close notification: the
    // notifications were off. Either way the session ends, once, after the caller's turn.
    if (session == m_sessionId && (m_closePending || !IsConnected())) {
        m_closePending = false;
        m_closeDeferred = true;
        dropLinkLater(QString());
    }
    return reply;
}

// Closes seen by a transaction are handled after the caller has its reply, as if the
// socket had reported them a moment later: the caller still acts on the reply (opens
// the routine it asked for, acknowledges) before the session is torn down. Unlike a
// close the socket reports while a handler runs, they are not held until a handler that
// waits for the user returns: that handler already has its failure, usually shown in a
// box, and a session without a server held behind the box would keep the task from
// listening, and its Sentry slot booked, until the user answered. Back from the box,
// the handler finds its session gone.
void MLink::dropLinkLater(const QString &why)
{
    const quint64 session = m_sessionId;
    QMetaObject::invokeMethod(this, [this, session, why] {
        if (session != m_sessionId)
            return;
        closeSocket(why);
        m_closeDeferred = false;
        handleClose();
    }, Qt::QueuedConnection);
}

// While a transaction waits, the link raises nothing of its own: the wait reads the socket
// itself. A box in a handler of the wait's frames may see the session end and the next
// server taken on; what that server sent, and its close, were held for a wait that was
// never going to read them. They are raised after the caller's turn, as its socket would
// have raised them: left there, its frames would go unanswered, and its close would leave
// the end pending with nobody to run it, the task turning every later server away.
void MLink::resumeHeldSession()
{
    const quint64 session = m_sessionId;
    QMetaObject::invokeMethod(this, [this, session] {
        // A transaction of that session reads what is waiting itself, and sees the close.
        if (session != m_sessionId || m_inTransact)
            return;
        if (std::exchange(m_closePending, false))
            onSocketClose();
        else
            onSocketReceive();
    }, Qt::QueuedConnection);
}

QStringList MLink::closedReply(const QString &prefixedCode, int timeoutSec, const QString &dropReason) const
{
    if (!dropReason.isEmpty())
        return errorReply(prefixedCode, timeoutSec, SocketX::ConnectionReset, dropReason);
    if (m_socket && m_socket->LastError() != 0)
        return errorReply(prefixedCode, timeoutSec, m_socket->LastError(), m_socket->ErrorText());
    return errorReply(prefixedCode, timeoutSec, SocketX::NotConnected, QStringLiteral("Socket is not connected"));
}

QStringList MLink::errorReply(const QString &prefixedCode, int timeoutSec, int number,
                              const QString &description)
{
    return {QStringLiteral("MSG"),
            QStringLiteral("Error %1 (%2) awaiting reply for Transact %3").arg(number).arg(description, prefixedCode)
                + kCR + QStringLiteral("Timeout= %1 seconds").arg(timeoutSec)};
}

void MLink::newSocket(const QString &remoteAddress, int remotePort)
{
    dropSocket();
    auto *socket = new SocketX(this);
    socket->setBlocking(false);
    socket->setNotifyFlags(63);
    socket->setLocalAddress(QStringLiteral("0.0.0.0"));
    socket->setLocalPort(0);
    socket->setRemoteAddress(remoteAddress);
    socket->setRemotePort(SocketX::foldPort(remotePort));
    socket->setNoDelay(false);
    socket->setRecvBufferSize(8192);
    socket->setSendBufferSize(8192);
    connect(socket, &SocketX::OnConnect, this, &MLink::onSocketConnect);
    connect(socket, &SocketX::OnReceive, this, &MLink::onSocketReceive);
    connect(socket, &SocketX::OnClose, this, &MLink::onSocketClose);
    m_socket = socket;
}

void MLink::dropSocket()
{
    if (!m_socket)
        return;
    flushOutbox();   // what this link was told before it is replaced still reaches it
    SocketX *old = m_socket;
    m_socket = nullptr;
    // Its late notifications belong to a link that is gone; it may be the sender
    // of the notification being handled right now, hence deleteLater.
    old->disconnect(this);
    old->Close();
    old->deleteLater();
}

void MLink::resetSession()
{
    stopConnectTimer();
    resetStream();
    m_unicode = false;
    m_features = 0;
    m_protocolVersion = 0;
    m_env.clear();
    m_isOutbound = false;
}

void MLink::resetStream()
{
    m_rx.clear();
    m_outbox.clear();   // frames of a link that is gone never reach the next one
    m_closeDeferred = false;
    m_closePending = false;
    ++m_sessionId;
}

void MLink::startConnectTimer()
{
    m_connectTimer.start(m_connectTimeoutMs);
}

void MLink::stopConnectTimer()
{
    m_connectTimer.stop();
}

QString MLink::shortFailureText() const
{
    return QStringLiteral("Failed to connect to %1 on port %2")
        .arg(m_socket->RemoteAddress())
        .arg(SocketX::unfoldPort(m_socket->RemotePort()));
}

bool MLink::awaitingRedirection() const
{
    return IsConnected() && !m_isOutbound && !m_pendingSessionId.isEmpty() && m_sessionKey.isEmpty();
}

// The attempt ends here and now, with nothing of it left behind: a socket that closes
// later would otherwise raise an OnClose for a session that never began, and the
// session key would make the next connect look like a job link.
// Forgets the outbound attempt in progress, so the link can start another at once.
void MLink::forgetAttempt()
{
    stopConnectTimer();
    m_pendingSessionId.clear();
    m_sessionKey.clear();
    m_isOutbound = false;
}

void MLink::failConnect(const QString &message)
{
    forgetAttempt();
    if (m_socket)
        m_socket->Close();
    resetStream();
    emit OnConnectFailed(message);
}

// The server's refusal is the attempt's answer: the user hears of it through the
// message itself, and neither a later "Connection failed" nor a still-connected request
// link may follow it (a retry would find the link busy).
void MLink::refuseRequest()
{
    forgetAttempt();
    dropSocket();
    resetStream();
}

void MLink::onSocketConnect(qint16 error)
{
    if (error != 0) {
        failConnect(shortFailureText() + kCR + QStringLiteral("Error: %1").arg(error) + kCR
                    + QStringLiteral("Description: ") + m_socket->ErrorText());
        return;
    }
    if (!m_sessionKey.isEmpty()) {
        if (m_pendingSessionId.isEmpty())
            return;
        m_pendingSessionId.clear();
        stopConnectTimer();
        m_socket->Write(m_sessionKey + QLatin1Char('*'));
        Send({QStringLiteral("CONNECT")});
        if (IsConnected()) {
            m_isOutbound = true;
            emit OnConnect();
        } else {
            failConnect(shortFailureText());
        }
        return;
    }
    startConnectTimer();
    m_socket->Write(QStringLiteral(">"));
    Send({m_pendingSessionId});
}

void MLink::onConnectTimeout()
{
    if (!m_socket)
        return;
    const bool open = m_socket->State() != SocketX::Closed;
    const QString failure = open ? shortFailureText() : QStringLiteral("Connection failed");
    // The attempt is over before anyone hears of it: a handler that shows the failure
    // in a message box runs an event loop, where a late "REDIR" would otherwise bring
    // up a job link only to have it closed here afterwards, and a retry would find
    // the link still connected.
    if (open) {
        m_socket->Close();
        handleClose();   // silent: the pending identifier is still set
    }
    // Left set, the next accepted session's close would pass unreported too.
    m_pendingSessionId.clear();
    m_sessionKey.clear();
    emit OnConnectFailed(failure);
}

void MLink::onSocketReceive()
{
    // A transaction reads the link itself. While a handler of an earlier frame runs
    // (a message box brought us here through its event loop), the frames that came
    // are the next in line after it, not inside it: the loop raising that frame
    // reads them once the handler returns.
    if (m_inTransact || !m_socket || m_raisingSession == m_sessionId)
        return;
    raiseBufferedFrames();
    // The handlers of what came have all returned: their answers are the step's whole
    // output, and the server waits for them. Left to the posted flush they would wait
    // behind the layouts and the repaint the handlers caused.
    flushOutbox();
}

void MLink::onSocketClose()
{
    if (m_inTransact) {
        m_closePending = true;
        return;
    }
    if (m_raisingSession == m_sessionId) {
        // A handler of this link's frames is still running (a message box): the frames
        // that came with the close, and then the close, follow it once it returns.
        m_closeDeferred = true;
        return;
    }
    // Frames that came with the close are still the server's last words, raised before
    // the end. The end is pending from here on: a box in one of their handlers runs an
    // event loop, where the next server must not be taken on before this session's end
    // has run. The raising loop runs the end once the last handler has returned.
    m_closeDeferred = true;
    raiseBufferedFrames();
}

void MLink::handleClose()
{
    if (!m_pendingSessionId.isEmpty()) {
        // The close of a request link is not reported by itself, but the time-out keeps
        // running so that whoever waits for the session hears "Connection failed"
        // instead of waiting for ever.
        resetStream();
        return;
    }
    Disconnect();
}

void MLink::handleCloseInTurn()
{
    if (m_raisingSession == m_sessionId)
        m_closeDeferred = true;
    else
        handleClose();
}

void MLink::dropLink(const QString &why)
{
    closeSocket(why);
    handleCloseInTurn();
}

void MLink::closeSocket(const QString &why)
{
    if (m_socket)
        m_socket->Close();
    if (!why.isEmpty())
        qCWarning(lcLink).noquote() << "dropping the link:" << why;
}

void MLink::raiseBufferedFrames(bool dropLater)
{
    const quint64 session = m_sessionId;
    // Nested inside a handler (a transaction's tail) the outer loop keeps the turn and
    // reports a close that came meanwhile.
    const bool outermost = m_raisingSession != session;
    bool dropped = false;
    QString dropReason;
    {
        const QScopedValueRollback<quint64> raising(m_raisingSession, session);
        while (session == m_sessionId && !dropped) {
            QStringList frame;
            const FrameAssembler::TakeResult taken = m_rx.take(frame, m_unicode);
            if (taken == FrameAssembler::NeedMore) {
                // Qt raises no second readyRead for bytes that came while the slot of the
                // first still ran, so what a handler's event loop let in is read here, or
                // it would wait for the server's next bytes.
                if (m_socket && m_socket->BytesWaiting() > 0) {
                    m_rx.append(m_socket->Read());
                    continue;
                }
                break;
            }
            if (taken == FrameAssembler::Malformed) {
                dropped = true;
                dropReason = QStringLiteral("malformed frame from ") + HostIP() + QStringLiteral(": ")
                             + m_rx.errorText();
            } else if (frame.value(0) == kDropRequest) {
                dropped = true;
            } else {
                if (frame.value(0) == QLatin1String("MSG") && awaitingRedirection())
                    refuseRequest();
                emit OnMessage(withCode(frame));
            }
        }
    }
    if (session != m_sessionId)
        return;
    if (dropped) {
        if (dropLater) {
            m_rx.clear();   // nothing after a drop request or a broken frame is trusted
            dropLinkLater(dropReason);
        } else {
            dropLink(dropReason);
        }
    } else if (outermost && m_closeDeferred) {
        m_closeDeferred = false;
        if (dropLater)
            dropLinkLater(QString());
        else
            handleClose();
    }
}
