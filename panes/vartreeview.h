#pragma once

#include <QTreeView>

// The tree grid of one variables list. Expanding and format changes may need the
// server, so the view never does them itself: the expand button, Right and "+" ask for
// an expansion, a left click on a value's format picture and Space ask for a format
// change, and the pane decides. Left collapses an expanded node; a double-click on a
// column header fits the column.
class VarTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit VarTreeView(QWidget *parent = nullptr);

    // Where a row's expand button and a value's format picture are drawn (viewport
    // pixels); empty when the row has none.
    QRect expandButtonRect(const QModelIndex &index) const;
    QRect formatPictureRect(const QModelIndex &index) const;

signals:
    // toggle: the expand button, which also collapses an expanded node.
    void expandRequested(const QModelIndex &node, bool toggle);
    void formatRequested(const QModelIndex &index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QModelIndex nameIndexAt(const QPoint &point) const;
};
