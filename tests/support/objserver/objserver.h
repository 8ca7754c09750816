#pragma once

// A scripted object server for tests: the server end of the object-call protocol
// (one JSON object per line, see platform/cacheobjects/clientfactory.h), answering
// by script on a thread of its own (clients block inside their calls). Loopback
// only (127.0.0.1, ephemeral port). Every call is logged.
//
// Writing a script
// ----------------
//   using namespace objserver;
//   ObjServer server;
//   server.on("Person", "Name", [](const Call &) { return Reply::value("Ann"); });
//   server.on("Person", "Fail", [](const Call &) { return Reply::error(-2147220990, "Person", "no"); });
//   server.on("", "OpenId", [](const Call &c) { return Reply::object(c.text(0)); });  // "" = the factory
//   ASSERT_TRUE(server.start());
//   ... a ClientFactory connects to server.connectString() and calls ...
//   EXPECT_EQ(server.log(), (QStringList{"Connect(\"127.0.0.1:<port>:USER\")",
//                                        "OpenId(\"Person\",\"1\") -> Person#1",
//                                        "Person#1.Name()"}));
//
// Without a handler of its own the factory answers Connect, Disconnect and
// IsConnected with true, and New, Open, OpenEx, OpenId, Static with a new object
// of the class named in the first argument when that class has handlers (or was
// declared with addClass), else with the error ClassMissing. A member of an
// object without a handler answers the error MemberNotFound (0x80020003), like
// a server object that lacks the member.
//
// Replies carry the request's "id" as the protocol asks. To play a server that
// goes wrong, Reply::raw sends any bytes instead of the reply (Call::id tells the
// request's id), and Reply::flood sends a stream of 'x' without a line end,
// written as the client takes it (the server's memory stays small), until the
// count is sent or the client goes. setReplyDelayMs plays a slow link.
//
// Log lines: a factory call is `Member(args)`, an object call `Class#id.Member(args)`,
// arguments as compact JSON separated by ","; a call answered with a new object
// ends in " -> Class#id". A skipped argument shows as `<missing>`.
//
// Result sets: addResultSet(class, query, rows) lets ResultSet(class, query)
// answer an object of class "%ResultSet" with Execute() -> 1, Next() -> 1 while
// rows remain (then 0), GetData(n) -> column n (1-based) of the current row as
// text, and Close() -> 1.
//
// The debug target: playDebugTarget() declares the class "VantrelDebug" with
// ClientIP (the client's address as this server sees it, "127.0.0.1"),
// Enable(address), Disable and sys_Close (and, if asked, Enable2/Disable2).
// With a Sentry port set, Enable also plays the server process that the
// debugger would see: on a thread of its own it asks the Sentry at that address
// and port for a ready task ("+", retried until a task is ready), connects to
// the task's port and runs the given M-server steps there (a greeting).

#include "mserver.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

namespace objserver {

constexpr qint32 ClassMissing = -2147220736;   // 0x80040400: no such class on this server
constexpr qint32 MemberNotFound = -2147352573; // 0x80020003

struct Call
{
    qint64 object = 0;        // 0 for the factory
    QString className;        // the object's class, "" for the factory
    QString member;           // factory members by name (their number's name)
    qint32 dispId = 0;        // the factory member's number; 0 for object calls
    QJsonArray args;          // as received; {"obj":n} for objects, {"missing":true} for a gap
    QString peerAddress;      // the client's address as the server sees it
    QJsonValue id;            // the request's id (undefined when it had none)

    QString text(int i) const;   // argument i as text ("" when absent)
};

class Reply
{
public:
    static Reply value(const QJsonValue &value);
    static Reply object(const QString &className);   // a new object of that class
    static Reply existing(qint64 objectId);          // an object already handed out
    static Reply error(qint32 number, const QString &source, const QString &description);
    static Reply silence();                          // no answer at all (the client times out)
    static Reply close();                            // the server closes the connection instead
    static Reply raw(const QByteArray &bytes);       // these bytes instead of a reply
    // 'x' without a line end instead of a reply, in slices of sliceBytes, msPerSlice
    // apart (0: as fast as the client reads).
    static Reply flood(qint64 bytes, int sliceBytes = 256 * 1024, int msPerSlice = 0);
    // The given bytes (a whole reply line, say), then a flood as above that nobody
    // asked for.
    static Reply floodAfter(const QByteArray &first, qint64 bytes, int sliceBytes = 256 * 1024);

    enum class Kind { Value, Object, Existing, Error, Silence, Close, Raw, Flood };
    Kind kind = Kind::Value;
    QJsonValue data;          // the value; for errors the number
    QString text;             // the class name; for errors the source
    QString description;      // errors only
    QByteArray bytes;         // raw only
    qint64 count = 0;         // flood only
    int sliceBytes = 0;
    int msPerSlice = 0;
};

using Handler = std::function<Reply(const Call &)>;

struct DebugTargetOptions
{
    std::optional<QString> clientIP;       // unset: the peer's address
    QJsonValue enableResult = true;        // what Enable answers
    bool withEnable2 = false;              // offer Enable2/Disable2 (answering "")
    quint16 sentryPort = 0;                // non-zero: Enable plays the server process
    QList<mserver::Step> session;          // its steps after connecting to the task
};

class ObjServer
{
public:
    ObjServer();
    ~ObjServer();   // stops the thread, closes every connection, ends a played session

    // Handlers may be added before start() only. className "" is the factory.
    void on(const QString &className, const QString &member, Handler handler);
    void addClass(const QString &className);
    void addResultSet(const QString &className, const QString &queryName, const QList<QStringList> &rows);
    void playDebugTarget(const DebugTargetOptions &options = {});
    // Every call is answered this long after it arrived (a slow link); 0 by default.
    void setReplyDelayMs(int ms);

    // Listens on 127.0.0.1 at port (0: any free one).
    bool start(quint16 port = 0);
    quint16 port() const;
    // "127.0.0.1:<port>:<ns>"
    QString connectString(const QString &nameSpace = QStringLiteral("USER")) const;

    QStringList log() const;
    // Waits (without an event loop of the caller's) until the log has n lines.
    bool waitForLog(int lines, int ms = 5000) const;
    int connectionCount() const;   // connections accepted so far
    qint64 floodLeft() const;      // bytes a flood has still to send

    // The played server process, once Enable has started it (else nullptr).
    mserver::MServer *session() const;
    // Why the played server process could not start ("" when it did or was not asked).
    QString sessionFailure() const;
    // Waits until the played server process has started or failed.
    bool waitForSession(int ms = 15000) const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace objserver
