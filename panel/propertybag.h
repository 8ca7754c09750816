#pragma once

#include "lumopanel_global.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <stdexcept>

class QSettings;

// A read of a bag that cannot be satisfied: a missing key without a default, or a
// value that does not convert to the type asked for.
class LUMOPANEL_EXPORT PropertyBagError : public std::runtime_error
{
public:
    explicit PropertyBagError(const QString &what);
};

// The container's store of a control's properties between sessions:
//
//     PropertyBag bag;
//     bag.WriteProperty("BorderWidth", 1, 1);      // equal to its default: not stored
//     bag.WriteProperty("MaxWidth", 3000);         // no default: always stored
//     int w = bag.ReadProperty("BorderWidth", 1).toInt();   // missing: the default
//
// "Font" is held as a QFont, "Picture" as a QPixmap; other values as plain variants.
// Keys keep the order they were first written in.
class LUMOPANEL_EXPORT PropertyBag
{
public:
    // The stored value, or defaultValue when the key is missing; throws
    // PropertyBagError when it is missing and defaultValue is invalid.
    QVariant ReadProperty(const QString &key, const QVariant &defaultValue = QVariant()) const;
    // Stores value, unless a valid defaultValue equals it.
    void WriteProperty(const QString &key, const QVariant &value,
                       const QVariant &defaultValue = QVariant());

    bool contains(const QString &key) const { return m_values.contains(key); }
    QStringList keys() const { return m_order; }
    QVariant value(const QString &key) const { return m_values.value(key); }
    // Puts a raw value in, as a container's saved file might hold it.
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    void clear();

    // Optional persistence in the current group of a QSettings.
    void saveTo(QSettings &settings) const;
    static PropertyBag loadFrom(QSettings &settings);

    // Typed reads that throw PropertyBagError when the value does not convert.
    static int toInt(const QVariant &value);
    static qint64 toLong(const QVariant &value);
    static bool toBool(const QVariant &value);
    static QString toText(const QVariant &value);

private:
    QVariantMap m_values;
    QStringList m_order;
};
