#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// This PC's host name and IPv4 addresses, looked up once at start-up. Failures
// never throw; they leave a text in Error().
//
// The address handed to servers must be one they can reach: resolvers that map
// the host name to a loopback address (127.0.1.1 on Debian-style systems) are
// passed over in favour of the addresses of the interfaces that are up.
class GetHost
{
public:
    struct Resolver
    {
        // The host name, or the system error number when it cannot be had.
        std::function<std::optional<QString>(int &error)> hostName;
        // The addresses the name resolves to, in the resolver's order; nullopt when it does not resolve.
        std::function<std::optional<QList<QHostAddress>>(const QString &name)> addressesOf;
        // IPv4 addresses of the interfaces that are up, running and not loopback, in interface order.
        std::function<QList<QHostAddress>()> interfaceAddresses;
    };

    static Resolver systemResolver();

    explicit GetHost(Resolver resolver = systemResolver());

    QString Error() const { return m_error; }
    QString LocalName();
    QStringList AllLocalIPs();
    QString LocalIP();

private:
    Resolver m_resolver;
    QString m_error;
};
