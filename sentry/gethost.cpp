#include "gethost.h"

#include <QHostInfo>
#include <QNetworkInterface>

#include <cerrno>
#include <unistd.h>

GetHost::Resolver GetHost::systemResolver()
{
    Resolver resolver;
    resolver.hostName = [](int &error) -> std::optional<QString> {
        char buffer[256] = {};
        if (::gethostname(buffer, sizeof buffer - 1) != 0) {
            error = errno;
            return std::nullopt;
        }
        return QString::fromLocal8Bit(buffer);
    };
    resolver.addressesOf = [](const QString &name) -> std::optional<QList<QHostAddress>> {
        const QHostInfo info = QHostInfo::fromName(name);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            return std::nullopt;
        return info.addresses();
    };
    resolver.interfaceAddresses = [] {
        QList<QHostAddress> addresses;
        for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
            const auto flags = interface.flags();
            if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
                || (flags & QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLoopback())
                    addresses.append(entry.ip());
            }
        }
        return addresses;
    };
    return resolver;
}

GetHost::GetHost(Resolver resolver)
    : m_resolver(std::move(resolver))
{
}

QString GetHost::LocalName()
{
    int error = 0;
    const std::optional<QString> name = m_resolver.hostName(error);
    if (!name) {
        m_error = QStringLiteral("Windows Sockets error %1").arg(error);
        return QString();
    }
    m_error.clear();
    return *name;
}

QStringList GetHost::AllLocalIPs()
{
    const QString name = LocalName();
    if (!m_error.isEmpty())
        return {};
    const std::optional<QList<QHostAddress>> resolved = m_resolver.addressesOf(name);
    if (!resolved) {
        m_error = QStringLiteral("Winsock.dll is not responding to LocalIPs get");
        return {};
    }
    QStringList addresses;
    for (const QHostAddress &address : *resolved) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            addresses.append(address.toString());
    }
    if (addresses.isEmpty() && m_resolver.interfaceAddresses) {
        for (const QHostAddress &address : m_resolver.interfaceAddresses())
            addresses.append(address.toString());
    }
    return addresses;
}

QString GetHost::LocalIP()
{
    const QStringList addresses = AllLocalIPs();
    return addresses.isEmpty() ? QString() : addresses.first();
}
