#pragma once

// The Caché Objects client: a factory that talks to an object server over a
// small object-call protocol of our own (on Linux there is no Caché client
// library, so this is what VantrelCO and the Attach dialog drive).
//
// The protocol: TCP, one UTF-8 JSON object per line ('\n'). The client numbers its
// requests ("id", 1, 2, ... on each connection) and waits for each reply before
// it sends the next; the server answers every request with one reply line that
// carries the request's "id".
//
//   -> {"id":1,"call":1,"args":["127.0.0.1:1972:USER"]}     factory member by number
//   <- {"id":1,"ret":true}
//   -> {"id":2,"call":4,"args":["VantrelDebug"]}
//   <- {"id":2,"ret":{"obj":7}}                              an object, by identifier
//   -> {"id":3,"obj":7,"member":"ClientIP","args":[]}        a member of server object 7
//   <- {"id":3,"ret":"127.0.0.1"}
//   -> {"id":4,"obj":7,"member":"Enable","args":["127.0.0.1"]}
//   <- {"id":4,"err":{"number":-2147220991,"source":"VantrelDebug","description":"no"}}
//   -> {"id":5,"call":2,"args":[]}
//   <- {"id":5,"ret":true}                                   then the client closes
//
// Values: JSON strings, numbers, booleans; null is Null; {"obj":n} is a server
// object (n a whole number from 1 to 2^53); {"missing":true} is the "parameter
// not found" marker of a skipped argument. An "err" reply is raised as
// ComError(number, source, description); its number must be a non-zero whole
// number that fits 32 bits (negative, or the same HRESULT written unsigned).
//
// A reply the client cannot trust ends the connection and raises one of the
// client's errors below: a line that is not a reply object, an out-of-range
// number where an identifier or error number belongs (BadReply); a reply whose
// "id" is not the call's, or a line that arrives while no call waits (OutOfStep:
// every later call would otherwise take the reply of the one before); a line
// longer than MaxReplyBytes without its '\n' (ReplyTooLong; what is read is
// bounded by the limit, however much the server sends). Between calls the socket
// reads ahead at most ReadBufferBytes, so bytes the server sends unasked cost no
// more than that while a program's event loop runs; the next call finds them and
// raises OutOfStep.
//
// The connect string is "host:port[:namespace]"; Connect sends the whole string
// as call 1 once the TCP connection stands and returns the server's answer
// (False: the server refused the string). A malformed string raises
// BadConnectString, a server that cannot be reached raises Unreachable with the
// reason (refused, no route, no answer in time). ConnectDlg (9) asks the user
// locally (see setConnectDlgHook) and IsConnected (10) answers from the
// connection's state; both send nothing.
//
// Calls block, each for at most callTimeoutMs (default 20000) from the request
// to the end of its reply line, however steadily bytes arrive. A time-out or a
// server that closes mid-call also ends the connection (a late reply could no
// longer be matched to its call). Every client error has the source
// "CacheObject.Factory". Blocking uses the socket's waitFor* calls, so a program
// without a QCoreApplication can use it; all calls come from the thread that
// made the factory.

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
constexpr std::uint32_t BadReply       = 0x80040303u;   // "The server's reply could not be read: ..."
constexpr std::uint32_t ReplyTooLong   = 0x80040304u;   // "The server's reply is longer than N bytes; ..."
constexpr std::uint32_t OutOfStep      = 0x80040305u;   // a reply to another call, or to none
constexpr std::uint32_t Unreachable    = 0x80040306u;   // "Cannot reach the object server at host:port: ..."
constexpr std::uint32_t BadConnectString = 0x80040307u; // "The connect string "..." is not host:port[:namespace]"
}

class Connection;

class ClientFactory : public LateBoundFactory
{
public:
    // The longest reply line taken: the largest value a call returns (a routine's
    // text, a long list) is far below it, and a reply past it is a server gone wrong.
    static constexpr int MaxReplyBytes = 16 * 1024 * 1024;
    // What the socket reads ahead of the calls: the client holds at most this much
    // beside the reply line it is cutting, whatever the server sends unasked.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;

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
