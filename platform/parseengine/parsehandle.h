#pragma once

#include "linestore.h"
#include "mlineparser.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// Everything one engine session handle owns: the parser properties the routine document set,
// the routine's text by serial, and the last parse of each line. Every member answers with the
// text the corresponding entry returns, including its "cannot answer" value.
class ParseHandle
{
public:
    ParseHandle();

    void setProperty(const QString &name, const QString &value);
    // The stored value; when the property was never set, the platform's own value where
    // the engine knows one ("lenLABEL": 31 on GT.M and Cache), else `fallback`.
    QString property(const QString &name, const QString &fallback) const;
    void setTable(const QString &platform, bool unicode, const QString &nameTable);

    // The line's text is the first `length` characters of `text`.
    QString textSet(int serial, const QString &text, int length, int previous);
    QString textKill(int serial, int previous, int count);

    QString begin(int statementSerial, int carriedState, QStringView text, int requestedSerial);
    QString prime(int serial, int carriedState);

    QString commandToRange(int serial, int command);
    QString positionToCommandRange(int serial, int position);
    QString positionToCommandEnd(int serial, int position);
    QString positionToCommand(int serial, int position);
    QString positionToTip(int serial, int column);

    // Statements longer than this stop with the InBlockComment state bit and go on in the
    // next statement, so one unclosed "/*" never makes every edit reparse the whole routine.
    static constexpr int MaxStatementLines = 200;

private:
    struct Context
    {
        bool inBlockComment = false;
        int braceDepth = 0;
        int openEmbedded = 0;
        bool operator==(const Context &other) const
        {
            return inBlockComment == other.inBlockComment && braceDepth == other.braceDepth
                    && openEmbedded == other.openEmbedded;
        }
    };
    struct Shape
    {
        int depth = 0;
        bool blockStart = false;
    };
    struct StatementLine
    {
        int serial;
        LineStore::Line *line;
        Shape shape;
    };

    void updateMode();
    void textChanged();
    MLineParser::Options options(const Context &context) const;
    const MParsedLine &parsed(int serial, LineStore::Line &line, const Context &context);
    const MParsedLine &parsed(int serial, LineStore::Line &line);
    // Asked for every line around each parse and nearly always current: the check stays
    // inline, the work does not.
    void summarize(LineStore::Line &line, const Context &context)
    {
        if (line.summaryStamp != m_stamp || !summaryMatches(line, context))
            resummarize(line, context);
    }
    void resummarize(LineStore::Line &line, const Context &context);
    static bool summaryMatches(const LineStore::Line &line, const Context &context)
    {
        return line.summaryInBlockComment == context.inBlockComment
                && line.summaryBraceDepth == context.braceDepth
                && line.summaryOpenEmbedded == context.openEmbedded;
    }
    static void setSummaryContext(LineStore::Line &line, const Context &context)
    {
        line.summaryInBlockComment = context.inBlockComment;
        line.summaryBraceDepth = context.braceDepth;
        line.summaryOpenEmbedded = context.openEmbedded;
    }
    // Outside MAC source every line starts in the same context: no walk up the text.
    Context contextBefore(const LineStore::Line &line) { return m_mac ? macContextBefore(line) : Context(); }
    Context macContextBefore(const LineStore::Line &line);
    Context contextAfter(const LineStore::Line &line) const
    {
        Context context;
        if (m_mac) {
            context.inBlockComment = line.endsInBlockComment;
            context.braceDepth = line.braceDepthEnd;
            context.openEmbedded = line.endsInEmbedded;
        }
        return context;
    }
    Shape shape(LineStore::Line &line);
    int commandAt(const LineStore::Line &line, const MParsedLine &parsed, int column) const;
    char16_t *replyRoom(size_t parts);
    void appendLineItem(int serial, LineStore::Line &line, const Shape &lineShape);

    QHash<QString, QString> m_properties;
    QString m_platform;            // from SetTable^PName
    bool m_mac = false;            // ParseTable ends in ".mac": MAC/INC source
    bool m_objectScript = true;    // platform speaks ObjectScript (also when nothing is known yet)
    bool m_longLabels = false;     // platform keeps 31 characters of a label, not 8
    LineStore m_lines;
    std::uint64_t m_stamp = 1;     // summaries and parses made under another stamp are stale
    MLineParser m_parser;

    // The last full parse: queries come in runs on one line (the lexer's reply, then the
    // document's Pos2Cmd/Cmd2Rng), so one is enough and memory stays small.
    int m_cachedSerial = 0;
    std::uint64_t m_cachedTextVersion = 0;
    std::uint64_t m_cachedStamp = 0;
    Context m_cachedContext;
    MParsedLine m_cached;
    MParsedLine m_dots;            // room for the dot prefixes of the lines around a parse

    // Room reused by every Begin^PARSE: the statement's lines and the reply being written.
    std::vector<StatementLine> m_statement;
    QString m_reply;               // shared with the caller until it lets go of the reply
    size_t m_replyLength = 0;
};
