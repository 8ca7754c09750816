#include "breakpoint.h"

QString Breakpoint::EnvRtn() const
{
    return Env + QLatin1Char('^') + Rtn + QStringLiteral("^1");
}
