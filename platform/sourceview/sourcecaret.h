#pragma once

class SourceView;

// The caret's two rules in a source view:
// - Every move raises CaretMove, also the moves Qt makes without a signal (a
//   word deleted before the caret, Select All), so the status and the
//   caret-line flag of the code window never go stale. A handler may move the
//   caret again.
// - The caret never rests on a line a collapsed block hides. Walking with the
//   keys steps over the block in the direction the caret went; collapsing a
//   block round the caret, or lines hidden under it later (the lexer finding
//   a block), put it on the block's visible header; an edit that leaves it in
//   hidden text, and an explicit place (SetCaret, SetSelection, Select All, a
//   find), open the blocks that hide it. Either way what is typed next is
//   never invisible.
//
// Qt reports most moves at once; the rest are settled when the key, click,
// drop or command that made them ends.
class SourceCaret
{
public:
    explicit SourceCaret(SourceView &view);

    // Qt moved the caret.
    void onCursorPositionChanged();
    // Lines were hidden or shown.
    void onVisibilityChanged();
    // The text changed: a caret that lands in hidden text now came with it.
    void noteTextChanged() { m_textChanged = true; }
    // Brackets a key: what the key does to the caret is settled at its end.
    void beginKey();
    void endKey();
    // A click, drop or command ended: the moves Qt made silently are raised.
    void settle();
    // Opens every collapsed block that hides line.
    void reveal(int line);
    // The caret is on a hidden line after a collapse: onto the visible line above.
    void leaveHiddenLine();

private:
    bool caretHidden() const;
    void settleHiddenCaret();
    // The caret walked into a collapsed block: step over it in the direction it went.
    void stepOver(bool forward);
    void raiseCaretMove();

    SourceView &m_view;
    int m_lastCaretLine = 0;        // which way the caret went, to step over hidden lines
    int m_reportedColumn = 0;       // where the last CaretMove left the caret
    int m_reportedLine = 0;
    bool m_inCaretMove = false;     // CaretMove handlers may move the caret again
    bool m_textChanged = false;     // an edit since the caret was last settled
    bool m_revealing = false;       // opening blocks raises visibility changes of its own
    int m_keyDepth = 0;             // keys being handled (a handler may send another)
};
