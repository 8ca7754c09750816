#include "sourceview.h"

#include "linedata.h"
#include "sourcecaret.h"
#include "sourceinput.h"
#include "sourcemargin.h"
#include "sourcerenderer.h"
#include "sourcesearch.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

SourceView::SourceView(QWidget *parent)
    : QPlainTextEdit(parent), m_caret(std::make_unique<SourceCaret>(*this)),
      m_input(std::make_unique<SourceInput>(*this)),
      m_renderer(std::make_unique<SourceRenderer>(*this)),
      m_search(std::make_unique<SourceSearch>(*this))
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
    connect(this, &QPlainTextEdit::cursorPositionChanged, this,
            [this] { m_caret->onCursorPositionChanged(); });
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    setFont(fixed);
    updateMarginGeometry();
}

SourceView::~SourceView()
{
    // The helpers go before the widget: nothing Qt raises while it takes the
    // widget down may reach them.
    disconnect(this, nullptr, this, nullptr);
    if (m_document) {
        disconnect(m_document, nullptr, this, nullptr);
        disconnect(m_document->textDocument()->documentLayout(), nullptr, this, nullptr);
        m_document->setLastVisibleLineProvider({});
    }
}

void SourceView::SetDocument(SourceDocument *document)
{
    if (!document || document == m_document)
        return;
    if (m_document) {
        disconnect(m_document, nullptr, this, nullptr);
        disconnect(m_document->textDocument()->documentLayout(), nullptr, this, nullptr);
        m_document->setLastVisibleLineProvider({});
    }
    m_document = document;
    QTextDocument *text = document->textDocument();
    if (!qobject_cast<QPlainTextDocumentLayout *>(text->documentLayout()))
        text->setDocumentLayout(new QPlainTextDocumentLayout(text));
    setDocument(text);
    document->setSettings(m_settings);
    document->setLastVisibleLineProvider([this] { return LastVisibleLine(); });
    // A block whose height changed, or a relayout of the whole text, is reported by
    // update() or documentSizeChanged(); a block repainted at its old height by
    // updateBlock() alone, which is what colouring a line causes, moves nothing.
    forgetLastVisibleLine();
    auto *layout = text->documentLayout();
    connect(layout, &QAbstractTextDocumentLayout::update, this, [this] { forgetLastVisibleLine(); });
    connect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { forgetLastVisibleLine(); });
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
        forgetLastVisibleLine();
        m_caret->onVisibilityChanged();
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
    // Settings that ask for collapsing collapse what the view shows; without
    // them the document keeps its own state (its window may have switched it),
    // and with it the block bits of its line data.
    if (m_settingsCollapsing)
        document->setCollapsingEnabled(true);
    setTabSize(m_tabSize);
    applyReadOnly();
    schedulePrepare();
}

void SourceView::onTextChanged()
{
    m_input->breakTyping();
    m_caret->noteTextChanged();
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
    m_caret->reveal(line);
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
    // The caret's end is an explicit place: the blocks hiding it open (Select
    // All with the last block collapsed selects the folded lines too).
    const int caretAt = m_document->positionOf(c2, l2);
    m_caret->reveal(document()->findBlock(caretAt).blockNumber());
    QTextCursor cursor = textCursor();
    cursor.setPosition(m_document->positionOf(c1, l1));
    cursor.setPosition(caretAt, QTextCursor::KeepAnchor);
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
    // The background parse asks several times per line it colours, so the check that the
    // last walk still holds must not look the top line up in the document: the scroll
    // bar's value names it as well, for as long as the layout (which resets the walk) stands.
    const int scrollValue = verticalScrollBar()->value();
    const int height = viewport()->height();
    qreal top = contentOffset().y();
    const int blockCount = document()->blockCount();
    LastVisibleWalk &walk = m_lastVisible;
    if (walk.line >= 0 && walk.scrollValue == scrollValue && walk.top == top && walk.height == height
        && walk.blockCount == blockCount)
        return walk.line;
    QTextBlock block = firstVisibleBlock();
    const int firstBlock = block.isValid() ? block.blockNumber() : 0;
    walk = LastVisibleWalk{firstBlock, scrollValue, top, height, blockCount};
    while (block.isValid()) {
        if (block.isVisible()) {
            if (top >= height)
                break;
            walk.line = block.blockNumber();
            top += blockBoundingRect(block).height();
        }
        block = block.next();
    }
    return walk.line;
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
    forgetLastVisibleLine();
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
            m_input->insertMimeData(QGuiApplication::clipboard()->mimeData());
        break;
    default:
        break;   // 32 and the rest: actions this control has no use for
    }
    m_caret->settle();
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

void SourceView::Find()
{
    m_search->find();
}

void SourceView::Replace()
{
    m_search->replace();
}

void SourceView::FindNext()
{
    m_search->findNext();
}

bool SourceView::findText(const QString &text, bool matchCase, bool wholeWord, bool backwards)
{
    return m_search->findText(text, matchCase, wholeWord, backwards);
}

int SourceView::replaceAll(const QString &text, const QString &replacement, bool matchCase,
                           bool wholeWord)
{
    return m_search->replaceAll(text, replacement, matchCase, wholeWord);
}

void SourceView::CollapseBlock()
{
    if (m_document->CollapseBlock(CaretLine()) && m_document->isLineHidden(CaretLine()))
        m_caret->leaveHiddenLine();
}

void SourceView::ExpandBlock()
{
    m_document->ExpandBlock(CaretLine());
}

void SourceView::CollapseAllBlocks()
{
    m_document->CollapseAll();
    if (m_document->isLineHidden(CaretLine()))
        m_caret->leaveHiddenLine();
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
    // The dialog runs an event loop, under which the window this view is part of may be
    // closed, taking the dialog, its child, along: then nothing is printed.
    const QPointer<SourceView> self(this);
    const QPointer<QPrintDialog> dialog = new QPrintDialog(&printer, this);
    const int result = dialog->exec();
    if (!self)
        return;
    delete dialog.data();
    if (result == QDialog::Accepted)
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
    if (event->type() == QEvent::FontChange)
        forgetLastVisibleLine();
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
    // Qt lays out every line again when the width changes. Without wrapping a wider view
    // breaks no line and cuts no width short, and a long routine's first showing would
    // otherwise lay out tens of thousands of lines nobody sees, twice. A shown view that
    // narrows below the widest line laid out still does, so that the horizontal scroll
    // range follows it; the first size of a view that was hidden has nothing to follow.
    const QAbstractTextDocumentLayout *layout = document()->documentLayout();
    if (lineWrapMode() == NoWrap && layout && event->oldSize().width() != event->size().width()
        && (!event->oldSize().isValid() || viewport()->width() >= layout->documentSize().width())) {
        QResizeEvent sameWidth(event->size(), QSize(event->size().width(), event->oldSize().height()));
        QPlainTextEdit::resizeEvent(&sameWidth);
    } else {
        QPlainTextEdit::resizeEvent(event);
    }
    forgetLastVisibleLine();   // a wrapped text has new line breaks
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
    applyCollapsingSetting(options & EditorSettings::kCollapsing);
}

void SourceView::applyCollapsingSetting(bool on)
{
    // Other bits of shared settings change too (each code window adds its load
    // options); they must not switch off the collapsing a window chose for its document.
    if (on == m_settingsCollapsing)
        return;
    m_settingsCollapsing = on;
    m_document->setCollapsingEnabled(on);
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

bool SourceView::DeviceToDocPos(int x, int y, int &column, int &line) const
{
    DeviceToDoc(x, y, column, line);
    int cellX = 0;
    int cellTop = 0;
    DocToDevice(column, line, cellX, cellTop);
    const int cw = CharWidth();
    if (x > m_marginWidth * cw - 2)
        column += 1;
    else if (x > (m_marginWidth - 1) * cw - 2)
        column = -1;
    else
        column = 0;
    line += 1;
    return y - cellTop > CharHeight();
}

// --- painting -----------------------------------------------------------------------------------

void SourceView::paintEvent(QPaintEvent *event)
{
    m_renderer->paintText(event);
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
    Q_UNUSED(to);
    // Lines below the last one shown change nothing on screen (a block's marks come from
    // the lines above it): a routine coloured in the background does not repaint the view
    // for every line it colours.
    if (from <= LastVisibleLine()) {
        viewport()->update();
        m_margin->update();
    }
    schedulePrepare();
}

// --- keys and mouse ------------------------------------------------------------------------------

void SourceView::keyPressEvent(QKeyEvent *event)
{
    m_input->keyPress(event);
}

void SourceView::keyReleaseEvent(QKeyEvent *event)
{
    m_input->keyRelease(event);
}

void SourceView::mousePressEvent(QMouseEvent *event)
{
    m_input->mousePress(event, toDevice(event->position().toPoint()), false);
}

void SourceView::mouseMoveEvent(QMouseEvent *event)
{
    m_input->mouseMove(event, toDevice(event->position().toPoint()), false);
}

void SourceView::mouseReleaseEvent(QMouseEvent *event)
{
    m_input->mouseRelease(event, toDevice(event->position().toPoint()), false);
}

void SourceView::dropEvent(QDropEvent *event)
{
    m_input->drop(event);
}

bool SourceView::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void SourceView::insertFromMimeData(const QMimeData *source)
{
    m_input->insertMimeData(source);
}
