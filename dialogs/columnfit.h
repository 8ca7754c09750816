#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QTreeView;

// Keeps every column of a list's header in view, sized by what its texts need. A name
// column comes first: it takes all the room the other columns' texts leave, and when the
// names need more than that, it still keeps at least half of the room, the other columns
// then sharing the rest in proportion to what they need. A text cut for room is drawn cut
// in the middle (the view's elide mode) and the view's tips give it whole.
//
// The widths follow the view's width and the texts (refit() after the rows change) until
// the user drags a column divider; from then on the user's widths stand until reset().
class ColumnFit : public QObject
{
public:
    // needs() gives, per column, the width its texts and header need, in pixels.
    ColumnFit(QTreeView *view, int nameColumn, std::function<QList<int>()> needs);

    // The widths for the room, needs as above.
    static QList<int> widths(const QList<int> &needs, int nameColumn, int room);

    // The texts changed: the columns fit them again, unless the user set the widths.
    void refit();
    // New rows altogether: the user's widths give way again.
    void reset();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeView *m_view;
    // Compared with, never called: their events still come while the view is destroyed.
    QObject *m_viewport;
    QObject *m_headerViewport;
    int m_nameColumn;
    std::function<QList<int>()> m_needs;
    bool m_applying = false;      // the widths being set are ours, not the user's
    bool m_dragging = false;      // a button is down on the header
    bool m_userSized = false;     // the user has set a width since the last reset
};
