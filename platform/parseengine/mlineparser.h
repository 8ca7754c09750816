#pragma once

#include "mcommandtable.h"
#include "mtoken.h"

#include <QStringView>

#include <vector>

struct MTokenSpan
{
    // Leaves the fields unset: the room of a token list is made before its slots are filled,
    // and zeroing them first would cost as much as a short parse.
    MTokenSpan() {} // not "= default": that would zero them
    MTokenSpan(int tokenClass, int tokenStart, int tokenLength)
        : cls(tokenClass), start(tokenStart), length(tokenLength)
    {
    }
    int cls;    // MToken::Class
    int start;  // 0-based column
    int length;
};

// The tokens of a line. Its room only ever grows, so that a parser filling the same list
// line after line neither allocates nor sizes a vector up and down for each one.
class MTokenList
{
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const MTokenSpan *data() const { return m_room.data(); }
    const MTokenSpan *begin() const { return m_room.data(); }
    const MTokenSpan *end() const { return m_room.data() + m_size; }
    const MTokenSpan &operator[](size_t i) const { return m_room[i]; }

private:
    friend class MLineParser;
    std::vector<MTokenSpan> m_room;
    size_t m_size = 0;
};

// One command of a line: its word, postconditional and arguments, 0-based and inclusive.
// Built in place (emplace_back with this constructor): a brace-built temporary copied into
// the vector makes the processor wait on its own stores.
struct MCommandSpan
{
    MCommandSpan() = default;
    MCommandSpan(int commandStart, int commandEnd, const MCommand *word)
        : start(commandStart), end(commandEnd), command(word)
    {
    }
    int start = 0;
    int end = 0;
    const MCommand *command = nullptr; // nullptr for a word the table does not know
};

// Something under the mouse pointer that deserves a tip (only collected when asked for).
struct MTipItem
{
    enum Kind { Local, Extrinsic, EntryReference, CommandWord, Intrinsic };
    Kind kind;
    int start;
    int length;
    int referenceEnd;        // Local: end (exclusive) of the name with literal subscripts, -1 when unsafe
    const MCommand *command; // CommandWord
};

struct MParsedLine
{
    MTokenList tokens;              // in column order, never overlapping
    std::vector<MCommandSpan> commands;
    std::vector<MTipItem> tips;
    bool hasLabel = false;
    int dotLevel = 0;
    int dotToken = -1;              // index of the dot-prefix token, -1 when the line has no dots
    int leadingCloses = 0;          // MAC: "}" that come before any other code on the line
    int braceDepthEnd = 0;          // MAC: brace depth after the line
    bool endsInBlockComment = false; // MAC: a "/*" comment is still open at the end of the line
    int endsInEmbedded = 0;          // MAC: "&sql(" or "&js<" code still open (EmbeddedState)
};

// Splits one M line into tokens and commands. Lexical only: it does not evaluate, knows no
// precedence and checks no variable, but finds everything the server's compiler would refuse
// that can be seen on one line (unterminated strings, unbalanced parentheses, unknown commands,
// characters that belong nowhere). On platforms without ObjectScript it also refuses what
// standard M forbids and ObjectScript allows or extends: blanks inside parentheses, an
// operator or comma with nothing after it, a "." that is neither part of a number nor a
// by-reference parameter ("obj.member"), "%" inside a name, malformed numbers, and $SELECT
// arguments that are not one condition:value pair each.
//
// Every line gets at least one token, a plain one over an empty or blank line, so that a
// caller keeping tokens can tell a parsed line from one never parsed.
class MLineParser
{
public:
    // Embedded code ("&sql(" ... ")") runs over as many lines as it likes; what the next line
    // needs to go on is how many brackets are open and which kind closes them.
    struct EmbeddedState
    {
        static int encode(int depth, bool angle) { return depth > 0 ? depth * 2 + (angle ? 1 : 0) : 0; }
        static int depth(int state) { return state / 2; }
        static bool angle(int state) { return (state & 1) != 0; }
    };

    struct Options
    {
        bool mac = false;            // MAC/INC source: comments, directives, braces, macros
        bool objectScript = true;    // the platform speaks ObjectScript (extra commands, braces)
        bool collectTips = false;
        bool inBlockComment = false; // MAC: the line starts inside a "/*" comment
        int openEmbedded = 0;        // MAC: the line starts inside "&sql(...)" code (EmbeddedState)
        int braceDepth = 0;          // MAC: brace depth before the line
        bool dotsOnly = false;       // stop after the dot prefix: only dotLevel is wanted
    };

    // Fills `line`, reusing the room its vectors already have.
    void parse(QStringView text, const Options &options, MParsedLine &line);
    MParsedLine parse(QStringView text, const Options &options)
    {
        MParsedLine line;
        parse(text, options, line);
        return line;
    }

private:
    static constexpr int MaxEnvironmentDepth = 16;

    struct OpenParen
    {
        OpenParen(int parenToken, int colons) : token(parenToken), selectColons(colons) {}
        int token;        // index of the "(" token, flagged when it is never closed
        int selectColons; // $SELECT: colons in the current pair; -1 for any other parenthesis
    };

    QChar at(int pos) const { return pos < m_length ? m_text[pos] : QChar(); }
    bool atEnd() const { return m_pos >= m_length; }
    // Every token goes through here, so the common case stays inline.
    void addToken(int cls, int start, int length)
    {
        if (cls == MToken::Error)
            emitError(start, length);
        else if (length > 0 && !m_options.dotsOnly)
            pushToken(cls, start, length);
    }
    void emitError(int start, int length);
    // Field by field into a slot of the line's list: a temporary copied in whole would be
    // read back wider than it was written, and that stalls the processor on every token.
    void pushToken(int cls, int start, int length)
    {
        if (m_tokenCount == m_tokenRoom)
            growTokens();
        MTokenSpan &token = m_tokens[m_tokenCount++];
        token.cls = cls;
        token.start = start;
        token.length = length;
    }
    void growTokens();

    void parseLineStart();
    void parseLabel();
    void parseBody();
    void parseCommands();
    bool parseCommandPositionExtra();
    void parseCommand();
    void parseMacroStatement();
    bool closesBlock(int pos) const;
    bool opensBlock(int pos) const;
    bool continuesAfterBlank() const;
    void parseArguments(const MCommand *command);
    void parseExpressionToken();
    void parseClassReference();
    void parseClassName();
    void parseString();
    void parseNumber();
    void parseLocal();
    void parseGlobal();
    void parseDollar();
    void parsePattern();
    void parseEntryReference(bool insideText);
    void parseRoutineOfEntryReference();
    bool endsOperand(int pos) const;
    void parseParenthesis();
    void parseSeparator();
    void parseDot();
    void flagDanglingOperator();
    void flagBlanksInParentheses();
    void flagNameAfterName();
    bool parseEnvironmentUntil(QChar closer);
    void closeOpenParentheses();
    void parseBlockComment(bool opening); // at "/*", or at the start of a line inside one
    void parseDirective();
    void parseEmbedded();
    void scanEmbedded(int start, int pos, QChar open, QChar close, int depth);
    int literalReferenceEnd(int nameEnd) const;
    int skipBlanks(int pos) const;
    int nameEnd(int pos) const;

    const QChar *m_text = nullptr;
    int m_length = 0;
    int m_pos = 0;                   // next character to look at
    MParsedLine *m_line = nullptr;   // the result being filled
    MTokenSpan *m_tokens = nullptr;  // its token list's slots while the line is parsed
    int m_tokenCount = 0;            //   how many are filled
    int m_tokenRoom = 0;             //   how many there are
    Options m_options;
    bool m_strict = false;           // standard M only: no ObjectScript, no MAC extras
    bool m_braces = false;           // ObjectScript or MAC: "{" and "}" open and close blocks
    std::vector<OpenParen> m_openParens; // "(" not yet closed in this command
    int m_routineDepth = -1;         // parenthesis depth at which a "^" names the routine of an
                                     //   entry reference whose label or offset was an
                                     //   expression ("D @X^@Y", "$T(+$I(N)^R)"); -1 none
    int m_braceDepth = 0;            // MAC: running brace depth
    int m_literalBraces = 0;         // "{" of an object literal open in this command's arguments
    int m_environmentDepth = 0;      // extended references being parsed inside one another
    bool m_sawCode = false;          // a "}" only lowers the line's own depth before other code
    int m_formatEnd = -1;            // end of the last WRITE/READ format control ("!", "#", "?")
    bool m_blockArguments = false;   // ObjectScript: the command's arguments may end in "{" (IF x{)
};
