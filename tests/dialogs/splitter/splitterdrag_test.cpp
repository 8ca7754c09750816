#include "splitterdrag.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A horizontal bar at 100 in a 300x200 splitter, and a vertical bar at 200 in a
// 600x400 one: cell 0 is what lies before the bar.
const QSize HSize(300, 200);
const QRect HPrimary(0, 0, 300, 100);
const QSize VSize(600, 400);
const QRect VPrimary(0, 0, 200, 400);

// One splitter to drag in.
struct Scene
{
    int orientation;
    QSize size;
    QRect primary;
};
const Scene Horizontal{0, HSize, HPrimary};
const Scene Vertical{1, VSize, VPrimary};

// Presses on the bar at its middle line, moves through the given lines, releases at
// the last one, and returns where the bar goes.
int dragTo(const Scene &s, const std::vector<int> &lines)
{
    SplitterDrag drag;
    drag.setOrientation(s.orientation);
    auto at = [&](int line) { return s.orientation == 0 ? QPoint(50, line) : QPoint(line, 50); };
    drag.press(at(s.orientation == 0 ? 103 : 203), s.primary, s.size);
    for (int line : lines)
        drag.move(at(line), s.primary, s.size);
    return drag.release(at(lines.back()), s.primary, s.size);
}

TEST(SplitterDrag, ReleaseSnapsNearTheEdgesAndOtherwisePutsTheBarFourPixelsBeforeThePointer)
{
    struct Case
    {
        const char *name;
        Scene setup;
        std::vector<int> lines;
        int bar;
    } cases[] = {
        {"horizontal, free", Horizontal, {60}, 56},
        {"horizontal, 6 below the top snaps to 0", Horizontal, {6}, 0},
        {"horizontal, 7 below the top does not", Horizontal, {7}, 3},
        {"horizontal, 5 above the bottom snaps to the far end", Horizontal, {195}, 194},
        {"horizontal, 6 above the bottom does not", Horizontal, {194}, 190},
        {"horizontal, released where pressed", Horizontal, {103}, 99},
        {"vertical, free", Vertical, {300}, 296},
        {"vertical, 4 right of the left snaps to 0", Vertical, {4}, 0},
        {"vertical, 5 does not", Vertical, {5}, 1},
        {"vertical, 4 left of the right edge snaps to the far end", Vertical, {596}, 594},
        {"vertical, 5 left of it does not", Vertical, {595}, 591},
        // The offset of the last followed position counts, not the release point.
        {"horizontal, release after an ignored move", Horizontal, {150, 197}, 194},
        {"vertical, release beyond the splitter", Vertical, {300, 650}, 594},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dragTo(c.setup, c.lines), c.bar);
    }
}

TEST(SplitterDrag, MovesTooCloseToTheLimitsAreNotFollowed)
{
    struct Case
    {
        const char *name;
        Scene setup;
        QPoint pos;
        bool followed;
    } cases[] = {
        {"horizontal, 3 below the top", Horizontal, {50, 3}, false},
        {"horizontal, 4 below the top", Horizontal, {50, 4}, true},
        {"horizontal, 4 above the bottom", Horizontal, {50, 196}, true},
        {"horizontal, 3 above the bottom", Horizontal, {50, 197}, false},
        {"vertical, 1 right of the left", Vertical, {1, 50}, false},
        {"vertical, 2 right of the left", Vertical, {2, 50}, true},
        {"vertical, 2 left of the right", Vertical, {598, 50}, true},
        {"vertical, 1 left of the right", Vertical, {599, 50}, false},
        // Relative to the splitter the other coordinate does not matter: a pointer
        // drifting sideways off the splitter is still followed.
        {"horizontal, left of the splitter", Horizontal, {-20, 60}, true},
        {"vertical, above the splitter", Vertical, {300, -20}, true},
        {"horizontal, the same line as last time", Horizontal, {80, 103}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SplitterDrag drag;
        drag.setOrientation(c.setup.orientation);
        const QPoint start = c.setup.orientation == 0 ? QPoint(50, 103) : QPoint(203, 50);
        drag.press(start, c.setup.primary, c.setup.size);
        const QRect before = drag.outline();
        const SplitterDrag::Step step = drag.move(c.pos, c.setup.primary, c.setup.size);
        EXPECT_EQ(step.followed, c.followed);
        if (!c.followed) {
            EXPECT_EQ(drag.outline(), before);
        }
    }
}

TEST(SplitterDrag, OutlineIsAFourPixelBandInsetFromTheCellsOtherEdges)
{
    SplitterDrag drag;
    drag.setOrientation(0);
    EXPECT_EQ(drag.press({50, 103}, HPrimary, HSize).outline, QRect(2, 101, 296, 4));
    EXPECT_EQ(drag.move({50, 150}, HPrimary, HSize).outline, QRect(2, 148, 296, 4));
    EXPECT_EQ(drag.dragOffset(), 152);

    drag.setOrientation(1);
    EXPECT_EQ(drag.press({203, 50}, VPrimary, VSize).outline, QRect(201, 2, 4, 396));
}

TEST(SplitterDrag, LiveStyleMovesTheBarOnEveryFollowedMoveAndDrawsNoOutline)
{
    SplitterDrag drag;
    drag.setOrientation(1);
    drag.setStyle(SplitterDrag::Live);
    EXPECT_TRUE(drag.press({203, 50}, VPrimary, VSize).outline.isNull());
    EXPECT_EQ(drag.move({300, 50}, VPrimary, VSize).barPosition, 296);
    EXPECT_EQ(drag.move({1, 50}, VPrimary, VSize).barPosition, -1);   // ignored
    const SplitterDrag::Step step = drag.move({400, 50}, VPrimary, VSize);
    EXPECT_EQ(step.barPosition, 396);
    EXPECT_TRUE(step.outline.isNull());
}

TEST(SplitterDrag, CaptureLossEndsAtTheLastPositionSeen)
{
    SplitterDrag drag;
    drag.setOrientation(0);
    drag.press({50, 103}, HPrimary, HSize);
    drag.move({50, 60}, HPrimary, HSize);
    EXPECT_EQ(drag.captureLost(HPrimary, HSize), 56);
    EXPECT_FALSE(drag.isDragging());
    EXPECT_TRUE(drag.outline().isNull());

    // The last position was ignored for the outline but still decides the snap.
    drag.press({50, 103}, HPrimary, HSize);
    drag.move({50, 60}, HPrimary, HSize);
    drag.move({50, 2}, HPrimary, HSize);
    EXPECT_EQ(drag.captureLost(HPrimary, HSize), 0);
}

TEST(SplitterDrag, NothingHappensWithoutAPress)
{
    SplitterDrag drag;
    EXPECT_FALSE(drag.move({300, 50}, VPrimary, VSize).followed);
    EXPECT_EQ(drag.release({300, 50}, VPrimary, VSize), -1);
    EXPECT_EQ(drag.captureLost(VPrimary, VSize), -1);
}

TEST(SplitterDrag, ReleaseNeverGivesANegativePosition)
{
    // Pressed near the top of a tiny splitter and released just past the snap band
    // without a followed move in between.
    SplitterDrag drag;
    drag.setOrientation(0);
    drag.press({10, 1}, QRect(0, 0, 100, 0), QSize(100, 20));
    EXPECT_EQ(drag.release({10, 8}, QRect(0, 0, 100, 0), QSize(100, 20)), 0);
    drag.press({10, 1}, QRect(0, 0, 100, 0), QSize(100, 3));
    EXPECT_EQ(drag.release({10, 8}, QRect(0, 0, 100, 0), QSize(100, 3)), 0);
}

} // namespace
