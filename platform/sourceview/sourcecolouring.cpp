#include "sourcecolouring.h"

#include "editorsettings.h"
#include "sourcedocument.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace {

// A lexer that never delivers its end token must not hang the editor.
constexpr int kMaxTokensPerLine = 4096;
// A lexer that keeps asking for the next line stops at the end of the document,
// but a chain longer than this is cut so one paint never scans a whole routine.
constexpr int kMaxChainedLines = 2000;

} // namespace

SourceColouring::SourceColouring(SourceDocument &document) : m_document(document), m_valid(1, 0) {}

bool SourceColouring::valid(int line) const
{
    return line >= 0 && line < int(m_valid.size()) && m_valid[size_t(line)];
}

void SourceColouring::invalidate(int line)
{
    if (line >= 0 && line < int(m_valid.size()))
        m_valid[size_t(line)] = 0;
}

void SourceColouring::invalidate(int from, int to)
{
    from = std::max(from, 0);
    to = std::min(to, int(m_valid.size()) - 1);
    for (int line = from; line <= to; ++line)
        m_valid[size_t(line)] = 0;
}

void SourceColouring::invalidateAll()
{
    std::fill(m_valid.begin(), m_valid.end(), 0);
}

void SourceColouring::reset(int lineCount)
{
    m_valid.assign(size_t(lineCount), 0);
}

void SourceColouring::linesRemoved(int first, int count)
{
    m_valid.erase(m_valid.begin() + first, m_valid.begin() + first + count);
}

void SourceColouring::linesInserted(int at, int count)
{
    m_valid.insert(m_valid.begin() + at, size_t(count), 0);
}

int SourceColouring::scanLines(int first, int last, int &endLine)
{
    endLine = last;
    if (m_scanning || m_document.NumLines() == 0)
        return -1;
    m_scanning = true;
    first = std::clamp(first, 0, m_document.NumLines() - 1);
    int line = first;
    int chained = 0;
    // The lexer sees every line asked for, but a line below the view takes its colours
    // when it is first shown: laying it out now would cost as much as the parse.
    const int lastShown = m_document.LastVisibleLine();
    while (line < m_document.NumLines()) {
        bool scanNext = false;
        scanLine(line, scanNext, line <= lastShown);
        endLine = line;
        if (line < last || (scanNext && ++chained < kMaxChainedLines))
            ++line;
        else
            break;
    }
    m_scanning = false;
    return first;
}

void SourceColouring::colourLines(int first, int last)
{
    if (m_scanning)
        return;
    m_scanning = true;
    int line = std::max(first, 0);
    while (line <= last && line < m_document.NumLines()) {
        if (m_valid[size_t(line)]) {
            ++line;
            continue;
        }
        bool scanNext = false;
        scanLine(line, scanNext);
        int chained = 0;
        while (scanNext && line + 1 < m_document.NumLines() && ++chained < kMaxChainedLines) {
            ++line;
            scanLine(line, scanNext);
        }
        ++line;
    }
    m_scanning = false;
}

void SourceColouring::scanLine(int line, bool &scanNext, bool apply)
{
    scanNext = false;
    // Valid before the scan: a lexer that edits the line while scanning marks it
    // invalid again, and it is scanned once more.
    m_valid[size_t(line)] = 1;
    ISourceLex *lex = m_document.Lex();
    if (!lex) {
        applyFormats(line, {});
        return;
    }
    std::vector<SourceToken> tokens;
    lex->BeginLineScan(&m_document, line, m_document.GetLine(line), 0);
    for (int i = 0; apply && i < kMaxTokensPerLine; ++i) {
        SourceToken token;
        lex->ScanToken(token);
        if (token.TokenType == 0)
            break;
        tokens.push_back(token);
    }
    lex->EndLineScan(&m_document, scanNext);
    if (line >= m_document.NumLines())
        return;
    if (apply)
        applyFormats(line, tokens);
    else
        m_valid[size_t(line)] = 0;
}

void SourceColouring::applyFormats(int line, const std::vector<SourceToken> &tokens)
{
    QTextDocument *text = m_document.textDocument();
    QTextBlock block = text->findBlockByNumber(line);
    if (!block.isValid() || !block.layout())
        return;
    const EditorSettings *settings = m_document.settings();
    const int length = block.length() - 1;
    QList<QTextLayout::FormatRange> ranges;
    int previousEnd = 0;
    for (const SourceToken &token : tokens) {
        // Tokens may overlap (a lexer ends with a plain token over the whole
        // line); each one colours only what earlier ones left.
        // The end is summed wide: a lexer may give the largest length for "to the
        // end of the line".
        const int start = std::max(token.Start, previousEnd);
        const int end = int(std::min(qint64(token.Start) + token.Length, qint64(length)));
        if (end <= start)
            continue;
        previousEnd = end;
        if (!settings || !settings->hasTokenStyle(token.TokenType))
            continue;
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = end - start;
        range.format = settings->formatFor(token.TokenType);
        ranges << range;
    }
    if (block.layout()->formats() == ranges)
        return;
    block.layout()->setFormats(ranges);
    text->markContentsDirty(block.position(), block.length());
}
