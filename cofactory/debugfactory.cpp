#include "debugfactory.h"

DebugFactory::DebugFactory() = default;

DebugFactory::~DebugFactory()
{
    try {
        ReleaseServerDebug();
    } catch (...) {
        // A destructor that throws ends the program; the session ends with the connection anyway.
    }
}

IDispatchObject &DebugFactory::target()
{
    if (!m_realFactory)
        m_realFactory = ObjectRegistry::createObject(CacheObject::FactoryClsid);
    return *m_realFactory;
}

void DebugFactory::ReleaseServerDebug()
{
    VantrelCO::releaseServerDebug(m_serverDebug);
}

bool DebugFactory::stillConnected()
{
    try {
        return toBoolValue(forward(CacheObject::DispIsConnected, {}));
    } catch (...) {
        return false;
    }
}

bool DebugFactory::Connect(const QString &connectString)
{
    // A session of an earlier Connect is ended while its connection still stands;
    // the new Connect would cut it off and leave it enabled on the server.
    try {
        ReleaseServerDebug();
    } catch (...) {
    }

    const bool connected = toBoolValue(forward(CacheObject::DispConnect, {connectString}));
    if (!connected)
        return connected;

    try {
        m_serverDebug = toObjectValue(forward(CacheObject::DispNew, {VantrelCO::ServerDebugClass}));
    } catch (const std::exception &error) {
        // A server without the class answers and stays connected. A client that gave up
        // on the connection (a reply it could not trust, silence, a close) is not
        // connected at all: saying True would send the program on to fail its next
        // call with "Not connected", far from the cause.
        if (!stillConnected())
            throw;
        // Connected without debugging: a server without the class is a normal case.
        qCWarning(lcVantrelCO).noquote() << "Debugging not enabled: the server could not create"
                                        << VantrelCO::ServerDebugClass << "-" << VantrelCO::describe(error);
        return connected;
    }
    if (!m_serverDebug) {
        qCWarning(lcVantrelCO).noquote() << "Debugging not enabled: the server returned no"
                                        << VantrelCO::ServerDebugClass << "object";
        return connected;
    }

    const QString clientIp = toStringValue(m_serverDebug->call(QStringLiteral("ClientIP")));
    if (clientIp.isEmpty())
        throw ComError(VantrelCO::ClientIpUnknown, VantrelCO::ErrorSource,
                       QStringLiteral("Failed to identify client IP at server"));
    if (!toBoolValue(m_serverDebug->call(QStringLiteral("Enable"), {clientIp})))
        throw ComError(VantrelCO::DebugObjectRefused, VantrelCO::ErrorSource,
                       QStringLiteral("Failed to create server-side debug object"));
    return connected;
}

bool DebugFactory::Disconnect()
{
    std::exception_ptr releaseError;
    try {
        ReleaseServerDebug();
    } catch (...) {
        releaseError = std::current_exception();
    }
    // The real factory disconnects whatever the server object did; the client
    // hears of the first failure afterwards.
    bool result = false;
    try {
        result = toBoolValue(forward(CacheObject::DispDisconnect, {}));
    } catch (...) {
        if (!releaseError)
            throw;
    }
    if (releaseError)
        std::rethrow_exception(releaseError);
    return result;
}
