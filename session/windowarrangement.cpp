#include "windowarrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include <algorithm>

namespace WindowArrangement {

QList<QMdiSubWindow *> placeable(const QList<QMdiSubWindow *> &stacking)
{
    QList<QMdiSubWindow *> windows = stacking;
    windows.erase(std::remove_if(windows.begin(), windows.end(), [](QMdiSubWindow *w) { return w->isMinimized(); }),
                  windows.end());
    return windows;
}

void tile(QMdiArea *area, const QList<QMdiSubWindow *> &windows, bool horizontally)
{
    if (windows.isEmpty())
        return;
    const QRect space = area->viewport()->rect();
    const int n = int(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *w = windows[i];
        if (w->isMaximized())
            w->showNormal();
        if (horizontally) {
            const int top = space.height() * i / n, bottom = space.height() * (i + 1) / n;
            w->setGeometry(0, top, space.width(), bottom - top);
        } else {
            const int left = space.width() * i / n, right = space.width() * (i + 1) / n;
            w->setGeometry(left, 0, right - left, space.height());
        }
    }
}

namespace {

int titleBarHeight(QMdiSubWindow *window)
{
    QStyleOptionTitleBar option;
    option.initFrom(window);
    return std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, window), 1);
}

} // namespace

void cascade(QMdiArea *area, const QList<QMdiSubWindow *> &windows)
{
    if (windows.isEmpty())
        return;
    for (QMdiSubWindow *w : windows) {
        if (w->isMaximized())
            w->showNormal();
    }
    const QSize space = area->viewport()->size();
    const int step = titleBarHeight(windows.first());
    // As the desktop cascades: the windows leave a third of the area's height for the
    // steps, but never shrink below what their contents need, nor grow past the area.
    const int steps = space.height() / (3 * step);
    QSize size(space.width() - steps * step, space.height() - steps * step);
    for (QMdiSubWindow *w : windows)
        size = size.expandedTo(w->minimumSizeHint()).expandedTo(w->minimumSize());
    size = size.boundedTo(space);
    // The last offset at which a window still lies wholly inside.
    const int lastOffset = std::max(std::min((space.width() - size.width()) / step,
                                             (space.height() - size.height()) / step), 0);
    int offset = 0;
    for (QMdiSubWindow *w : windows) {
        w->setGeometry(offset * step, offset * step, size.width(), size.height());
        offset = offset == lastOffset ? 0 : offset + 1;
    }
}

void arrangeIcons(QMdiArea *area)
{
    const QRect space = area->viewport()->rect();
    int x = 0, y = space.height();
    int rowHeight = 0;
    for (QMdiSubWindow *w : area->subWindowList(QMdiArea::CreationOrder)) {
        if (w->isHidden() || !w->isMinimized())
            continue;
        const QSize size = w->size();
        if (x > 0 && x + size.width() > space.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        if (rowHeight == 0)
            rowHeight = size.height();
        w->move(x, y - rowHeight);
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
}

} // namespace WindowArrangement
