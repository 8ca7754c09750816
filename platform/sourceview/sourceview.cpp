#include "sourceview.h"
#include "vbkeys.h"

#include "findreplacedialog.h"
#include "linedata.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QDropEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

// The margin left of the text. It paints nothing of its own: every row's margin
// belongs to the drawing callback.
class SourceMargin : public QWidget
{
public:
    explicit SourceMargin(SourceView *view) : QWidget(view), m_view(view)
    {
        setMouseTracking(true);
        // It fills every pixel it is asked to paint; without this the control
        // behind it would be repainted with it on every keystroke.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *event) override { m_view->paintMargin(event, this); }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_view->setFocus(Qt::MouseFocusReason);
        m_view->m_pressInside = event->button() == Qt::LeftButton;
        m_view->emitMouse(&SourceView::MouseDown, event, event->position().toPoint());
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        m_view->emitMouse(&SourceView::MouseMove, event, event->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        m_view->emitMouse(&SourceView::MouseUp, event, event->position().toPoint());
        if (m_view->m_pressInside && event->button() == Qt::LeftButton
            && rect().contains(event->position().toPoint()))
            emit m_view->Click();
        m_view->m_pressInside = false;
    }
    void wheelEvent(QWheelEvent *event) override { m_view->wheelEvent(event); }

private:
    SourceView *m_view;
};

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

SourceView::SourceView(QWidget *parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    viewport()->setMouseTracking(true);
    m_ownSettings = new EditorSettings(this);
    m_settings = m_ownSettings;
    connect(m_settings, &EditorSettings::docOptionsChanged, this, &SourceView::onDocOptionsChanged);
    m_margin = new SourceMargin(this);
    m_ownDocument = new SourceDocument(this);
    SetDocument(m_ownDocument);

    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (dy)
            m_margin->scroll(0, dy);
        else
            m_margin->update(0, rect.y(), m_margin->width(), rect.height());
        schedulePrepare();
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &SourceView::onCursorPositionChanged);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    setFont(fixed);
    updateMarginGeometry();
}

SourceView::~SourceView()
{
    if (m_document)
        m_document->setLastVisibleLineProvider({});
}

void SourceView::SetDocument(SourceDocument *document)
{
    if (!document || document == m_document)
        return;
    if (m_document) {
        disconnect(m_document, nullptr, this, nullptr);
        m_document->setLastVisibleLineProvider({});
    }
    m_document = document;
    QTextDocument *text = document->textDocument();
    if (!qobject_cast<QPlainTextDocumentLayout *>(text->documentLayout()))
        text->setDocumentLayout(new QPlainTextDocumentLayout(text));
    setDocument(text);
    document->setSettings(m_settings);
    document->setLastVisibleLineProvider([this] { return LastVisibleLine(); });
    // Direct connections: handlers change the document and line data synchronously,
    // in the order the document raises the notifications.
    connect(document, &SourceDocument::TextInserted, this, &SourceView::onTextChanged,
            Qt::DirectConnection);
    connect(document, &SourceDocument::TextDeleted, this, &SourceView::onTextChanged,
            Qt::DirectConnection);
    connect(document, &SourceDocument::TextInserted, this, &SourceView::TextInserted,
            Qt::DirectConnection);
    connect(document, &SourceDocument::TextDeleted, this, &SourceView::TextDeleted,
            Qt::DirectConnection);
    connect(document, &SourceDocument::ModifiedChange, this, &SourceView::ModifiedChange);
    connect(document, &SourceDocument::repaintRequested, this, &SourceView::onRepaintRequested);
    connect(document, &SourceDocument::readOnlyChanged, this, &SourceView::applyReadOnly);
    connect(document, &SourceDocument::visibilityChanged, this, [this] {
        if (m_document->isLineHidden(CaretLine()))
            keepCaretVisibleLine(false);
        viewport()->update();
        m_margin->update();
    });
    // A document that goes away before its view leaves the view on its own one.
    if (document != m_ownDocument) {
        connect(document, &QObject::destroyed, this, [this] {
            if (m_ownDocument)
                SetDocument(m_ownDocument);
        });
    }
    document->setCollapsingEnabled(m_settings->DocOptions() & EditorSettings::kCollapsing);
    setTabSize(m_tabSize);
    applyReadOnly();
    schedulePrepare();
}

// --- caret and selection ----------------------------------------------------------

int SourceView::CaretColumn() const
{
    return textCursor().positionInBlock();
}

int SourceView::CaretLine() const
{
    return textCursor().blockNumber();
}

void SourceView::SetCaret(int column, int line)
{
    line = std::clamp(line, 0, m_document->NumLines() - 1);
    // The caret never rests in a hidden line: open the blocks that hide it.
    for (int guard = 0; m_document->isLineHidden(line) && guard < 16; ++guard)
        m_document->ExpandBlock(line);
    QTextCursor cursor = textCursor();
    cursor.setPosition(m_document->positionOf(column, line));
    setTextCursor(cursor);
}

bool SourceView::HasSelection() const
{
    return textCursor().hasSelection();
}

void SourceView::GetSelection(int &c1, int &l1, int &c2, int &l2) const
{
    const QTextCursor cursor = textCursor();
    const QTextBlock anchorBlock = document()->findBlock(cursor.anchor());
    l1 = anchorBlock.blockNumber();
    c1 = cursor.anchor() - anchorBlock.position();
    l2 = cursor.blockNumber();
    c2 = cursor.positionInBlock();
}

void SourceView::SetSelection(int c1, int l1, int c2, int l2)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(m_document->positionOf(c1, l1));
    cursor.setPosition(m_document->positionOf(c2, l2), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

bool SourceView::Overtype() const
{
    return overwriteMode();
}

void SourceView::SetOvertype(bool overtype)
{
    setOverwriteMode(overtype);
    viewport()->update();
}

void SourceView::SetCaretStyle(int style)
{
    m_caretStyle = style;
    viewport()->update();
}

void SourceView::onCursorPositionChanged()
{
    const int line = CaretLine();
    if (m_document->isLineHidden(line)) {
        keepCaretVisibleLine(line >= m_lastCaretLine);
        return;   // moving it raised this again
    }
    m_lastCaretLine = line;
    if (m_inCaretMove)
        return;
    int column = CaretColumn();
    int movedLine = line;
    m_inCaretMove = true;
    emit CaretMove(column, movedLine);
    if (column != CaretColumn() || movedLine != line) {
        QTextCursor cursor = textCursor();
        cursor.setPosition(m_document->positionOf(column, movedLine), QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
    m_inCaretMove = false;
    m_lastCaretLine = CaretLine();
}

void SourceView::keepCaretVisibleLine(bool forward)
{
    // The caret walked into a collapsed block: step over it in the direction it went.
    QTextBlock block = textCursor().block();
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
        target = document()->firstBlock();
    QTextCursor cursor = textCursor();
    cursor.setPosition(forward && target.blockNumber() > block.blockNumber()
                           ? target.position()
                           : target.position() + target.length() - 1,
                       cursor.hasSelection() ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    setTextCursor(cursor);
}

// --- scrolling -------------------------------------------------------------------------

void SourceView::GetScrollPosition(int &column, int &line) const
{
    const int cw = std::max(CharWidth(), 1);
    column = horizontalScrollBar()->value() / cw;
    line = firstVisibleBlock().blockNumber();
}

void SourceView::SetScrollPosition(int column, int line)
{
    line = std::clamp(line, 0, m_document->NumLines() - 1);
    QTextBlock block = document()->findBlockByNumber(line);
    while (block.isValid() && !block.isVisible())
        block = block.previous();
    if (!block.isValid())
        block = document()->firstBlock();
    verticalScrollBar()->setValue(block.firstLineNumber());
    horizontalScrollBar()->setValue(std::max(column, 0) * CharWidth());
}

void SourceView::ShowLines(int first, int last)
{
    if (last < first)
        std::swap(first, last);
    int column = 0;
    int top = 0;
    GetScrollPosition(column, top);
    if (first < top) {
        SetScrollPosition(column, first);
        return;
    }
    // The last line must stand wholly inside the viewport, the first one too
    // when both fit.
    const QRect rect = lineRect(last);
    if (rect.isValid() && rect.top() >= 0 && rect.bottom() < viewport()->height())
        return;
    const int rows = std::max(1, viewport()->height() / std::max(CharHeight(), 1));
    SetScrollPosition(column, std::min(first, std::max(last - rows + 1, 0)));
}

bool SourceView::ScrollHeld() const
{
    return verticalScrollBar()->isSliderDown() || horizontalScrollBar()->isSliderDown();
}

int SourceView::LastVisibleLine() const
{
    QTextBlock block = firstVisibleBlock();
    const qreal height = viewport()->height();
    qreal top = contentOffset().y();
    int last = block.isValid() ? block.blockNumber() : 0;
    while (block.isValid()) {
        if (block.isVisible()) {
            if (top >= height)
                break;
            last = block.blockNumber();
            top += blockBoundingRect(block).height();
        }
        block = block.next();
    }
    return last;
}

QRect SourceView::lineRect(int line) const
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid() || !block.isVisible())
        return QRect();
    return blockBoundingGeometry(block).translated(contentOffset()).toAlignedRect();
}

void SourceView::ModifyViewOptions(int add, int remove)
{
    const int old = m_viewOptions;
    m_viewOptions = (m_viewOptions | add) & ~remove;
    if ((old ^ m_viewOptions) & kWrap)
        applyWrap();
    m_margin->update();
    viewport()->update();
}

void SourceView::applyWrap()
{
    setLineWrapMode((m_viewOptions & kWrap) ? QPlainTextEdit::WidgetWidth
                                            : QPlainTextEdit::NoWrap);
}

void SourceView::SetScrollBarStyle(int style)
{
    m_scrollBarStyle = style;
    setVerticalScrollBarPolicy((style & kVerticalScrollBar) ? Qt::ScrollBarAsNeeded
                                                            : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy((style & kHorizontalScrollBar) ? Qt::ScrollBarAsNeeded
                                                                : Qt::ScrollBarAlwaysOff);
}

// --- commands ------------------------------------------------------------------------------

void SourceView::ExecuteCommand(int command, int argument)
{
    Q_UNUSED(argument);
    int cmd = command;
    emit BeforeCommand(cmd);
    if (cmd == 0)
        return;
    switch (cmd) {
    case CmdToggleOvertype:
        SetOvertype(!Overtype());
        break;
    case CmdDelete:
        if (!m_document->ReadOnly())
            deleteAtCaret(tr("Delete"));
        break;
    case CmdCut:
        if (!m_document->ReadOnly() && textCursor().hasSelection()) {
            copy();
            deleteAtCaret(tr("Cut"));
        }
        break;
    case CmdCopy:
        copy();
        break;
    case CmdPaste:
        if (!m_document->ReadOnly())
            insertFromMimeData(QGuiApplication::clipboard()->mimeData());
        break;
    default:
        break;   // 32 and the rest: actions this control has no use for
    }
}

void SourceView::deleteAtCaret(const QString &description)
{
    QTextCursor cursor = textCursor();
    m_document->beginEditStep(description, false);
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    else
        cursor.deleteChar();
    m_document->endEditStep();
    setTextCursor(cursor);
}

void SourceView::onTextChanged()
{
    m_typingEnd = -1;
}

void SourceView::Find()
{
    if (!m_findDialog)
        m_findDialog = new FindReplaceDialog(this);
    m_findDialog->showFor(false, textCursor().selectedText());
}

void SourceView::Replace()
{
    if (!m_findDialog)
        m_findDialog = new FindReplaceDialog(this);
    m_findDialog->showFor(!m_document->ReadOnly(), textCursor().selectedText());
}

void SourceView::FindNext()
{
    if (m_findDialog && !m_findDialog->findText().isEmpty()) {
        findText(m_findDialog->findText(), m_findDialog->matchCase(), m_findDialog->wholeWord(),
                 false);
        return;
    }
    if (!m_findText.isEmpty()) {
        findText(m_findText, m_findMatchCase, m_findWholeWord, false);
        return;
    }
    Find();
}

bool SourceView::findText(const QString &text, bool matchCase, bool wholeWord, bool backwards)
{
    if (text.isEmpty())
        return false;
    m_findText = text;
    m_findMatchCase = matchCase;
    m_findWholeWord = wholeWord;
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    if (backwards)
        flags |= QTextDocument::FindBackward;
    QTextCursor found = document()->find(text, textCursor(), flags);
    if (found.isNull()) {
        QTextCursor from(document());
        if (backwards)
            from.movePosition(QTextCursor::End);
        found = document()->find(text, from, flags);
    }
    if (found.isNull())
        return false;
    const int line = found.blockNumber();
    for (int guard = 0; m_document->isLineHidden(line) && guard < 16; ++guard)
        m_document->ExpandBlock(line);
    setTextCursor(found);
    ensureCursorVisible();
    return true;
}

int SourceView::replaceAll(const QString &text, const QString &replacement, bool matchCase,
                           bool wholeWord)
{
    if (text.isEmpty() || m_document->ReadOnly())
        return 0;
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    // The search goes on behind the replacement as it stands in the text, line ends made one.
    const QString inserted = SourceDocument::normalizeLineEnds(replacement);
    int count = 0;
    m_document->beginUndoGroup(tr("Replace All"));
    QTextCursor from(document());
    while (true) {
        const QTextCursor found = document()->find(text, from, flags);
        if (found.isNull())
            break;
        const QTextBlock startBlock = document()->findBlock(found.selectionStart());
        const QTextBlock endBlock = document()->findBlock(found.selectionEnd());
        int l1 = startBlock.blockNumber();
        int l2 = endBlock.blockNumber();
        const int c1 = found.selectionStart() - startBlock.position();
        const int c2 = found.selectionEnd() - endBlock.position();
        const int after = m_document->positionOf(c1, l1) + int(inserted.size());
        m_document->InsertOverwrite(c1, l1, c2, l2, inserted);
        ++count;
        from = QTextCursor(document());
        from.setPosition(std::min(after, document()->characterCount() - 1));
    }
    m_document->endUndoGroup();
    return count;
}

void SourceView::CollapseBlock()
{
    if (m_document->CollapseBlock(CaretLine()) && m_document->isLineHidden(CaretLine()))
        keepCaretVisibleLine(false);
}

void SourceView::ExpandBlock()
{
    m_document->ExpandBlock(CaretLine());
}

void SourceView::CollapseAllBlocks()
{
    m_document->CollapseAll();
    if (m_document->isLineHidden(CaretLine()))
        keepCaretVisibleLine(false);
}

void SourceView::ExpandAllBlocks()
{
    m_document->ExpandAll();
}

void SourceView::RefreshLines(int from, int to)
{
    if (from < 0) {
        from = CaretLine();
        to = from;
    }
    m_document->UpdateViews(2, from, to < 0 ? from : to);
}

// --- printing --------------------------------------------------------------------------------

void SourceView::PrintText()
{
    QPrinter printer;
    printer.setDocName(m_document->PathName());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintText(&printer);
}

bool SourceView::PrintText(QPrinter *printer)
{
    if (!printer)
        return false;
    // Token colours live in the layouts, which a copy of the document does not
    // carry: colour every line, then write the colours into the copy as formats.
    m_document->colourLines(0, m_document->NumLines() - 1);
    std::unique_ptr<QTextDocument> copy(document()->clone());
    copy->setDefaultFont(font());
    QTextOption option = copy->defaultTextOption();
    option.setTabStopDistance(tabStopDistance());
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    copy->setDefaultTextOption(option);
    QTextBlock source = document()->firstBlock();
    QTextBlock target = copy->firstBlock();
    QTextCursor cursor(copy.get());
    for (; source.isValid() && target.isValid(); source = source.next(), target = target.next()) {
        target.setVisible(true);
        if (!source.layout())
            continue;
        for (const QTextLayout::FormatRange &range : source.layout()->formats()) {
            cursor.setPosition(target.position() + range.start);
            cursor.setPosition(target.position() + range.start + range.length,
                               QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(range.format);
        }
    }
    if (printer->docName().isEmpty())
        printer->setDocName(m_document->PathName());
    copy->print(printer);
    return true;
}

// --- geometry and appearance ------------------------------------------------------------------

void SourceView::SetFont(const QFont &newFont)
{
    setFont(newFont);
}

void SourceView::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_margin && m_document) {
        setTabSize(m_tabSize);
        updateMarginGeometry();
        m_document->UpdateViews(8, 0, 0);
    }
}

void SourceView::SetMarginWidth(int cells)
{
    m_marginWidth = std::max(cells, 0);
    updateMarginGeometry();
}

int SourceView::CharWidth() const
{
    return std::max(1, QFontMetrics(font()).horizontalAdvance(QLatin1Char('M')));
}

int SourceView::CharHeight() const
{
    const QTextBlock block = document()->firstBlock();
    if (block.isValid() && block.layout() && block.layout()->lineCount() > 0)
        return std::max(1, qRound(block.layout()->lineAt(0).height()));
    return std::max(1, QFontMetrics(font()).height());
}

void SourceView::setTabSize(int columns)
{
    m_tabSize = std::max(columns, 1);
    setTabStopDistance(m_tabSize * QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
}

void SourceView::updateMarginGeometry()
{
    const int width = m_marginWidth * CharWidth();
    setViewportMargins(width, 0, 0, 0);
    const QRect contents = contentsRect();
    m_margin->setGeometry(contents.left(), contents.top(), width, viewport()->height());
    m_margin->update();
}

void SourceView::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    updateMarginGeometry();
    schedulePrepare();
}

void SourceView::SetSettings(EditorSettings *settings)
{
    if (!settings || settings == m_settings)
        return;
    disconnect(m_settings, nullptr, this, nullptr);
    m_settings = settings;
    connect(m_settings, &EditorSettings::docOptionsChanged, this, &SourceView::onDocOptionsChanged);
    m_document->setSettings(settings);
    onDocOptionsChanged(settings->DocOptions());
}

void SourceView::onDocOptionsChanged(int options)
{
    m_document->setCollapsingEnabled(options & EditorSettings::kCollapsing);
}

void SourceView::setDrawCallback(ISourceDraw *draw)
{
    m_draw = draw;
    viewport()->update();
    m_margin->update();
}

QColor SourceView::BackColor() const
{
    return palette().color(QPalette::Base);
}

void SourceView::SetBackColor(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    setPalette(p);
    m_margin->update();
}

QColor SourceView::ForeColor() const
{
    return palette().color(QPalette::Text);
}

void SourceView::SetForeColor(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, colour);
    setPalette(p);
}

void SourceView::applyReadOnly()
{
    const bool readOnly = m_document->ReadOnly();
    setReadOnly(readOnly);
    // Read-only routines are still navigated with the keyboard, so the caret stays.
    setTextInteractionFlags(readOnly ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                     : Qt::TextEditorInteraction);
}

// --- coordinates --------------------------------------------------------------------------------

QPoint SourceView::toDevice(const QPoint &viewportPos) const
{
    return viewportPos + QPoint(m_marginWidth * CharWidth(), 0);
}

void SourceView::DocToDevice(int column, int line, int &x, int &y) const
{
    line = std::clamp(line, 0, m_document->NumLines() - 1);
    const QTextBlock block = document()->findBlockByNumber(line);
    const QPointF offset = contentOffset();
    const QRectF geometry = blockBoundingGeometry(block).translated(offset);
    const QTextLayout *layout = block.layout();
    column = std::clamp(column, 0, block.length() - 1);
    const int marginPx = m_marginWidth * CharWidth();
    if (!layout || layout->lineCount() == 0) {
        x = marginPx + qRound(offset.x()) + column * CharWidth();
        y = qRound(geometry.top());
        return;
    }
    const QTextLine row = layout->lineForTextPosition(column);
    const QTextLine useRow = row.isValid() ? row : layout->lineAt(layout->lineCount() - 1);
    x = marginPx + qRound(offset.x() + useRow.cursorToX(column));
    y = qRound(geometry.top() + useRow.y());
}

void SourceView::DeviceToDoc(int x, int y, int &column, int &line) const
{
    const int marginPx = m_marginWidth * CharWidth();
    const qreal vx = x - marginPx;
    QPointF offset = contentOffset();
    QTextBlock block = firstVisibleBlock();
    QTextBlock lastShown;
    qreal lastTop = offset.y();
    while (block.isValid()) {
        if (block.isVisible()) {
            const QRectF r = blockBoundingRect(block).translated(offset);
            const QTextLayout *layout = block.layout();
            const int rows = layout ? layout->lineCount() : 0;
            for (int i = 0; i < rows; ++i) {
                const QTextLine row = layout->lineAt(i);
                const qreal top = r.top() + row.y();
                if (y < top + row.height() || (y < 0 && i == 0)) {
                    line = block.blockNumber();
                    int col = row.xToCursor(vx - offset.x(), QTextLine::CursorOnCharacter);
                    column = std::clamp(col, row.textStart(), row.textStart() + row.textLength());
                    return;
                }
            }
            lastShown = block;
            lastTop = r.top();
            offset.ry() += r.height();
        }
        block = block.next();
    }
    // Below the text: the last line.
    if (!lastShown.isValid()) {
        line = std::max(m_document->NumLines() - 1, 0);
        column = 0;
        return;
    }
    Q_UNUSED(lastTop);
    line = lastShown.blockNumber();
    const QTextLayout *layout = lastShown.layout();
    if (!layout || layout->lineCount() == 0) {
        column = 0;
        return;
    }
    const QTextLine row = layout->lineAt(layout->lineCount() - 1);
    const int col = row.xToCursor(vx - contentOffset().x(), QTextLine::CursorOnCharacter);
    column = std::clamp(col, row.textStart(), row.textStart() + row.textLength());
}

// --- painting -----------------------------------------------------------------------------------

std::vector<SourceView::Row> SourceView::visibleRows(int fromY, int toY) const
{
    std::vector<Row> rows;
    QPointF offset = contentOffset();
    QTextBlock block = firstVisibleBlock();
    while (block.isValid()) {
        if (block.isVisible()) {
            const QRectF r = blockBoundingRect(block).translated(offset);
            if (r.top() > toY)
                break;
            const QTextLayout *layout = block.layout();
            const int count = layout ? layout->lineCount() : 0;
            for (int i = 0; i < count; ++i) {
                const QTextLine tl = layout->lineAt(i);
                const int top = qRound(r.top() + tl.y());
                const int height = qRound(tl.height());
                if (top + height < fromY || top > toY)
                    continue;
                rows.push_back({block.blockNumber(), top, height, tl.textStart(),
                                tl.textStart() + tl.textLength(), i});
            }
            offset.ry() += r.height();
        }
        block = block.next();
    }
    return rows;
}

void SourceView::runDrawPass(QPainter &painter, const std::vector<Row> &rows,
                             std::vector<SourceDrawRecord> *records)
{
    SourceDrawRecord record;
    record.painter = &painter;
    record.textLeft = m_marginWidth * CharWidth();
    record.textRight = record.textLeft + viewport()->width();
    record.height = CharHeight();
    if (records)
        records->clear();
    if (m_draw) {
        m_draw->PreDraw(record);
        m_draw->PreDrawPage(record);
    }
    for (const Row &row : rows) {
        SourceDrawRecord r = record;
        r.line = row.line;
        r.top = row.top;
        r.height = row.height;
        r.firstColumn = row.firstColumn;
        r.endColumn = row.endColumn;
        r.foreColour = ForeColor();
        r.backColour = BackColor();
        if (m_draw)
            m_draw->PreDrawLine(r);
        if (records)
            records->push_back(r);
    }
}

void SourceView::paintMargin(QPaintEvent *event, QWidget *margin)
{
    QPainter painter(margin);
    painter.fillRect(event->rect(), BackColor());
    if (!m_draw)
        return;
    painter.setClipRect(event->rect());
    const std::vector<Row> rows = visibleRows(event->rect().top(), event->rect().bottom());
    runDrawPass(painter, rows, nullptr);
    SourceDrawRecord record;
    record.painter = &painter;
    record.textLeft = m_marginWidth * CharWidth();
    record.textRight = record.textLeft + viewport()->width();
    record.height = CharHeight();
    m_draw->PostDrawPage(record);
    m_draw->PostDraw(record);
}

void SourceView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect er = event->rect();
    const QPointF origin = contentOffset();
    painter.setBrushOrigin(origin);
    painter.setClipRect(er);
    const int marginPx = m_marginWidth * CharWidth();
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
    const std::vector<Row> rows = visibleRows(er.top(), er.bottom());

    // The drawing callback works in device pixels of the control.
    std::vector<SourceDrawRecord> records;
    painter.save();
    painter.translate(-marginPx, 0);
    runDrawPass(painter, rows, &records);
    painter.restore();

    const bool caretShown =
        !isReadOnly() || (textInteractionFlags() & Qt::TextSelectableByKeyboard);
    const bool blockCaret = m_caretStyle == 1 || overwriteMode();
    size_t rowIndex = 0;
    QPointF offset = origin;
    painter.setPen(context.palette.text().color());
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        if (!block.isVisible())
            continue;
        const QRectF r = blockBoundingRect(block).translated(offset);
        if (r.top() > er.bottom())
            break;
        QTextLayout *layout = block.layout();
        if (r.bottom() >= er.top() && layout) {
            QList<QTextLayout::FormatRange> selections;
            const int blpos = block.position();
            const int bllen = block.length();
            // Rows the callback coloured: their colours first, the selection over them.
            for (; rowIndex < records.size() && records[rowIndex].line < block.blockNumber();
                 ++rowIndex) {
            }
            for (; rowIndex < records.size() && records[rowIndex].line == block.blockNumber();
                 ++rowIndex) {
                const SourceDrawRecord &rec = records[rowIndex];
                if (!rec.colourFlag)
                    continue;
                painter.fillRect(QRectF(0, rec.top, viewport()->width(), rec.height),
                                 rec.backColour);
                QTextLayout::FormatRange o;
                o.start = rec.firstColumn;
                o.length = rec.endColumn - rec.firstColumn;
                o.format.setForeground(rec.foreColour);
                selections.append(o);
            }
            for (const QAbstractTextDocumentLayout::Selection &range : context.selections) {
                const int selStart = range.cursor.selectionStart() - blpos;
                const int selEnd = range.cursor.selectionEnd() - blpos;
                if (selStart < bllen && selEnd > 0 && selEnd > selStart) {
                    QTextLayout::FormatRange o;
                    o.start = selStart;
                    o.length = selEnd - selStart;
                    o.format = range.format;
                    selections.append(o);
                }
            }
            bool drawCaret = caretShown && context.cursorPosition >= blpos
                             && context.cursorPosition < blpos + bllen;
            bool drawAsBlock = drawCaret && blockCaret;
            if (drawAsBlock) {
                if (context.cursorPosition == blpos + bllen - 1) {
                    drawAsBlock = false;
                } else {
                    QTextLayout::FormatRange o;
                    o.start = context.cursorPosition - blpos;
                    o.length = 1;
                    o.format.setForeground(palette().base());
                    o.format.setBackground(palette().text());
                    selections.append(o);
                }
            }
            layout->draw(&painter, offset, selections, er);
            if (drawCaret && !drawAsBlock)
                layout->drawCursor(&painter, offset, context.cursorPosition - blpos,
                                   cursorWidth());
        }
        offset.ry() += r.height();
        if (offset.y() > viewport()->height())
            break;
    }

    if (m_draw) {
        painter.save();
        painter.translate(-marginPx, 0);
        SourceDrawRecord record;
        record.painter = &painter;
        record.textLeft = marginPx;
        record.textRight = marginPx + viewport()->width();
        record.height = CharHeight();
        m_draw->PostDrawPage(record);
        m_draw->PostDraw(record);
        painter.restore();
    }
}

void SourceView::schedulePrepare()
{
    if (m_prepareQueued)
        return;
    m_prepareQueued = true;
    // A posted call runs before the low-priority update request that paints.
    QMetaObject::invokeMethod(this, [this] {
        m_prepareQueued = false;
        prepareVisibleLines();
    }, Qt::QueuedConnection);
}

void SourceView::prepareVisibleLines()
{
    if (!m_document)
        return;
    m_document->applyVisibility();
    const QTextBlock first = firstVisibleBlock();
    if (!first.isValid())
        return;
    m_document->colourLines(first.blockNumber(), LastVisibleLine());
}

void SourceView::onRepaintRequested(int from, int to)
{
    Q_UNUSED(from);
    Q_UNUSED(to);
    viewport()->update();
    m_margin->update();
    schedulePrepare();
}

// --- keys and mouse ------------------------------------------------------------------------------

void SourceView::keyPressEvent(QKeyEvent *event)
{
    const int vk = VbKeys::virtualKey(event);
    QString description = tr("Typing");
    if (vk == 13)
        description = tr("Enter");
    else if (vk == 8 || vk == 46)
        description = tr("Delete");
    // Whatever the key and its handlers edit is one undo step.
    m_document->beginUndoGroup(description);
    handleKey(event, description);
    m_document->endUndoGroup();
}

void SourceView::handleKey(QKeyEvent *event, const QString &description)
{
    const int vk = VbKeys::virtualKey(event);
    const int shift = VbKeys::shiftState(event->modifiers());
    int code = vk;
    if (vk) {
        emit KeyDown(code, shift);
        if (code == 0) {
            event->accept();
            return;
        }
    }
    if (vk == 45 && shift == 0) {
        ExecuteCommand(CmdToggleOvertype);
        event->accept();
        return;
    }
    // Ctrl+V, Ctrl+X, Ctrl+Z and the like type a control character first: a
    // handler that swallows it (a pane refusing input, a window that runs the
    // command itself) must stop the control's own action too.
    const int ascii = VbKeys::keyAscii(event);
    int typed = ascii;
    if (ascii) {
        emit KeyPress(typed);
        if (typed == 0) {
            event->accept();
            return;
        }
    }
    if (typed == ascii && handleShortcut(event))
        return;
    const bool plainModifiers = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed >= 32 || ((plainModifiers || typed != ascii) && (typed == 9 || typed == 13))) {
        if (!m_document->ReadOnly())
            typeText(typed == 13 ? QStringLiteral("\n") : QString(QChar(typed)), description);
        event->accept();
        return;
    }
    // Keys Qt edits with itself (Backspace, Delete, word deletions) name their step.
    m_document->setPendingUndoDescription(description);
    QPlainTextEdit::keyPressEvent(event);
    m_document->setPendingUndoDescription(QString());
}

bool SourceView::handleShortcut(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        if (!m_document->ReadOnly())
            m_document->Undo();
        return true;
    }
    if (event->matches(QKeySequence::Redo)) {
        if (!m_document->ReadOnly())
            m_document->Redo();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        ExecuteCommand(CmdCut);
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        ExecuteCommand(CmdCopy);
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        ExecuteCommand(CmdPaste);
        return true;
    }
    return false;
}

void SourceView::typeText(const QString &text, const QString &description)
{
    // Typed text goes in here rather than through Qt's key handling: Qt lets its
    // own typing merge into earlier undo steps by rules of its own, and its
    // Enter rewrites the new line's formats, reported as a change of the whole
    // line. Typing where the last typed text ended extends that step instead.
    QTextCursor cursor = textCursor();
    const bool plainTyping = text != QLatin1String("\n") && !cursor.hasSelection()
                             && !overwriteMode();
    m_document->beginEditStep(description, plainTyping && cursor.position() == m_typingEnd);
    if (!cursor.hasSelection() && overwriteMode() && !cursor.atBlockEnd()
        && text != QLatin1String("\n"))
        cursor.deleteChar();
    cursor.insertText(text);
    m_document->endEditStep();
    setTextCursor(cursor);
    ensureCursorVisible();
    m_typingEnd = plainTyping ? cursor.position() : -1;
}

void SourceView::keyReleaseEvent(QKeyEvent *event)
{
    int code = VbKeys::virtualKey(event);
    if (code) {
        emit KeyUp(code, VbKeys::shiftState(event->modifiers()));
        if (code == 0) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyReleaseEvent(event);
}

void SourceView::emitMouse(void (SourceView::*signal)(int &, int &, int &, int &),
                           QMouseEvent *event, const QPoint &devicePos)
{
    int button = buttonCode(event->type() == QEvent::MouseMove ? event->buttons()
                                                                : Qt::MouseButtons(event->button()));
    int shift = VbKeys::shiftState(event->modifiers());
    int x = devicePos.x();
    int y = devicePos.y();
    emit(this->*signal)(button, shift, x, y);
}

void SourceView::mousePressEvent(QMouseEvent *event)
{
    m_pressInside = event->button() == Qt::LeftButton;
    emitMouse(&SourceView::MouseDown, event, toDevice(event->position().toPoint()));
    QPlainTextEdit::mousePressEvent(event);
}

void SourceView::mouseMoveEvent(QMouseEvent *event)
{
    emitMouse(&SourceView::MouseMove, event, toDevice(event->position().toPoint()));
    QPlainTextEdit::mouseMoveEvent(event);
}

void SourceView::mouseReleaseEvent(QMouseEvent *event)
{
    emitMouse(&SourceView::MouseUp, event, toDevice(event->position().toPoint()));
    QPlainTextEdit::mouseReleaseEvent(event);
    if (m_pressInside && event->button() == Qt::LeftButton
        && viewport()->rect().contains(event->position().toPoint()))
        emit Click();
    m_pressInside = false;
}

void SourceView::dropEvent(QDropEvent *event)
{
    // Qt would move dragged text as one change covering everything between the
    // two places, losing the line data of every line in between: the drop is
    // an insertion and a deletion of our own instead, one undo step.
    const QMimeData *mime = event->mimeData();
    if (m_document->ReadOnly() || !mime || !mime->hasText()) {
        event->ignore();
        return;
    }
    const QString text = SourceDocument::normalizeLineEnds(mime->text());
    const int drop = cursorForPosition(event->position().toPoint()).position();
    const QTextCursor selection = textCursor();
    const bool move = event->source() == viewport() && event->dropAction() == Qt::MoveAction
                      && selection.hasSelection();
    int start = selection.selectionStart();
    int end = selection.selectionEnd();
    if (move && drop >= start && drop <= end) {
        event->ignore();
        return;
    }
    auto cell = [this](int position, int &column, int &line) {
        const QTextBlock block = document()->findBlock(position);
        line = block.blockNumber();
        column = position - block.position();
    };
    m_document->beginUndoGroup(tr("Drag and Drop"));
    int column = 0, line = 0;
    cell(drop, column, line);
    m_document->Insert(column, line, text);
    int insertedStart = drop;
    if (move) {
        if (drop < start) {
            start += int(text.size());
            end += int(text.size());
        }
        int c1, l1, c2, l2;
        cell(start, c1, l1);
        cell(end, c2, l2);
        m_document->Delete(c1, l1, c2, l2);
        if (drop > start)
            insertedStart -= end - start;
    }
    m_document->endUndoGroup();
    QTextCursor inserted(document());
    inserted.setPosition(insertedStart);
    inserted.setPosition(insertedStart + int(text.size()), QTextCursor::KeepAnchor);
    setTextCursor(inserted);
    event->setDropAction(move ? Qt::CopyAction : event->dropAction());
    event->accept();
}

bool SourceView::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void SourceView::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || m_document->ReadOnly())
        return;
    // Text from other programs arrives with CR LF or CR line ends.
    QTextCursor cursor = textCursor();
    m_document->beginEditStep(tr("Paste"), false);
    cursor.insertText(SourceDocument::normalizeLineEnds(source->text()));
    m_document->endEditStep();
    setTextCursor(cursor);
    ensureCursorVisible();
}
