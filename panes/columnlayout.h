#pragma once

#include "memento.h"

#include <QString>

class QHeaderView;

// The widths and the display order of a grid's columns as a pane saves them: for
// column i, prefix "ColWid" i holds its width in pixels and prefix "ColSeq" p the
// column that stands at display position p (indexes in decimal, no separator). Panes
// with one grid use no prefix; a pane with several grids gives each its own ("T1",
// "T2", "W").
class ColumnLayout
{
public:
    static void save(const QHeaderView &header, Memento &memento,
                     const QString &prefix = QString());
    // Every attribute is optional; an absent, unreadable or out-of-range one leaves
    // that width or position as it is.
    static void restore(QHeaderView &header, const Memento &memento,
                        const QString &prefix = QString());
};
