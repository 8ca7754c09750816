#include "mlineparser.h"

#include "mtoken.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

// What each ASCII character can be; everything else is none of these.
enum CharKind : std::uint8_t {
    Letter = 1,
    Digit = 2,
    Percent = 4,
    Blank = 8,       // blank or TAB
    Semicolon = 16,
    OperatorChar = 32,
};

constexpr std::array<std::uint8_t, 128> makeCharKinds()
{
    std::array<std::uint8_t, 128> kinds{};
    for (int c = 'A'; c <= 'Z'; ++c)
        kinds[size_t(c)] = Letter;
    for (int c = 'a'; c <= 'z'; ++c)
        kinds[size_t(c)] = Letter;
    for (int c = '0'; c <= '9'; ++c)
        kinds[size_t(c)] = Digit;
    kinds['%'] = Percent;
    kinds[' '] = Blank;
    kinds['\t'] = Blank;
    kinds[';'] = Semicolon;
    for (char c : {'+', '-', '*', '/', '\\', '#', '_', '=', '<', '>', '[', ']', '&', '!', '\''})
        kinds[size_t(c)] = OperatorChar;
    return kinds;
}

constexpr std::array<std::uint8_t, 128> kCharKinds = makeCharKinds();

inline bool hasKind(QChar c, unsigned kinds)
{
    const char16_t u = c.unicode();
    return u < 128 && (kCharKinds[u] & kinds) != 0;
}

inline bool isLetter(QChar c) { return hasKind(c, Letter); }
inline bool isDigit(QChar c) { return hasKind(c, Digit); }
inline bool isNameStart(QChar c) { return hasKind(c, Letter | Percent); }
inline bool isNameChar(QChar c) { return hasKind(c, Letter | Digit); }
inline bool isBlank(QChar c) { return hasKind(c, Blank); }
inline bool isOperatorChar(QChar c) { return hasKind(c, OperatorChar); }

// Arguments end at a blank outside parentheses, or at a comment that follows them directly
// ("Set x=1;note" compiles on GT.M).
inline bool endsArgument(QChar c) { return hasKind(c, Blank | Semicolon); }

// ObjectScript commands whose arguments a block follows, also without a blank ("IF x{").
bool takesBlock(const MCommand *command)
{
    if (!command || !command->name)
        return false;
    for (const char *name : {"IF", "ELSEIF", "WHILE", "FOR", "CATCH"}) {
        if (std::strcmp(command->name, name) == 0)
            return true;
    }
    return false;
}

bool sameText(QStringView word, const char *lower)
{
    int i = 0;
    for (; lower[i]; ++i) {
        if (i >= word.size() || word[i].toLower().unicode() != char16_t(lower[i]))
            return false;
    }
    return i == word.size();
}

} // namespace

// The helpers below run for nearly every character of a line: defined before their first
// use so that each call compiles to its loop alone.
inline int MLineParser::skipBlanks(int pos) const
{
    while (pos < m_length && isBlank(m_text[pos]))
        ++pos;
    return pos;
}

inline int MLineParser::nameEnd(int pos) const
{
    if (pos < m_length && isNameStart(m_text[pos]))
        ++pos;
    while (pos < m_length && isNameChar(m_text[pos]))
        ++pos;
    return pos;
}

// A "}" at `pos` ends the block it closes, unless it closes an object literal of the
// command's own arguments ("S x={""a"":1}").
inline bool MLineParser::closesBlock(int pos) const
{
    return m_braces && at(pos) == u'}' && m_literalBraces == 0 && m_openParens.empty();
}

void MLineParser::parse(QStringView text, const Options &options, MParsedLine &line)
{
    line.commands.clear();
    line.tips.clear();
    line.hasLabel = false;
    line.dotLevel = 0;
    line.dotToken = -1;
    line.leadingCloses = 0;
    line.braceDepthEnd = 0;
    line.endsInBlockComment = false;
    line.endsInEmbedded = 0;
    m_tokenCount = 0;
    line.tokens.m_size = 0;
    if (options.dotsOnly) {
        m_tokens = nullptr;
        m_tokenRoom = 0;
    } else {
        // The list keeps its room from the last line: no allocation once it has grown.
        if (line.tokens.m_room.empty())
            line.tokens.m_room.resize(32);
        m_tokens = line.tokens.m_room.data();
        m_tokenRoom = int(line.tokens.m_room.size());
        line.commands.reserve(4);
    }
    m_text = text.data();
    m_length = int(text.size());
    m_pos = 0;
    m_line = &line;
    m_options = options;
    m_strict = !options.objectScript && !options.mac;
    m_braces = options.objectScript || options.mac;
    m_openParens.clear();
    m_routineDepth = -1;
    m_braceDepth = options.braceDepth;
    m_sawCode = false;
    m_formatEnd = -1;
    m_blockArguments = false;
    m_literalBraces = 0;
    m_environmentDepth = 0;

    if (m_options.mac && m_options.inBlockComment) {
        if (m_options.dotsOnly) {
            m_line = nullptr;
            return;
        }
        parseBlockComment(false);
        if (!line.endsInBlockComment)
            parseCommands();
    } else if (m_options.mac && m_options.openEmbedded > 0) {
        if (m_options.dotsOnly) {
            m_line = nullptr;
            return;
        }
        const bool angle = EmbeddedState::angle(m_options.openEmbedded);
        scanEmbedded(0, 0, angle ? QChar(u'<') : QChar(u'('), angle ? QChar(u'>') : QChar(u')'),
                     EmbeddedState::depth(m_options.openEmbedded));
        if (line.endsInEmbedded == 0)
            parseCommands();
    } else {
        parseLineStart();
    }
    line.braceDepthEnd = m_braceDepth < 0 ? 0 : m_braceDepth;
    if (!m_options.dotsOnly) {
        if (m_tokenCount == 0)
            pushToken(MToken::Plain, 0, m_length); // empty or blank: parsed all the same
        line.tokens.m_size = size_t(m_tokenCount);
    }
    m_line = nullptr;
}

void MLineParser::growTokens()
{
    std::vector<MTokenSpan> &room = m_line->tokens.m_room;
    room.resize(size_t(2 * m_tokenRoom + 32));
    m_tokens = room.data();
    m_tokenRoom = int(room.size());
}

// Errors next to each other make one token.
void MLineParser::emitError(int start, int length)
{
    if (length <= 0 || m_options.dotsOnly)
        return;
    if (m_tokenCount > 0) {
        MTokenSpan &last = m_tokens[m_tokenCount - 1];
        if (last.cls == MToken::Error && last.start + last.length == start) {
            last.length += length;
            return;
        }
    }
    pushToken(MToken::Error, start, length);
}

void MLineParser::parseLineStart()
{
    if (m_length == 0)
        return;
    const QChar c = m_text[0];
    if (isNameStart(c) || isDigit(c)) {
        parseLabel();
        return;
    }
    if (isBlank(c)) {
        parseBody();
        return;
    }
    if (c == u';') {
        addToken(MToken::Comment, 0, m_length);
        m_pos = m_length;
        return;
    }
    if (m_options.mac || m_options.objectScript) {
        // MAC source puts comments, directives and braces at the left margin too.
        if (c == u'#' || c == u'/' || c == u'{' || c == u'}') {
            parseCommands();
            return;
        }
    }
    emitError(0, m_length);
    m_pos = m_length;
}

void MLineParser::parseLabel()
{
    int end = 0;
    if (isDigit(m_text[0])) {
        while (end < m_length && isDigit(m_text[end]))
            ++end;
    } else {
        end = nameEnd(0);
    }
    addToken(MToken::Label, 0, end);
    m_line->hasLabel = true;
    m_pos = end;

    const bool formalList = at(m_pos) == u'(';
    if (formalList) {
        // Formal list: names separated by commas; ObjectScript adds defaults and types,
        // so anything up to the closing parenthesis outside strings is taken.
        const int start = m_pos;
        int pos = m_pos + 1;
        bool inString = false;
        while (pos < m_length && (inString || m_text[pos] != u')')) {
            if (m_text[pos] == u'"')
                inString = !inString;
            ++pos;
        }
        if (pos >= m_length) {
            emitError(start, m_length - start);
            m_pos = m_length;
            return;
        }
        addToken(MToken::FormalList, start, pos + 1 - start);
        m_pos = pos + 1;
    }

    if ((m_options.mac || m_options.objectScript)
        && (at(m_pos) == u'[' || (formalList && at(skipBlanks(m_pos)) == u'['))) {
        // ObjectScript procedure: "[public variables]" after the formal list.
        m_pos = skipBlanks(m_pos);
        const int start = m_pos;
        while (m_pos < m_length && m_text[m_pos] != u']')
            ++m_pos;
        if (atEnd()) {
            emitError(start, m_length - start);
            return;
        }
        ++m_pos;
        addToken(MToken::FormalList, start, m_pos - start);
    }
    if (atEnd())
        return;
    const QChar c = at(m_pos);
    if (isBlank(c)) {
        parseBody();
    } else if (c == u';') {
        addToken(MToken::Comment, m_pos, m_length - m_pos);
        m_pos = m_length;
    } else if ((m_options.mac || m_options.objectScript) && c == u'{') {
        parseCommands();
    } else {
        emitError(m_pos, m_length - m_pos);
        m_pos = m_length;
    }
}

void MLineParser::parseBody()
{
    m_pos = skipBlanks(m_pos);
    if (at(m_pos) == u'.') {
        const int start = m_pos;
        int lastDot = m_pos;
        while (at(m_pos) == u'.') {
            lastDot = m_pos;
            ++m_line->dotLevel;
            m_pos = skipBlanks(m_pos + 1);
        }
        m_line->dotToken = m_tokenCount;
        addToken(MToken::DotPrefix, start, lastDot + 1 - start);
    }
    if (m_options.dotsOnly)
        return;
    parseCommands();
}

void MLineParser::parseCommands()
{
    if (m_options.dotsOnly)
        return; // no dots past this point, and no tokens to point at
    while (true) {
        m_pos = skipBlanks(m_pos);
        if (atEnd())
            return;
        const QChar c = m_text[m_pos];
        if (c == u';') {
            addToken(MToken::Comment, m_pos, m_length - m_pos);
            m_pos = m_length;
            return;
        }
        if (parseCommandPositionExtra()) {
            if (m_line->endsInBlockComment)
                return;
            continue;
        }
        if (isLetter(c)) {
            parseCommand();
            continue;
        }
        if (m_options.mac && c == u'$' && at(m_pos + 1) == u'$' && at(m_pos + 2) == u'$'
            && isNameStart(at(m_pos + 3))) {
            parseMacroStatement();
            continue;
        }
        // Something that cannot start a command: flag it up to the next blank.
        const int start = m_pos;
        while (m_pos < m_length && !isBlank(m_text[m_pos]))
            ++m_pos;
        emitError(start, m_pos - start);
        m_sawCode = true;
    }
}

bool MLineParser::parseCommandPositionExtra()
{
    const QChar c = m_text[m_pos];
    const bool extras = m_options.mac || m_options.objectScript;
    if (extras && (c == u'{' || c == u'}')) {
        addToken(MToken::Delimiter, m_pos, 1);
        if (c == u'{') {
            ++m_braceDepth;
        } else {
            --m_braceDepth;
            if (!m_sawCode)
                ++m_line->leadingCloses;
        }
        ++m_pos;
        return true;
    }
    if (!m_options.mac)
        return false;
    const QChar next = at(m_pos + 1);
    if (c == u'/' && next == u'/') {
        addToken(MToken::Comment, m_pos, m_length - m_pos);
        m_pos = m_length;
        return true;
    }
    if (c == u'/' && next == u'*') {
        parseBlockComment(true);
        return true;
    }
    if (c == u'#') {
        parseDirective();
        return true;
    }
    if (c == u'&' && isLetter(next)) {
        parseEmbedded();
        return true;
    }
    return false;
}

void MLineParser::parseBlockComment(bool opening)
{
    const int start = m_pos;
    int search = opening ? m_pos + 2 : m_pos;
    while (search + 1 < m_length) {
        if (m_text[search] == u'*' && m_text[search + 1] == u'/') {
            addToken(MToken::Comment, start, search + 2 - start);
            m_pos = search + 2;
            return;
        }
        ++search;
    }
    addToken(MToken::Comment, start, m_length - start);
    m_pos = m_length;
    m_line->endsInBlockComment = true;
}

void MLineParser::parseDirective()
{
    const int start = m_pos;
    if (at(m_pos + 1) == u';' || (at(m_pos + 1) == u'#' && at(m_pos + 2) == u';')) {
        addToken(MToken::Comment, start, m_length - start);
        m_pos = m_length;
        return;
    }
    int end = m_pos + 1;
    while (end < m_length && isLetter(m_text[end]))
        ++end;
    if (end == m_pos + 1) {
        emitError(start, 1);
        m_pos = start + 1;
        return;
    }
    m_sawCode = true;
    addToken(MToken::Command, start, end - start);
    const QStringView word(m_text + start + 1, end - start - 1);
    m_pos = skipBlanks(end);
    if (sameText(word, "include")) {
        const int nameStart = m_pos;
        while (m_pos < m_length && !isBlank(m_text[m_pos]))
            ++m_pos;
        addToken(MToken::EntryReference, nameStart, m_pos - nameStart);
        return;
    }
    // Macro bodies and conditions are the preprocessor's business: they stay plain.
    m_pos = m_length;
}

void MLineParser::parseEmbedded()
{
    const int start = m_pos;
    int pos = m_pos + 1;
    while (pos < m_length && isLetter(m_text[pos]))
        ++pos;
    const QChar open = at(pos);
    const QChar close = open == u'(' ? u')' : open == u'<' ? u'>' : QChar();
    if (close.isNull()) {
        emitError(start, pos - start);
        m_pos = pos;
        return;
    }
    // At command position: the server compiles it to code of its own, so it counts as one
    // command (a breakpoint can stop on it).
    const size_t command = m_line->commands.size();
    m_line->commands.emplace_back(start, start, nullptr);
    scanEmbedded(start, pos, open, close, 0);
    m_line->commands[command].end = m_pos - 1;
}

// Skips embedded code from `pos` to the bracket that closes it; an open one carries on to the
// next line.
void MLineParser::scanEmbedded(int start, int pos, QChar open, QChar close, int depth)
{
    QChar quote; // the quote of the literal being skipped; SQL quotes with ' as well
    for (; pos < m_length; ++pos) {
        const QChar c = m_text[pos];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'"' || (c == u'\'' && close == u')')) {
            quote = c;
            continue;
        }
        if (c == open)
            ++depth;
        else if (c == close && --depth == 0)
            break;
    }
    const int end = pos < m_length ? pos + 1 : m_length;
    addToken(MToken::Embedded, start, end - start);
    m_pos = end;
    m_sawCode = true;
    if (pos >= m_length)
        m_line->endsInEmbedded = EmbeddedState::encode(depth, close == u'>');
}

// "IF x{": the "{" that ends the arguments of a block command opens its block, unless it
// stands inside parentheses or an object literal of the arguments.
bool MLineParser::opensBlock(int pos) const
{
    return m_blockArguments && at(pos) == u'{' && m_literalBraces == 0 && m_openParens.empty();
}

// "$$$ThrowOnError(sc)": a macro standing where a command stands expands to commands, so it
// counts as one.
void MLineParser::parseMacroStatement()
{
    const int start = m_pos;
    m_sawCode = true;
    m_blockArguments = false;
    m_openParens.clear();
    m_literalBraces = 0;
    while (m_pos < m_length && !(endsArgument(m_text[m_pos]) && m_openParens.empty())
           && !closesBlock(m_pos))
        parseExpressionToken();
    closeOpenParentheses();
    m_line->commands.emplace_back(start, m_pos - 1, nullptr);
}

void MLineParser::parseCommand()
{
    const int start = m_pos;
    int end = m_pos;
    while (end < m_length && isLetter(m_text[end]))
        ++end;
    const QStringView word(m_text + start, end - start);
    const MCommand *command = MCommandTable::lookup(word, m_options.objectScript);
    m_sawCode = true;
    const bool extras = m_options.mac || m_options.objectScript;
    m_blockArguments = extras && takesBlock(command);

    if (!command && m_options.objectScript && m_line->hasLabel
        && (sameText(word, "public") || sameText(word, "private") || sameText(word, "methodimpl"))) {
        // Procedure keywords after a label's formal list, not commands.
        addToken(MToken::Command, start, end - start);
        m_pos = end;
        return;
    }

    addToken(command ? MToken::Command : MToken::Error, start, end - start);
    if (m_options.collectTips && command)
        m_line->tips.push_back({MTipItem::CommandWord, start, end - start, -1, command});
    m_pos = end;
    m_openParens.clear();
    m_routineDepth = -1;
    m_literalBraces = 0;

    int lastCodeChar = end - 1;
    if (at(m_pos) == u':') {
        addToken(MToken::Delimiter, m_pos, 1);
        ++m_pos;
        const int conditionStart = m_pos;
        while (m_pos < m_length && !(endsArgument(m_text[m_pos]) && m_openParens.empty())
               && !closesBlock(m_pos))
            parseExpressionToken();
        if (m_pos == conditionStart)
            m_tokens[m_tokenCount - 1].cls = MToken::Error; // ":" with no condition after it
        else if (m_strict)
            flagDanglingOperator();
        closeOpenParentheses();
        lastCodeChar = m_pos - 1;
    }

    const bool blockFollows = extras && at(m_pos) == u'{' && command
            && (command->kind == MCommand::NoArguments || m_blockArguments
                || std::strcmp(command->name, "DO") == 0);
    if (!atEnd() && (at(m_pos) == u';' || closesBlock(m_pos) || blockFollows)) {
        // GT.M takes a comment straight after a command ("Do;"), ObjectScript the end of
        // a block ("{Quit}") or its start ("}ELSE{"): argumentless.
    } else if (!atEnd() && !isBlank(at(m_pos))) {
        // A command word runs straight into something that is not a blank.
        const int junk = m_pos;
        while (m_pos < m_length && !isBlank(m_text[m_pos]))
            ++m_pos;
        emitError(junk, m_pos - junk);
        lastCodeChar = m_pos - 1;
    } else if (!atEnd()) {
        const QChar after = at(m_pos + 1);
        const bool argumentless = m_pos + 1 >= m_length || isBlank(after) || after == u';'
                || ((m_options.mac || m_options.objectScript) && after == u'{')
                || closesBlock(m_pos + 1)
                || (m_options.mac && after == u'/' && (at(m_pos + 2) == u'/' || at(m_pos + 2) == u'*'))
                || (m_options.mac && after == u'#'
                    && (at(m_pos + 2) == u';' || (at(m_pos + 2) == u'#' && at(m_pos + 3) == u';')));
        if (!argumentless && command && command->kind == MCommand::NoArguments) {
            // "ELSE WRITE 1": a command that takes no argument needs two blanks before the
            // next one; what follows one blank is refused as its argument.
            const int tokens = m_tokenCount;
            const size_t tips = m_line->tips.size();
            ++m_pos;
            const int junk = m_pos;
            parseArguments(command);
            m_tokenCount = tokens;
            m_line->tips.resize(tips);
            emitError(junk, m_pos - junk);
            lastCodeChar = m_pos - 1;
        } else if (!argumentless) {
            ++m_pos;
            parseArguments(command);
            int last = m_pos - 1;
            while (last > lastCodeChar && isBlank(m_text[last]))
                --last;
            lastCodeChar = last;
        }
    }
    m_line->commands.emplace_back(start, lastCodeChar, command);
}

void MLineParser::parseArguments(const MCommand *command)
{
    const MCommand::Kind kind = command ? command->kind : MCommand::Plain;
    const bool zBreak = command && command->name[0] == 'Z' && command->name[1] == 'B'; // ZBREAK
    bool argumentStart = true;
    m_openParens.clear();
    m_routineDepth = -1;
    m_literalBraces = 0;
    while (m_pos < m_length) {
        const QChar c = m_text[m_pos];
        if ((endsArgument(c) && m_openParens.empty()) || closesBlock(m_pos)
            || (m_blockArguments && opensBlock(m_pos))) {
            if (m_options.objectScript && isBlank(c) && m_openParens.empty() && continuesAfterBlank()) {
                m_pos = skipBlanks(m_pos); // "Set x = 1": blanks around operators paint plain
                continue;
            }
            break;
        }
        if (argumentStart) {
            argumentStart = false;
            if (kind == MCommand::EntryRefs) {
                if (zBreak && at(m_pos) == u'-') {
                    // "ZB -X^R" removes a breakpoint, "ZB -*" all of them.
                    addToken(MToken::Operator, m_pos++, 1);
                    if (at(m_pos) == u'*') {
                        addToken(MToken::EntryReference, m_pos++, 1);
                        continue;
                    }
                }
                parseEntryReference(false);
                continue;
            }
            if (kind == MCommand::Formatted) {
                // Format controls: new line, new page, tab to column, character code, mnemonic.
                QChar f = at(m_pos);
                while (f == u'!' || f == u'#') {
                    addToken(MToken::Operator, m_pos, 1);
                    f = at(++m_pos);
                }
                if (f == u'?' || f == u'*') {
                    addToken(MToken::Operator, m_pos, 1);
                    ++m_pos;
                } else if (f == u'/' && isLetter(at(m_pos + 1))) {
                    addToken(MToken::Operator, m_pos, 1);
                    const int end = nameEnd(m_pos + 1);
                    addToken(MToken::Intrinsic, m_pos + 1, end - m_pos - 1);
                    m_pos = end;
                }
                m_formatEnd = m_pos;
                continue;
            }
        }
        if (c == u',' && m_openParens.empty()) {
            addToken(MToken::Delimiter, m_pos, 1);
            ++m_pos;
            m_routineDepth = -1;
            argumentStart = true;
            continue;
        }
        parseExpressionToken();
    }
    if (m_strict)
        flagDanglingOperator();
    closeOpenParentheses();
}

// ObjectScript lets blanks stand around operators and after commas ("Set x = a + 1, y = 2"):
// at a blank outside parentheses the argument goes on when an operator follows the blanks, or
// when an operator or a comma comes right before them. Comments, embedded code and braces
// after the blanks end it as usual.
bool MLineParser::continuesAfterBlank() const
{
    const int next = skipBlanks(m_pos);
    if (next >= m_length)
        return false;
    const QChar n = m_text[next];
    const QChar n1 = at(next + 1);
    if (n == u'/' && (n1 == u'/' || n1 == u'*'))
        return false;
    if (n == u'#' && (n1 == u';' || (n1 == u'#' && at(next + 2) == u';')))
        return false;
    if (n == u'&' && isLetter(n1)) {
        int end = next + 1;
        while (isLetter(at(end)))
            ++end;
        if (at(end) == u'(' || at(end) == u'<')
            return false; // "&sql(": embedded code at command position
    }
    if (n == u'|')
        return n1 == u'|';
    if (isOperatorChar(n) || n == u'?' || n == u',')
        return true;
    if (m_tokenCount == 0)
        return false;
    const MTokenSpan &last = m_tokens[m_tokenCount - 1];
    if (last.start + last.length != m_pos || last.start + last.length == m_formatEnd)
        return false;
    const QChar lastChar = m_text[m_pos - 1];
    // "]" may close a JSON array ("Set y=[1,2] Quit") as well as be "follows".
    return (last.cls == MToken::Operator && lastChar != u'@' && lastChar != u']')
            || (last.cls == MToken::Delimiter && lastChar == u',');
}

void MLineParser::closeOpenParentheses()
{
    for (const OpenParen &open : m_openParens)
        m_tokens[open.token].cls = MToken::Error;
    m_openParens.clear();
}

// An argument list or condition that ends right after an operator or a comma has lost an
// operand ("S X= ;", "K A,B, Q", "S X=A_"). The server's compiler points at the blank or the
// end of the line where the operand should be, so the error covers the operator and that
// blank.
void MLineParser::flagDanglingOperator()
{
    if (m_tokenCount == 0)
        return;
    MTokenSpan &last = m_tokens[m_tokenCount - 1];
    if (last.start + last.length != m_pos)
        return;
    const QChar lastChar = m_text[m_pos - 1];
    bool dangling = false;
    if (last.cls == MToken::Operator) {
        // WRITE's new line and new page stand alone.
        const bool formatControl = m_pos == m_formatEnd && (lastChar == u'!' || lastChar == u'#');
        dangling = !formatControl;
    } else {
        dangling = last.cls == MToken::Delimiter && lastChar == u',';
    }
    if (!dangling)
        return;
    last.cls = MToken::Error;
    if (m_pos < m_length && isBlank(m_text[m_pos]))
        ++last.length; // the blank stays where it is: it still ends the arguments
}

void MLineParser::flagBlanksInParentheses()
{
    const int start = m_pos;
    m_pos = skipBlanks(m_pos);
    emitError(start, m_pos - start);
}

// A "%" or letters straight after a name or number: "%" only ever starts a name.
void MLineParser::flagNameAfterName()
{
    const int start = m_pos;
    int end = m_pos + 1;
    while (end < m_length && isNameChar(m_text[end]))
        ++end;
    emitError(start, end - start);
    m_pos = end;
}

bool MLineParser::endsOperand(int pos) const
{
    if (pos < 0)
        return false;
    const QChar c = m_text[pos];
    return isNameChar(c) || c == u')' || c == u'"';
}

// The "^" after an indirect label or offset: the routine, by name or by indirection.
void MLineParser::parseRoutineOfEntryReference()
{
    m_routineDepth = -1;
    const QChar next = at(m_pos + 1);
    if (isNameStart(next)) {
        const int end = nameEnd(m_pos + 1);
        addToken(MToken::EntryReference, m_pos, end - m_pos);
        m_pos = end;
    } else if (next == u'@') {
        addToken(MToken::EntryReference, m_pos++, 1);
    } else {
        parseGlobal(); // "^|env|R", or refused there
    }
}

void MLineParser::parseParenthesis()
{
    if (m_text[m_pos] == u'(') {
        m_openParens.emplace_back(m_tokenCount, -1);
        addToken(MToken::Delimiter, m_pos++, 1);
        return;
    }
    if (m_openParens.empty()) {
        emitError(m_pos++, 1);
        return;
    }
    const OpenParen closed = m_openParens.back();
    m_openParens.pop_back();
    if (m_routineDepth > int(m_openParens.size()))
        m_routineDepth = -1;
    // "$S(A)", "$S(A:1,B)": the last argument has a condition and no value.
    addToken(closed.selectColons == 0 ? MToken::Error : MToken::Delimiter, m_pos++, 1);
}

void MLineParser::parseSeparator()
{
    const bool colon = m_text[m_pos] == u':';
    const int depth = int(m_openParens.size());
    if (m_routineDepth == depth)
        m_routineDepth = -1;
    if (depth > 0 && m_openParens.back().selectColons >= 0) {
        // Every $SELECT argument is one condition:value pair.
        int &colons = m_openParens.back().selectColons;
        const bool wrong = colon ? colons > 0 : colons == 0;
        colons = colon ? colons + 1 : 0;
        if (wrong) {
            emitError(m_pos++, 1);
            return;
        }
    }
    addToken(MToken::Delimiter, m_pos++, 1);
}

// Standard M has "." only in numbers and before a parameter passed by reference
// ("D X(.A)", "$$F(1,.B)"); "obj.member" is ObjectScript.
void MLineParser::parseDot()
{
    if (m_strict) {
        const QChar before = m_pos > 0 ? m_text[m_pos - 1] : QChar();
        const QChar after = at(m_pos + 1);
        const bool byReference = !m_openParens.empty() && (before == u'(' || before == u',')
                && (isNameStart(after) || after == u'@');
        if (!byReference) {
            emitError(m_pos++, 1);
            return;
        }
    }
    addToken(MToken::Delimiter, m_pos++, 1);
}

void MLineParser::parseExpressionToken()
{
    const QChar c = m_text[m_pos];
    const char16_t u = c.unicode();
    if (u == '"') {
        parseString();
    } else if (isDigit(c) || (u == '.' && isDigit(at(m_pos + 1)))) {
        parseNumber();
    } else if (isNameStart(c)) {
        if (m_strict && u == '%' && m_pos > 0 && isNameChar(m_text[m_pos - 1]))
            flagNameAfterName(); // "X%": "%" only starts a name
        else
            parseLocal();
    } else if (u == '^') {
        if (m_routineDepth == int(m_openParens.size()) && endsOperand(m_pos - 1))
            parseRoutineOfEntryReference();
        else
            parseGlobal();
    } else if (u == '$') {
        parseDollar();
    } else if (u == '(' || u == ')') {
        parseParenthesis();
    } else if (u == ',' || u == ':') {
        parseSeparator();
    } else if (u == '.') {
        parseDot();
    } else if (u == '@') {
        addToken(MToken::Operator, m_pos++, 1);
    } else if (u == '?') {
        addToken(MToken::Operator, m_pos++, 1);
        parsePattern();
    } else if (u == '#' && at(m_pos + 1) == u'#' && isLetter(at(m_pos + 2))) {
        parseClassReference();
    } else if (isOperatorChar(c)) {
        const int start = m_pos;
        while (m_pos < m_length && isOperatorChar(m_text[m_pos])) {
            if (m_text[m_pos] == u'#' && at(m_pos + 1) == u'#' && isLetter(at(m_pos + 2)))
                break;
            ++m_pos;
        }
        addToken(MToken::Operator, start, m_pos - start);
    } else if (isBlank(c)) {
        if (m_strict)
            flagBlanksInParentheses();
        else
            ++m_pos; // ObjectScript: blanks inside parentheses paint plain
    } else if ((u == '{' || u == '}') && (m_options.objectScript || m_options.mac)) {
        if (u == '{')
            ++m_literalBraces;
        else if (m_literalBraces > 0)
            --m_literalBraces;
        addToken(MToken::Delimiter, m_pos++, 1);
    } else if (u == '|' && at(m_pos + 1) == u'|' && (m_options.objectScript || m_options.mac)) {
        addToken(MToken::Operator, m_pos, 2); // ObjectScript's short-circuit OR
        m_pos += 2;
    } else {
        emitError(m_pos++, 1);
    }
}

// "##class(...)", "##super(...)". Kept out of the expression loop, which GT.M code runs hot.
Q_NEVER_INLINE void MLineParser::parseClassReference()
{
    const int end = nameEnd(m_pos + 2);
    addToken(MToken::Extrinsic, m_pos, end - m_pos);
    const bool className = sameText(QStringView(m_text + m_pos + 2, end - m_pos - 2), "class");
    m_pos = end;
    if (className && at(m_pos) == u'(')
        parseClassName();
}

// "##class(Pkg.Cls)": the names in the parentheses make a class name, no variables to show.
void MLineParser::parseClassName()
{
    m_openParens.emplace_back(m_tokenCount, -1);
    addToken(MToken::Delimiter, m_pos++, 1);
    while (isNameStart(at(m_pos)) || at(m_pos) == u'.') {
        if (at(m_pos) == u'.') {
            addToken(MToken::Delimiter, m_pos++, 1);
            continue;
        }
        const int end = nameEnd(m_pos);
        addToken(MToken::LocalVariable, m_pos, end - m_pos);
        m_pos = end;
    }
    if (at(m_pos) == u')') {
        m_openParens.pop_back();
        addToken(MToken::Delimiter, m_pos++, 1);
    }
}

void MLineParser::parseString()
{
    // Strings in M lines are short: a plain loop beats a library search set up per string.
    const int start = m_pos;
    for (int pos = m_pos + 1; pos < m_length; ++pos) {
        if (m_text[pos] != u'"')
            continue;
        if (pos + 1 < m_length && m_text[pos + 1] == u'"') {
            ++pos; // a doubled quote stands for one
            continue;
        }
        addToken(MToken::String, start, pos + 1 - start);
        m_pos = pos + 1;
        return;
    }
    emitError(start, m_length - start);
    m_pos = m_length;
}

void MLineParser::parseNumber()
{
    const int start = m_pos;
    int pos = m_pos;
    while (pos < m_length && isDigit(m_text[pos]))
        ++pos;
    // "1." is a number in standard M too; a second "." is not part of it ("2042.5.01").
    if (at(pos) == u'.' && (isDigit(at(pos + 1)) || (m_strict && pos > start))) {
        ++pos;
        while (pos < m_length && isDigit(m_text[pos]))
            ++pos;
    }
    if (at(pos) == u'E' || at(pos) == u'e') {
        int exponent = pos + 1;
        if (at(exponent) == u'+' || at(exponent) == u'-')
            ++exponent;
        if (isDigit(at(exponent))) {
            pos = exponent;
            while (pos < m_length && isDigit(m_text[pos]))
                ++pos;
        }
    }
    addToken(MToken::Number, start, pos - start);
    m_pos = pos;
    if (!m_strict || m_pos >= m_length)
        return;
    if (isNameStart(m_text[m_pos]))
        flagNameAfterName(); // "1E", "1A": a name cannot follow a number
    else if (m_text[m_pos] == u'.')
        emitError(m_pos++, 1); // "2042.5.01", "1..2"
}

void MLineParser::parseLocal()
{
    const int start = m_pos;
    int end = nameEnd(m_pos);
    const QChar first = m_text[start];
    if (end == start + 1 && (first == u'i' || first == u'r' || first == u'm') && at(end) == u'%'
        && isLetter(at(end + 1)) && (m_options.objectScript || m_options.mac)) {
        // "i%Prop", "r%Prop", "m%Prop": a property's storage inside its own class, no variable.
        end = nameEnd(end + 1);
        addToken(MToken::LocalVariable, start, end - start);
        m_pos = end;
        return;
    }
    addToken(MToken::LocalVariable, start, end - start);
    m_pos = end;
    if (m_options.collectTips) {
        // After "." a name is an object member ("obj.Prop", "..Prop"), not a variable;
        // "D X(.A)" passes A by reference and stays a variable; "..#PARAM" and
        // "##class(A).#PARAM" name a class parameter.
        const QChar before = start > 0 ? m_text[start - 1] : QChar();
        const QChar beforeDot = start > 1 ? m_text[start - 2] : QChar();
        const bool member = (before == u'.' && (isNameChar(beforeDot) || beforeDot == u')' || beforeDot == u'.'))
                || (before == u'#' && beforeDot == u'.');
        m_line->tips.push_back({MTipItem::Local, start, end - start,
                                member ? -1 : literalReferenceEnd(end), nullptr});
    }
}

int MLineParser::literalReferenceEnd(int nameEndPos) const
{
    if (at(nameEndPos) != u'(')
        return nameEndPos;
    int pos = nameEndPos + 1;
    while (true) {
        if (at(pos) == u'-' || at(pos) == u'+')
            ++pos;
        if (at(pos) == u'"') {
            ++pos;
            while (true) {
                if (pos >= m_length)
                    return -1;
                if (m_text[pos] == u'"') {
                    if (at(pos + 1) != u'"')
                        break;
                    ++pos;
                }
                ++pos;
            }
            ++pos;
        } else if (isDigit(at(pos)) || at(pos) == u'.') {
            const int start = pos;
            while (isDigit(at(pos)) || at(pos) == u'.')
                ++pos;
            if (pos == start + 1 && m_text[start] == u'.')
                return -1;
        } else {
            return -1;
        }
        if (at(pos) == u')')
            return pos + 1;
        if (at(pos) != u',')
            return -1;
        ++pos;
    }
}

void MLineParser::parseGlobal()
{
    const int start = m_pos;
    const QChar next = at(m_pos + 1);
    if (next == u'|' || next == u'[') {
        // Extended reference: the environment is an expression list between the brackets.
        // Each one nested in another's environment costs stack, so nesting deeper than any
        // real code does is refused.
        if (m_environmentDepth >= MaxEnvironmentDepth) {
            emitError(start, 2);
            m_pos += 2;
            return;
        }
        const int opener = m_tokenCount;
        addToken(MToken::GlobalVariable, start, 2);
        m_pos += 2;
        ++m_environmentDepth;
        const bool closed = parseEnvironmentUntil(next == u'|' ? QChar(u'|') : QChar(u']'));
        --m_environmentDepth;
        if (!closed)
            m_tokens[opener].cls = MToken::Error;
        if (isNameStart(at(m_pos))) {
            const int end = nameEnd(m_pos);
            addToken(MToken::GlobalVariable, m_pos, end - m_pos);
            m_pos = end;
        }
        return;
    }
    if (next == u'$' && isLetter(at(m_pos + 2))) {
        const int end = nameEnd(m_pos + 2);
        addToken(MToken::GlobalVariable, start, end - start);
        m_pos = end;
        return;
    }
    if (isNameStart(next)) {
        const int end = nameEnd(m_pos + 1);
        addToken(MToken::GlobalVariable, start, end - start);
        m_pos = end;
        return;
    }
    if (next == u'(') {
        addToken(MToken::GlobalVariable, start, 1); // naked reference
        ++m_pos;
        return;
    }
    // "^@X" names a routine only inside an entry reference; as a global it is refused at
    // the "@".
    const int length = next == u'@' ? 2 : 1;
    emitError(start, length);
    m_pos += length;
}

bool MLineParser::parseEnvironmentUntil(QChar closer)
{
    const size_t outerParens = m_openParens.size();
    while (m_pos < m_length) {
        const QChar c = m_text[m_pos];
        if (c == closer && m_openParens.size() == outerParens) {
            addToken(MToken::GlobalVariable, m_pos, 1);
            ++m_pos;
            return true;
        }
        if (isBlank(c) && m_openParens.size() == outerParens)
            break;
        parseExpressionToken();
    }
    return false; // no closing bracket: the caller flags the opening one
}

void MLineParser::parseDollar()
{
    const int start = m_pos;
    const QChar next = at(m_pos + 1);
    if (next == u'$') {
        if (at(m_pos + 2) == u'$') {
            const int end = nameEnd(m_pos + 3);
            if (m_options.mac && end > m_pos + 3)
                addToken(MToken::Extrinsic, start, end - start); // $$$MACRO
            else
                emitError(start, end - start);
            m_pos = end;
            return;
        }
        int pos = m_pos + 2;
        if (isDigit(at(pos))) {
            while (isDigit(at(pos)))
                ++pos;
        } else {
            pos = nameEnd(pos);
        }
        const bool hasLabel = pos > m_pos + 2;
        bool hasRoutine = false;
        if (at(pos) == u'^' && isNameStart(at(pos + 1))) {
            pos = nameEnd(pos + 1);
            hasRoutine = true;
        } else if (at(pos) == u'^' && at(pos + 1) == u'@') {
            ++pos; // $$LABEL^@ROUTINE: the indirection follows
        }
        if (!hasLabel && !hasRoutine && at(pos) != u'@' && at(pos) != u'^') {
            emitError(start, pos - start);
            m_pos = pos;
            return;
        }
        if (!hasLabel && at(pos) == u'@')
            m_routineDepth = int(m_openParens.size()); // "$$@X^@Y": the routine may follow
        addToken(MToken::Extrinsic, start, pos - start);
        if (m_options.collectTips && (hasLabel || hasRoutine) && at(pos) != u'@')
            m_line->tips.push_back({MTipItem::Extrinsic, start, pos - start, -1, nullptr});
        m_pos = pos;
        return;
    }
    if (next == u'&') {
        // External call: $&name or $&package.name
        int pos = nameEnd(m_pos + 2);
        if (at(pos) == u'.' && isNameStart(at(pos + 1)))
            pos = nameEnd(pos + 1);
        if (pos == m_pos + 2) {
            emitError(start, 2);
            m_pos += 2;
            return;
        }
        addToken(MToken::Extrinsic, start, pos - start);
        m_pos = pos;
        return;
    }
    if (isLetter(next)) {
        const int end = nameEnd(m_pos + 1);
        addToken(MToken::Intrinsic, start, end - start);
        if (m_options.collectTips)
            m_line->tips.push_back({MTipItem::Intrinsic, start, end - start, -1, nullptr});
        m_pos = end;
        const QStringView name(m_text + start + 1, end - start - 1);
        if (at(m_pos) != u'(')
            return;
        if (sameText(name, "t") || sameText(name, "text")) {
            m_openParens.emplace_back(m_tokenCount, -1);
            addToken(MToken::Delimiter, m_pos++, 1);
            parseEntryReference(true);
        } else if (m_strict && (sameText(name, "s") || sameText(name, "select"))) {
            m_openParens.emplace_back(m_tokenCount, 0);
            addToken(MToken::Delimiter, m_pos++, 1);
        }
        return;
    }
    emitError(start, 1);
    ++m_pos;
}

void MLineParser::parseEntryReference(bool insideText)
{
    const int start = m_pos;
    if (at(m_pos) == u'@') {
        // An indirect label ("@X", "@X+1"): the expression lexer takes it, and a "^" after
        // it still names the routine.
        m_routineDepth = int(m_openParens.size());
        return;
    }
    bool hasLabel = false;
    bool hasOffset = false;
    bool hasRoutine = false;
    int pos = m_pos;
    if (isDigit(at(pos))) {
        while (isDigit(at(pos)))
            ++pos;
        hasLabel = true;
    } else if (isNameStart(at(pos))) {
        pos = nameEnd(pos);
        if (at(pos) == u'.')
            return; // ObjectScript "obj.Method()": an expression, not a label
        hasLabel = true;
    }
    if (hasLabel) {
        addToken(MToken::EntryReference, m_pos, pos - m_pos);
        m_pos = pos;
    }
    if (at(m_pos) == u'+') {
        hasOffset = true;
        addToken(MToken::Operator, m_pos++, 1);
        if (isDigit(at(m_pos))) {
            parseNumber();
        } else if (isNameStart(at(m_pos))) {
            parseLocal();
        } else {
            // "+@X", "+$I(N)": the expression lexer takes the offset, the routine may follow.
            m_routineDepth = int(m_openParens.size());
            return;
        }
    }
    if (at(m_pos) == u'^') {
        const QChar next = at(m_pos + 1);
        if (isNameStart(next)) {
            const int end = nameEnd(m_pos + 1);
            addToken(MToken::EntryReference, m_pos, end - m_pos);
            m_pos = end;
            hasRoutine = true;
        } else if (next == u'@') {
            addToken(MToken::EntryReference, m_pos++, 1);
            return;
        } else if (next == u'|' || next == u'[') {
            parseGlobal(); // routine in another environment
            return;
        } else {
            emitError(m_pos++, 1);
            return;
        }
    }
    if (m_options.collectTips && !insideText && !hasOffset && (hasLabel || hasRoutine))
        m_line->tips.push_back({MTipItem::EntryReference, start, m_pos - start, -1, nullptr});
}

void MLineParser::parsePattern()
{
    if (at(m_pos) == u'@')
        return; // pattern indirection
    const int questionMark = m_tokenCount - 1;
    int depth = 0;
    bool any = false;
    while (m_pos < m_length) {
        const QChar c = m_text[m_pos];
        if (depth > 0 && c == u',') {
            addToken(MToken::Delimiter, m_pos++, 1);
            continue;
        }
        if (depth > 0 && c == u')') {
            addToken(MToken::Delimiter, m_pos++, 1);
            --depth;
            continue;
        }
        if (!isDigit(c) && c != u'.')
            break;
        const int countStart = m_pos;
        while (isDigit(at(m_pos)) || at(m_pos) == u'.')
            ++m_pos;
        addToken(MToken::Pattern, countStart, m_pos - countStart);
        any = true;
        const QChar code = at(m_pos);
        if (isLetter(code)) {
            const int codeStart = m_pos;
            while (isLetter(at(m_pos)))
                ++m_pos;
            addToken(MToken::Pattern, codeStart, m_pos - codeStart);
        } else if (code == u'"') {
            parseString();
        } else if (code == u'(') {
            addToken(MToken::Delimiter, m_pos++, 1);
            ++depth;
        } else {
            emitError(countStart, m_pos - countStart);
            return;
        }
    }
    if (!any || depth > 0)
        m_tokens[questionMark].cls = MToken::Error;
}
