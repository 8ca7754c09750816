#include "splitterlayout.h"

#include <algorithm>

SplitterGeometry SplitterLayout::compute(int orientation, const QSize &inner, int barPosition,
                                         const SplitterGeometry &current)
{
    if (!isLaidOut(orientation))
        return current;

    const bool horizontal = orientation == HorizontalBar;
    const int extent = std::max(0, horizontal ? inner.height() : inner.width());
    const int across = std::max(0, horizontal ? inner.width() : inner.height());

    // A bar that would reach past the far edge goes against it; one that would start
    // before the near edge (also when the splitter is thinner than the bar) goes to 0.
    // Clamping to extent - bar rather than only at extent keeps the secondary cell
    // from ever getting a negative size.
    const int position = std::max(0, std::min(barPosition, extent - BarThickness));
    const int secondaryStart = position + BarThickness;
    const int secondaryExtent = std::max(0, extent - secondaryStart);

    SplitterGeometry g;
    if (horizontal) {
        g.bar = QRect(0, position, across, BarThickness);
        g.primary = QRect(0, 0, across, position);
        g.secondary = QRect(0, secondaryStart, across, secondaryExtent);
    } else {
        g.bar = QRect(position, 0, BarThickness, across);
        g.primary = QRect(0, 0, position, across);
        g.secondary = QRect(secondaryStart, 0, secondaryExtent, across);
    }
    return g;
}

int SplitterLayout::centredPosition(int orientation, const QSize &inner)
{
    const int extent = orientation == VerticalBar ? inner.width() : inner.height();
    return (extent - BarThickness) / 2;
}
