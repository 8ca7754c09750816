#include "memento.h"

#include <QtGlobal>

#include <cmath>
#include <limits>

namespace {

bool isIntegerType(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloatType(int type)
{
    return type == QMetaType::Double || type == QMetaType::Float;
}

// A whole number held as an integer, as a floating value without a fraction, or as
// decimal text.
bool wholeNumber(const QVariant &value, qint64 &out)
{
    const int type = value.typeId();
    if (type == QMetaType::QString) {
        bool ok = false;
        const qint64 n = value.toString().toLongLong(&ok, 10);
        if (ok)
            out = n;
        return ok;
    }
    if (isFloatType(type)) {
        const double d = value.toDouble();
        // 2^63 is exact in a double; anything from there on does not fit.
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return false;
        out = qint64(d);
        return true;
    }
    if (type == QMetaType::ULongLong || type == QMetaType::ULong) {
        const qulonglong u = value.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return false;
        out = qint64(u);
        return true;
    }
    if (isIntegerType(type)) {
        out = value.toLongLong();
        return true;
    }
    return false;
}

} // namespace

QVariant Memento::read(const QString &name) const
{
    const Attribute *a = find(name);
    return a && !a->child ? a->value : QVariant();
}

MementoPtr Memento::readMemento(const QString &name) const
{
    const Attribute *a = find(name);
    return a ? a->child : nullptr;
}

void Memento::write(const QString &name, const QVariant &value)
{
    Attribute &a = slot(name);
    a.value = value;
    a.child.reset();
}

void Memento::writeMemento(const QString &name, MementoPtr child)
{
    if (child && (child.get() == this || child->holds(this))) {
        qWarning("Memento: attribute \"%s\" would hold its own memento; not written", qPrintable(name));
        return;
    }
    Attribute &a = slot(name);
    a.value = QVariant();
    a.child = std::move(child);
}

bool Memento::contains(const QString &name) const
{
    return find(name) != nullptr;
}

QStringList Memento::names() const
{
    QStringList out;
    out.reserve(m_attributes.size());
    for (const Attribute &a : m_attributes)
        out.append(a.name);
    return out;
}

bool Memento::readBool(const QString &name, bool &out) const
{
    const QVariant v = read(name);
    if (v.typeId() == QMetaType::Bool) {
        out = v.toBool();
        return true;
    }
    if (v.typeId() == QMetaType::QString) {
        const QString text = v.toString();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            out = true;
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            out = false;
            return true;
        }
    }
    qint64 n = 0;
    if (!wholeNumber(v, n) || n < -1 || n > 1)
        return false;
    out = n != 0;
    return true;
}

bool Memento::readInt(const QString &name, qint32 &out) const
{
    qint64 n = 0;
    if (!wholeNumber(read(name), n) || n < std::numeric_limits<qint32>::min()
        || n > std::numeric_limits<qint32>::max())
        return false;
    out = qint32(n);
    return true;
}

bool Memento::readDouble(const QString &name, double &out) const
{
    const QVariant v = read(name);
    if (isIntegerType(v.typeId()) || isFloatType(v.typeId())) {
        out = v.toDouble();
        return true;
    }
    if (v.typeId() != QMetaType::QString)
        return false;
    bool ok = false;
    const double d = v.toString().toDouble(&ok);
    if (ok)
        out = d;
    return ok;
}

bool Memento::readBytes(const QString &name, QByteArray &out) const
{
    const QVariant v = read(name);
    if (v.typeId() == QMetaType::QByteArray) {
        out = v.toByteArray();
        return true;
    }
    if (v.typeId() != QMetaType::QString)
        return false;
    const QString text = v.toString();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    out = bytes;
    return true;
}

bool Memento::readString(const QString &name, QString &out) const
{
    const QVariant v = read(name);
    if (v.typeId() != QMetaType::QString)
        return false;
    out = v.toString();
    return true;
}

const Memento::Attribute *Memento::find(const QString &name) const
{
    for (const Attribute &a : m_attributes) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

Memento::Attribute &Memento::slot(const QString &name)
{
    for (Attribute &a : m_attributes) {
        if (a.name == name)
            return a;
    }
    m_attributes.append(Attribute{name, QVariant(), nullptr});
    return m_attributes.last();
}

bool Memento::holds(const Memento *other) const
{
    for (const Attribute &a : m_attributes) {
        if (a.child && (a.child.get() == other || a.child->holds(other)))
            return true;
    }
    return false;
}
