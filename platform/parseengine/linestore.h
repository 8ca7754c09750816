#pragma once

#include <QString>

#include <cstdint>
#include <memory>
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
        // The line's text is the first `length` characters of `storage`: the lexer's
        // ZeroPad'ed text is kept as it came rather than copied, once per line of a routine.
        QString storage;
        int length = 0;
        std::uint64_t textVersion = 0;     // new with every text: parses of older ones are stale

        QStringView text() const { return QStringView(storage.constData(), length); }
        int previous = 0; // 0: first line
        int next = 0;     // 0: last line

        // What the handle last learnt from parsing this line: enough to find blocks and the
        // context of the next line without keeping every line's tokens.
        std::uint64_t summaryStamp = 0;    // 0: not parsed since the text last changed
        bool summaryInBlockComment = false; // MAC context the summary was made from
        int summaryBraceDepth = 0;
        int summaryOpenEmbedded = 0;
        int dotLevel = 0;
        int ownBraceDepth = 0;             // MAC: brace depth of the line itself
        int braceDepthEnd = 0;             // MAC: brace depth after the line
        bool endsInBlockComment = false;   // MAC
        int endsInEmbedded = 0;            // MAC: MLineParser::EmbeddedState
        int reportedBlockStart = -1;       // block-start flag last sent to the lexer, -1 never
        bool present = false;              // a slot of the dense table that holds a line
    };

    // Asked several times for every line parsed: the common case stays inline.
    Line *find(int serial)
    {
        if (serial <= 0 || serial >= DenseLimit)
            return findSparse(serial);
        const size_t chunk = size_t(serial) >> ChunkBits;
        if (chunk >= m_chunks.size() || !m_chunks[chunk])
            return nullptr;
        Line &line = m_chunks[chunk][serial & (ChunkSize - 1)];
        return line.present ? &line : nullptr;
    }
    const Line *find(int serial) const { return const_cast<LineStore *>(this)->find(serial); }

    // Puts `serial` right after `previous` (0 = at the top), with the text that `text`
    // holds in its first `length` characters. False, and nothing changed, when `previous`
    // is unknown or is `serial` itself.
    bool insertAfter(int serial, const QString &text, int length, int previous);

    // Pointers to a line stay valid until it is removed.

    // Unlinks up to `count` lines starting at `serial`; the number removed (0 when unknown).
    int remove(int serial, int count);

    // Replaces the text of a known line; true when the text differs.
    bool setText(Line &line, QStringView text);

    int first() const { return m_first; }
    int size() const { return m_count; }

private:
    // Serials come from a per-document counter, so they are small and dense: a table indexed
    // by serial avoids hashing on every call. It grows in chunks so that lines never move.
    // Odd values go to a map.
    static constexpr int DenseLimit = 1 << 22;
    static constexpr int ChunkBits = 6;
    static constexpr int ChunkSize = 1 << ChunkBits;

    Line *findSparse(int serial);
    Line *create(int serial);
    void setText(Line &line, const QString &text, int length);
    void keepText(Line &line, const QString &text, int length);
    void erase(int serial);
    void unlink(int serial, Line &line);

    std::vector<std::unique_ptr<Line[]>> m_chunks;
    std::unordered_map<int, Line> m_sparse;
    int m_count = 0;
    int m_first = 0; // serial of the top line, 0 when empty
    std::uint64_t m_lastTextVersion = 0;
};
