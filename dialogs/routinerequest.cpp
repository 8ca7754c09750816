#include "routinerequest.h"

namespace RoutineRequest {

QStringList existence(int type, const QString &ns, const QString &name)
{
    return {QStringLiteral("SIE"), QString::number(type), ns, name};
}

QStringList lock(int type, const QString &name, const QString &ns)
{
    return {QStringLiteral("SIN"), QString::number(type), name, ns};
}

QStringList release(int type, const QString &name, const QString &ns)
{
    return {QStringLiteral("SIU"), QString::number(type), name, ns};
}

QStringList build(const QString &code, int type, const QString &name, const QString &ns)
{
    QString bare = code.startsWith(QLatin1Char('!')) ? code.mid(1) : code;
    if (bare == QLatin1String("SIE"))
        return existence(type, ns, name);
    return {bare, QString::number(type), name, ns};
}

} // namespace RoutineRequest
