#include "columnlayout.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int Columns = 4;

// A grid whose logical column order[p] stands at display position p, column i being
// 40 + 10 * i pixels wide.
void arrange(QTreeWidget &grid, const std::vector<int> &order)
{
    QHeaderView *header = grid.header();
    header->setStretchLastSection(false);
    for (int i = 0; i < Columns; ++i)
        header->resizeSection(i, 40 + 10 * i);
    for (int p = 0; p < Columns; ++p)
        header->moveSection(header->visualIndex(order[p]), p);
}

std::vector<int> displayOrder(const QHeaderView &header)
{
    std::vector<int> order;
    for (int p = 0; p < header.count(); ++p)
        order.push_back(header.logicalIndex(p));
    return order;
}

std::vector<int> widths(const QHeaderView &header)
{
    std::vector<int> out;
    for (int i = 0; i < header.count(); ++i)
        out.push_back(header.sectionSize(i));
    return out;
}

struct Grid
{
    Grid()
    {
        tree.setColumnCount(Columns);
        tree.header()->setStretchLastSection(false);
    }
    QTreeWidget tree;
};

} // namespace

TEST(ColumnLayout, RestoresOrderAndWidthsIntoAFreshGrid)
{
    const std::vector<std::vector<int>> orders = {
        {0, 1, 2, 3}, {3, 2, 1, 0}, {1, 3, 0, 2}, {2, 0, 3, 1}, {3, 0, 1, 2}, {1, 2, 3, 0},
    };
    for (const QString &prefix : {QString(), QStringLiteral("T2")}) {
        for (const std::vector<int> &order : orders) {
            Grid saved;
            arrange(saved.tree, order);
            Memento memento;
            ColumnLayout::save(*saved.tree.header(), memento, prefix);

            Grid fresh;
            ColumnLayout::restore(*fresh.tree.header(), memento, prefix);
            EXPECT_EQ(displayOrder(*fresh.tree.header()), order) << prefix.toStdString();
            EXPECT_EQ(widths(*fresh.tree.header()), widths(*saved.tree.header()));
        }
    }
}

TEST(ColumnLayout, WritesWidthPerColumnAndColumnPerPosition)
{
    Grid grid;
    arrange(grid.tree, {2, 0, 3, 1});
    Memento memento;
    ColumnLayout::save(*grid.tree.header(), memento, QStringLiteral("T1"));

    // From the last column down, each width followed by that column's position.
    EXPECT_EQ(memento.names(),
              QStringList({"T1ColWid3", "T1ColSeq2", "T1ColWid2", "T1ColSeq0", "T1ColWid1",
                           "T1ColSeq3", "T1ColWid0", "T1ColSeq1"}));
    double width = 0;
    ASSERT_TRUE(memento.readDouble("T1ColWid2", width));
    EXPECT_EQ(width, 60.0);
    qint32 column = -1;
    ASSERT_TRUE(memento.readInt("T1ColSeq0", column));
    EXPECT_EQ(column, 2);
}

TEST(ColumnLayout, LeavesTheGridAsItIsForAbsentOrUnusableAttributes)
{
    struct Case { const char *name; const char *attribute; QVariant value; };
    const Case cases[] = {
        {"nothing saved", nullptr, {}},
        {"another grid's prefix", "T1ColSeq0", 3},
        {"position names a column the grid lacks", "ColSeq0", 7},
        {"negative column", "ColSeq1", -1},
        {"width that is no number", "ColWid1", "wide"},
        {"negative width", "ColWid1", -5.0},
        {"Null width", "ColWid2", QVariant()},
    };
    for (const Case &c : cases) {
        Grid grid;
        arrange(grid.tree, {1, 3, 0, 2});
        const std::vector<int> order = displayOrder(*grid.tree.header());
        const std::vector<int> before = widths(*grid.tree.header());
        Memento memento;
        if (c.attribute)
            memento.write(c.attribute, c.value);
        ColumnLayout::restore(*grid.tree.header(), memento);
        EXPECT_EQ(displayOrder(*grid.tree.header()), order) << c.name;
        EXPECT_EQ(widths(*grid.tree.header()), before) << c.name;
    }
}
