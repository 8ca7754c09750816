#include "modlumopanel.h"

namespace modLumoPanel {

namespace {

bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

} // namespace

QVariant VarMax(const QVariant &a, const QVariant &b)
{
    if (isNull(a))
        return b;
    if (isNull(b))
        return a;
    return QVariant::compare(a, b) == QPartialOrdering::Greater ? a : b;
}

} // namespace modLumoPanel
