#pragma once

#include "frameassembler.h"
#include "linksession.h"
#include "socketx.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class ITransactUi;

// The client end of the debug link: one TCP connection to one server process,
// carrying messages (lists of text fields, field 0 the code) as frames.
//
// A link comes about inbound (the main window's listener accepts and calls
// Accept, which raises OnConnect) or outbound: ConnectServer opens the request
// link and sends the session identifier; the server answers "REDIR" port, key,
// on which the dispatcher calls ConnectJob; the job link raises OnConnect. A "MSG"
// in place of "REDIR" is the server's refusal: the request link closes quietly (no
// OnClose, no OnConnectFailed) before the message is raised, so a retry can start
// at once.
//
// Getters carry the design's names (Brand, Env, HostIP, ...); setters are setXxx.
// Everything runs on the owner's thread. Signals must be connected directly: a
// transaction raises OnMessage from inside its wait, and the order of messages is
// the order of the stream. OnMessage always carries at least field 0 (an empty
// message from the server arrives as one empty field).
//
// A message goes out through a LinkSession of this link, never through the link itself:
// the token names the session it belongs to and drops what is due to a session that has
// ended, so that nothing said after a box reaches the server that came next.
//
// Received frames are raised one after another: while an OnMessage handler runs
// (and a message box spins an event loop inside it), what arrives waits, and the
// next frame, or the peer's close, is raised as soon as that handler returns.
// Only a transaction started from the handler raises frames inside it.
//
// Errors of direct calls are VantrelError (number VantrelError::Base):
// "MLink already connected" (Accept), "MLink already connected (ConnectServer)",
// "MLink not yet connected (ConnectJob)", "MLink not awaiting a redirection
// (ConnectJob)". Link failures arrive as OnConnectFailed; transaction failures as
// a reply whose field 0 is "MSG". A message that no frame carries (more than
// 32,767 fields, or more than FrameCodec::MaxFrameUnits units) is never written: Send
// drops it with a warning, Transact replies "MSG".
class MLink : public QObject, public ISessionLink
{
    Q_OBJECT
public:
    static constexpr int DefaultTransactTimeout = 20;   // seconds
    static constexpr int ConnectTimeoutMs = 5000;

    explicit MLink(QObject *parent = nullptr);
    ~MLink() override;

    // Server platform word ("CACHE", "DSM", ...) and name table, set by the dispatcher.
    QString Brand() const { return m_brand; }
    void setBrand(const QString &brand) { m_brand = brand; }
    QString NameTable() const { return m_nameTable; }
    void setNameTable(const QString &nameTable) { m_nameTable = nameTable; }

    // Feature bits of the greeting; bit 1 switches both directions to Unicode frames.
    void setFeatures(qint32 features);
    qint32 Features() const { return m_features; }
    bool HasFeature(qint32 mask) const { return (m_features & mask) != 0; }
    bool IsUnicode() const { return m_unicode; }

    // hostInfo "text:minimum:server": keeps "text" in hostInfo and agrees on
    // min(server, 7). False (ProtocolVersion -1) when below the minimum, negative,
    // or a part is not a number.
    bool VersionCheck(QString &hostInfo);
    qint32 ProtocolVersion() const { return m_protocolVersion; }

    SocketX *Control() const { return m_socket; }

    // The session's namespace as last read by CheckEnv ("NS" transaction).
    QString Env() const { return m_env; }
    bool CheckEnv();

    // Takes over a connection the listener announced (SocketX::OnAccept handle);
    // localPort is the listener's port. Raises OnConnect. A handle that is no
    // longer pending raises VantrelError Base + 10057 with the socket's text.
    void Accept(qint32 socketHandle, qint32 localPort);
    // Starts the request link; returns at once. Port is decimal text.
    void ConnectServer(const QString &remoteAddress, const QString &remotePort,
                       const QString &sessionId);
    // Opens the job link to the same host on the "REDIR" port. Only a request link
    // of ours that is still waiting for its "REDIR" may be redirected; on any other
    // link it throws and the link stays as it is. A job link that cannot connect
    // raises OnConnectFailed and leaves the link closed.
    void ConnectJob(const QString &redirPort, const QString &sessionKey);

    // Peer address as plain IPv4 text while connected, else "".
    QString HostIP() const;
    // Remote port of an outbound link, local port of an accepted one (0 to 65535);
    // 0 when not connected.
    qint32 MainPort() const;
    bool IsConnected() const;
    // Names the current session: a new id whenever the link is closed or replaced. A
    // handler that waited for the user (a box runs an event loop) acts on the server only
    // while its session is current; LinkSession holds the id and does the test.
    quint64 SessionId() const override { return m_sessionId; }
    bool IsCurrentSession(quint64 id) const override { return id == m_sessionId && IsConnected(); }
    // The link is gone but its session's end has not been handled to the end yet: it died
    // while a handler of its frames ran, or the frames that came with its close are being
    // raised (reported when the handlers return), a transaction saw it die (reported at
    // the next turn of the event loop), or OnClose is running (its box is up). No other
    // session may be taken on meanwhile: its end would run over it.
    bool EndPending() const { return m_closeDeferred || m_closePending || m_raisingOnClose; }
    bool IsOutbound() const { return m_isOutbound; }
    bool InTransact() const { return m_inTransact; }

    // Sends the request with "!" before its code (written back into field 0) and
    // waits, without an event loop, for the frame after the server's echo. Frames
    // before the echo are raised as OnMessage from inside the wait; frames after
    // the reply are raised after the UI is switched back on, before returning.
    // timeoutSec < 1 means 20; the time-out counts from the last data received.
    // A nested call, a time-out, an idle or closing link give ["MSG", text].
    QStringList Transact(int timeoutSec, QStringList &elements);
    QStringList Transact(int timeoutSec, const QStringList &elements);
    // What the current step has written leaves now, in one write, rather than when the
    // step ends: for a request the server waits for, ahead of the window's own work
    // that follows. Frames written after it leave in a write of their own.
    void Flush() { flushOutbox(); }
    // BeforeClose (only while connected), close, then always OnClose.
    void Disconnect();

    // Not owned; may be null (nothing to switch off).
    void setTransactUi(ITransactUi *ui) { m_ui = ui; }
    // Tests shorten the waits; the texts still speak of the given seconds.
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }
    void setMsPerTimeoutSecond(int ms) { m_msPerSecond = ms; }

    static int effectiveTimeout(int timeoutSec) { return timeoutSec < 1 ? DefaultTransactTimeout : timeoutSec; }

signals:
    void BeforeClose();
    void OnClose();
    void OnConnect();
    void OnConnectFailed(const QString &message);
    void OnMessage(const QStringList &message);

protected:
    bool event(QEvent *event) override;

private:
    // Only a LinkSession, the documents' adapter of this link and the link itself send:
    // whoever else has something to say holds the session it is said in.
    friend class LinkSession;
    friend class MLinkDocLink;
    // One frame; does nothing while not connected. An empty list is the acknowledgement.
    // It leaves when the current step returns to the event loop, ahead of the window's
    // queued layouts and repaints, with every frame written after it in the same step, or
    // earlier with a transaction's request; never on its own while more of the same step
    // follows. A step that handles the server's frames ends when their handlers have
    // returned, before the event loop's other work.
    void Send(const QStringList &elements) override;

    static QEvent::Type flushEventType();
    // Frames leave at the end of the step that wrote them (or with a transaction's
    // request), all in one write: with no-delay off, a second small write would wait
    // for the server's delayed acknowledgement of the first.
    void queueFrame(const QByteArray &frame);
    void flushOutbox();

    void newSocket(const QString &remoteAddress, int remotePort);
    void dropSocket();
    void resetSession();
    void resetStream();
    void startConnectTimer();
    void stopConnectTimer();
    QString shortFailureText() const;
    bool awaitingRedirection() const;
    // An outbound attempt is over: the link is left closed, then OnConnectFailed.
    void failConnect(const QString &message);
    // A "MSG" instead of "REDIR": the request link closes without an event of its own.
    void forgetAttempt();
    void refuseRequest();

    void onSocketConnect(qint16 error);
    void onSocketReceive();
    void onSocketClose();
    void onConnectTimeout();
    void handleClose();
    // handleClose, or, while a handler of this link's frames runs, after it returns.
    void handleCloseInTurn();
    void dropLink(const QString &why);
    void dropLinkLater(const QString &why);
    // Closes the socket; why, when given, goes to the log.
    void closeSocket(const QString &why);
    // Raises the buffered frames and what the socket has waiting, each after the
    // handler of the one before has returned, then a close that came meanwhile.
    // dropLater: a drop request or a broken frame closes the link only after the
    // current call has returned (a transaction's caller still has its reply to act on).
    void raiseBufferedFrames(bool dropLater = false);
    // After a transaction that found the link replaced: the new link's frames and close,
    // held while the wait ran, are raised after the caller's turn.
    void resumeHeldSession();
    QStringList closedReply(const QString &prefixedCode, int timeoutSec, const QString &dropReason) const;
    static QStringList errorReply(const QString &prefixedCode, int timeoutSec, int number,
                                  const QString &description);

    QPointer<SocketX> m_socket;      // replaced on every outbound and job connect
    QTimer m_connectTimer;           // a request link that never gets "REDIR"
    FrameAssembler m_rx;             // the one byte buffer of this link
    QString m_brand;
    QString m_nameTable;
    QString m_env;
    qint32 m_features = 0;
    qint32 m_protocolVersion = 0;
    bool m_unicode = false;          // frame mode, both directions
    bool m_isOutbound = false;
    bool m_inTransact = false;
    bool m_closePending = false;     // the peer closed while a transaction waited (the
                                     // transaction's link or one taken on under it)
    quint64 m_closingSession = ~quint64(0);   // the session Disconnect is closing right now
    bool m_raisingOnClose = false;   // an OnClose handler runs: the session's end is not over
    QString m_pendingSessionId;      // set: a close of the socket is silent
    QString m_sessionKey;            // set: the next connect is a job link
    quint64 m_sessionId = 0;         // a new one whenever the link is closed or replaced
    quint64 m_raisingSession = ~quint64(0);   // the session whose frame a handler is handling
    bool m_closeDeferred = false;    // the link closed; reported when the handlers of its frames return
    ITransactUi *m_ui = nullptr;
    QByteArray m_outbox;             // frames written in this step, not yet on the wire
    bool m_flushPosted = false;      // the outbox leaves when the current step ends
    int m_connectTimeoutMs = ConnectTimeoutMs;
    int m_msPerSecond = 1000;
};
