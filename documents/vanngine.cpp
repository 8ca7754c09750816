#include "vanngine.h"

#include "iparseengine.h"
#include "userprompt.h"
#include "vantrelerror.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>

namespace {

// Error numbers are written as signed 32-bit values (the error base 0x80040000 reads
// -2147221504), as error numbers in "ERROR:" texts always have been; 91 stands for a call
// with no engine behind it.
constexpr int NoEngineError = 91;
constexpr int EngineFailure = 440;

QString errorText(std::int64_t number, const QString &description)
{
    return QStringLiteral("ERROR:") + QString::number(number) + QLatin1Char(' ') + description;
}

QString noEngineText()
{
    return errorText(NoEngineError, QStringLiteral("Parse Engine not available"));
}

// Whatever the engine throws comes back as an "ERROR:" text.
template <typename EngineCall>
QString guarded(EngineCall engineCall)
{
    try {
        return engineCall();
    } catch (const VantrelError &e) {
        return errorText(static_cast<std::int32_t>(e.number()), e.text());
    } catch (const std::exception &e) {
        return errorText(EngineFailure, QString::fromUtf8(e.what()));
    } catch (...) {
        return errorText(EngineFailure, QStringLiteral("Parse Engine call failed"));
    }
}

// The handle arrives as decimal text and must fit the engine's 16-bit handle type.
bool parseHandle(const QString &reply, int *handle)
{
    bool ok = false;
    const int value = reply.trimmed().toInt(&ok);
    if (!ok || value < std::numeric_limits<std::int16_t>::min()
        || value > std::numeric_limits<std::int16_t>::max())
        return false;
    *handle = value;
    return true;
}

} // namespace

VanNgine::VanNgine()
{
    std::shared_ptr<IParseEngine> engine;
    QString reply;
    try {
        engine = makeParseEngine();
        if (!engine)
            return;
        reply = engine->xecute(QStringLiteral("w $$NewHand^PARSE"));
    } catch (...) {
        return;
    }

    if (reply.startsWith(QLatin1String("ERROR:"))) {
        tellUser(QStringLiteral("VanNgine init error: failed to get handle: ") + reply);
        return;
    }
    if (!parseHandle(reply, &m_handle))
        return;
    m_engine = std::move(engine);
}

VanNgine::~VanNgine()
{
    if (!m_engine)
        return;
    // Neither call can throw; their replies do not matter at this point.
    MDo0(QStringLiteral("FreeHand^PARSE"));
    Xecute(QStringLiteral("W $S"));
    Xecute(QStringLiteral("W $S"));
}

QString VanNgine::MDo0(const QString &Reference)
{
    return callEngine(Reference, {});
}

QString VanNgine::MDo1(const QString &Reference, const QVariant &a1)
{
    return callEngine(Reference, {a1});
}

QString VanNgine::MDo2(const QString &Reference, const QVariant &a1, const QVariant &a2)
{
    return callEngine(Reference, {a1, a2});
}

QString VanNgine::MDo3(const QString &Reference, const QVariant &a1, const QVariant &a2,
                       const QVariant &a3)
{
    return callEngine(Reference, {a1, a2, a3});
}

QString VanNgine::MDo4(const QString &Reference, const QVariant &a1, const QVariant &a2,
                       const QVariant &a3, const QVariant &a4)
{
    return callEngine(Reference, {a1, a2, a3, a4});
}

QString VanNgine::ZeroPad(const QString &s)
{
    // One allocation: every line the editor parses passes through here twice.
    const qsizetype n = s.size();
    QString padded(2 * n, Qt::Uninitialized);
    QChar *out = padded.data();
    std::memcpy(out, s.constData(), size_t(n) * sizeof(QChar));
    std::memset(out + n, 0, size_t(n) * sizeof(QChar));
    return padded;
}

QString VanNgine::Xecute(const QString &command)
{
    if (!m_engine)
        return noEngineText();
    return guarded([&] { return m_engine->xecute(command); });
}

bool VanNgine::Connected() const
{
    if (!m_engine)
        return false;
    try {
        return m_engine->connected();
    } catch (...) {
        return false;
    }
}

QString VanNgine::Version()
{
    if (!m_engine)
        return QString();
    return Xecute(QStringLiteral("w $$^VERSION"));
}

QString VanNgine::callEngine(const QString &reference, const QVariantList &args)
{
    if (!m_engine)
        return noEngineText();
    return guarded([&] { return m_engine->call(reference, m_handle, args); });
}
