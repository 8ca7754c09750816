#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// The drag rules of the splitter bar, as a state machine fed with pointer positions
// relative to the splitter's client area (so a monitor left of or above the primary
// one changes nothing). Pure: no widgets, no timers.
//
// A press starts the drag and shows an outline, a 4-pixel band around the pointer
// inset 2 pixels from the primary cell's other edges. Moves too close to the limits
// are not followed (4 pixels for a horizontal bar, 2 for a vertical one). The
// release puts the bar 4 pixels above (left of) the last followed pointer position,
// snapping it to 0 near the primary cell's top (left) edge and to the far end near
// the splitter's far edge. A lost capture ends the drag as a release at the last
// pointer position seen.
class SplitterDrag
{
public:
    // What a press or a followed move asks the splitter to show.
    struct Step
    {
        bool followed = false;   // false: the position was ignored, nothing changes
        QRect outline;           // the band to draw (null when nothing to draw)
        int barPosition = -1;    // live style only: the bar's new top or left, else -1
    };

    enum : int { FocusOutline = 0, InvertedOutline = 1, Live = 2 };

    // orientation as SplitterLayout (0 horizontal bar, 1 vertical bar); style as
    // the splitter's SplitterStyle (2 = live, no outline).
    void setOrientation(int orientation) { m_orientation = orientation; }
    int orientation() const { return m_orientation; }
    void setStyle(int style) { m_style = style; }
    int style() const { return m_style; }

    // primary: cell 0's rectangle; size: the splitter's client size.
    Step press(const QPoint &pos, const QRect &primary, const QSize &size);
    Step move(const QPoint &pos, const QRect &primary, const QSize &size);
    // The bar's new position (top or left) in pixels, never negative; -1 when no
    // drag was running.
    int release(const QPoint &pos, const QRect &primary, const QSize &size);
    // The mouse went elsewhere without a release we saw: end at the last position.
    int captureLost(const QRect &primary, const QSize &size);

    bool isDragging() const { return m_dragging; }
    QRect outline() const { return m_outline; }
    // The last followed pointer position's distance from the primary cell's top
    // (left) edge, plus 2.
    int dragOffset() const { return m_dragOffset; }

private:
    bool horizontalBar() const { return m_orientation == 0; }
    QRect outlineAt(const QPoint &pos, const QRect &primary) const;
    bool ignored(const QPoint &pos, const QRect &primary, const QSize &size) const;

    int m_orientation = 1;     // 0 horizontal bar, 1 vertical bar
    int m_style = 0;           // 2: the bar follows each move, no outline
    bool m_dragging = false;   // between press and release (or capture loss)
    int m_lastLine = 0;        // the pointer's y (x) at the last followed step: same line, nothing to do
    int m_dragOffset = 0;      // pointer - primary edge + 2 at the last followed step
    QRect m_outline;           // the band drawn now
    QPoint m_lastPointer;      // every position seen, for ending on capture loss
};
