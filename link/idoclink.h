#pragma once

#include "linksession.h"

#include <QString>
#include <QStringList>

// What a routine document needs of the session link: the server's platform and
// protocol, and its transactions; a message goes out through a LinkSession of it. `MLink`
// implements it through an adapter; tests use a scripted peer behind the real link or a
// recording fake. What is due to the server after a box goes through a LinkSession taken
// before it.
class IDocLink : public ISessionLink
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
};
