#include "splitter.h"
#include "splitterbar.h"
#include "twips.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A shown splitter of 600x400 pixels with a host control inside it, as a dialog
// sets it up.
class SplitterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(600, 400);
        splitter = new Splitter(window.get());
        splitter->setGeometry(0, 0, 600, 400);
        host = new QTreeView(splitter);
        QObject::connect(splitter, &Splitter::OnResize, splitter,
                         [this] { host->setGeometry(splitter->primaryRect()); });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        splitter->setBarPosition(200);
    }

    // Pointer positions are given relative to the splitter and mapped through the
    // bar, so nothing depends on where the window sits on the screen.
    QPoint onBar(const QPoint &splitterPos) const
    {
        return splitter->bar()->mapFrom(splitter, splitterPos);
    }
    void press(const QPoint &p) { QTest::mousePress(splitter->bar(), Qt::LeftButton, {}, onBar(p)); }
    void move(const QPoint &p) { QTest::mouseMove(splitter->bar(), onBar(p)); }
    void release(const QPoint &p) { QTest::mouseRelease(splitter->bar(), Qt::LeftButton, {}, onBar(p)); }

    std::unique_ptr<QWidget> window;
    Splitter *splitter = nullptr;
    QTreeView *host = nullptr;
};

TEST_F(SplitterTest, StartsWithAVerticalBarAndDefaults)
{
    Splitter fresh;
    EXPECT_EQ(fresh.Orientation(), 1);
    EXPECT_EQ(fresh.DrawStyle(), 0);
    EXPECT_EQ(fresh.SplitterStyle(), 0);
    EXPECT_EQ(fresh.CursorStyle(), 0);
    EXPECT_EQ(fresh.bar()->Orientation(), 1);
}

TEST_F(SplitterTest, SetSplitterPositionClampsAndReportsTwips)
{
    const double tpp = Twips::perPixel(splitter);
    QSignalSpy resized(splitter, &Splitter::OnResize);

    splitter->SetSplitterPosition(-50);
    EXPECT_EQ(splitter->PrimaryWidth(), 0);
    EXPECT_DOUBLE_EQ(splitter->SecondaryLeft(), 6 * tpp);
    EXPECT_DOUBLE_EQ(splitter->SecondaryWidth(), 594 * tpp);

    splitter->SetSplitterPosition(99999);
    EXPECT_DOUBLE_EQ(splitter->PrimaryWidth(), 594 * tpp);
    EXPECT_DOUBLE_EQ(splitter->PrimaryHeight(), 400 * tpp);
    EXPECT_EQ(splitter->SecondaryWidth(), 0);

    splitter->SetSplitterPosition(3000);
    EXPECT_EQ(splitter->barRect(), QRect(Twips::toPixels(3000, splitter), 0, 6, 400));
    EXPECT_EQ(resized.count(), 3);
    // The host placed its control from the rectangle it was handed.
    EXPECT_EQ(host->geometry(), splitter->primaryRect());
}

TEST_F(SplitterTest, OrientationChangeCentresTheBar)
{
    splitter->setOrientation(0);
    EXPECT_EQ(splitter->barRect(), QRect(0, 197, 600, 6));
    EXPECT_EQ(splitter->primaryRect(), QRect(0, 0, 600, 197));
    EXPECT_EQ(splitter->secondaryRect(), QRect(0, 203, 600, 197));
    EXPECT_EQ(splitter->bar()->Orientation(), 0);

    splitter->setBarPosition(40);
    splitter->setOrientation(1);
    EXPECT_EQ(splitter->barRect(), QRect(297, 0, 6, 400));

    // Setting the same value again leaves the bar where it is.
    splitter->setBarPosition(40);
    QSignalSpy resized(splitter, &Splitter::OnResize);
    splitter->setOrientation(1);
    EXPECT_EQ(resized.count(), 0);
    EXPECT_EQ(splitter->barRect().x(), 40);
}

TEST_F(SplitterTest, OtherOrientationsLayNothingOutButStillRaiseOnResize)
{
    splitter->setOrientation(7);
    const QRect primary = splitter->primaryRect();
    const QRect secondary = splitter->secondaryRect();
    QSignalSpy resized(splitter, &Splitter::OnResize);
    splitter->resize(500, 300);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_EQ(splitter->primaryRect(), primary);
    EXPECT_EQ(splitter->secondaryRect(), secondary);
}

TEST_F(SplitterTest, ResizingKeepsTheBarSixPixelsAndNoCellNegative)
{
    QSignalSpy resized(splitter, &Splitter::OnResize);
    splitter->resize(4, 400);
    EXPECT_GE(resized.count(), 1);
    EXPECT_EQ(splitter->bar()->width(), 6);
    EXPECT_GE(splitter->PrimaryWidth(), 0);
    EXPECT_GE(splitter->SecondaryWidth(), 0);

    splitter->setOrientation(0);
    splitter->resize(300, 3);
    EXPECT_EQ(splitter->bar()->height(), 6);
    EXPECT_GE(splitter->PrimaryHeight(), 0);
    EXPECT_GE(splitter->SecondaryHeight(), 0);
}

TEST_F(SplitterTest, HostControlsStayBelowTheBar)
{
    auto *late = new QTreeView;
    splitter->addHostWidget(late);
    late->setGeometry(splitter->rect());
    late->show();
    EXPECT_EQ(late->parentWidget(), splitter);
    EXPECT_EQ(splitter->childAt(splitter->barRect().center()), splitter->bar());
}

TEST_F(SplitterTest, DragShowsAnOutlineAndMovesTheBarOnRelease)
{
    press({203, 100});
    EXPECT_TRUE(splitter->isDragging());
    EXPECT_EQ(splitter->outlineRect(), QRect(201, 2, 4, 396));
    move({300, 100});
    EXPECT_EQ(splitter->outlineRect(), QRect(298, 2, 4, 396));
    // The panes stay until the release.
    EXPECT_EQ(splitter->barRect().x(), 200);
    release({300, 100});
    EXPECT_FALSE(splitter->isDragging());
    EXPECT_TRUE(splitter->outlineRect().isNull());
    EXPECT_EQ(splitter->barRect().x(), 296);
    EXPECT_EQ(host->geometry().width(), 296);
}

TEST_F(SplitterTest, DragSnapsTheBarToTheEdges)
{
    press({203, 100});
    move({4, 100});
    release({4, 100});
    EXPECT_EQ(splitter->barRect().x(), 0);
    EXPECT_EQ(splitter->PrimaryWidth(), 0);

    press({3, 100});
    move({597, 100});
    release({597, 100});
    EXPECT_EQ(splitter->barRect().x(), 594);
    EXPECT_EQ(splitter->SecondaryWidth(), 0);
}

TEST_F(SplitterTest, LiveStyleMovesThePanesWithThePointer)
{
    splitter->setSplitterStyle(2);
    press({203, 100});
    EXPECT_TRUE(splitter->outlineRect().isNull());
    move({350, 100});
    EXPECT_EQ(splitter->barRect().x(), 346);
    EXPECT_EQ(host->geometry().width(), 346);
    release({350, 100});
    EXPECT_EQ(splitter->barRect().x(), 346);
}

TEST_F(SplitterTest, LostCaptureEndsTheDragAtTheLastPositionAndRemovesTheOutline)
{
    press({203, 100});
    move({260, 100});
    ASSERT_FALSE(splitter->outlineRect().isNull());
    // Another window takes the mouse; the release never reaches the bar.
    host->grabMouse();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splitter->isDragging(); }, 5000));
    host->releaseMouse();
    EXPECT_TRUE(splitter->outlineRect().isNull());
    EXPECT_EQ(splitter->barRect().x(), 256);
}

TEST_F(SplitterTest, RightButtonDoesNotDrag)
{
    QTest::mousePress(splitter->bar(), Qt::RightButton, {}, onBar({203, 100}));
    EXPECT_FALSE(splitter->isDragging());
    QTest::mouseRelease(splitter->bar(), Qt::RightButton, {}, onBar({203, 100}));
}

TEST_F(SplitterTest, DoubleClickOnTheBarIsReported)
{
    QSignalSpy dbl(splitter, &Splitter::OnSplitterDblClick);
    QTest::mouseDClick(splitter->bar(), Qt::LeftButton, {}, onBar({203, 100}));
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_FALSE(splitter->isDragging());
}

TEST(SplitterBarPaint, DrawsTheEdgeLinesOfItsDrawStyle)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(0x80, 0x80, 0x80));
    palette.setColor(QPalette::Light, QColor(0xff, 0x00, 0x00));
    palette.setColor(QPalette::Dark, QColor(0x00, 0xff, 0x00));
    palette.setColor(QPalette::Shadow, QColor(0x00, 0x00, 0xff));
    const QColor face = palette.color(QPalette::Button);
    const QColor light = palette.color(QPalette::Light);
    const QColor dark = palette.color(QPalette::Dark);
    const QColor shadow = palette.color(QPalette::Shadow);

    // The colours of the bar's six lines across it, first to last.
    struct Case
    {
        const char *name;
        long orientation;
        long drawStyle;
        QList<QColor> lines;
    } cases[] = {
        {"vertical, style 0", 1, 0, {light, face, face, face, dark, shadow}},
        {"vertical, style 1", 1, 1, {light, face, face, face, face, dark}},
        {"horizontal, style 0", 0, 0, {light, face, face, face, dark, shadow}},
        {"horizontal, style 1", 0, 1, {light, face, face, face, face, dark}},
        {"other style: nothing drawn", 1, 2, {face, face, face, face, face, face}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SplitterBar bar;
        bar.setPalette(palette);
        bar.setOrientation(c.orientation);
        bar.setDrawStyle(c.drawStyle);
        bar.resize(c.orientation == 1 ? QSize(6, 20) : QSize(20, 6));
        const QImage image = bar.grab().toImage();
        ASSERT_EQ(image.size(), bar.size());
        for (int line = 0; line < 6; ++line) {
            const QPoint at = c.orientation == 1 ? QPoint(line, 10) : QPoint(10, line);
            EXPECT_EQ(image.pixelColor(at), c.lines.at(line)) << "line " << line;
        }
    }
}

TEST_F(SplitterTest, BarCursorFollowsOrientationAndStyle)
{
    SplitterBar *bar = splitter->bar();
    EXPECT_EQ(bar->cursor().shape(), Qt::SplitHCursor);
    splitter->setCursorStyle(2);
    EXPECT_EQ(bar->cursor().shape(), Qt::SizeHorCursor);
    splitter->setOrientation(0);
    EXPECT_EQ(bar->cursor().shape(), Qt::SizeVerCursor);
    splitter->setCursorStyle(1);
    EXPECT_EQ(bar->cursor().shape(), Qt::BitmapCursor);
    splitter->setCursorStyle(0);
    EXPECT_EQ(bar->cursor().shape(), Qt::SplitVCursor);
}

} // namespace
