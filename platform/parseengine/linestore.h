#pragma once

#include "mlineparser.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

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
        std::optional<MParsedLine> parsed;
        std::uint64_t parsedStamp = 0;     // 0: not parsed since the text last changed
        bool parsedInBlockComment = false; // MAC context the parse started from
        int parsedBraceDepth = 0;
        int reportedBlockStart = -1;       // block-start flag last sent to the lexer, -1 never
        bool present = false;              // a slot of the dense table that holds a line
    };

    Line *find(int serial);
    const Line *find(int serial) const;

    // Puts `serial` right after `previous` (0 = at the top). False, and nothing changed,
    // when `previous` is unknown or is `serial` itself.
    bool insertAfter(int serial, const QString &text, int previous);

    // Pointers to lines stay valid until the next insertAfter().

    // Unlinks up to `count` lines starting at `serial`; the number removed (0 when unknown).
    int remove(int serial, int count);

    // Replaces the text of a known line; true when the text differs.
    bool setText(Line &line, QStringView text);

    int first() const { return m_first; }
    int size() const { return m_count; }

private:
    // Serials come from a per-document counter, so they are small and dense: a table indexed
    // by serial avoids hashing on every call. Odd values go to a map.
    static constexpr int DenseLimit = 1 << 22;

    Line *create(int serial);
    void erase(int serial);
    void unlink(int serial, Line &line);

    std::vector<Line> m_dense;
    std::unordered_map<int, Line> m_sparse;
    int m_count = 0;
    int m_first = 0; // serial of the top line, 0 when empty
};
