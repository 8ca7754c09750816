#include "sourceinput.h"

#include "sourcecaret.h"
#include "sourcemargin.h"
#include "sourceview.h"
#include "vbkeys.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>

namespace {

int buttonCode(Qt::MouseButtons buttons)
{
    int code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

} // namespace

SourceInput::SourceInput(SourceView &view) : m_view(view) {}

// --- keys ------------------------------------------------------------------------------

void SourceInput::keyPress(QKeyEvent *event)
{
    const int vk = VbKeys::virtualKey(event);
    QString description = SourceView::tr("Typing");
    if (vk == 13)
        description = SourceView::tr("Enter");
    else if (vk == 8 || vk == 46)
        description = SourceView::tr("Delete");
    // Whatever the key and its handlers edit is one undo step.
    SourceDocument *document = m_view.m_document;
    m_view.m_caret->beginKey();
    document->beginUndoGroup(description);
    handleKey(event, description);
    document->endUndoGroup();
    m_view.m_caret->endKey();
}

void SourceInput::handleKey(QKeyEvent *event, const QString &description)
{
    const int vk = VbKeys::virtualKey(event);
    const int shift = VbKeys::shiftState(event->modifiers());
    int code = vk;
    if (vk) {
        emit m_view.KeyDown(code, shift);
        if (code == 0) {
            event->accept();
            return;
        }
    }
    if (vk == 45 && shift == 0) {
        m_view.ExecuteCommand(SourceView::CmdToggleOvertype);
        event->accept();
        return;
    }
    // Ctrl+V, Ctrl+X, Ctrl+Z and the like type a control character first: a
    // handler that swallows it (a pane refusing input, a window that runs the
    // command itself) must stop the control's own action too.
    const int ascii = VbKeys::keyAscii(event);
    int typed = ascii;
    if (ascii) {
        emit m_view.KeyPress(typed);
        if (typed == 0) {
            event->accept();
            return;
        }
    }
    if (typed == ascii && handleShortcut(event))
        return;
    const bool plainModifiers = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed >= 32 || ((plainModifiers || typed != ascii) && (typed == 9 || typed == 13))) {
        if (!m_view.m_document->ReadOnly())
            typeText(typed == 13 ? QStringLiteral("\n") : QString(QChar(typed)), description);
        event->accept();
        return;
    }
    // Keys Qt edits with itself (Backspace, Delete, word deletions) name their step.
    m_view.m_document->setPendingUndoDescription(description);
    m_view.qtKeyPressEvent(event);
    m_view.m_document->setPendingUndoDescription(QString());
}

bool SourceInput::handleShortcut(QKeyEvent *event)
{
    SourceDocument *document = m_view.m_document;
    if (event->matches(QKeySequence::Undo)) {
        if (!document->ReadOnly())
            document->Undo();
        return true;
    }
    if (event->matches(QKeySequence::Redo)) {
        if (!document->ReadOnly())
            document->Redo();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        m_view.ExecuteCommand(SourceView::CmdCut);
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        m_view.ExecuteCommand(SourceView::CmdCopy);
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        m_view.ExecuteCommand(SourceView::CmdPaste);
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        event->accept();
        return true;
    }
    return false;
}

void SourceInput::selectAll()
{
    // As the code window's Ctrl+A does it: the caret at the end of the last line,
    // which opens a collapsed last block so that the folded lines are selected too.
    const int last = m_view.m_document->NumLines() - 1;
    m_view.SetSelection(0, 0, m_view.m_document->GetLineLength(last), last);
}

void SourceInput::typeText(const QString &text, const QString &description)
{
    // Typed text goes in here rather than through Qt's key handling: Qt lets its
    // own typing merge into earlier undo steps by rules of its own, and its
    // Enter rewrites the new line's formats, reported as a change of the whole
    // line. Typing where the last typed text ended extends that step instead,
    // unless another step was made since.
    SourceDocument *document = m_view.m_document;
    QTextCursor cursor = m_view.textCursor();
    const bool plainTyping = text != QLatin1String("\n") && !cursor.hasSelection()
                             && !m_view.overwriteMode();
    const bool extend = plainTyping && cursor.position() == m_typingEnd
                        && document->UndoStepCount() == m_typingSteps;
    document->beginEditStep(description, extend);
    if (!cursor.hasSelection() && m_view.overwriteMode() && !cursor.atBlockEnd()
        && text != QLatin1String("\n"))
        cursor.deleteChar();
    cursor.insertText(text);
    document->endEditStep();
    m_view.setTextCursor(cursor);
    m_view.ensureCursorVisible();
    m_typingEnd = plainTyping ? cursor.position() : -1;
    m_typingSteps = document->UndoStepCount();
}

void SourceInput::keyRelease(QKeyEvent *event)
{
    int code = VbKeys::virtualKey(event);
    if (code) {
        emit m_view.KeyUp(code, VbKeys::shiftState(event->modifiers()));
        if (code == 0) {
            event->accept();
            return;
        }
    }
    m_view.qtKeyReleaseEvent(event);
}

// --- mouse -------------------------------------------------------------------------------

void SourceInput::emitMouse(void (SourceView::*signal)(int &, int &, int &, int &),
                            QMouseEvent *event, const QPoint &devicePos)
{
    int button = buttonCode(event->type() == QEvent::MouseMove ? event->buttons()
                                                                : Qt::MouseButtons(event->button()));
    int shift = VbKeys::shiftState(event->modifiers());
    int x = devicePos.x();
    int y = devicePos.y();
    emit(m_view.*signal)(button, shift, x, y);
}

void SourceInput::mousePress(QMouseEvent *event, const QPoint &devicePos, bool inMargin)
{
    if (inMargin)
        m_view.setFocus(Qt::MouseFocusReason);
    m_pressInside = event->button() == Qt::LeftButton;
    emitMouse(&SourceView::MouseDown, event, devicePos);
    if (!inMargin)
        m_view.qtMousePressEvent(event);
    m_view.m_caret->settle();
}

void SourceInput::mouseMove(QMouseEvent *event, const QPoint &devicePos, bool inMargin)
{
    emitMouse(&SourceView::MouseMove, event, devicePos);
    if (!inMargin)
        m_view.qtMouseMoveEvent(event);
}

void SourceInput::mouseRelease(QMouseEvent *event, const QPoint &devicePos, bool inMargin)
{
    emitMouse(&SourceView::MouseUp, event, devicePos);
    QWidget *target = inMargin ? static_cast<QWidget *>(m_view.m_margin) : m_view.viewport();
    if (!inMargin)
        m_view.qtMouseReleaseEvent(event);
    if (m_pressInside && event->button() == Qt::LeftButton
        && target->rect().contains(event->position().toPoint()))
        emit m_view.Click();
    m_pressInside = false;
    m_view.m_caret->settle();
}

// --- text from elsewhere ---------------------------------------------------------------

void SourceInput::drop(QDropEvent *event)
{
    // Qt would move dragged text as one change covering everything between the
    // two places, losing the line data of every line in between: the drop is
    // an insertion and a deletion of our own instead, one undo step.
    SourceDocument *document = m_view.m_document;
    const QMimeData *mime = event->mimeData();
    if (document->ReadOnly() || !mime || !mime->hasText()) {
        event->ignore();
        return;
    }
    const QString text = SourceDocument::normalizeLineEnds(mime->text());
    const int dropAt = m_view.cursorForPosition(event->position().toPoint()).position();
    const QTextCursor selection = m_view.textCursor();
    const bool move = event->source() == m_view.viewport() && event->dropAction() == Qt::MoveAction
                      && selection.hasSelection();
    int start = selection.selectionStart();
    int end = selection.selectionEnd();
    if (move && dropAt >= start && dropAt <= end) {
        event->ignore();
        return;
    }
    auto cell = [this](int position, int &column, int &line) {
        const QTextBlock block = m_view.document()->findBlock(position);
        line = block.blockNumber();
        column = position - block.position();
    };
    document->beginUndoGroup(SourceView::tr("Drag and Drop"));
    int column = 0, line = 0;
    cell(dropAt, column, line);
    document->Insert(column, line, text);
    int insertedStart = dropAt;
    if (move) {
        if (dropAt < start) {
            start += int(text.size());
            end += int(text.size());
        }
        int c1, l1, c2, l2;
        cell(start, c1, l1);
        cell(end, c2, l2);
        document->Delete(c1, l1, c2, l2);
        if (dropAt > start)
            insertedStart -= end - start;
    }
    document->endUndoGroup();
    QTextCursor inserted(m_view.document());
    inserted.setPosition(insertedStart);
    inserted.setPosition(insertedStart + int(text.size()), QTextCursor::KeepAnchor);
    m_view.setTextCursor(inserted);
    event->setDropAction(move ? Qt::CopyAction : event->dropAction());
    event->accept();
    m_view.m_caret->settle();
}

void SourceInput::insertMimeData(const QMimeData *source)
{
    SourceDocument *document = m_view.m_document;
    if (!source || !source->hasText() || document->ReadOnly())
        return;
    // Text from other programs arrives with CR LF or CR line ends.
    QTextCursor cursor = m_view.textCursor();
    document->beginEditStep(SourceView::tr("Paste"), false);
    cursor.insertText(SourceDocument::normalizeLineEnds(source->text()));
    document->endEditStep();
    m_view.setTextCursor(cursor);
    m_view.ensureCursorVisible();
    m_view.m_caret->settle();
}
