#include "itemicons.h"
#include "itemlistview.h"
#include "lv.h"

#include <QHeaderView>
#include <QListView>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A shown list of items "n0".."n<count-1>" with column 1 holding the number backwards.
class ItemListViewTest : public testing::Test
{
protected:
    void fill(int count)
    {
        QList<ListItemData> rows;
        for (int i = 0; i < count; ++i) {
            ListItemData data;
            data.text = QStringLiteral("n%1").arg(i);
            data.iconKey = QStringLiteral("Default.0");
            data.tag = i % 3 + 1;
            data.subItem1 = QString::number(count - i);
            data.toolTip = i % 2 ? QStringLiteral("Registered") : QString();
            data.ghosted = i == 1;
            rows << data;
        }
        lParams = view->addItems(rows);
    }

    void SetUp() override
    {
        view = std::make_unique<ItemListView>();
        view->resize(400, 300);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QStringList texts() const
    {
        QStringList result;
        for (int i = 0; i < view->count(); ++i)
            result << view->itemText(i);
        return result;
    }

    std::unique_ptr<ItemListView> view;
    QList<qint32> lParams;
};

TEST_F(ItemListViewTest, ItemsCarryTheirFieldsAndUniqueKeys)
{
    fill(3);
    ASSERT_EQ(view->count(), 3);
    EXPECT_EQ(view->itemText(1), "n1");
    EXPECT_EQ(view->itemTag(2).toInt(), 3);
    EXPECT_TRUE(view->itemGhosted(1));
    EXPECT_FALSE(view->itemGhosted(0));
    EXPECT_EQ(view->itemToolTip(1), "Registered");
    EXPECT_EQ(view->subItemText(0, 1), "3");
    EXPECT_EQ(view->itemKey(0), QStringLiteral("#%1").arg(lParams[0]));

    // lParams never repeat, not even after the list is cleared.
    view->clear();
    EXPECT_EQ(view->count(), 0);
    EXPECT_EQ(view->indexOfLParam(lParams[0]), -1);
    const qint32 next = view->addItem({});
    EXPECT_FALSE(lParams.contains(next));
}

TEST_F(ItemListViewTest, LParamSurvivesSortingAndItsKeyFindsTheItem)
{
    fill(12);
    LV::SortColumn = 2;
    LV::SortDescending = 0;
    LV::SortKind = LV::KindInteger;
    view->SortItems();
    LV::SortKind = LV::KindText;   // the list keeps the state it sorted with
    EXPECT_EQ(view->itemText(0), "n11");
    EXPECT_EQ(view->itemText(11), "n0");
    for (int i = 0; i < lParams.size(); ++i) {
        const int index = view->indexOfKey(QStringLiteral("#%1").arg(lParams[i]));
        ASSERT_GE(index, 0);
        EXPECT_EQ(view->itemText(index), QStringLiteral("n%1").arg(i));
        EXPECT_EQ(LV::FindItemByParam(view.get(), lParams[i]), index);
        EXPECT_EQ(LV::ItemLParam(view.get(), index), lParams[i]);
    }
    EXPECT_EQ(view->indexOfKey("#999"), -1);
    EXPECT_EQ(view->indexOfKey("n1"), -1);

    // A page added after the sort lands in its place.
    ListItemData extra;
    extra.text = "half";
    extra.subItem1 = "6";
    const qint32 halfLParam = view->addItem(extra);
    const int half = view->indexOfKey(QStringLiteral("#%1").arg(halfLParam));
    ASSERT_GE(half, 0);
    EXPECT_EQ(view->itemText(half), "half");
    for (int i = 1; i < view->count(); ++i)
        EXPECT_LE(view->subItemText(i - 1, 1).toInt(), view->subItemText(i, 1).toInt()) << i;
    LV::SortColumn = 1;
    LV::SortKind = LV::KindText;
}

TEST_F(ItemListViewTest, OwnTextSortAndSwitchingItOff)
{
    fill(3);
    view->setSortKey(1);
    view->setSortOrder(0);
    view->setSorted(true);
    EXPECT_EQ(texts(), QStringList({"n2", "n1", "n0"}));
    view->setSortOrder(1);
    EXPECT_EQ(texts(), QStringList({"n0", "n1", "n2"}));
    view->setSorted(false);
    EXPECT_EQ(texts(), QStringList({"n0", "n1", "n2"}));
    // Pages added with sorting off keep their order.
    view->addItem({"a", {}, false, {}, {}, {}, {}});
    EXPECT_EQ(view->itemText(3), "a");
}

TEST_F(ItemListViewTest, TheFourViewsShareOneSelection)
{
    fill(5);
    view->setItemSelected(1, true);
    view->setItemSelected(3, true);
    for (int v : {ItemListView::LargeIcons, ItemListView::SmallIcons, ItemListView::ListMode,
                  ItemListView::Report}) {
        SCOPED_TRACE(v);
        view->setView(v);
        EXPECT_EQ(view->View(), v);
        EXPECT_EQ(view->selectedIndexes(), QList<int>({1, 3}));
        QAbstractItemView *shown = v == ItemListView::Report
                                       ? static_cast<QAbstractItemView *>(view->treeView())
                                       : static_cast<QAbstractItemView *>(view->listView());
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(shown->selectionModel(), view->selectionModel());
    }

    // A click in the report view selects in the icon views too.
    QTreeView *tree = view->treeView();
    const QRect row4 = tree->visualRect(view->model()->index(4, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row4.center());
    view->setView(ItemListView::SmallIcons);
    EXPECT_EQ(view->selectedIndexes(), QList<int>({4}));
    EXPECT_TRUE(view->listView()->selectionModel()->isSelected(view->model()->index(4, 0)));

    view->clearSelection();
    EXPECT_TRUE(LV::SelectedLParams(view.get()).isEmpty());
    EXPECT_FALSE(view->hasSelection());

    view->setView(9);   // not a view: ignored
    EXPECT_EQ(view->View(), ItemListView::SmallIcons);
}

TEST_F(ItemListViewTest, ReportsClicksDoubleClicksColumnsAndKeys)
{
    fill(4);
    view->setView(ItemListView::Report);
    QTreeView *tree = view->treeView();
    QSignalSpy clicked(view.get(), &ItemListView::ItemClick);
    QSignalSpy doubled(view.get(), &ItemListView::DblClick);
    QSignalSpy columns(view.get(), &ItemListView::ColumnClick);
    QSignalSpy keys(view.get(), &ItemListView::KeyDown);
    QSignalSpy ups(view.get(), &ItemListView::MouseUp);
    QSignalSpy selection(view.get(), &ItemListView::SelectionChanged);

    const QPoint row2 = tree->visualRect(view->model()->index(2, 0)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row2);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 2);
    EXPECT_GE(selection.count(), 1);
    ASSERT_GE(ups.count(), 1);
    EXPECT_EQ(view->indexAt(ups.at(0).at(2).toPoint()), 2);

    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row2);
    ASSERT_GE(doubled.count(), 1);
    EXPECT_EQ(doubled.last().at(0).toInt(), 2);

    const int section1 = tree->header()->sectionViewportPosition(1) + 5;
    QTest::mouseClick(tree->header()->viewport(), Qt::LeftButton, {}, QPoint(section1, 5));
    ASSERT_EQ(columns.count(), 1);
    EXPECT_EQ(columns.at(0).at(0).toInt(), 1);

    QTest::keyClick(tree, Qt::Key_Down);
    ASSERT_GE(keys.count(), 1);
    EXPECT_EQ(keys.at(0).at(0).toInt(), int(Qt::Key_Down));
}

TEST_F(ItemListViewTest, GhostedItemsDrawTheirIconDisabled)
{
    fill(4);   // item 1 ghosted, the others plain, all with the same icon
    view->setView(ItemListView::Report);
    QTreeView *tree = view->treeView();
    const QImage shot = tree->viewport()->grab().toImage();
    auto iconOf = [&](int row) {
        const QRect rect = tree->visualRect(view->model()->index(row, 0));
        return shot.copy(rect.x(), rect.y(), 22, rect.height());
    };
    // Row 0 may carry the focus frame; rows 2 and 3 are alike.
    EXPECT_EQ(iconOf(2), iconOf(3));
    EXPECT_NE(iconOf(1), iconOf(3));
}

TEST_F(ItemListViewTest, HeaderShowsTheArrowOfTheLastColumnThatHasOne)
{
    QHeaderView *header = view->treeView()->header();
    view->setColumnArrow(0, 1);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    view->setColumnArrow(1, 2);
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    view->setColumnArrow(1, 0);
    view->setColumnArrow(0, 0);
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(view->columnTag(1), "D");
    EXPECT_EQ(view->columnHeader(0), "Item");
}

TEST(ItemIcons, KnownKeysDrawTheirOwnIconAndUnknownOnesTheDefault)
{
    auto image = [](const QString &key, int size) {
        return ItemIcons::icon(key).pixmap(QSize(size, size)).toImage();
    };
    for (const char *key : {"Default.0", "Default.3", "CACHE1.0", "CACHE3.3", "Server", "Namespace",
                            "Location", "Locations"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(ItemIcons::isKnown(key));
        const QList<QSize> sizes = ItemIcons::icon(key).availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(16, 16)));
        EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    }
    for (const char *key : {"CACHE4.0", "CACHE1.4", "Default.", "Default.10", "Foo", ""}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(ItemIcons::isKnown(key));
        // Asked twice: the second answer comes from the cache and must not differ.
        for (int round = 0; round < 2; ++round)
            EXPECT_EQ(image(key, 16), image("Default.0", 16));
    }
    EXPECT_NE(image("CACHE1.0", 16), image("CACHE2.0", 16));
    EXPECT_NE(image("CACHE1.0", 32), image("CACHE1.2", 32));
    EXPECT_NE(image("Server", 16), image("Namespace", 16));
}

} // namespace

// Every name shows whole in the icon and list views and no two items overlap, whatever
// the names' lengths and order, at the desktop's font and at half as large again.
TEST(ItemListViewLayout, LabelsShowWholeAndApartInEveryView)
{
    QStringList names{QStringLiteral("ZZ")};
    for (int i = 0; i < 300; ++i)
        names << QStringLiteral("RTN%1").arg(i, 3, 10, QLatin1Char('0'));
    names << QStringLiteral("ZZLONGERROUTINENAME7");
    for (double scale : {1.0, 1.5}) {
        for (int mode : {ItemListView::LargeIcons, ItemListView::SmallIcons, ItemListView::ListMode}) {
            SCOPED_TRACE(testing::Message() << "view " << mode << " at " << scale << "x");
            ItemListView view;
            QFont font = view.font();
            font.setPointSizeF(font.pointSizeF() * scale);
            view.setFont(font);
            view.setView(mode);
            view.resize(520, 360);
            view.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
            // Pages as a listing brings them: the widest name comes last.
            for (int first = 0; first < names.size(); first += 25) {
                QList<ListItemData> page;
                for (const QString &name : names.mid(first, 25))
                    page << ListItemData{name, QStringLiteral("Default.0")};
                view.addItems(page);
            }
            QListView *list = view.listView();
            QAbstractItemModel *model = list->model();
            const int last = model->rowCount() - 1;
            ASSERT_TRUE(QTest::qWaitFor([&] { return list->visualRect(model->index(last, 0)).isValid(); }));

            QStyleOptionViewItem option;
            option.initFrom(list);
            option.decorationSize = list->iconSize();
            option.decorationPosition =
                mode == ItemListView::LargeIcons ? QStyleOptionViewItem::Top : QStyleOptionViewItem::Left;
            QStyledItemDelegate natural;
            QList<QRect> rects;
            for (int row = 0; row <= last; ++row) {
                const QModelIndex index = model->index(row, 0);
                const QRect rect = list->visualRect(index);
                const QSize needed = natural.sizeHint(option, index);
                EXPECT_GE(rect.width(), needed.width()) << index.data().toString().toStdString();
                EXPECT_GE(rect.height(), needed.height()) << index.data().toString().toStdString();
                rects << rect;
            }
            for (int a = 0; a < rects.size(); ++a) {
                for (int b = a + 1; b < rects.size(); ++b)
                    ASSERT_FALSE(rects[a].intersects(rects[b])) << "rows " << a << " and " << b;
            }
        }
    }
}
