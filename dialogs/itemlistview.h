#pragma once

#include "lv.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class ColumnFit;
class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QStackedWidget;
class QStandardItem;
class QStandardItemModel;
class QStyleOptionViewItem;
class QTreeView;
class ItemListDelegate;
class ItemListProxy;

// One row to add to an ItemListView.
struct ListItemData
{
    QString text;          // column 0, the item's name
    QString iconKey;       // an ItemIcons key, large and small alike
    bool ghosted = false;  // icon drawn disabled: the item is read-only
    QString toolTip;
    QVariant tag;
    QString subItem1;      // column 1 as shown
    QDateTime subItem1Date; // column 1's value when it is a date: sorting uses this
};

// The list of server items: one model of two columns shown in four views that share
// one selection. Views 0 large icons, 1 small icons, 2 list, 3 report (columns with
// a header whose sort arrows are 0 none, 1 ascending, 2 descending).
//
// Every item gets a unique lParam (a counter that never repeats in this list) and
// the key "#" + lParam. Indexes in this interface are 0-based positions in the
// displayed order; columns are 0-based.
//
// Long names: every cell of the icon and list views has one size, the widest name's up to
// a cap of about twenty characters and no more than half a row of the list, so one long
// generated name never leaves the list a single column; a name longer than its cell
// is cut in the middle and shows whole in its tip. The report view's columns are sized by
// their texts, the name column first, and stay in view (ColumnFit).
//
// Ordering: either the list's own text sort (setSorted, SortKey, SortOrder), or
// SortItems, which orders through LV::CompareItems with a copy of the LV sort state
// and keeps that order as items are added until the list's own sorting is switched
// off or clear() is called. Items added while no order is active keep their
// insertion order, which is what makes a paged listing cheap: add the pages, sort
// once at the end.
class ItemListView : public QWidget
{
    Q_OBJECT
public:
    enum Views : int { LargeIcons = 0, SmallIcons = 1, ListMode = 2, Report = 3 };
    enum Roles : int {
        LParamRole = Qt::UserRole + 1,
        KeyRole,
        TagRole,
        GhostedRole,
        IconKeyRole,
        DateRole,
    };

    explicit ItemListView(QWidget *parent = nullptr);
    ~ItemListView() override;

    // Columns: headers and their tags ("B", "I", "F", "D" or anything else).
    void setColumns(const QStringList &headers, const QStringList &tags);
    int columnCount() const;
    QString columnHeader(int column) const;
    QString columnTag(int column) const;
    // Sort arrow of a column header: 0 none, 1 ascending, 2 descending.
    int columnArrow(int column) const;
    void setColumnArrow(int column, int arrow);

    int View() const { return m_view; }
    void setView(int view);

    // Several items may be selected (Shift and Ctrl) when true, one when false.
    bool multiSelect() const;
    void setMultiSelect(bool multiSelect);

    // Items. add* return the new lParams.
    qint32 addItem(const ListItemData &item);
    QList<qint32> addItems(const QList<ListItemData> &items);
    void clear();
    int count() const;

    QString itemText(int index) const;
    QString itemKey(int index) const;
    QVariant itemTag(int index) const;
    bool itemGhosted(int index) const;
    QString itemToolTip(int index) const;
    QString itemIconKey(int index) const;
    QString subItemText(int index, int column) const;
    QDateTime subItemDate(int index, int column) const;
    void setSubItem(int index, int column, const QString &text, const QDateTime &date = {});
    qint32 itemLParam(int index) const;   // 0 when out of range
    int indexOfLParam(qint32 lParam) const;  // -1 when none
    int indexOfKey(const QString &key) const; // -1 when none

    // Selection, shared by the four views.
    bool itemSelected(int index) const;
    void setItemSelected(int index, bool selected);
    QList<int> selectedIndexes() const;   // in displayed order
    bool hasSelection() const;
    void clearSelection();
    int currentIndex() const;             // -1 when none
    void setCurrentIndex(int index);
    // The item under a point of this widget, -1 when none.
    int indexAt(const QPoint &pos) const;

    // The list's own text sort on SortKey (0-based column) in SortOrder (0
    // ascending, 1 descending), active while Sorted is true.
    bool Sorted() const { return m_sorted; }
    void setSorted(bool sorted);
    int SortKey() const { return m_sortKey; }
    void setSortKey(int column);
    int SortOrder() const { return m_sortOrder; }
    void setSortOrder(int order);
    // Orders the items through LV::CompareItems under the LV sort state as it is now.
    void SortItems();

    // For LV and the sort: by source row, stable while a sort runs.
    int sourceRowOfLParam(qint32 lParam) const;
    QString sourceText(int sourceRow, int column) const;
    QDateTime sourceDate(int sourceRow, int column) const;

    QListView *listView() const { return m_listView; }
    QTreeView *treeView() const { return m_treeView; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    QAbstractItemModel *model() const;

signals:
    void ItemClick(int index);
    // index -1 when the double click was not on an item.
    void DblClick(int index);
    void ColumnClick(int column);
    void KeyDown(int key, Qt::KeyboardModifiers shift);
    void KeyUp(int key, Qt::KeyboardModifiers shift);
    // pos in this widget's coordinates.
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &pos);
    void SelectionChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    static constexpr int MaxLabelChars = 20;   // a cell fits this many capitals; a longer name is cut
    static constexpr int MinLabelChars = 8;    // a cell narrowed for room still fits this many
    static constexpr int LargeIconGap = 8;     // between two large-icon cells, both ways
    static constexpr int SmallIconGap = 2;     // around each small-icon and list item

    qint32 appendItem(const ListItemData &item);
    // Keeps the widest name in view for the cell size.
    void noteLabel(const QString &text);
    // Keeps the widest text of column 1 in view for the report view's columns.
    void noteSubItem(const QString &text);
    void remeasureLabels();
    // The one size of every cell of the icon and list views, from the widest name.
    void updateItemSize();
    // A cell of view drawing text, with an icon of the view's icon size or without.
    QStyleOptionViewItem cellOption(const QAbstractItemView *view, const QString &text, bool withIcon,
                                    bool iconAbove) const;
    // What the report view's columns need for their widest texts and headers.
    QList<int> reportColumnNeeds() const;
    QModelIndex proxyIndex(int index, int column = 0) const;
    QStandardItem *sourceItem(int index, int column = 0) const;
    QList<QStandardItem *> makeRow(const ListItemData &item, qint32 lParam) const;
    void applyOrder();
    void applyView();
    QWidget *activeView() const;

    QStandardItemModel *m_model;
    ItemListProxy *m_proxy;
    QItemSelectionModel *m_selection;   // the one selection every view shows
    QStackedWidget *m_stack;
    QListView *m_listView;              // views 0, 1 and 2
    ItemListDelegate *m_listDelegate;   // gives every item of m_listView the same size
    QTreeView *m_treeView;              // view 3
    QStringList m_tags;                 // per column, what SetListSort reads
    QList<int> m_arrows;                // per column, 0 none, 1 ascending, 2 descending
    QHash<qint32, int> m_rowOfLParam;   // source row by lParam: finding an item costs no scan
    qint32 m_nextLParam = 1;            // never reused, so keys stay unique across clears
    int m_view = LargeIcons;
    bool m_sorted = false;              // the list's own text sort is on
    int m_sortKey = 0;
    int m_sortOrder = 0;
    bool m_compareOrder = false;        // SortItems' order is in force
    QFontMetrics m_labelMetrics;        // the list view's font, for measuring names
    QString m_widestLabel;              // the widest name in the list
    int m_widestAdvance = 0;            // its width in pixels
    QString m_widestSubItem;            // the widest text of column 1
    int m_widestSubItemAdvance = 0;     // its width in pixels
    ColumnFit *m_reportFit;             // the report view's column widths
};
