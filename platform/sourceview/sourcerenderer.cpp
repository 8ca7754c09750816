#include "sourcerenderer.h"

#include "sourceview.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

SourceRenderer::SourceRenderer(SourceView &view) : m_view(view) {}

std::vector<SourceRenderer::Row> SourceRenderer::visibleRows(int fromY, int toY) const
{
    std::vector<Row> rows;
    QPointF offset = m_view.contentOffset();
    QTextBlock block = m_view.firstVisibleBlock();
    while (block.isValid()) {
        if (block.isVisible()) {
            const QRectF r = m_view.blockBoundingRect(block).translated(offset);
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
                                tl.textStart() + tl.textLength()});
            }
            offset.ry() += r.height();
        }
        block = block.next();
    }
    return rows;
}

SourceDrawRecord SourceRenderer::pageRecord(QPainter &painter) const
{
    SourceDrawRecord record;
    record.painter = &painter;
    record.textLeft = m_view.m_marginWidth * m_view.CharWidth();
    record.textRight = record.textLeft + m_view.viewport()->width();
    record.height = m_view.CharHeight();
    return record;
}

void SourceRenderer::runDrawPass(QPainter &painter, const std::vector<Row> &rows,
                                 std::vector<SourceDrawRecord> *records)
{
    ISourceDraw *draw = m_view.m_draw;
    SourceDrawRecord record = pageRecord(painter);
    if (records)
        records->clear();
    if (draw) {
        draw->PreDraw(record);
        draw->PreDrawPage(record);
    }
    for (const Row &row : rows) {
        SourceDrawRecord r = record;
        r.line = row.line;
        r.top = row.top;
        r.height = row.height;
        r.firstColumn = row.firstColumn;
        r.endColumn = row.endColumn;
        r.foreColour = m_view.ForeColor();
        r.backColour = m_view.BackColor();
        if (draw)
            draw->PreDrawLine(r);
        if (records)
            records->push_back(r);
    }
}

void SourceRenderer::paintMargin(QPaintEvent *event, QWidget *margin)
{
    QPainter painter(margin);
    painter.fillRect(event->rect(), m_view.BackColor());
    ISourceDraw *draw = m_view.m_draw;
    if (!draw)
        return;
    painter.setClipRect(event->rect());
    const std::vector<Row> rows = visibleRows(event->rect().top(), event->rect().bottom());
    runDrawPass(painter, rows, nullptr);
    SourceDrawRecord record = pageRecord(painter);
    draw->PostDrawPage(record);
    draw->PostDraw(record);
}

void SourceRenderer::paintText(QPaintEvent *event)
{
    QWidget *viewport = m_view.viewport();
    QPainter painter(viewport);
    const QRect er = event->rect();
    const QPointF origin = m_view.contentOffset();
    painter.setBrushOrigin(origin);
    painter.setClipRect(er);
    const int marginPx = m_view.m_marginWidth * m_view.CharWidth();
    const QAbstractTextDocumentLayout::PaintContext context = m_view.getPaintContext();
    const std::vector<Row> rows = visibleRows(er.top(), er.bottom());

    // The drawing callback works in device pixels of the control.
    std::vector<SourceDrawRecord> records;
    painter.save();
    painter.translate(-marginPx, 0);
    runDrawPass(painter, rows, &records);
    painter.restore();

    const bool caretShown =
        !m_view.isReadOnly() || (m_view.textInteractionFlags() & Qt::TextSelectableByKeyboard);
    const bool blockCaret = m_view.m_caretStyle == 1 || m_view.overwriteMode();
    size_t rowIndex = 0;
    QPointF offset = origin;
    painter.setPen(context.palette.text().color());
    for (QTextBlock block = m_view.firstVisibleBlock(); block.isValid(); block = block.next()) {
        if (!block.isVisible())
            continue;
        const QRectF r = m_view.blockBoundingRect(block).translated(offset);
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
                painter.fillRect(QRectF(0, rec.top, viewport->width(), rec.height),
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
                    o.format.setForeground(m_view.palette().base());
                    o.format.setBackground(m_view.palette().text());
                    selections.append(o);
                }
            }
            layout->draw(&painter, offset, selections, er);
            if (drawCaret && !drawAsBlock)
                layout->drawCursor(&painter, offset, context.cursorPosition - blpos,
                                   m_view.cursorWidth());
        }
        offset.ry() += r.height();
        if (offset.y() > viewport->height())
            break;
    }

    if (ISourceDraw *draw = m_view.m_draw) {
        painter.save();
        painter.translate(-marginPx, 0);
        SourceDrawRecord record = pageRecord(painter);
        draw->PostDrawPage(record);
        draw->PostDraw(record);
        painter.restore();
    }
}
