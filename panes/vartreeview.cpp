#include "vartreeview.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {

// Lays a cell out the way the view paints it, so a click can be matched with the
// picture the user sees.
class CellLayout : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    using QStyledItemDelegate::initStyleOption;
};

constexpr int ValueColumn = 1;

} // namespace

VarTreeView::VarTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setItemDelegate(new CellLayout(this));
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A double-click would open a node whose descendants were never fetched.
    setExpandsOnDoubleClick(false);
    setItemsExpandable(true);
    // The name column may be moved like any other; the tree (indentation and expand
    // button) stays with the names wherever they stand, not with the leftmost column.
    setTreePosition(0);
    header()->setSectionsMovable(true);
    header()->setFirstSectionMovable(true);
    connect(header(), &QHeaderView::sectionDoubleClicked, this, [this](int column) {
        if (column >= 0)
            resizeColumnToContents(column);
    });
}

QRect VarTreeView::expandButtonRect(const QModelIndex &index) const
{
    if (!index.isValid() || !model())
        return QRect();
    const QModelIndex node = index.siblingAtColumn(treePosition() < 0 ? 0 : treePosition());
    if (!model()->hasChildren(node))
        return QRect();
    const QRect cell = visualRect(node);
    if (cell.isEmpty())
        return QRect();
    if (isRightToLeft())
        return QRect(cell.right() + 1, cell.top(), indentation(), cell.height());
    return QRect(cell.left() - indentation(), cell.top(), indentation(), cell.height());
}

QRect VarTreeView::formatPictureRect(const QModelIndex &index) const
{
    if (!index.isValid() || !model())
        return QRect();
    const QModelIndex value = index.siblingAtColumn(ValueColumn);
    auto *layout = static_cast<CellLayout *>(itemDelegate());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(value);
    layout->initStyleOption(&option, value);
    if (!(option.features & QStyleOptionViewItem::HasDecoration) || option.icon.isNull())
        return QRect();
    return style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this);
}

QModelIndex VarTreeView::nameIndexAt(const QPoint &point) const
{
    const QModelIndex index = indexAt(point);
    return index.isValid() ? index.siblingAtColumn(0) : QModelIndex();
}

void VarTreeView::mousePressEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    const QModelIndex node = nameIndexAt(point);
    if (node.isValid() && expandButtonRect(node).contains(point)) {
        setCurrentIndex(node);
        emit expandRequested(node, true);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && node.isValid() && formatPictureRect(node).contains(point))
        emit formatRequested(node.siblingAtColumn(ValueColumn));
}

void VarTreeView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex current = currentIndex();
    const QModelIndex node = current.isValid() ? current.siblingAtColumn(0) : QModelIndex();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Plus:
        if (!ctrl && node.isValid() && model()->hasChildren(node) && !isExpanded(node)) {
            emit expandRequested(node, false);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Minus:
        if (!ctrl && node.isValid() && isExpanded(node)) {
            collapse(node);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Space:
        if (node.isValid()) {
            emit formatRequested(node.siblingAtColumn(ValueColumn));
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
}
