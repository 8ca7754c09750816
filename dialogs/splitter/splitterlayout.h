#pragma once

#include <QRect>
#include <QSize>

// Where the splitter's bar and its two cells go, in pixels relative to the
// splitter's client area. Pure arithmetic, so every rule can be checked without
// a window.
//
// Orientation 1 is a vertical bar moved left and right (cells side by side),
// orientation 0 a horizontal bar moved up and down (cells stacked). Any other
// orientation lays nothing out: the geometry handed in comes back unchanged.
struct SplitterGeometry
{
    QRect bar;
    QRect primary;      // cell 0: left of or above the bar
    QRect secondary;    // cell 1: right of or below the bar
};

class SplitterLayout
{
public:
    static constexpr int BarThickness = 6;   // pixels, whatever the host's scale

    enum : int { HorizontalBar = 0, VerticalBar = 1 };

    // Lays the bar out at barPosition (its top for a horizontal bar, its left for a
    // vertical one): a position at or beyond the far edge puts the bar against that
    // edge, a negative one at 0. No cell ever gets a negative size, even when the
    // splitter is thinner than the bar.
    static SplitterGeometry compute(int orientation, const QSize &inner, int barPosition,
                                    const SplitterGeometry &current = {});

    // The bar position that centres the bar, (extent - bar) / 2 truncated.
    static int centredPosition(int orientation, const QSize &inner);

    static bool isLaidOut(int orientation)
    {
        return orientation == HorizontalBar || orientation == VerticalBar;
    }
};
