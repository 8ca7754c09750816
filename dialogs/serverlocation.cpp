#include "serverlocation.h"

#include <QStringList>

namespace {
const QString Scheme = QStringLiteral("vantrel:");
}

QString MakeLocation(const QString &host, const QString &ns)
{
    return Scheme + QStringLiteral("//") + host + QLatin1Char('/') + ns;
}

ServerLocation ParseLocation(const QString &text)
{
    ServerLocation location;
    const QStringList parts = text.split(QLatin1Char('/'));
    // "vantrel:", "", host, then at least one segment for the namespace (maybe empty).
    if (parts.size() < 4 || parts.at(0).toLower() != Scheme || !parts.at(1).isEmpty()
        || parts.at(2).isEmpty())
        return location;
    location.ok = true;
    location.host = parts.at(2);
    location.ns = parts.mid(3).join(QLatin1Char('/'));
    return location;
}
