#include "itemlistview.h"

#include "columnfit.h"
#include "itemicons.h"

#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// Orders the rows: not at all (insertion order), by the list's own text sort, or
// through LV::CompareItems with the sort state SortItems captured.
class ItemListProxy : public QSortFilterProxyModel
{
public:
    enum Order { Insertion, OwnText, Compare };

    ItemListProxy(const ItemListView *view, QObject *parent)
        : QSortFilterProxyModel(parent), m_view(view)
    {
    }

    void setOrder(Order order, const LV::SortState &state = {})
    {
        m_order = order;
        m_state = state;
    }
    Order order() const { return m_order; }

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        if (m_order == Compare) {
            // The comparison sorts ascending itself (it swaps for descending), and
            // reads the sort column through the lParams, whatever column Qt passes.
            const qint32 lp1 = left.sibling(left.row(), 0).data(ItemListView::LParamRole).toInt();
            const qint32 lp2 = right.sibling(right.row(), 0).data(ItemListView::LParamRole).toInt();
            return LV::CompareItems(lp1, lp2, m_view, m_state) < 0;
        }
        return QString::localeAwareCompare(left.data(Qt::DisplayRole).toString(),
                                           right.data(Qt::DisplayRole).toString())
               < 0;
    }

private:
    const ItemListView *m_view;   // the list whose lParams the comparison resolves
    Order m_order = Insertion;
    LV::SortState m_state;        // copied at SortItems, so later changes to LV do not reorder
};

// Draws a ghosted item's icon in its disabled look, leaving its text as it is. In the
// icon and list views every item takes one size, the widest label's up to a cap, so that
// no two overlap; the view asks that size of one item only. A text the cell cuts shows
// whole in the cell's tip (a name's tip also carries the item's own tip).
class ItemListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Invalid: each item its own size (the report view).
    void setUniformSize(const QSize &size) { m_uniform = size; }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return m_uniform.isValid() ? m_uniform : QStyledItemDelegate::sizeHint(option, index);
    }

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid() || !view || !textIsCut(option, index, view))
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QString tip = index.data(Qt::DisplayRole).toString();
        const QString own = index.data(Qt::ToolTipRole).toString();
        if (!own.isEmpty())
            tip += QLatin1Char('\n') + own;
        QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
        return true;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(ItemListView::GhostedRole).toBool() || option->icon.isNull())
            return;
        const QString key = index.data(ItemListView::IconKeyRole).toString();
        auto it = m_ghosts.constFind(key);
        if (it == m_ghosts.constEnd()) {
            QIcon ghost;
            for (int size : {16, 32})
                ghost.addPixmap(option->icon.pixmap(QSize(size, size), QIcon::Disabled));
            it = m_ghosts.insert(key, ghost);
        }
        option->icon = *it;
    }

private:
    // Whether the cell draws its text shortened, measured as the style lays the text out.
    bool textIsCut(const QStyleOptionViewItem &cell, const QModelIndex &index, const QAbstractItemView *view) const
    {
        QStyleOptionViewItem option = cell;
        initStyleOption(&option, index);
        const QWidget *widget = option.widget ? option.widget : view;
        const QStyle *style = widget->style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return option.fontMetrics.horizontalAdvance(option.text) > textRect.width() - 2 * margin;
    }

    QSize m_uniform;
    mutable QHash<QString, QIcon> m_ghosts;   // one disabled rendering per icon key
};

namespace {

// An item's own fields kept as members rather than as data roles: views ask for the
// flags of every row at every layout, and a QStandardItem answers that by searching
// its list of roles, which a long paged listing pays for on each page.
class ListItem : public QStandardItem
{
public:
    ListItem(const ListItemData &data, qint32 lParam)
        : QStandardItem(ItemIcons::icon(data.iconKey), data.text),
          m_lParam(lParam),
          m_key(QStringLiteral("#%1").arg(lParam)),
          m_tag(data.tag),
          m_iconKey(data.iconKey),
          m_ghosted(data.ghosted)
    {
    }

    QVariant data(int role) const override
    {
        switch (role) {
        case FlagsRole:
            return int(Flags);
        case ItemListView::LParamRole:
            return m_lParam;
        case ItemListView::KeyRole:
            return m_key;
        case ItemListView::TagRole:
            return m_tag;
        case ItemListView::GhostedRole:
            return m_ghosted;
        case ItemListView::IconKeyRole:
            return m_iconKey;
        default:
            return QStandardItem::data(role);
        }
    }

    // Where QStandardItem keeps its flags (Qt's DataFlagsRole).
    static constexpr int FlagsRole = Qt::UserRole - 1;
    static constexpr Qt::ItemFlags Flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled
                                           | Qt::ItemNeverHasChildren;

private:
    qint32 m_lParam;
    QString m_key;      // "#" + lParam
    QVariant m_tag;
    QString m_iconKey;
    bool m_ghosted;
};

} // namespace

ItemListView::ItemListView(QWidget *parent)
    : QWidget(parent), m_labelMetrics(font())
{
    m_model = new QStandardItemModel(0, 2, this);
    m_proxy = new ItemListProxy(this, this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setDynamicSortFilter(true);
    m_selection = new QItemSelectionModel(m_proxy, this);

    m_stack = new QStackedWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    m_listDelegate = new ItemListDelegate(this);

    m_listView = new QListView(m_stack);
    m_listView->setModel(m_proxy);
    QItemSelectionModel *unused = m_listView->selectionModel();
    m_listView->setSelectionModel(m_selection);
    delete unused;
    m_listView->setItemDelegate(m_listDelegate);
    // The views share one selection; whole rows, so that it reads the same in each.
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView->setMovement(QListView::Static);
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setUniformItemSizes(true);
    m_listView->setLayoutMode(QListView::Batched);
    m_listView->setBatchSize(500);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Generated names differ at their ends (a class and its number), so both stay in view.
    m_listView->setTextElideMode(Qt::ElideMiddle);

    m_treeView = new QTreeView(m_stack);
    m_treeView->setModel(m_proxy);
    unused = m_treeView->selectionModel();
    m_treeView->setSelectionModel(m_selection);
    delete unused;
    m_treeView->setItemDelegate(new ItemListDelegate(this));
    m_treeView->setRootIsDecorated(false);
    m_treeView->setUniformRowHeights(true);
    m_treeView->setItemsExpandable(false);
    m_treeView->setAllColumnsShowFocus(true);
    m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_treeView->setTextElideMode(Qt::ElideMiddle);
    m_treeView->setIconSize(QSize(16, 16));
    m_treeView->header()->setSectionsClickable(true);
    m_treeView->header()->setSortIndicatorShown(false);
    m_treeView->header()->setStretchLastSection(true);
    m_reportFit = new ColumnFit(m_treeView, 0, [this] { return reportColumnNeeds(); });

    m_stack->addWidget(m_listView);
    m_stack->addWidget(m_treeView);
    m_labelMetrics = m_listView->fontMetrics();
    setMultiSelect(true);
    setFocusProxy(m_listView);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_listView),
                                    static_cast<QAbstractItemView *>(m_treeView)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this,
                [this](const QModelIndex &index) { emit ItemClick(index.row()); });
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex &index) { emit DblClick(index.row()); });
    }
    connect(m_treeView->header(), &QHeaderView::sectionClicked, this, &ItemListView::ColumnClick);
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &ItemListView::SelectionChanged);

    setColumns({QStringLiteral("Item"), QStringLiteral("Last Saved")},
               {QStringLiteral("B"), QStringLiteral("D")});
    applyView();
}

ItemListView::~ItemListView() = default;

void ItemListView::setColumns(const QStringList &headers, const QStringList &tags)
{
    const int count = int(std::max<qsizetype>(1, headers.size()));
    m_model->setColumnCount(count);
    m_model->setHorizontalHeaderLabels(headers);
    m_tags = tags;
    while (m_tags.size() < count)
        m_tags.append(QString());
    m_arrows = QList<int>(count, 0);
    applyOrder();
    m_reportFit->refit();
}

int ItemListView::columnCount() const
{
    return m_model->columnCount();
}

QString ItemListView::columnHeader(int column) const
{
    return m_model->headerData(column, Qt::Horizontal).toString();
}

QString ItemListView::columnTag(int column) const
{
    return m_tags.value(column);
}

int ItemListView::columnArrow(int column) const
{
    return m_arrows.value(column, 0);
}

void ItemListView::setColumnArrow(int column, int arrow)
{
    if (column < 0 || column >= m_arrows.size())
        return;
    m_arrows[column] = (arrow == 1 || arrow == 2) ? arrow : 0;
    // The header shows one indicator: the last column that has an arrow.
    QHeaderView *header = m_treeView->header();
    for (int c = int(m_arrows.size()) - 1; c >= 0; --c) {
        if (m_arrows.at(c) != 0) {
            header->setSortIndicatorShown(true);
            header->setSortIndicator(c, m_arrows.at(c) == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
    }
    header->setSortIndicatorShown(false);
}

void ItemListView::setView(int view)
{
    if (view < LargeIcons || view > Report)
        return;
    m_view = view;
    applyView();
}

bool ItemListView::multiSelect() const
{
    return m_listView->selectionMode() == QAbstractItemView::ExtendedSelection;
}

void ItemListView::setMultiSelect(bool multiSelect)
{
    const auto mode = multiSelect ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection;
    m_listView->setSelectionMode(mode);
    m_treeView->setSelectionMode(mode);
}

void ItemListView::applyView()
{
    if (m_view == Report) {
        setFocusProxy(m_treeView);
        m_stack->setCurrentWidget(m_treeView);
        m_reportFit->refit();
        return;
    }
    // The list view shows column 0 only; the report view all columns.
    // Large icons stand above their names in rows; small icons sit left of their names,
    // in rows too; the list runs down columns. Every cell is as wide as the widest name,
    // up to the cap.
    if (m_view == LargeIcons) {
        m_listView->setViewMode(QListView::IconMode);
        m_listView->setIconSize(QSize(32, 32));
        m_listView->setFlow(QListView::LeftToRight);
    } else {
        m_listView->setViewMode(QListView::ListMode);
        m_listView->setIconSize(QSize(16, 16));
        m_listView->setFlow(m_view == SmallIcons ? QListView::LeftToRight : QListView::TopToBottom);
        m_listView->setSpacing(m_view == SmallIcons ? SmallIconGap : 0);
    }
    m_listView->setWordWrap(false);
    m_listView->setWrapping(true);
    m_listView->setMovement(QListView::Static);
    m_listView->setResizeMode(QListView::Adjust);
    updateItemSize();
    setFocusProxy(m_listView);
    m_stack->setCurrentWidget(m_listView);
}

QWidget *ItemListView::activeView() const
{
    return m_view == Report ? static_cast<QWidget *>(m_treeView) : static_cast<QWidget *>(m_listView);
}

QList<QStandardItem *> ItemListView::makeRow(const ListItemData &item, qint32 lParam) const
{
    auto *name = new ListItem(item, lParam);
    if (!item.toolTip.isEmpty())
        name->setToolTip(item.toolTip);

    QList<QStandardItem *> row{name};
    for (int column = 1; column < m_model->columnCount(); ++column) {
        auto *sub = new QStandardItem;
        sub->setFlags(ListItem::Flags);
        if (column == 1) {
            sub->setText(item.subItem1);
            if (item.subItem1Date.isValid())
                sub->setData(item.subItem1Date, DateRole);
        }
        row.append(sub);
    }
    return row;
}

qint32 ItemListView::appendItem(const ListItemData &item)
{
    const qint32 lParam = m_nextLParam++;
    m_rowOfLParam.insert(lParam, m_model->rowCount());
    m_model->appendRow(makeRow(item, lParam));
    noteLabel(item.text);
    noteSubItem(item.subItem1);
    return lParam;
}

qint32 ItemListView::addItem(const ListItemData &item)
{
    const int widest = m_widestAdvance;
    const int widestSubItem = m_widestSubItemAdvance;
    const qint32 lParam = appendItem(item);
    if (m_widestAdvance != widest)
        updateItemSize();
    if (m_widestAdvance != widest || m_widestSubItemAdvance != widestSubItem)
        m_reportFit->refit();
    return lParam;
}

QList<qint32> ItemListView::addItems(const QList<ListItemData> &items)
{
    QList<qint32> lParams;
    lParams.reserve(items.size());
    // Repainting once for the whole page rather than once per row keeps a long
    // paged listing cheap.
    const bool updates = m_stack->updatesEnabled();
    m_stack->setUpdatesEnabled(false);
    const int widest = m_widestAdvance;
    const int widestSubItem = m_widestSubItemAdvance;
    for (const ListItemData &item : items)
        lParams.append(appendItem(item));
    if (m_widestAdvance != widest)
        updateItemSize();
    if (m_widestAdvance != widest || m_widestSubItemAdvance != widestSubItem)
        m_reportFit->refit();
    m_stack->setUpdatesEnabled(updates);
    return lParams;
}

void ItemListView::clear()
{
    m_selection->clear();
    m_model->removeRows(0, m_model->rowCount());
    m_rowOfLParam.clear();
    m_compareOrder = false;
    applyOrder();
    m_widestLabel.clear();
    m_widestAdvance = 0;
    m_widestSubItem.clear();
    m_widestSubItemAdvance = 0;
    updateItemSize();
    m_reportFit->reset();
}

void ItemListView::noteLabel(const QString &text)
{
    // No character is wider than the font's widest, so most labels need no measuring.
    if (qsizetype(m_labelMetrics.maxWidth()) * text.size() <= m_widestAdvance)
        return;
    const int advance = m_labelMetrics.horizontalAdvance(text);
    if (advance > m_widestAdvance) {
        m_widestAdvance = advance;
        m_widestLabel = text;
    }
}

void ItemListView::noteSubItem(const QString &text)
{
    if (qsizetype(m_labelMetrics.maxWidth()) * text.size() <= m_widestSubItemAdvance)
        return;
    const int advance = m_labelMetrics.horizontalAdvance(text);
    if (advance > m_widestSubItemAdvance) {
        m_widestSubItemAdvance = advance;
        m_widestSubItem = text;
    }
}

void ItemListView::remeasureLabels()
{
    m_labelMetrics = m_listView->fontMetrics();
    m_widestLabel.clear();
    m_widestAdvance = 0;
    m_widestSubItem.clear();
    m_widestSubItemAdvance = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        noteLabel(m_model->item(row, 0)->text());
        if (const QStandardItem *sub = m_model->item(row, 1))
            noteSubItem(sub->text());
    }
    updateItemSize();
    m_reportFit->refit();
}

QStyleOptionViewItem ItemListView::cellOption(const QAbstractItemView *view, const QString &text, bool withIcon,
                                              bool iconAbove) const
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = m_labelMetrics;
    option.decorationSize = view->iconSize();
    option.decorationPosition = iconAbove ? QStyleOptionViewItem::Top : QStyleOptionViewItem::Left;
    option.displayAlignment = iconAbove ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
    option.features = QStyleOptionViewItem::HasDisplay;
    if (withIcon) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.icon = ItemIcons::icon(QStringLiteral("Default.0"));
    }
    option.text = text;
    return option;
}

QList<int> ItemListView::reportColumnNeeds() const
{
    const QHeaderView *header = m_treeView->header();
    QList<int> needs;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        int need = header->sectionSizeHint(column);
        const QString widest = column == 0 ? m_widestLabel : column == 1 ? m_widestSubItem : QString();
        if (!widest.isEmpty()) {
            const QStyleOptionViewItem option = cellOption(m_treeView, widest, column == 0, false);
            need = std::max(need, m_treeView->style()
                                      ->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), m_treeView)
                                      .width());
        }
        needs << need;
    }
    return needs;
}

void ItemListView::updateItemSize()
{
    if (m_view == Report)
        return;   // the report view sizes its own rows; the size is taken again on leaving it
    const bool iconAbove = m_view == LargeIcons;
    const QStyle *style = m_listView->style();
    const auto cellSize = [&](const QString &label) {
        const QStyleOptionViewItem option = cellOption(m_listView, label, true, iconAbove);
        return style->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), m_listView);
    };
    QSize size = cellSize(m_widestLabel);
    // One long generated name must not widen every cell until the list is one column. A
    // cell is at most as wide as the cap's capitals, and narrower still where two such
    // cells would not share a row of the list, though never too narrow for a few
    // characters. A name longer than its cell is cut in the middle and shows whole in its
    // tip. Each cell adds around itself the grid's gap, or its spacing on both sides.
    const int gap = iconAbove ? LargeIconGap : m_view == SmallIcons ? 4 * SmallIconGap : 0;
    // The row's last pixel is where the view wraps, so two cells need one pixel more.
    const int room = m_listView->width() - 2 * m_listView->frameWidth()
                     - style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_listView) - 1;
    const int cap = std::max(cellSize(QString(MinLabelChars, QLatin1Char('N'))).width(),
                             std::min(cellSize(QString(MaxLabelChars, QLatin1Char('N'))).width(), room / 2 - gap));
    size.setWidth(std::min(size.width(), cap));
    if (iconAbove) {
        // Short names still get a cell a label can be read in, as the desktop's icons do.
        size.setWidth(std::max(size.width(), 2 * m_listView->iconSize().width()));
        m_listView->setGridSize(size + QSize(LargeIconGap, LargeIconGap));
    } else {
        m_listView->setGridSize(QSize());
    }
    m_listDelegate->setUniformSize(size);
    // The view lays its items out again with the new size.
    emit m_listDelegate->sizeHintChanged(QModelIndex());
}

void ItemListView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        remeasureLabels();
}

int ItemListView::count() const
{
    return m_proxy->rowCount();
}

QModelIndex ItemListView::proxyIndex(int index, int column) const
{
    if (index < 0 || index >= m_proxy->rowCount())
        return QModelIndex();
    return m_proxy->index(index, column);
}

QStandardItem *ItemListView::sourceItem(int index, int column) const
{
    const QModelIndex proxy = proxyIndex(index, column);
    return proxy.isValid() ? m_model->itemFromIndex(m_proxy->mapToSource(proxy)) : nullptr;
}

QString ItemListView::itemText(int index) const
{
    return proxyIndex(index).data(Qt::DisplayRole).toString();
}

QString ItemListView::itemKey(int index) const
{
    return proxyIndex(index).data(KeyRole).toString();
}

QVariant ItemListView::itemTag(int index) const
{
    return proxyIndex(index).data(TagRole);
}

bool ItemListView::itemGhosted(int index) const
{
    return proxyIndex(index).data(GhostedRole).toBool();
}

QString ItemListView::itemToolTip(int index) const
{
    return proxyIndex(index).data(Qt::ToolTipRole).toString();
}

QString ItemListView::itemIconKey(int index) const
{
    return proxyIndex(index).data(IconKeyRole).toString();
}

QString ItemListView::subItemText(int index, int column) const
{
    return proxyIndex(index, column).data(Qt::DisplayRole).toString();
}

QDateTime ItemListView::subItemDate(int index, int column) const
{
    return proxyIndex(index, column).data(DateRole).toDateTime();
}

void ItemListView::setSubItem(int index, int column, const QString &text, const QDateTime &date)
{
    if (column < 1)
        return;
    QStandardItem *item = sourceItem(index, column);
    if (!item)
        return;
    item->setText(text);
    item->setData(date.isValid() ? QVariant(date) : QVariant(), DateRole);
    if (column == 1) {
        const int widest = m_widestSubItemAdvance;
        noteSubItem(text);
        if (m_widestSubItemAdvance != widest)
            m_reportFit->refit();
    }
}

qint32 ItemListView::itemLParam(int index) const
{
    return proxyIndex(index).data(LParamRole).toInt();
}

int ItemListView::indexOfLParam(qint32 lParam) const
{
    const int row = sourceRowOfLParam(lParam);
    if (row < 0)
        return -1;
    return m_proxy->mapFromSource(m_model->index(row, 0)).row();
}

int ItemListView::indexOfKey(const QString &key) const
{
    if (!key.startsWith(QLatin1Char('#')))
        return -1;
    bool ok = false;
    const qint32 lParam = key.mid(1).toInt(&ok);
    if (!ok)
        return -1;
    const int index = indexOfLParam(lParam);
    return itemKey(index) == key ? index : -1;
}

bool ItemListView::itemSelected(int index) const
{
    const QModelIndex proxy = proxyIndex(index);
    return proxy.isValid() && m_selection->isSelected(proxy);
}

void ItemListView::setItemSelected(int index, bool selected)
{
    const QModelIndex proxy = proxyIndex(index);
    if (!proxy.isValid())
        return;
    m_selection->select(proxy, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                   | QItemSelectionModel::Rows);
}

QList<int> ItemListView::selectedIndexes() const
{
    // An item is selected when its name is: the icon and list views select the name
    // column alone, and a row counts once whatever else of it is selected.
    QList<int> rows;
    for (const QModelIndex &index : m_selection->selectedIndexes()) {
        if (index.column() == 0)
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool ItemListView::hasSelection() const
{
    return m_selection->hasSelection();
}

void ItemListView::clearSelection()
{
    m_selection->clearSelection();
}

int ItemListView::currentIndex() const
{
    const QModelIndex current = m_selection->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ItemListView::setCurrentIndex(int index)
{
    m_selection->setCurrentIndex(proxyIndex(index), QItemSelectionModel::NoUpdate);
}

int ItemListView::indexAt(const QPoint &pos) const
{
    const auto *view = static_cast<const QAbstractItemView *>(activeView());
    const QModelIndex index = view->indexAt(view->viewport()->mapFrom(this, pos));
    return index.isValid() ? index.row() : -1;
}

void ItemListView::setSorted(bool sorted)
{
    m_sorted = sorted;
    m_compareOrder = false;
    applyOrder();
}

void ItemListView::setSortKey(int column)
{
    m_sortKey = column;
    if (m_sorted)
        applyOrder();
}

void ItemListView::setSortOrder(int order)
{
    m_sortOrder = order == 1 ? 1 : 0;
    if (m_sorted)
        applyOrder();
}

void ItemListView::SortItems()
{
    m_sorted = false;
    m_compareOrder = true;
    m_proxy->setOrder(ItemListProxy::Compare, LV::currentSortState());
    // Sorting again on the same column is a no-op for the proxy; going through the
    // unsorted state forces a fresh pass with the new state.
    m_proxy->sort(-1);
    m_proxy->sort(0, Qt::AscendingOrder);
}

void ItemListView::applyOrder()
{
    if (m_compareOrder)
        return;
    if (m_sorted && m_sortKey >= 0 && m_sortKey < m_model->columnCount()) {
        m_proxy->setOrder(ItemListProxy::OwnText);
        m_proxy->sort(-1);
        m_proxy->sort(m_sortKey, m_sortOrder == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
    } else {
        m_proxy->setOrder(ItemListProxy::Insertion);
        m_proxy->sort(-1);
    }
}

int ItemListView::sourceRowOfLParam(qint32 lParam) const
{
    return m_rowOfLParam.value(lParam, -1);
}

QString ItemListView::sourceText(int sourceRow, int column) const
{
    const QStandardItem *item = m_model->item(sourceRow, column);
    return item ? item->text() : QString();
}

QDateTime ItemListView::sourceDate(int sourceRow, int column) const
{
    const QStandardItem *item = m_model->item(sourceRow, column);
    return item ? item->data(DateRole).toDateTime() : QDateTime();
}

QAbstractItemModel *ItemListView::model() const
{
    return m_proxy;
}

bool ItemListView::eventFilter(QObject *watched, QEvent *event)
{
    const bool isView = watched == m_listView || watched == m_treeView;
    const bool isViewport = watched == m_listView->viewport() || watched == m_treeView->viewport();
    if (isView && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::KeyPress)
            emit KeyDown(key->key(), key->modifiers());
        else if (!key->isAutoRepeat())
            emit KeyUp(key->key(), key->modifiers());
    } else if (watched == m_listView && event->type() == QEvent::Resize) {
        // The cells' cap follows the room a row has.
        updateItemSize();
    } else if (isViewport && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *viewport = static_cast<QWidget *>(watched);
        emit MouseUp(mouse->button(), mouse->modifiers(),
                     viewport->mapTo(this, mouse->position().toPoint()));
    } else if (isViewport && event->type() == QEvent::MouseButtonDblClick) {
        // A double click on an item is reported by the view's doubleClicked; one on
        // the empty area only here.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *view = static_cast<QAbstractItemView *>(watched->parent());
        if (!view->indexAt(mouse->position().toPoint()).isValid())
            emit DblClick(-1);
    }
    return QWidget::eventFilter(watched, event);
}
