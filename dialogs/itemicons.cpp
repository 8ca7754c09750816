#include "itemicons.h"

#include <QColor>
#include <QHash>
#include <QPainter>
#include <QPixmap>

namespace {

// Colours of the item types and of the version-control marks.
QColor typeColour(int type)
{
    switch (type) {
    case 1: return QColor(0x2f, 0x6f, 0xb8);   // INT: blue
    case 2: return QColor(0x3a, 0x9a, 0x4a);   // MAC: green
    case 3: return QColor(0xb8, 0x7a, 0x1e);   // INC: amber
    default: return QColor(0x70, 0x70, 0x78);
    }
}

QColor statusColour(int status)
{
    switch (status) {
    case 1: return QColor(0xc0, 0x30, 0x30);   // unregistered
    case 2: return QColor(0x30, 0x90, 0x30);   // registered
    case 3: return QColor(0xe0, 0xa0, 0x00);   // checked out
    default: return QColor();
    }
}

// A page with a folded corner in the type's colour, with a round status mark in
// the lower left when the item is under version control.
QPixmap documentPixmap(int size, int type, int status)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal fold = s * 0.28;
    QPolygonF page({QPointF(s * 0.15, s * 0.05), QPointF(s * 0.85 - fold, s * 0.05),
                    QPointF(s * 0.85, s * 0.05 + fold), QPointF(s * 0.85, s * 0.95),
                    QPointF(s * 0.15, s * 0.95)});
    p.setPen(QPen(typeColour(type).darker(140), 1));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.setBrush(typeColour(type));
    p.setPen(Qt::NoPen);
    for (int line = 0; line < 3; ++line)
        p.drawRect(QRectF(s * 0.25, s * (0.38 + 0.15 * line), s * 0.5, qMax<qreal>(1.0, s * 0.07)));
    const QColor mark = statusColour(status);
    if (mark.isValid()) {
        p.setBrush(mark);
        p.setPen(QPen(Qt::white, 1));
        p.drawEllipse(QRectF(0, s * 0.55, s * 0.42, s * 0.42));
    }
    return pixmap;
}

QPixmap nodePixmap(int size, const QString &key)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    if (key == QLatin1String("Server")) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x48), 1));
        p.setBrush(QColor(0xb0, 0xb4, 0xc0));
        p.drawRect(QRectF(s * 0.25, s * 0.05, s * 0.5, s * 0.9));
        p.setBrush(QColor(0x30, 0xc0, 0x30));
        p.drawEllipse(QRectF(s * 0.42, s * 0.75, s * 0.16, s * 0.12));
    } else if (key == QLatin1String("Namespace")) {
        p.setPen(QPen(QColor(0x8a, 0x6a, 0x10), 1));
        p.setBrush(QColor(0xf0, 0xc8, 0x50));
        p.drawRect(QRectF(s * 0.05, s * 0.25, s * 0.9, s * 0.65));
        p.drawRect(QRectF(s * 0.05, s * 0.15, s * 0.4, s * 0.12));
    } else {
        // Version-control locations and their heading: a cylinder.
        const QColor colour = key == QLatin1String("Locations") ? QColor(0x60, 0x60, 0xa0)
                                                                 : QColor(0x80, 0x50, 0xb0);
        p.setPen(QPen(colour.darker(150), 1));
        p.setBrush(colour);
        p.drawRect(QRectF(s * 0.15, s * 0.2, s * 0.7, s * 0.65));
        p.setBrush(colour.lighter(140));
        p.drawEllipse(QRectF(s * 0.15, s * 0.1, s * 0.7, s * 0.22));
    }
    return pixmap;
}

// "Default.n" and "CACHEt.n" give (type, status); false for other keys.
bool parseItemKey(const QString &key, int *type, int *status)
{
    const int dot = key.indexOf(QLatin1Char('.'));
    if (dot < 0 || dot != key.size() - 2)
        return false;
    const QString base = key.left(dot);
    const int suffix = key.at(dot + 1).digitValue();
    if (suffix < 0 || suffix > 3)
        return false;
    if (base == QLatin1String("Default")) {
        *type = 0;
    } else if (base.size() == 6 && base.startsWith(QLatin1String("CACHE"))) {
        const int t = base.at(5).digitValue();
        if (t < 1 || t > 3)
            return false;
        *type = t;
    } else {
        return false;
    }
    *status = suffix;
    return true;
}

bool isNodeKey(const QString &key)
{
    return key == QLatin1String("Server") || key == QLatin1String("Namespace")
           || key == QLatin1String("Location") || key == QLatin1String("Locations");
}

} // namespace

namespace ItemIcons {

bool isKnown(const QString &key)
{
    int type = 0;
    int status = 0;
    return isNodeKey(key) || parseItemKey(key, &type, &status);
}

QIcon icon(const QString &key)
{
    // Every listed item asks for its icon, so the key as given is looked up first;
    // an unknown key is cached under its own name too, with the "Default.0" icon.
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;

    const QString known = isKnown(key) ? key : QStringLiteral("Default.0");
    QIcon result = cache.value(known);
    if (result.isNull()) {
        int type = 0;
        int status = 0;
        for (int size : {16, 32}) {
            if (parseItemKey(known, &type, &status))
                result.addPixmap(documentPixmap(size, type, status));
            else
                result.addPixmap(nodePixmap(size, known));
        }
        cache.insert(known, result);
    }
    cache.insert(key, result);
    return result;
}

} // namespace ItemIcons
