#include "parsehandle.h"

#include "mtoken.h"

#include <algorithm>
#include <cstring>

namespace {

const QString kCannotAnswer = QStringLiteral("ERROR:unknown line serial");

char16_t *putLargeField(char16_t *out, int value);

// Every number below 1000 as its digits and a blank, four characters wide so that one
// 8-byte store writes it. Classes, columns and lengths of real lines all fit, and each token
// of a reply has three of them.
struct SmallFields
{
    char16_t text[1000][4];
    unsigned char length[1000]; // digits and the blank
    constexpr SmallFields() : text(), length()
    {
        for (int i = 0; i < 1000; ++i) {
            const int digits = i >= 100 ? 3 : i >= 10 ? 2 : 1;
            int rest = i;
            for (int d = digits - 1; d >= 0; --d) {
                text[i][d] = char16_t(u'0' + rest % 10);
                rest /= 10;
            }
            text[i][digits] = u' ';
            length[i] = static_cast<unsigned char>(digits + 1);
        }
    }
};
constexpr SmallFields kSmallFields;

// Writes the decimal digits of `value` and a blank at `out` (and may write up to two
// characters past them); returns the end.
inline char16_t *putField(char16_t *out, int value)
{
    if (unsigned(value) < 1000) {
        std::memcpy(out, kSmallFields.text[value], sizeof kSmallFields.text[value]);
        return out + kSmallFields.length[value];
    }
    return putLargeField(out, value);
}

// The digits of `value` alone.
inline char16_t *putNumber(char16_t *out, int value)
{
    return putField(out, value) - 1;
}

Q_NEVER_INLINE char16_t *putLargeField(char16_t *out, int value)
{
    unsigned int magnitude = unsigned(value);
    if (value < 0) {
        *out++ = u'-';
        magnitude = 0u - magnitude;
    }
    int digits = 1;
    for (unsigned int rest = magnitude; rest >= 10; rest /= 10)
        ++digits;
    char16_t *end = out + digits;
    do {
        *--end = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    out[digits] = u' ';
    return out + digits + 1;
}

// The most a token part ("\" class " " start " " length " 0") or a header can take, with
// the two characters a field may write past its end.
constexpr size_t MaxPartLength = 1 + 3 * 12 + 1 + 2;

QString range(const MCommandSpan &span)
{
    return QString::number(span.start + 1) + QLatin1Char(',') + QString::number(span.end + 1);
}

struct FunctionTip
{
    const char *name;
    const char *abbreviation;
    const char *text;
};

// Hover texts for the standard functions and special variables; other names show as written.
constexpr FunctionTip kFunctionTips[] = {
    {"ASCII", "A", "$ASCII(string[,position]): character code"},
    {"CHAR", "C", "$CHAR(code,...): characters from codes"},
    {"DATA", "D", "$DATA(variable): 0 undefined, 1 value, 10 descendants, 11 both"},
    {"EXTRACT", "E", "$EXTRACT(string[,from[,to]]): characters by position"},
    {"FIND", "F", "$FIND(string,substring[,start]): position after the match"},
    {"FNUMBER", "FN", "$FNUMBER(number,format[,decimals]): formatted number"},
    {"GET", "G", "$GET(variable[,default]): value or default"},
    {"JUSTIFY", "J", "$JUSTIFY(value,width[,decimals]): right-justified text"},
    {"LENGTH", "L", "$LENGTH(string[,delimiter]): length or number of pieces"},
    {"NAME", "NA", "$NAME(variable[,level]): the reference as text"},
    {"ORDER", "O", "$ORDER(variable[,direction]): next subscript"},
    {"PIECE", "P", "$PIECE(string,delimiter[,from[,to]]): delimited pieces"},
    {"QUERY", "Q", "$QUERY(variable): next defined node"},
    {"RANDOM", "R", "$RANDOM(limit): random integer below limit"},
    {"SELECT", "S", "$SELECT(condition:value,...): first value whose condition holds"},
    {"TEXT", "T", "$TEXT(entryref): a line of routine source"},
    {"TRANSLATE", "TR", "$TRANSLATE(string,from[,to]): character replacement"},
    {"INCREMENT", "I", "$INCREMENT(variable[,amount]): atomic increment"},
    {"HOROLOG", "H", "$HOROLOG: days,seconds"},
    {"IO", "IO", "$IO: current device"},
    {"JOB", "J", "$JOB: process number"},
    {"TEST", "T", "$TEST: outcome of the last IF, timeout or LOCK"},
    {"X", "X", "$X: column of the current device"},
    {"Y", "Y", "$Y: line of the current device"},
};

bool sameName(QStringView word, const char *name)
{
    const int length = int(std::strlen(name));
    if (word.size() != length)
        return false;
    for (int i = 0; i < length; ++i) {
        if (word[i].toUpper().unicode() != char16_t(name[i]))
            return false;
    }
    return true;
}

QString intrinsicTip(QStringView name, bool isFunction)
{
    for (const FunctionTip &tip : kFunctionTips) {
        const bool takesArguments = std::strchr(tip.text, '(') != nullptr;
        if (takesArguments != isFunction)
            continue;
        if (sameName(name, tip.name) || sameName(name, tip.abbreviation))
            return QString::fromLatin1(tip.text);
    }
    return QLatin1Char('$') + name.toString().toUpper();
}

} // namespace

ParseHandle::ParseHandle() = default;

void ParseHandle::setProperty(const QString &name, const QString &value)
{
    m_properties.insert(name, value);
    if (name == QLatin1String("ParseTable"))
        updateMode();
}

QString ParseHandle::property(const QString &name, const QString &fallback) const
{
    const auto found = m_properties.constFind(name);
    if (found != m_properties.constEnd())
        return *found;
    // GT.M and Cache tell labels apart by up to 31 characters; cut to the caller's 8, two
    // labels that share their first 8 would look like one.
    if (m_longLabels && name == QLatin1String("lenLABEL"))
        return QStringLiteral("31");
    return fallback;
}

void ParseHandle::setTable(const QString &platform, bool unicode, const QString &nameTable)
{
    Q_UNUSED(unicode)
    Q_UNUSED(nameTable)
    m_platform = platform;
    updateMode();
}

void ParseHandle::updateMode()
{
    const QString table = m_properties.value(QStringLiteral("ParseTable"));
    const bool mac = table.endsWith(QLatin1String(".mac"), Qt::CaseInsensitive);
    // The table is "sdb" + platform; ObjectScript belongs to Cache and what grew from it.
    QString platform = table.startsWith(QLatin1String("sdb"), Qt::CaseInsensitive)
            ? table.mid(3).section(QLatin1Char('.'), 0, 0) : QString();
    if (platform.isEmpty())
        platform = m_platform;
    const bool cacheFamily = platform.compare(QLatin1String("CACHE"), Qt::CaseInsensitive) == 0
            || platform.compare(QLatin1String("IRIS"), Qt::CaseInsensitive) == 0
            || platform.compare(QLatin1String("ENSEMBLE"), Qt::CaseInsensitive) == 0;
    const bool objectScript = platform.isEmpty() || cacheFamily;
    m_longLabels = cacheFamily || platform.compare(QLatin1String("GTM"), Qt::CaseInsensitive) == 0;
    if (mac != m_mac || objectScript != m_objectScript) {
        m_mac = mac;
        m_objectScript = objectScript;
        ++m_stamp;
    }
}

void ParseHandle::textChanged()
{
    // In MAC source a line's parse depends on every line above it (open comments, braces).
    if (m_mac)
        ++m_stamp;
}

QString ParseHandle::textSet(int serial, const QString &text, int length, int previous)
{
    if (!m_lines.insertAfter(serial, text, length, previous))
        return QStringLiteral("ERROR:unknown previous line serial");
    textChanged();
    return QString();
}

QString ParseHandle::textKill(int serial, int previous, int count)
{
    Q_UNUSED(previous)
    if (count < 1 || m_lines.remove(serial, count) == 0)
        return kCannotAnswer;
    textChanged();
    return QString();
}

MLineParser::Options ParseHandle::options(const Context &context) const
{
    MLineParser::Options result;
    result.mac = m_mac;
    result.objectScript = m_objectScript;
    result.inBlockComment = m_mac && context.inBlockComment;
    result.braceDepth = m_mac ? context.braceDepth : 0;
    result.openEmbedded = m_mac ? context.openEmbedded : 0;
    return result;
}

const MParsedLine &ParseHandle::parsed(int serial, LineStore::Line &line, const Context &context)
{
    if (m_cachedSerial != serial || m_cachedStamp != m_stamp || !(m_cachedContext == context)
        || m_cachedTextVersion != line.textVersion) {
        m_cachedSerial = 0; // a parse that fails half way leaves no answer behind
        m_parser.parse(line.text(), options(context), m_cached);
        m_cachedSerial = serial;
        m_cachedTextVersion = line.textVersion;
        m_cachedStamp = m_stamp;
        m_cachedContext = context;
    }
    if (line.summaryStamp != m_stamp || !summaryMatches(line, context)) {
        line.summaryStamp = m_stamp;
        setSummaryContext(line, context);
        line.dotLevel = m_cached.dotLevel;
        line.ownBraceDepth = std::max(0, context.braceDepth - m_cached.leadingCloses);
        line.braceDepthEnd = m_cached.braceDepthEnd;
        line.endsInBlockComment = m_cached.endsInBlockComment;
        line.endsInEmbedded = m_cached.endsInEmbedded;
    }
    return m_cached;
}

const MParsedLine &ParseHandle::parsed(int serial, LineStore::Line &line)
{
    return parsed(serial, line, contextBefore(line));
}

void ParseHandle::resummarize(LineStore::Line &line, const Context &context)
{
    if (m_mac) {
        // Braces and comments need the whole line; the parse is not kept.
        const MParsedLine whole = m_parser.parse(line.text(), options(context));
        line.dotLevel = whole.dotLevel;
        line.ownBraceDepth = std::max(0, context.braceDepth - whole.leadingCloses);
        line.braceDepthEnd = whole.braceDepthEnd;
        line.endsInBlockComment = whole.endsInBlockComment;
        line.endsInEmbedded = whole.endsInEmbedded;
    } else {
        MLineParser::Options dots = options(context);
        dots.dotsOnly = true;
        m_parser.parse(line.text(), dots, m_dots);
        line.dotLevel = m_dots.dotLevel;
        line.ownBraceDepth = 0;
        line.braceDepthEnd = 0;
        line.endsInBlockComment = false;
        line.endsInEmbedded = 0;
    }
    line.summaryStamp = m_stamp;
    setSummaryContext(line, context);
}

ParseHandle::Context ParseHandle::macContextBefore(const LineStore::Line &line)
{
    // Walk up to the nearest line whose summary is current, then summarise down again.
    std::vector<LineStore::Line *> pending;
    int serial = line.previous;
    LineStore::Line *anchor = nullptr;
    while (serial != 0) {
        LineStore::Line *above = m_lines.find(serial);
        if (!above)
            break;
        if (above->summaryStamp == m_stamp) {
            anchor = above;
            break;
        }
        pending.push_back(above);
        serial = above->previous;
    }
    Context context = anchor ? contextAfter(*anchor) : Context();
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        summarize(**it, context);
        context = contextAfter(**it);
    }
    return context;
}

ParseHandle::Shape ParseHandle::shape(LineStore::Line &line)
{
    summarize(line, contextBefore(line));
    int depth = line.dotLevel;
    bool blockStart = false;
    if (m_mac) {
        depth += line.ownBraceDepth;
        blockStart = line.braceDepthEnd > line.ownBraceDepth;
    }
    LineStore::Line *below = line.next != 0 ? m_lines.find(line.next) : nullptr;
    if (below) {
        summarize(*below, contextAfter(line));
        if (below->dotLevel > line.dotLevel)
            blockStart = true;
    }
    return {std::min(depth, MLineFlag::MaxDepth), blockStart};
}

char16_t *ParseHandle::replyRoom(size_t parts)
{
    const qsizetype needed = qsizetype(m_replyLength + parts * MaxPartLength);
    if (needed > m_reply.size())
        m_reply.resize(std::max({needed, 2 * m_reply.size(), m_reply.capacity()}));
    return reinterpret_cast<char16_t *>(m_reply.data()) + m_replyLength;
}

void ParseHandle::appendLineItem(int serial, LineStore::Line &line, const Shape &lineShape)
{
    line.reportedBlockStart = lineShape.blockStart ? 1 : 0;

    // A line more than one level deeper than the line above can never be reached.
    int aboveLevel = 0;
    if (LineStore::Line *above = line.previous ? m_lines.find(line.previous) : nullptr) {
        summarize(*above, contextBefore(*above));
        aboveLevel = above->dotLevel;
    }
    const MParsedLine &own = parsed(serial, line);
    const int dotError = own.dotLevel > aboveLevel + 1 ? own.dotToken : -1;

    char16_t *out = replyRoom(own.tokens.size() + 1);
    *out++ = u'^';
    out = putField(out, lineShape.blockStart ? MLineFlag::BlockStart : 0);
    out = putNumber(out, lineShape.depth);
    const MTokenSpan *token = own.tokens.data();
    const MTokenSpan *const end = token + own.tokens.size();
    const MTokenSpan *const wrongDots = dotError >= 0 ? token + dotError : nullptr;
    for (; token != end; ++token) {
        *out++ = u'\\';
        out = putField(out, token == wrongDots ? int(MToken::Error) : token->cls);
        out = putField(out, token->start);
        out = putField(out, token->length);
        *out++ = u'0';
    }
    m_replyLength = size_t(out - reinterpret_cast<const char16_t *>(m_reply.constData()));
}

QString ParseHandle::begin(int statementSerial, int carriedState, QStringView text,
                           int requestedSerial)
{
    Q_UNUSED(carriedState) // the engine knows the true context from its own copy of the text
    LineStore::Line *requested = m_lines.find(requestedSerial);
    LineStore::Line *first = m_lines.find(statementSerial);
    if (!requested || !first)
        return kCannotAnswer;
    if (m_lines.setText(*requested, text))
        textChanged();

    // Whether the line above still opens a block as it was last told.
    int state = 0;
    if (LineStore::Line *above = first->previous ? m_lines.find(first->previous) : nullptr) {
        if (shape(*above).blockStart != (above->reportedBlockStart == 1))
            state |= MState::ReparsePrevious;
    }

    // The statement's lines and their shapes first: the header needs the last one's depth.
    std::vector<StatementLine> &statement = m_statement;
    statement.clear();
    int serial = statementSerial;
    LineStore::Line *line = first;
    while (true) {
        statement.push_back({serial, line, shape(*line)});
        const bool continues = m_mac && (line->endsInBlockComment || line->endsInEmbedded != 0)
                && line->next != 0;
        if (!continues || int(statement.size()) >= MaxStatementLines)
            break;
        serial = line->next;
        line = m_lines.find(serial);
        if (!line)
            break;
    }
    const StatementLine &last = statement.back();
    // The lexer ORs the state into the same flag bits as the line header's depth.
    state |= (last.shape.depth << MState::DepthShift) & MState::DepthMask;
    if (m_mac && (last.line->endsInBlockComment || last.line->endsInEmbedded != 0))
        state |= MState::InBlockComment;

    // The caller has normally let go of the last reply by now, so its room is written
    // again without an allocation; a reply still held is left to its holder.
    if (!m_reply.isDetached())
        m_reply = QString();
    m_replyLength = 0;
    char16_t *out = replyRoom(1);
    out = putField(out, state);
    out = putField(out, int(statement.size()));
    *out++ = u'0';
    m_replyLength = size_t(out - reinterpret_cast<const char16_t *>(m_reply.constData()));
    for (const StatementLine &part : statement)
        appendLineItem(part.serial, *part.line, part.shape);
    m_reply.resize(qsizetype(m_replyLength));
    return m_reply;
}

QString ParseHandle::prime(int serial, int carriedState)
{
    Q_UNUSED(carriedState)
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return kCannotAnswer;
    parsed(serial, *line);
    return QString();
}

int ParseHandle::commandAt(const LineStore::Line &line, const MParsedLine &parsedLine, int column) const
{
    const auto &commands = parsedLine.commands;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (column > commands[i].end)
            continue;
        if (column >= commands[i].start)
            return int(i) + 1;
        // The blanks between two commands belong to the one that follows them, and so does
        // the TAB a line without a label begins with: a caret put at the line's start is
        // at its first command.
        if (i > 0)
            return int(i) + 1;
        const QStringView text = line.text();
        return column == 0 && !text.isEmpty() && text.front() == u'\t' ? 1 : 0;
    }
    return 0;
}

QString ParseHandle::commandToRange(int serial, int command)
{
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return QString();
    const MParsedLine &own = parsed(serial, *line);
    if (command < 1 || command > int(own.commands.size()))
        return QString();
    return range(own.commands[size_t(command - 1)]);
}

QString ParseHandle::positionToCommandRange(int serial, int position)
{
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return QString();
    const MParsedLine &own = parsed(serial, *line);
    const int command = commandAt(*line, own, position - 1);
    return command == 0 ? QString() : range(own.commands[size_t(command - 1)]);
}

QString ParseHandle::positionToCommandEnd(int serial, int position)
{
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return QStringLiteral("-1");
    const MParsedLine &own = parsed(serial, *line);
    const int command = commandAt(*line, own, position - 1);
    return command == 0 ? QStringLiteral("-1")
                        : QString::number(own.commands[size_t(command - 1)].end + 1);
}

QString ParseHandle::positionToCommand(int serial, int position)
{
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return QStringLiteral("-1");
    return QString::number(commandAt(*line, parsed(serial, *line), position - 1));
}

QString ParseHandle::positionToTip(int serial, int column)
{
    LineStore::Line *line = m_lines.find(serial);
    if (!line)
        return kCannotAnswer;
    MLineParser::Options tipOptions = options(contextBefore(*line));
    tipOptions.collectTips = true;
    const QString lineText = line->text().toString();
    const MParsedLine withTips = m_parser.parse(lineText, tipOptions);
    const int at = column - 1;
    const QChar separator(u'\0');
    for (const MTipItem &item : withTips.tips) {
        if (at < item.start || at >= item.start + item.length)
            continue;
        const QString text = lineText.mid(item.start, item.length);
        switch (item.kind) {
        case MTipItem::Local:
            // Only a name with literal subscripts: evaluating anything else in the stopped
            // process could run code or move the naked indicator.
            if (item.referenceEnd < 0)
                return QString(separator);
            return QLatin1Char('=') + lineText.mid(item.start, item.referenceEnd - item.start)
                    + separator + QLatin1Char('V') + QString::number(serial) + QLatin1Char(':')
                    + QString::number(item.start + 1);
        case MTipItem::Extrinsic:
            return text + separator + QLatin1String("XTip^PARSE(") + text.mid(2);
        case MTipItem::EntryReference:
            return QLatin1String("$$") + text + separator + QLatin1String("XTip^PARSE(") + text;
        case MTipItem::CommandWord: {
            const bool zCommand = std::strcmp(item.command->name, "Z") == 0;
            const QString name = zCommand ? text.toUpper()
                                          : QString::fromLatin1(item.command->name);
            const QString description = zCommand
                    ? name + QLatin1String(": ") + QLatin1String(item.command->description)
                    : QString::fromLatin1(item.command->description);
            return description + separator + QLatin1String("C:") + name;
        }
        case MTipItem::Intrinsic: {
            const bool isFunction = item.start + item.length < lineText.size()
                    && lineText.at(item.start + item.length) == u'(';
            const QString tip = intrinsicTip(QStringView(text).mid(1), isFunction);
            // Keys never hold "(": the code window would take the text before it for an entry.
            return tip + separator + QLatin1String(isFunction ? "F:" : "SV:")
                    + text.mid(1).toUpper();
        }
        }
    }
    return QString(separator);
}
