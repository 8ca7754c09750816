#include "stacklevel.h"

QString StackLevel::EnvRtn() const
{
    if (Env.isEmpty() && Rtn.isEmpty())
        return QString();
    return Env + QLatin1Char('^') + Rtn + QStringLiteral("^1");
}
