#pragma once

#include <QString>

class Routine;
class SourceLex;

// What a code window does when an edit inserts or deletes text: the routine's
// breakpoints and the lexer follow the lines that appeared or went. The document
// reports 0-based (column, line) pairs; routine lines count from 1, the lexer's from 0.
// The routine may be null (a window whose document has gone).
namespace LineEdits {

// The lines that appeared are l1..l2-1 for an insertion at a line start, l1+1..l2 for
// one inside a line; an insertion within one line only refreshes it.
void textInserted(Routine *routine, SourceLex &lex, int c1, int l1, int c2, int l2);
void textDeleted(Routine *routine, SourceLex &lex, int c1, int l1, int c2, int l2);

// True when the line's text after its first tab holds a command: not only blanks, tabs
// and level dots, and not a comment (";" or "//").
bool hasCommand(const QString &lineText);

} // namespace LineEdits
