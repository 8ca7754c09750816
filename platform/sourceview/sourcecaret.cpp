#include "sourcecaret.h"

#include "sourceview.h"

#include <QTextBlock>
#include <QTextCursor>

namespace {

// Blocks nest no deeper than the flag word's depth field counts.
constexpr int kMaxNesting = 16;

} // namespace

SourceCaret::SourceCaret(SourceView &view) : m_view(view) {}

bool SourceCaret::caretHidden() const
{
    return m_view.m_document->isLineHidden(m_view.CaretLine());
}

void SourceCaret::onCursorPositionChanged()
{
    if (caretHidden()) {
        // Inside a key the caret may pass through hidden text (an edit moves it
        // there first); the key's end decides where it rests.
        if (m_keyDepth == 0)
            settleHiddenCaret();   // moving it raises this again
        return;
    }
    m_lastCaretLine = m_view.CaretLine();
    if (m_inCaretMove)
        return;
    raiseCaretMove();
}

void SourceCaret::onVisibilityChanged()
{
    if (m_revealing || !caretHidden())
        return;
    // Lines that came to be hidden under the caret: an edit of the running key
    // opens them again; a collapse, or the lexer finding a block later, moves
    // the caret onto the header.
    if (m_keyDepth > 0 && m_textChanged)
        reveal(m_view.CaretLine());
    else
        leaveHiddenLine();
}

void SourceCaret::beginKey()
{
    if (m_keyDepth++ == 0)
        m_textChanged = false;
}

void SourceCaret::endKey()
{
    if (m_keyDepth > 0 && --m_keyDepth == 0)
        settle();
}

void SourceCaret::settle()
{
    if (m_keyDepth > 0)
        return;
    // An edit may have changed which lines are hidden; the caret must not wait
    // for the next paint to learn it, or the next key types into hidden text.
    ++m_keyDepth;   // the edits just made count as the key's own
    m_view.m_document->applyVisibility();
    --m_keyDepth;
    if (caretHidden())
        settleHiddenCaret();
    else if (m_view.CaretColumn() != m_reportedColumn || m_view.CaretLine() != m_reportedLine)
        raiseCaretMove();
    m_textChanged = false;
}

void SourceCaret::settleHiddenCaret()
{
    if (m_textChanged)
        reveal(m_view.CaretLine());
    else
        stepOver(m_view.CaretLine() >= m_lastCaretLine);
    m_textChanged = false;
    // Opening the blocks moved nothing, so Qt raised nothing.
    if (!caretHidden() && (m_view.CaretColumn() != m_reportedColumn
                           || m_view.CaretLine() != m_reportedLine))
        raiseCaretMove();
}

void SourceCaret::reveal(int line)
{
    m_revealing = true;
    for (int guard = 0; m_view.m_document->isLineHidden(line) && guard < kMaxNesting; ++guard)
        m_view.m_document->ExpandBlock(line);
    m_revealing = false;
}

void SourceCaret::leaveHiddenLine()
{
    stepOver(false);
}

void SourceCaret::stepOver(bool forward)
{
    const QTextBlock block = m_view.textCursor().block();
    QTextBlock target = block;
    if (forward) {
        while (target.isValid() && !target.isVisible())
            target = target.next();
    }
    if (!forward || !target.isValid()) {
        target = block;
        while (target.isValid() && !target.isVisible())
            target = target.previous();
    }
    if (!target.isValid())
        target = m_view.document()->firstBlock();
    QTextCursor cursor = m_view.textCursor();
    cursor.setPosition(forward && target.blockNumber() > block.blockNumber()
                           ? target.position()
                           : target.position() + target.length() - 1,
                       cursor.hasSelection() ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    m_view.setTextCursor(cursor);
}

void SourceCaret::raiseCaretMove()
{
    const int line = m_view.CaretLine();
    int column = m_view.CaretColumn();
    int movedLine = line;
    m_inCaretMove = true;
    emit m_view.CaretMove(column, movedLine);
    if (column != m_view.CaretColumn() || movedLine != line) {
        QTextCursor cursor = m_view.textCursor();
        cursor.setPosition(m_view.m_document->positionOf(column, movedLine),
                           QTextCursor::KeepAnchor);
        m_view.setTextCursor(cursor);
    }
    m_inCaretMove = false;
    m_lastCaretLine = m_view.CaretLine();
    m_reportedColumn = m_view.CaretColumn();
    m_reportedLine = m_view.CaretLine();
}
