#pragma once

#include <QString>

class SourceDocument;

// One token as the lexer hands it to the control: a token class (the colour
// table's key), a 0-based start column, a length and attribute bits.
struct SourceToken
{
    int TokenType = 0;    // 0 ends the line
    int Start = 0;
    int Length = 0;
    int Attributes = 0;
};

// The lexer callbacks the control pulls colouring from. The control calls them
// only for lines it is about to paint (or that UpdateLines names), never while
// it paints, so a lexer may read and write the document from inside them.
class ISourceLex
{
public:
    virtual ~ISourceLex() = default;

    virtual void BeginLineScan(SourceDocument *document, int line, const QString &lineText,
                               int reserved) = 0;
    // Called until it delivers TokenType 0.
    virtual void ScanToken(SourceToken &token) = 0;
    // scanNext: the following line must be scanned too (its colours depend on this one).
    virtual void EndLineScan(SourceDocument *document, bool &scanNext) = 0;

    virtual int GetLineIndex() { return 0; }
    virtual void SetLineIndex(int index) { Q_UNUSED(index); }
    virtual int GetDesiredCase() { return 0; }
    virtual int GetProperties() { return 0; }
};
