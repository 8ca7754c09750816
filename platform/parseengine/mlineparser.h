#pragma once

#include "mcommandtable.h"

#include <QStringView>

#include <vector>

struct MTokenSpan
{
    int cls;    // MToken::Class
    int start;  // 0-based column
    int length;
};

// One command of a line: its word, postconditional and arguments, 0-based and inclusive.
struct MCommandSpan
{
    int start;
    int end;
    const MCommand *command; // nullptr for a word the table does not know
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
    std::vector<MTokenSpan> tokens; // in column order, never overlapping
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
// characters that belong nowhere).
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

    MParsedLine parse(QStringView text, const Options &options);

private:
    static constexpr int MaxEnvironmentDepth = 16;

    QChar at(int pos) const { return pos < m_length ? m_text[pos] : QChar(); }
    bool atEnd() const { return m_pos >= m_length; }
    void addToken(int cls, int start, int length);
    void emitError(int start, int length);

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
    Options m_options;
    std::vector<int> m_openParens;   // token indexes of "(" not yet closed in this command
    int m_braceDepth = 0;            // MAC: running brace depth
    int m_literalBraces = 0;         // "{" of an object literal open in this command's arguments
    int m_environmentDepth = 0;      // extended references being parsed inside one another
    bool m_sawCode = false;          // a "}" only lowers the line's own depth before other code
    int m_formatEnd = -1;            // end of the last WRITE/READ format control ("!", "#", "?")
    bool m_blockArguments = false;   // ObjectScript: the command's arguments may end in "{" (IF x{)
};
