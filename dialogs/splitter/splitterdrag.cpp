#include "splitterdrag.h"

#include "splitterlayout.h"

#include <algorithm>

namespace {
// How close to the limits a pointer may come and still be followed.
constexpr int HorizontalIgnoreBand = 4;
constexpr int VerticalIgnoreBand = 2;
// A release this close to the primary cell's edge snaps the bar to 0 ...
constexpr int HorizontalSnapNear = 6;
constexpr int VerticalSnapNear = 4;
// ... and this close to the splitter's far edge to the far end.
constexpr int HorizontalSnapFar = 5;
constexpr int VerticalSnapFar = 4;
// The outline is the pointer's line +- this, inset this from the cell's other edges.
constexpr int OutlineHalf = 2;
// The drag offset is the pointer's distance from the primary edge plus this; the
// bar then goes at offset - bar thickness, 4 pixels before the pointer.
constexpr int OffsetBias = 2;
} // namespace

QRect SplitterDrag::outlineAt(const QPoint &pos, const QRect &primary) const
{
    if (horizontalBar()) {
        const int left = primary.x() + OutlineHalf;
        const int right = primary.x() + primary.width() - OutlineHalf;
        return QRect(left, pos.y() - OutlineHalf, right - left, 2 * OutlineHalf);
    }
    const int top = primary.y() + OutlineHalf;
    const int bottom = primary.y() + primary.height() - OutlineHalf;
    return QRect(pos.x() - OutlineHalf, top, 2 * OutlineHalf, bottom - top);
}

bool SplitterDrag::ignored(const QPoint &pos, const QRect &primary, const QSize &size) const
{
    // Only the drag axis counts: the pointer may wander sideways off the splitter.
    if (horizontalBar())
        return pos.y() < primary.y() + HorizontalIgnoreBand
               || pos.y() > size.height() - HorizontalIgnoreBand;
    return pos.x() < primary.x() + VerticalIgnoreBand || pos.x() > size.width() - VerticalIgnoreBand;
}

SplitterDrag::Step SplitterDrag::press(const QPoint &pos, const QRect &primary, const QSize &size)
{
    Q_UNUSED(size);
    m_lastPointer = pos;
    m_lastLine = horizontalBar() ? pos.y() : pos.x();
    m_dragOffset = horizontalBar() ? pos.y() - primary.y() + OffsetBias
                                   : pos.x() - primary.x() + OffsetBias;
    m_outline = m_style == Live ? QRect() : outlineAt(pos, primary);
    m_dragging = true;

    Step step;
    step.followed = true;
    step.outline = m_outline;
    return step;
}

SplitterDrag::Step SplitterDrag::move(const QPoint &pos, const QRect &primary, const QSize &size)
{
    Step step;
    if (!m_dragging)
        return step;
    m_lastPointer = pos;
    const int line = horizontalBar() ? pos.y() : pos.x();
    if (line == m_lastLine || ignored(pos, primary, size)) {
        step.outline = m_outline;
        return step;
    }

    m_dragOffset = line - (horizontalBar() ? primary.y() : primary.x()) + OffsetBias;
    m_lastLine = line;
    step.followed = true;
    if (m_style == Live) {
        m_outline = QRect();
        step.barPosition = std::max(0, m_dragOffset - SplitterLayout::BarThickness);
    } else {
        m_outline = outlineAt(pos, primary);
    }
    step.outline = m_outline;
    return step;
}

int SplitterDrag::release(const QPoint &pos, const QRect &primary, const QSize &size)
{
    if (!m_dragging)
        return -1;
    m_lastPointer = pos;
    m_dragging = false;
    m_outline = QRect();

    const int bar = SplitterLayout::BarThickness;
    if (horizontalBar()) {
        const int y = pos.y();
        if (y <= primary.y() + HorizontalSnapNear)
            return 0;
        if (y >= size.height() - HorizontalSnapFar)
            return std::max(0, size.height() - bar);
        return std::max(0, m_dragOffset - bar);
    }
    const int x = pos.x();
    if (x <= primary.x() + VerticalSnapNear)
        return 0;
    if (x >= size.width() - VerticalSnapFar)
        return std::max(0, size.width() - bar);
    return std::max(0, m_dragOffset - bar);
}

int SplitterDrag::captureLost(const QRect &primary, const QSize &size)
{
    return release(m_lastPointer, primary, size);
}
