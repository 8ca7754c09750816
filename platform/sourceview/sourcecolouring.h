#pragma once

#include "isourcelex.h"

#include <vector>

class SourceDocument;

// The colours of a source document's lines: which lines have valid colours, and
// the scans that pull tokens from the document's lexer and turn them into the
// formats of the lines' layouts.
//
// Scans run only for lines about to be painted (or that UpdateLines names),
// never while a view paints, so the lexer may read and write the document from
// inside them; the document keeps the validity flags in step with its lines.
class SourceColouring
{
public:
    explicit SourceColouring(SourceDocument &document);

    // A lexer scan is running.
    bool scanning() const { return m_scanning; }
    bool valid(int line) const;
    void invalidate(int line);
    void invalidate(int from, int to);
    void invalidateAll();
    // An emptied document, or one whose lines were taken afresh: nothing is valid.
    void reset(int lineCount);
    void linesRemoved(int first, int count);
    void linesInserted(int at, int count);

    // Colours the lines first..last whose colours are not valid.
    void colourLines(int first, int last);
    // Scans lines first..last now (and on while the lexer asks for the next
    // line); endLine receives the last line scanned. Returns the first line
    // scanned, or -1 when nothing was (a scan is already running, or no lines).
    int scanLines(int first, int last, int &endLine);

private:
    // apply False: the lexer begins and ends the line's scan (which moves its own state
    // on) but no tokens are read and the line keeps no colours.
    void scanLine(int line, bool &scanNext, bool apply = true);
    void applyFormats(int line, const std::vector<SourceToken> &tokens);

    SourceDocument &m_document;
    std::vector<char> m_valid;    // per line: its formats match the lexer
    bool m_scanning = false;      // the lexer must not be re-entered
};
