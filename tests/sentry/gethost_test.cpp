#include "gethost.h"

#include <gtest/gtest.h>

namespace {

GetHost::Resolver resolver(std::optional<QList<QHostAddress>> resolved, QList<QHostAddress> interfaces = {})
{
    GetHost::Resolver r;
    r.hostName = [](int &) -> std::optional<QString> { return QString("devbox"); };
    r.addressesOf = [resolved](const QString &name) -> std::optional<QList<QHostAddress>> {
        EXPECT_EQ(name, "devbox");
        return resolved;
    };
    r.interfaceAddresses = [interfaces] { return interfaces; };
    return r;
}

TEST(GetHost, KeepsReachableIPv4AddressesInResolverOrder)
{
    using A = QHostAddress;
    struct Case {
        const char *name;
        std::optional<QList<A>> resolved;
        QList<A> interfaces;
        QStringList expected;
    };
    const Case cases[] = {
        {"two addresses", QList<A>{A("192.0.2.7"), A("10.0.0.255")}, {}, {"192.0.2.7", "10.0.0.255"}},
        {"IPv6 dropped", QList<A>{A("2001:db8::1"), A("192.0.2.9")}, {}, {"192.0.2.9"}},
        {"loopback passed over", QList<A>{A("127.0.1.1"), A("192.0.2.8")}, {A("198.51.100.1")}, {"192.0.2.8"}},
        {"only loopback: interfaces", QList<A>{A("127.0.1.1")}, {A("198.51.100.1"), A("203.0.113.4")},
         {"198.51.100.1", "203.0.113.4"}},
        {"only loopback, no interface", QList<A>{A("127.0.1.1")}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GetHost host(resolver(c.resolved, c.interfaces));
        EXPECT_EQ(host.AllLocalIPs(), c.expected);
        EXPECT_EQ(host.LocalIP(), c.expected.value(0));
        EXPECT_EQ(host.Error(), "");
        EXPECT_EQ(host.LocalName(), "devbox");
    }
}

TEST(GetHost, FailuresLeaveATextAndNoAddress)
{
    GetHost unresolved(resolver(std::nullopt, {QHostAddress("198.51.100.1")}));
    EXPECT_EQ(unresolved.LocalIP(), "");
    EXPECT_EQ(unresolved.Error(), "Winsock.dll is not responding to LocalIPs get");

    GetHost::Resolver noName = resolver(QList<QHostAddress>{QHostAddress("192.0.2.7")});
    noName.hostName = [](int &error) -> std::optional<QString> { error = 36; return std::nullopt; };
    GetHost nameless(noName);
    EXPECT_TRUE(nameless.AllLocalIPs().isEmpty());
    EXPECT_EQ(nameless.Error(), "Windows Sockets error 36");
}

TEST(GetHost, SystemLookupNeverHandsOutLoopback)
{
    GetHost host;
    for (const QString &address : host.AllLocalIPs())
        EXPECT_FALSE(QHostAddress(address).isLoopback()) << address.toStdString();
}

} // namespace
