#pragma once

// The Caché Objects client: a factory that talks to an object server over a
// small object-call protocol of our own (on Linux there is no Caché client
// library, so this is what VantrelCO and the Attach dialog drive).
//
// The protocol: TCP, one UTF-8 JSON object per line ('\n'), the client asks and
// the server answers each request with one reply, in order.
//
//   -> {"call":1,"args":["127.0.0.1:1972:USER"]}           factory member by number
//   <- {"ret":true}
//   -> {"call":4,"args":["VantrelDebug"]}
//   <- {"ret":{"obj":7}}                                    an object, by identifier
//   -> {"obj":7,"member":"ClientIP","args":[]}              a member of server object 7
//   <- {"ret":"127.0.0.1"}
//   -> {"obj":7,"member":"Enable","args":["127.0.0.1"]}
//   <- {"err":{"number":-2147220991,"source":"VantrelDebug","description":"no"}}
//   -> {"call":2,"args":[]}
//   <- {"ret":true}                                         then the client closes
//
// Values: JSON strings, numbers, booleans; null is Null; {"obj":n} is a server
// object; {"missing":true} is the "parameter not found" marker of a skipped
// argument. An "err" reply is raised as ComError(number, source, description).
//
// The connect string is "host:port[:namespace]"; Connect sends the whole string
// as call 1 once the TCP connection stands, and returns False when the string
// is malformed, the connection is refused, or the server answers false.
// ConnectDlg (9) asks the user locally (see setConnectDlgHook) and IsConnected
// (10) answers from the connection's state; both send nothing.
//
// Calls block, waiting at most callTimeoutMs (default 20000). A time-out, a
// server that closes mid-call or an unreadable reply end the connection (a late
// reply could no longer be matched to its call) and raise a ComError with
// source "CacheObject.Factory" and one of the numbers below. Blocking uses the
// socket's waitFor* calls, so a program without a QCoreApplication can use it;
// all calls come from the thread that made the factory.

#include "cachefactory.h"

#include <functional>
#include <memory>

namespace CacheObject {

// The client's own errors (the server's come through unchanged).
namespace ClientError {
inline const QString Source = QStringLiteral("CacheObject.Factory");
constexpr std::uint32_t NotConnected   = 0x80040300u;   // "Not connected to a server"
constexpr std::uint32_t TimedOut       = 0x80040301u;   // "The server did not answer within N ms"
constexpr std::uint32_t ConnectionLost = 0x80040302u;   // "The server closed the connection"
constexpr std::uint32_t BadReply       = 0x80040303u;   // "The server's reply could not be read"
}

class Connection;

class ClientFactory : public LateBoundFactory
{
public:
    ClientFactory();
    ~ClientFactory() override;

    void setCallTimeoutMs(int ms);

    // The members the client answers itself; every other member is a remote call
    // with the argument rules of LateBoundFactory.
    bool Connect(const QString &connectString) override;
    bool Disconnect() override;
    QString ConnectDlg(const Optional &title = {}) override;
    bool IsConnected() override;

protected:
    QVariant forward(qint32 dispId, QVariantList args) override;

private:
    std::shared_ptr<Connection> m_connection;   // shared with the server objects it returned
    int m_callTimeoutMs = 20000;
};

// What ConnectDlg shows: a small modal dialog asking for "host:port[:namespace]",
// "" on cancel (and always "" in a program without a QApplication). Tests answer
// it here instead; an empty hook restores the dialog.
using ConnectDlgHook = std::function<QString(const QString &title)>;
void setConnectDlgHook(ConnectDlgHook hook);

// Registers ClientFactory under FactoryClsid with the names "CacheObject.Factory"
// and "CacheActiveX.Factory". Call once at program start; calling again is harmless.
void registerClasses();

} // namespace CacheObject
