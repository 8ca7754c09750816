#include "scriptedengine.h"

#include <algorithm>

namespace {

const QString NewHandCommand = QStringLiteral("w $$NewHand^PARSE");

bool isNumeric(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// Booleans travel as VB passes them: True is -1.
double numberOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? -1.0 : 0.0;
    return v.toDouble();
}

bool argEqual(const QVariant &expected, const QVariant &actual)
{
    if (!expected.isValid())
        return true;
    if (isNumeric(expected) && isNumeric(actual))
        return numberOf(expected) == numberOf(actual);
    const QString want = expected.toString();
    const QString got = actual.toString();
    return want == got || want == ScriptedEngine::unpad(got);
}

ScriptedEngine::Matcher argsEqualTo(const QVariantList &expected)
{
    return [expected](const QVariantList &actual) { return ScriptedEngine::argsEqual(expected, actual); };
}

} // namespace

QString ScriptedEngine::Call::text(int i) const
{
    if (i < 0 || i >= args.size())
        return QString();
    return unpad(args.at(i).toString());
}

ScriptedEngine::Reply ScriptedEngine::Reply::error(std::uint32_t number, const QString &description)
{
    Reply r;
    r.m_error.emplace(number, description);
    return r;
}

ScriptedEngine::Reply ScriptedEngine::Reply::computed(std::function<QString(const Call &)> compute)
{
    Reply r;
    r.m_compute = std::move(compute);
    return r;
}

QString ScriptedEngine::Reply::answer(const Call &call) const
{
    if (m_error)
        throw *m_error;
    if (m_compute)
        return m_compute(call);
    return m_text;
}

ScriptedEngine &ScriptedEngine::on(const QString &entry, const Reply &reply)
{
    return onMatching(entry, Matcher(), reply);
}

ScriptedEngine &ScriptedEngine::on(const QString &entry, const QVariantList &args, const Reply &reply)
{
    return onMatching(entry, argsEqualTo(args), reply);
}

ScriptedEngine &ScriptedEngine::onMatching(const QString &entry, Matcher matcher, const Reply &reply)
{
    m_standing.push_back({entry, std::move(matcher), reply});
    return *this;
}

ScriptedEngine &ScriptedEngine::queue(const QString &entry, const Reply &reply)
{
    return queueMatching(entry, Matcher(), reply);
}

ScriptedEngine &ScriptedEngine::queue(const QString &entry, const QVariantList &args, const Reply &reply)
{
    return queueMatching(entry, argsEqualTo(args), reply);
}

ScriptedEngine &ScriptedEngine::queueMatching(const QString &entry, Matcher matcher, const Reply &reply)
{
    m_queued.push_back({entry, std::move(matcher), reply});
    return *this;
}

ScriptedEngine &ScriptedEngine::fallback(const Reply &reply)
{
    m_fallback = reply;
    return *this;
}

int ScriptedEngine::pendingReplies(const QString &entry) const
{
    return int(std::count_if(m_queued.begin(), m_queued.end(), [&](const Rule &r) {
        return entry.isEmpty() || r.entry == entry;
    }));
}

std::vector<ScriptedEngine::Call> ScriptedEngine::callsTo(const QString &entry) const
{
    std::vector<Call> out;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(out),
                 [&](const Call &c) { return c.entry == entry; });
    return out;
}

QStringList ScriptedEngine::entries() const
{
    QStringList out;
    for (const Call &c : m_calls)
        out << c.entry;
    return out;
}

bool ScriptedEngine::argsEqual(const QVariantList &expected, const QVariantList &actual)
{
    if (expected.size() != actual.size())
        return false;
    for (int i = 0; i < expected.size(); ++i) {
        if (!argEqual(expected.at(i), actual.at(i)))
            return false;
    }
    return true;
}

QString ScriptedEngine::unpad(const QString &padded)
{
    const qsizetype half = padded.size() / 2;
    if (half == 0 || padded.size() % 2 != 0)
        return padded;
    for (qsizetype i = half; i < padded.size(); ++i) {
        if (padded.at(i) != QChar(0))
            return padded;
    }
    return padded.left(half);
}

QString ScriptedEngine::xecute(const QString &command)
{
    Call c;
    c.isXecute = true;
    c.entry = command;
    m_calls.push_back(c);
    return answer(c);
}

QString ScriptedEngine::call(const QString &entryRef, int handle, const QVariantList &args)
{
    Call c;
    c.entry = entryRef;
    c.handle = handle;
    c.args = args;
    m_calls.push_back(c);
    return answer(c);
}

QString ScriptedEngine::answer(const Call &call)
{
    const auto accepts = [&](const Rule &r) {
        return r.entry == call.entry && (!r.matcher || r.matcher(call.args));
    };

    auto queued = std::find_if(m_queued.begin(), m_queued.end(), accepts);
    if (queued != m_queued.end()) {
        const Reply reply = queued->reply;
        m_queued.erase(queued);
        return reply.answer(call);
    }

    // Argument-specific rules outrank an entry's default whatever order they were added in.
    for (auto it = m_standing.rbegin(); it != m_standing.rend(); ++it) {
        if (it->matcher && accepts(*it))
            return it->reply.answer(call);
    }
    for (auto it = m_standing.rbegin(); it != m_standing.rend(); ++it) {
        if (!it->matcher && accepts(*it))
            return it->reply.answer(call);
    }

    if (call.isXecute && call.entry == NewHandCommand)
        return QString::number(m_nextHandle++);
    return m_fallback.answer(call);
}

namespace ParseReply {

QString token(int tokenClass, int start, int length, int attr)
{
    return QStringLiteral("%1 %2 %3 %4").arg(tokenClass).arg(start).arg(length).arg(attr);
}

QString lineItem(int flags, int depth, const QStringList &tokens)
{
    QString out = QStringLiteral("%1 %2").arg(flags).arg(depth);
    for (const QString &t : tokens)
        out += QLatin1Char('\\') + t;
    return out;
}

QString begin(int state, int count, int more, const QStringList &lineItems)
{
    QString out = QStringLiteral("%1 %2 %3").arg(state).arg(count).arg(more);
    for (const QString &item : lineItems)
        out += QLatin1Char('^') + item;
    return out;
}

QString moreToks(int more, const QStringList &lineItems)
{
    QString out = QString::number(more);
    for (const QString &item : lineItems)
        out += QLatin1Char('^') + item;
    return out;
}

} // namespace ParseReply

ScopedParseEngine::ScopedParseEngine(std::shared_ptr<IParseEngine> engine)
{
    setParseEngineFactory([engine]() { return engine; });
}

ScopedParseEngine::~ScopedParseEngine()
{
    setParseEngineFactory({});
}
