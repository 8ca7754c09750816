#pragma once

#include <QString>
#include <QStringList>

// What a routine document needs of the session link: the server's platform and
// protocol, and the two ways of talking to it. `MLink` implements it through an
// adapter; tests use a scripted peer behind the real link or a recording fake.
class IDocLink
{
public:
    virtual ~IDocLink() = default;

    virtual QString Brand() const = 0;
    // The session's namespace as last read from the server.
    virtual QString Env() const = 0;
    virtual QString NameTable() const = 0;
    // The server's address as plain dotted IPv4; items saved there are located by it.
    virtual QString HostIP() const = 0;
    virtual int ProtocolVersion() const = 0;
    virtual bool HasFeature(int mask) const = 0;

    // Sends the request with "!" before its code and returns the reply's fields;
    // failures come back as a reply whose code is "MSG".
    virtual QStringList Transact(int timeout, const QStringList &request) = 0;

    // Sends one message and waits for nothing; an empty list is the acknowledgement.
    virtual void Send(const QStringList &fields) = 0;

    // Counts the link's sessions. What is due to the server after a box (the box runs an
    // event loop, in which the session may end and another server connect) is sent only
    // while the count is still the one its request was made in.
    virtual quint64 Session() const = 0;
};
