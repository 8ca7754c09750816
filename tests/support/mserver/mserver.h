#pragma once

// A scripted M server for tests: the server end of the debug link, played from a
// table of steps on a thread of its own (the client's thread blocks inside
// MLink::Transact, so the server cannot share it). Loopback only (127.0.0.1,
// ephemeral ports).
//
// Writing a script
// ----------------
// A script is a list of steps, run in order. Each step that reads waits at most
// MServer::setStepTimeoutMs (default 3000 ms); the first step that fails ends the
// script, closes the link and is reported by failure().
//
//   using namespace mserver;
//   MServer server({
//       send({"HI", "CACHE", "x:1:7", "1"}),     // a frame, in the current mode
//       expectAck(),                              // the empty acknowledgement
//       unicode(true),                            // both directions from here on
//       answer({"SIR", "1", "*", "USER"},          // expects ["!SIR", "1", any, "USER"],
//              {"SIR", "text"}),                   // sends the echo ["!SIR"], then the reply
//       expectAck(),
//       expect({"SIU", "**"}),                    // "SIU" and any further fields
//       close(),
//   });
//   MLink link;
//   ASSERT_TRUE(server.startAccepted(link));      // the server connects, the link accepts
//   ... drive the link ...
//   EXPECT_TRUE(server.wait()) << server.failure().toStdString();
//
// Patterns: a field "*" matches any one field, a last field "**" any number of
// further fields (also none); a field holding '*' or '?' elsewhere is a wildcard
// pattern ("VAR*" matches "VAR+"); every other field must match exactly.
//
// Connecting: startAccepted(link) is the usual session (the link accepts the
// server's connection). For the outbound road start() the server with
// acceptRequest(id), redirect(key), acceptJob(key) and call
// link.ConnectServer("127.0.0.1", QString::number(server.port()), id); the
// dispatcher's part ("REDIR" -> ConnectJob) is the test's to play.
// connectTo(port) connects to a listener of the test's own.
//
// The output channel of an executed command is a second, unframed connection on the
// link's port + 1. On a link the client opened, the server listens there: port() + 1
// and jobPort() + 1 are held from start() on, so the client can connect before the
// step that takes it has run; acceptChannel() takes the connection and its "*". On a
// link the server opened, the client listens on its own port + 1, which
// startAccepted() leaves free; connectChannel() connects to it. sendChannel() and
// closeChannel() then play the output:
//
//   answer({"XEC2", "*", "W 1"}, {"OK"}),         // "*": the port, jobPort() + 1
//   acceptChannel(),                              // the connection and its "*"
//   sendChannel("x1\r\n"),
//   closeChannel(),

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class MLink;

namespace mserver {

using Fields = QStringList;
class Peer;

struct Step
{
    QString description;                              // shown when the step fails
    std::function<bool(Peer &, QString &why)> run;    // false and why on failure
};

// --- messages -------------------------------------------------------------
Step expect(const Fields &pattern);
Step expectAck();
Step send(const Fields &fields);
// The frame one byte at a time, msPerByte apart (a server that trickles).
Step sendSlowly(const Fields &fields, int msPerByte);
// Frames that must come in one write of the client's: the first is waited for, the
// others must be complete in what arrived with it.
Step expectTogether(const QList<Fields> &patterns);
Step sendRaw(const QByteArray &bytes);
Step expectRaw(const QByteArray &bytes);
// The head of a frame [code, text] whose text of textUnits units the caller sends
// itself, piece by piece (a frame too big to build in memory): the frame's length, the
// field count, the code and the text's length, in UTF-16 units or ANSI bytes.
QByteArray frameHead(const QString &code, quint32 textUnits, bool unicode);
// A transaction: expects "!" + request code and fields (pattern), sends the echo
// and then the reply. The client's acknowledgement after it is a step of its own.
Step answer(const Fields &request, const Fields &reply);
// Frames in UTF-16 units (true) or ANSI bytes (false) from here on, both ways.
Step unicode(bool on);
Step pause(int ms);
// Nothing may arrive for ms.
Step expectSilence(int ms);

// --- the connection ---------------------------------------------------------
Step connectTo(quint16 port);
Step acceptLink();                               // on port()
Step acceptRequest(const QString &sessionId);    // on port(): ">" + [sessionId]
Step redirect(const QString &key);               // sends ["REDIR", jobPort(), key]
Step acceptJob(const QString &key);              // on jobPort(): key + "*" + ["CONNECT"]
Step close();
// Drops the link with a reset (RST) instead of an orderly close.
Step reset();
Step expectClose();

// --- the output channel (raw bytes, no frames) ---------------------------------
// Takes the connection on the port after the link's and expects exactly "*".
Step acceptChannel();
// Connects from 127.0.0.1 to the port after the client's end of the link.
Step connectChannel();
Step sendChannel(const QByteArray &bytes);
// Writes piece over and over until bytes have gone, or, with bytes < 0, until the client
// closes the channel; never more than a little ahead of the client: a command whose
// output has no end. The client closing the channel ends the step well.
Step streamChannel(const QByteArray &piece, qint64 bytes);
// Nothing may arrive on the channel for ms.
Step expectChannelSilence(int ms);
Step closeChannel();

// Anything else, on the server's thread.
Step call(const QString &description, std::function<bool(Peer &, QString &why)> fn);
// Holds the script until the test sets `flag` (it must outlive the script), so the
// server acts only once the client has done what the test waits for; fails after ms.
Step waitUntil(const std::atomic<bool> &flag, const QString &what, int ms = 20000);

// What a call() step can do with the link.
class Peer
{
public:
    virtual ~Peer() = default;
    virtual bool readFrame(Fields &out, QString &why) = 0;
    // The next frame only if it is complete in the bytes already read; never waits.
    virtual bool takeBufferedFrame(Fields &out) = 0;
    virtual bool sendFrame(const Fields &fields) = 0;
    virtual bool sendBytes(const QByteArray &bytes) = 0;
    virtual bool isUnicode() const = 0;
};

bool matches(const Fields &pattern, const Fields &actual);

class MServer
{
public:
    explicit MServer(QList<Step> script);
    ~MServer();   // ends the script and closes every socket

    void setStepTimeoutMs(int ms);
    // Opens the two listeners (port(), jobPort()) and the channel listeners on the
    // port after each, and starts the script.
    void start();
    // Starts with the server connecting to a listener of ours, which the link
    // accepts. listenPort 0 picks a free one whose next port is free as well (the
    // client's output channel listens there).
    bool startAccepted(MLink &link, quint16 listenPort = 0);

    quint16 port() const;
    quint16 jobPort() const;

    // Runs the client's event loop until the script is done; true when every step
    // passed. The link stays open afterwards until the MServer ends.
    bool wait(int ms = 5000);
    bool finished() const;
    QString failure() const;
    // Every frame the server read, in order (also those read after the script).
    QList<Fields> received() const;

    struct Impl;   // the server thread's side; steps reach it through Peer

private:
    std::unique_ptr<Impl> d;
};

// Runs the calling thread's event loop until done() or ms have passed.
bool pumpUntil(const std::function<bool()> &done, int ms = 3000);

} // namespace mserver
