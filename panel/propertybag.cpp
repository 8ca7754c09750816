#include "propertybag.h"

#include <QFont>
#include <QPixmap>
#include <QSettings>

#include <cmath>
#include <limits>

PropertyBagError::PropertyBagError(const QString &what)
    : std::runtime_error(what.toStdString())
{
}

QVariant PropertyBag::ReadProperty(const QString &key, const QVariant &defaultValue) const
{
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd())
        return *it;
    if (!defaultValue.isValid())
        throw PropertyBagError(QStringLiteral("Property \"%1\" not found").arg(key));
    return defaultValue;
}

namespace {

// Numbers of different C++ types are equal when their values are; a QVariant of int
// and one of quint32 holding 1 must compare equal.
bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNumber = a.canConvert<qlonglong>() && a.typeId() != QMetaType::QString;
    const bool bNumber = b.canConvert<qlonglong>() && b.typeId() != QMetaType::QString;
    if (aNumber && bNumber && a.typeId() != QMetaType::QFont && b.typeId() != QMetaType::QFont) {
        bool okA = false, okB = false;
        const qlonglong x = a.toLongLong(&okA);
        const qlonglong y = b.toLongLong(&okB);
        if (okA && okB)
            return x == y;
    }
    return a == b;
}

} // namespace

void PropertyBag::WriteProperty(const QString &key, const QVariant &value, const QVariant &defaultValue)
{
    if (defaultValue.isValid() && sameValue(value, defaultValue)) {
        remove(key);
        return;
    }
    setValue(key, value);
}

void PropertyBag::setValue(const QString &key, const QVariant &value)
{
    if (!m_values.contains(key))
        m_order.append(key);
    m_values.insert(key, value);
}

void PropertyBag::remove(const QString &key)
{
    m_values.remove(key);
    m_order.removeAll(key);
}

void PropertyBag::clear()
{
    m_values.clear();
    m_order.clear();
}

void PropertyBag::saveTo(QSettings &settings) const
{
    for (const QString &key : m_order)
        settings.setValue(key, m_values.value(key));
}

PropertyBag PropertyBag::loadFrom(QSettings &settings)
{
    PropertyBag bag;
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys)
        bag.setValue(key, settings.value(key));
    return bag;
}

qint64 PropertyBag::toLong(const QVariant &value)
{
    bool ok = false;
    qint64 n = 0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        // A Boolean stored where a number is read: True is -1, as containers store it.
        return value.toBool() ? -1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!(d > -9.2e18 && d < 9.2e18))
            throw PropertyBagError(QStringLiteral("number out of range"));
        return qint64(std::nearbyint(d));
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed();
        n = text.toLongLong(&ok);
        if (!ok) {
            const double d = text.toDouble(&ok);
            if (ok && d > -9.2e18 && d < 9.2e18)
                return qint64(std::nearbyint(d));
            ok = false;
        }
        break;
    }
    default:
        if (value.typeId() == QMetaType::QFont || value.typeId() == QMetaType::QPixmap)
            break;
        n = value.toLongLong(&ok);
        if (!ok) {
            const qulonglong u = value.toULongLong(&ok);
            ok = ok && u <= qulonglong(std::numeric_limits<qint64>::max());
            n = qint64(u);
        }
        break;
    }
    if (!ok)
        throw PropertyBagError(QStringLiteral("not a number"));
    return n;
}

int PropertyBag::toInt(const QVariant &value)
{
    const qint64 n = toLong(value);
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw PropertyBagError(QStringLiteral("number out of range"));
    return int(n);
}

bool PropertyBag::toBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return toLong(value) != 0;
}

QString PropertyBag::toText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (!value.canConvert<QString>() || value.typeId() == QMetaType::QFont ||
        value.typeId() == QMetaType::QPixmap)
        throw PropertyBagError(QStringLiteral("not a text"));
    return value.toString();
}
