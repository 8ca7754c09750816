#include "parseengine.h"

#include "parsehandle.h"

#include <QVariant>

#include <QtAlgorithms>

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <exception>
#include <limits>

namespace {

// A Long argument. Booleans count as M does (True = -1); text must be a plain decimal integer.
bool toLong(const QVariant &value, int &out)
{
    const int type = value.typeId();
    if (type == QMetaType::Int) { // what the lexer passes: no conversion machinery needed
        out = *static_cast<const int *>(value.constData());
        return true;
    }
    switch (type) {
    case QMetaType::Bool:
        out = value.toBool() ? -1 : 0;
        return true;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UShort:
        out = value.toInt();
        return true;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong wide = value.toLongLong(&ok);
        if (!ok || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
            return false;
        out = int(wide);
        return true;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < std::numeric_limits<int>::min()
            || d > std::numeric_limits<int>::max())
            return false;
        out = int(d);
        return true;
    }
    case QMetaType::QString: {
        bool ok = false;
        const int parsed = value.toString().toInt(&ok, 10);
        if (!ok)
            return false;
        out = parsed;
        return true;
    }
    default:
        return false;
    }
}

// A text argument, by reference when it is one (the line texts are the bulk of the traffic).
struct TextArgument
{
    explicit TextArgument(const QVariant &value)
        : m_text(value.typeId() == QMetaType::QString ? static_cast<const QString *>(value.constData())
                                                       : nullptr)
    {
        if (!m_text) {
            m_converted = value.toString();
            m_text = &m_converted;
        }
    }
    const QString &text() const { return *m_text; }

private:
    const QString *m_text;
    QString m_converted;
};

bool endsLine(char16_t c)
{
    return c == u'\0' || c == u'\r' || c == u'\n';
}

// A line text as the lexer sends it: ZeroPad'ed (the text, then as many NULs), cut at the
// first NUL or line break, which the editor never shows as part of a line either.
QStringView lineText(const QString &argument)
{
    const char16_t *text = reinterpret_cast<const char16_t *>(argument.constData());
    const qsizetype size = argument.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Every line of a routine comes through here twice: eight characters at a time.
    const __m128i nul = _mm_setzero_si128();
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    for (; i + 8 <= size; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        const __m128i ends = _mm_or_si128(_mm_cmpeq_epi16(chunk, nul),
                                          _mm_or_si128(_mm_cmpeq_epi16(chunk, cr), _mm_cmpeq_epi16(chunk, lf)));
        const int mask = _mm_movemask_epi8(ends);
        if (mask != 0)
            return QStringView(text, i + qCountTrailingZeroBits(unsigned(mask)) / 2);
    }
#endif
    for (; i < size; ++i) {
        if (endsLine(text[i]))
            return QStringView(text, i);
    }
    return QStringView(text, size);
}

const QString kBegin = QStringLiteral("Begin^PARSE");
const QString kTextSet = QStringLiteral("TextSet^PARSE");
const QString kTextKill = QStringLiteral("TextKill^PARSE");
const QString kPos2Cmd = QStringLiteral("Pos2Cmd^PARSE");
const QString kCmd2Rng = QStringLiteral("Cmd2Rng^PARSE");
const QString kPos2CRng = QStringLiteral("Pos2CRng^PARSE");
const QString kPos2CEnd = QStringLiteral("Pos2CEnd^PARSE");
const QString kPos2Tip = QStringLiteral("Pos2Tip^PARSE");
const QString kMoreToks = QStringLiteral("MoreToks^PARSE");
const QString kPropSet = QStringLiteral("PropSet^PARSE");
const QString kPropGet = QStringLiteral("PropGet^PARSE");
const QString kSetTable = QStringLiteral("SetTable^PName");
const QString kFreeHand = QStringLiteral("FreeHand^PARSE");
const QString kTipEntry = QStringLiteral("XTip^PARSE");

bool isCommand(const QString &command, const char *expected)
{
    return command.simplified().compare(QLatin1String(expected), Qt::CaseInsensitive) == 0;
}

const QString kBadArguments = QStringLiteral("ERROR:wrong arguments");

} // namespace

ParseEngine::ParseEngine() = default;
ParseEngine::~ParseEngine() = default;

QString ParseEngine::versionText()
{
    return QString::number(VersionMajor) + QLatin1Char('.') + QString::number(VersionMinor)
            + QLatin1Char('.') + QString::number(VersionRevision / 100);
}

std::shared_ptr<ParseEngine> ParseEngine::instance()
{
    static const std::shared_ptr<ParseEngine> engine = std::make_shared<ParseEngine>();
    return engine;
}

bool ParseEngine::connected() const
{
    return true;
}

QString ParseEngine::xecute(const QString &command)
{
    if (isCommand(command, "w $$NewHand^PARSE"))
        return newHandle();
    if (isCommand(command, "w $$^VERSION"))
        return versionText();
    if (isCommand(command, "W $S"))
        return QString();
    return QStringLiteral("ERROR:cannot execute ") + command;
}

QString ParseEngine::newHandle()
{
    if (int(m_handles.size()) >= MaxHandles)
        return QStringLiteral("ERROR:no free handle");
    while (m_handles.count(m_nextHandle) != 0)
        m_nextHandle = m_nextHandle % MaxHandles + 1;
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle % MaxHandles + 1;
    m_handles.emplace(handle, std::make_unique<ParseHandle>());
    return QString::number(handle);
}

QString ParseEngine::call(const QString &entryRef, int handle, const QVariantList &args)
{
    try {
        return dispatch(entryRef, handle, args);
    } catch (const std::exception &failure) {
        return QStringLiteral("ERROR:engine failure,Z<INTERNAL>") + QString::fromLocal8Bit(failure.what());
    } catch (...) {
        return QStringLiteral("ERROR:engine failure,Z<INTERNAL>");
    }
}

QString ParseEngine::dispatch(const QString &entryRef, int handle, const QVariantList &args)
{
    const auto found = m_handles.find(handle);
    ParseHandle *session = found == m_handles.end() ? nullptr : found->second.get();
    const int count = int(args.size());
    int a = 0;
    int b = 0;
    int c = 0;

    if (entryRef == kBegin) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        if (count == 4 && toLong(args[0], a) && toLong(args[1], b) && toLong(args[3], c)) {
            const TextArgument text(args[2]);
            return session->begin(a, b, lineText(text.text()), c);
        }
        if (count == 2 && toLong(args[0], a) && toLong(args[1], b))
            return session->prime(a, b);
        return kBadArguments;
    }
    if (entryRef == kTextSet) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        if (count != 3 || !toLong(args[0], a) || !toLong(args[2], b))
            return kBadArguments;
        const TextArgument text(args[1]);
        return session->textSet(a, text.text(), int(lineText(text.text()).size()), b);
    }

    // Queries: each has its own "cannot answer" value.
    const bool twoLongs = count == 2 && toLong(args[0], a) && toLong(args[1], b);
    if (entryRef == kPos2Cmd)
        return session && twoLongs ? session->positionToCommand(a, b) : QStringLiteral("-1");
    if (entryRef == kCmd2Rng)
        return session && twoLongs ? session->commandToRange(a, b) : QString();
    if (entryRef == kPos2CRng)
        return session && twoLongs ? session->positionToCommandRange(a, b) : QString();
    if (entryRef == kPos2CEnd)
        return session && twoLongs ? session->positionToCommandEnd(a, b) : QStringLiteral("-1");
    if (entryRef == kPos2Tip) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        return twoLongs ? session->positionToTip(a, b) : kBadArguments;
    }
    if (entryRef == kMoreToks)
        return QStringLiteral("ERROR:every reply is complete"); // Begin^PARSE never leaves more

    if (entryRef == kTextKill) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        if (count != 3 || !toLong(args[0], a) || !toLong(args[1], b) || !toLong(args[2], c))
            return kBadArguments;
        return session->textKill(a, b, c);
    }
    if (entryRef == kPropSet) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        if (count != 2)
            return kBadArguments;
        session->setProperty(args[0].toString(), args[1].toString());
        return QString();
    }
    if (entryRef == kPropGet) {
        const QString fallback = count == 2 ? args[1].toString() : QStringLiteral("ERROR:no such property");
        if (!session || count < 1 || count > 2)
            return fallback;
        return session->property(args[0].toString(), fallback);
    }
    if (entryRef == kSetTable) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        if (count != 3)
            return kBadArguments;
        int unicode = 0;
        toLong(args[1], unicode);
        session->setTable(args[0].toString(), unicode != 0, args[2].toString());
        return QString();
    }
    if (entryRef == kFreeHand) {
        if (!session)
            return QStringLiteral("ERROR:unknown handle");
        m_handles.erase(found);
        return QString();
    }
    if (entryRef == kTipEntry) {
        // Tip of a called label: the reference in bold, then the label's line as it came.
        if (count != 2)
            return kBadArguments;
        const QString reference = args[0].toString();
        const QString line = args[1].toString();
        return QLatin1String("<b1>") + reference + QLatin1String("<b0>")
                + (line.isEmpty() ? QString() : QLatin1String("  ") + line);
    }
    return QStringLiteral("ERROR:unknown entry reference ") + entryRef;
}
