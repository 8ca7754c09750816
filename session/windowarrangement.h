#pragma once

#include <QList>

class QMdiArea;
class QMdiSubWindow;

// The Window menu's arrangements of the document area's windows. Each takes the windows
// in the order it places them and keeps them inside the area's visible part.
namespace WindowArrangement {

// The windows a tiling or a cascade places, from the stacking order (bottom first): the
// ones that are not minimised, which keep their place.
QList<QMdiSubWindow *> placeable(const QList<QMdiSubWindow *> &stacking);

// Horizontally: one above another, each the full width; vertically: side by side, each
// the full height. The first window takes the top or the left.
void tile(QMdiArea *area, const QList<QMdiSubWindow *> &windows, bool horizontally);

// One window behind another, each a title bar's height right of and below the one before
// and all of one size, the last in front. Where the next step would take a window past the
// area's right or bottom edge, it starts again at the top-left corner, so every window's
// title bar and lower edge stay in sight at any count.
void cascade(QMdiArea *area, const QList<QMdiSubWindow *> &windows);

// The minimised windows in rows along the bottom, in the order they were made.
void arrangeIcons(QMdiArea *area);

} // namespace WindowArrangement
