#pragma once

#include "mlineparser.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>

// The engine's copy of one routine's text: lines named by the serials the lexer hands out,
// kept in document order through previous/next links. Serials are never reused by the lexer,
// but a known serial may come again (a reload, a re-sent line): it then moves and takes the
// new text.
class LineStore
{
public:
    struct Line
    {
        QString text;
        int previous = 0; // 0: first line
        int next = 0;     // 0: last line

        // The last parse of this line and what it was made from; owned by the handle.
        std::unique_ptr<MParsedLine> parsed;
        std::uint64_t parsedStamp = 0;     // 0: not parsed since the text last changed
        bool parsedInBlockComment = false; // MAC context the parse started from
        int parsedBraceDepth = 0;
        int reportedBlockStart = -1;       // block-start flag last sent to the lexer, -1 never
    };

    Line *find(int serial);
    const Line *find(int serial) const;

    // Puts `serial` right after `previous` (0 = at the top). False, and nothing changed,
    // when `previous` is unknown or is `serial` itself.
    bool insertAfter(int serial, const QString &text, int previous);

    // Unlinks up to `count` lines starting at `serial`; the number removed (0 when unknown).
    int remove(int serial, int count);

    // Replaces the text of a known line; true when the text differs.
    bool setText(Line &line, const QString &text);

    int first() const { return m_first; }
    int size() const { return int(m_lines.size()); }

private:
    void unlink(int serial, Line &line);

    std::unordered_map<int, Line> m_lines;
    int m_first = 0; // serial of the top line, 0 when empty
};
