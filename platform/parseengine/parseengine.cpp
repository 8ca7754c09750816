#include "parseengine.h"

#include "parsehandle.h"

#include <QVariant>

#include <cmath>
#include <exception>
#include <limits>

namespace {

// A Long argument. Booleans count as M does (True = -1); text must be a plain decimal integer.
bool toLong(const QVariant &value, int &out)
{
    switch (value.typeId()) {
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

// A line text as the lexer sends it: ZeroPad'ed (the text, then as many NULs), cut at the
// first NUL or line break, which the editor never shows as part of a line either.
QStringView lineText(const QString &argument)
{
    QStringView text(argument);
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    for (const QChar lineBreak : {QChar(u'\r'), QChar(u'\n')}) {
        const qsizetype at = text.indexOf(lineBreak);
        if (at >= 0)
            text.truncate(at);
    }
    return text;
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
            const QString text = args[2].toString();
            return session->begin(a, b, lineText(text), c);
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
        const QString text = args[1].toString();
        return session->textSet(a, lineText(text).toString(), b);
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
