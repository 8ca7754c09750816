#include "splitterlayout.h"

#include <gtest/gtest.h>

namespace {

constexpr int H = SplitterLayout::HorizontalBar;
constexpr int V = SplitterLayout::VerticalBar;

struct LayoutCase
{
    const char *name;
    int orientation;
    QSize inner;
    int position;
    QRect bar;
    QRect primary;
    QRect secondary;
};

TEST(SplitterLayout, PlacesBarAndCellsClampedIntoTheSplitter)
{
    const LayoutCase cases[] = {
        {"vertical in the middle", V, {600, 400}, 200, {200, 0, 6, 400}, {0, 0, 200, 400}, {206, 0, 394, 400}},
        {"vertical negative goes to 0", V, {600, 400}, -50, {0, 0, 6, 400}, {0, 0, 0, 400}, {6, 0, 594, 400}},
        {"vertical beyond goes to the far edge", V, {600, 400}, 99999, {594, 0, 6, 400}, {0, 0, 594, 400}, {600, 0, 0, 400}},
        {"vertical partly past the edge", V, {600, 400}, 597, {594, 0, 6, 400}, {0, 0, 594, 400}, {600, 0, 0, 400}},
        {"horizontal in the middle", H, {300, 200}, 50, {0, 50, 300, 6}, {0, 0, 300, 50}, {0, 56, 300, 144}},
        {"horizontal beyond", H, {300, 200}, 250, {0, 194, 300, 6}, {0, 0, 300, 194}, {0, 200, 300, 0}},
        {"horizontal at 0", H, {300, 200}, 0, {0, 0, 300, 6}, {0, 0, 300, 0}, {0, 6, 300, 194}},
        {"thinner than the bar", V, {4, 50}, 2, {0, 0, 6, 50}, {0, 0, 0, 50}, {6, 0, 0, 50}},
        {"empty splitter", H, {0, 0}, 10, {0, 0, 0, 6}, {0, 0, 0, 0}, {0, 6, 0, 0}},
    };
    for (const LayoutCase &c : cases) {
        SCOPED_TRACE(c.name);
        const SplitterGeometry g = SplitterLayout::compute(c.orientation, c.inner, c.position);
        EXPECT_EQ(g.bar, c.bar);
        EXPECT_EQ(g.primary, c.primary);
        EXPECT_EQ(g.secondary, c.secondary);
    }
}

TEST(SplitterLayout, NeverGivesACellANegativeSize)
{
    for (int orientation : {H, V}) {
        for (int extent : {0, 1, 5, 6, 7, 13, 100}) {
            for (int position : {-100, -1, 0, 1, 3, 5, 6, 7, 50, 99, 100, 1000}) {
                const SplitterGeometry g = SplitterLayout::compute(orientation, QSize(extent, extent), position);
                SCOPED_TRACE(testing::Message() << orientation << " " << extent << " " << position);
                EXPECT_GE(g.primary.width(), 0);
                EXPECT_GE(g.primary.height(), 0);
                EXPECT_GE(g.secondary.width(), 0);
                EXPECT_GE(g.secondary.height(), 0);
                EXPECT_GE(orientation == H ? g.bar.y() : g.bar.x(), 0);
            }
        }
    }
}

TEST(SplitterLayout, OtherOrientationsLeaveTheGeometryAsItWas)
{
    SplitterGeometry current;
    current.bar = QRect(10, 0, 6, 40);
    current.primary = QRect(0, 0, 10, 40);
    current.secondary = QRect(16, 0, 20, 40);
    for (int orientation : {-1, 2, 7}) {
        const SplitterGeometry g = SplitterLayout::compute(orientation, QSize(500, 500), 100, current);
        EXPECT_EQ(g.bar, current.bar);
        EXPECT_EQ(g.primary, current.primary);
        EXPECT_EQ(g.secondary, current.secondary);
    }
}

TEST(SplitterLayout, CentredPositionHalvesWhatTheBarLeavesTruncating)
{
    EXPECT_EQ(SplitterLayout::centredPosition(V, QSize(600, 400)), 297);
    EXPECT_EQ(SplitterLayout::centredPosition(V, QSize(601, 400)), 297);
    EXPECT_EQ(SplitterLayout::centredPosition(H, QSize(600, 200)), 97);
    EXPECT_EQ(SplitterLayout::centredPosition(V, QSize(5, 400)), 0);
}

} // namespace
