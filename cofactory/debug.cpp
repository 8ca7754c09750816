#include "debug.h"

#include "cachefactory.h"

Debug::Debug() = default;

Debug::~Debug()
{
    try {
        ReleaseServerDebug();
    } catch (...) {
        // The usual order in a client is to disconnect its factory first, so the
        // server object is often gone by now; a throwing destructor would end the program.
    }
}

void Debug::ReleaseServerDebug()
{
    VantrelCO::releaseServerDebug(m_serverDebug);
}

bool Debug::Connect(IDispatchObject &factory)
{
    try {
        m_lastError.clear();
        ReleaseServerDebug();   // drops the old object even when this raises
        QVariantList args{VantrelCO::ServerDebugClass};
        m_serverDebug = toObjectValue(factory.Invoke(CacheObject::DispNew, args));
        return Enable();   // without an object it reports NoFactoryText
    } catch (const std::exception &error) {
        m_lastError = VantrelCO::describe(error);
        return false;
    }
}

bool Debug::Enable()
{
    m_lastError.clear();
    if (!m_serverDebug) {
        m_lastError = NoFactoryText;
        return false;
    }
    try {
        const QString address = toStringValue(m_serverDebug->call(QStringLiteral("ClientIP")));
        m_lastError = toStringValue(m_serverDebug->call(QStringLiteral("Enable2"), {address}));
        return m_lastError.isEmpty();
    } catch (const std::exception &) {
        // A server without Enable2: the older call.
    }
    try {
        const QString address = toStringValue(m_serverDebug->call(QStringLiteral("ClientIP")));
        const bool enabled = toBoolValue(m_serverDebug->call(QStringLiteral("Enable"), {address}));
        if (!enabled)
            m_lastError = NotEnabledText;
        return enabled;
    } catch (const std::exception &error) {
        m_lastError = VantrelCO::describe(error);
        return false;
    }
}

bool Debug::Disable()
{
    m_lastError.clear();
    if (!m_serverDebug) {
        m_lastError = NoFactoryText;
        return false;
    }
    try {
        m_lastError = toStringValue(m_serverDebug->call(QStringLiteral("Disable2")));
        return m_lastError.isEmpty();
    } catch (const std::exception &) {
        // A server without Disable2: the older call, whose failure the caller hears of.
    }
    m_lastError.clear();
    m_serverDebug->call(QStringLiteral("Disable"));
    return true;
}

QVariant Debug::Invoke(qint32 dispId, QVariantList &args)
{
    switch (dispId) {
    case DispLastError:
        return m_lastError;
    case DispConnect: {
        const DispatchPtr factory = args.size() == 1 ? objectFrom(args.at(0)) : nullptr;
        if (!factory) {
            m_lastError = NoFactoryText;
            return false;
        }
        return Connect(*factory);
    }
    case DispEnable:
        return Enable();
    case DispDisable:
        return Disable();
    default:
        return IDispatchObject::Invoke(dispId, args);
    }
}

QVariant Debug::InvokeByName(const QString &member, QVariantList &args)
{
    static const QList<QPair<QString, qint32>> names{
        {QStringLiteral("LastError"), DispLastError}, {QStringLiteral("Connect"), DispConnect},
        {QStringLiteral("Enable"), DispEnable}, {QStringLiteral("Disable"), DispDisable}};
    for (const auto &name : names) {
        if (name.first.compare(member, Qt::CaseInsensitive) == 0)
            return Invoke(name.second, args);
    }
    return IDispatchObject::InvokeByName(member, args);
}
