#include "activation.h"

#include <QHash>
#include <QMetaType>
#include <QMutex>
#include <QMutexLocker>

#include <cmath>
#include <limits>
#include <optional>

namespace {

const QString OwnSource = QStringLiteral("Activation");

// The error value a skipped argument is passed as.
struct ErrorValue
{
    std::uint32_t code = 0;
};

ComError typeMismatch()
{
    return ComError(DispError::TypeMismatch, OwnSource, QStringLiteral("Type mismatch"));
}

ComError overflow()
{
    return ComError(DispError::Overflow, OwnSource, QStringLiteral("Overflow"));
}

// Identities compare without case, as class identities do on the system they come from.
QString key(const QString &name) { return name.trimmed().toUpper(); }

bool looksLikeClsid(const QString &name)
{
    const QString trimmed = name.trimmed();
    return trimmed.startsWith(QLatin1Char('{')) && trimmed.endsWith(QLatin1Char('}'));
}

struct Registry
{
    QMutex mutex;
    QHash<QString, ObjectRegistry::Creator> classes;   // by upper-case class identity
    QHash<QString, QString> progIds;      // upper-case name -> upper-case class identity
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

// The class identity a name leads to, or "" (caller holds the mutex).
QString resolve(const Registry &reg, const QString &clsidOrProgId)
{
    const QString k = key(clsidOrProgId);
    if (reg.classes.contains(k))
        return k;
    return reg.progIds.value(k);
}

} // namespace

Q_DECLARE_METATYPE(ErrorValue)
Q_DECLARE_METATYPE(DispatchPtr)

ComError::ComError(std::uint32_t number, QString source, QString description)
    : VantrelError(number, std::move(description)), m_source(std::move(source))
{
}

ComError::~ComError() = default;

IDispatchObject::~IDispatchObject() = default;

QVariant IDispatchObject::Invoke(qint32 dispId, QVariantList &)
{
    throw ComError(DispError::MemberNotFound, OwnSource,
                   QStringLiteral("Unknown name (member %1)").arg(dispId));
}

QVariant IDispatchObject::InvokeByName(const QString &member, QVariantList &)
{
    throw ComError(DispError::MemberNotFound, OwnSource, QStringLiteral("Unknown name: %1").arg(member));
}

QVariant objectValue(const DispatchPtr &object)
{
    return QVariant::fromValue(object);
}

bool isObjectValue(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<DispatchPtr>();
}

DispatchPtr objectFrom(const QVariant &value)
{
    return isObjectValue(value) ? value.value<DispatchPtr>() : nullptr;
}

QVariant nullValue()
{
    return QVariant::fromValue(nullptr);
}

bool isNullValue(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<std::nullptr_t>();
}

QVariant paramNotFound()
{
    return QVariant::fromValue(ErrorValue{DispError::ParamNotFound});
}

bool isParamNotFound(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<ErrorValue>()
           && value.value<ErrorValue>().code == DispError::ParamNotFound;
}

namespace {

// A whole number from a value that holds one (or a text of one); nullopt when it does not.
std::optional<qint64> wholeNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;   // automation's True is -1
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
        return value.toLongLong();
    case QMetaType::Double: case QMetaType::Float: {
        const double d = value.toDouble();
        if (d != d || d > 9.2e18 || d < -9.2e18)
            throw overflow();
        return static_cast<qint64>(std::llrint(d));   // banker's rounding, as automation converts
    }
    case QMetaType::QString: {
        bool ok = false;
        const QString text = value.toString().trimmed();
        const qint64 n = text.toLongLong(&ok);
        if (ok)
            return n;
        const double d = text.toDouble(&ok);
        if (ok && d == d && d < 9.2e18 && d > -9.2e18)
            return static_cast<qint64>(std::llrint(d));   // banker's rounding, as automation converts
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

bool toBoolValue(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    if (value.metaType().id() == QMetaType::Double || value.metaType().id() == QMetaType::Float)
        return value.toDouble() != 0.0;
    const auto n = wholeNumber(value);
    if (!n)
        throw typeMismatch();
    return *n != 0;
}

qint16 toInt16Value(const QVariant &value)
{
    const auto n = wholeNumber(value);
    if (!n)
        throw typeMismatch();
    if (*n < std::numeric_limits<qint16>::min() || *n > std::numeric_limits<qint16>::max())
        throw overflow();
    return static_cast<qint16>(*n);
}

qint32 toInt32Value(const QVariant &value)
{
    const auto n = wholeNumber(value);
    if (!n)
        throw typeMismatch();
    if (*n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
        throw overflow();
    return static_cast<qint32>(*n);
}

QString toStringValue(const QVariant &value)
{
    if (!value.isValid() || isNullValue(value))
        return QString();
    if (isObjectValue(value) || isParamNotFound(value) || !value.canConvert<QString>())
        throw typeMismatch();
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

DispatchPtr toObjectValue(const QVariant &value)
{
    if (!value.isValid() || isNullValue(value))
        return nullptr;
    if (!isObjectValue(value))
        throw typeMismatch();
    return objectFrom(value);
}

// --- registry -----------------------------------------------------------------

void ObjectRegistry::registerClass(const QString &clsid, const QString &progId, Creator create)
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    const QString id = key(clsid);
    reg.classes.insert(id, std::move(create));
    if (!progId.trimmed().isEmpty())
        reg.progIds.insert(key(progId), id);
}

void ObjectRegistry::registerProgId(const QString &progId, const QString &clsid)
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    reg.progIds.insert(key(progId), key(clsid));
}

void ObjectRegistry::unregister(const QString &clsidOrProgId)
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    const QString k = key(clsidOrProgId);
    if (reg.progIds.remove(k) > 0 && !looksLikeClsid(clsidOrProgId))
        return;
    reg.classes.remove(k);
    for (auto it = reg.progIds.begin(); it != reg.progIds.end();) {
        if (it.value() == k)
            it = reg.progIds.erase(it);
        else
            ++it;
    }
}

bool ObjectRegistry::isRegistered(const QString &clsidOrProgId)
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    const QString id = resolve(reg, clsidOrProgId);
    return !id.isEmpty() && reg.classes.contains(id);
}

QString ObjectRegistry::classIdOf(const QString &clsidOrProgId)
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    const QString id = resolve(reg, clsidOrProgId);
    return reg.classes.contains(id) ? id : QString();
}

DispatchPtr ObjectRegistry::createObject(const QString &clsidOrProgId)
{
    Creator create;
    {
        Registry &reg = registry();
        QMutexLocker lock(&reg.mutex);
        const auto it = reg.classes.constFind(resolve(reg, clsidOrProgId));
        if (it != reg.classes.constEnd())
            create = *it;
    }
    // The creator runs unlocked: it may itself create objects.
    DispatchPtr object = create ? create() : nullptr;
    if (!object)
        throw ComError(DispError::ClassNotRegistered, OwnSource,
                       QStringLiteral("Class not registered: %1").arg(clsidOrProgId));
    return object;
}

struct ObjectRegistry::Scope::Saved
{
    QHash<QString, Creator> classes;
    QHash<QString, QString> progIds;
};

ObjectRegistry::Scope::Scope() : m_saved(std::make_unique<Saved>())
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    m_saved->classes = reg.classes;
    m_saved->progIds = reg.progIds;
}

ObjectRegistry::Scope::~Scope()
{
    Registry &reg = registry();
    QMutexLocker lock(&reg.mutex);
    reg.classes = std::move(m_saved->classes);
    reg.progIds = std::move(m_saved->progIds);
}
