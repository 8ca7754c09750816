#include "immediatedraw.h"

#include "linedata.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QPainter>

namespace {

// Slot 1 of an execute view's line: the developer typed on it.
constexpr std::int32_t CommandLine = 1;

} // namespace

ImmediateDraw::ImmediateDraw(SourceView *view)
    : m_view(view)
{
    if (m_view)
        m_view->setDrawCallback(this);
}

ImmediateDraw::~ImmediateDraw()
{
    if (m_view && m_view->drawCallback() == this)
        m_view->setDrawCallback(nullptr);
}

void ImmediateDraw::PreDraw(SourceDrawRecord &)
{
    m_barBrush = QBrush(barColour());
}

void ImmediateDraw::PreDrawPage(SourceDrawRecord &) {}

void ImmediateDraw::PreDrawLine(SourceDrawRecord &record)
{
    SourceView *view = m_view;
    if (!view)
        return;
    const SourceDocument *doc = view->Document();
    const int cw = view->CharWidth();
    int cells = view->MarginWidth();
    if (view->Options() & SourceView::kSelectionMargin)
        cells -= 1;
    const int edge = cw * cells;

    record.colourFlag = true;
    record.backColour = view->BackColor();
    record.foreColour = view->ForeColor();
    if (doc->ExtraData() > 1 && doc->GetLineData(record.line, LineData::kFlagSlot) == CommandLine)
        record.foreColour = commandColour();

    QPainter *painter = record.painter;
    if (!painter)
        return;
    if (record.firstColumn > 0) {
        // The rectangle from (edge - 6, top + 3) to (edge - 3, top + CharHeight - 2), its
        // right and bottom just outside; QPainter strokes width + 1 by height + 1 pixels.
        const int left = edge - 6;
        const int top = record.top + 3;
        const int right = edge - 3;
        const int bottom = record.top + view->CharHeight() - 2;
        if (right > left && bottom > top) {
            painter->save();
            painter->setPen(QPen(Qt::black, 1));
            painter->setBrush(m_barBrush);
            painter->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
            painter->restore();
        }
    } else if (doc->GetLineData(record.line, LineData::kControlSlot) & LineData::kBookmark) {
        // The view draws no bookmarks of its own.
        const int size = qMax(4, qMin(cw, record.height) - 4);
        const int left = 2;
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 128, 128));
        painter->drawRoundedRect(QRect(left, record.top + (record.height - size) / 2, size, size), 2, 2);
        painter->restore();
    }
}

void ImmediateDraw::PostDrawPage(SourceDrawRecord &) {}

void ImmediateDraw::PostDraw(SourceDrawRecord &)
{
    m_barBrush = QBrush();
}
