// The immediate views' drawing, as pixels of an offscreen view: command lines in blue,
// output in the view's colour, the red bar beside each continuation row of a wrapped
// line, at the edge the selection-margin option moves.
#include "immediatedraw.h"
#include "linedata.h"
#include "sourceview.h"

#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <functional>

namespace {

bool isBlue(QRgb c) { return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80; }
bool isDark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }
bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

// How many pixels of the rectangle pass the test.
int count(const QImage &image, const QRect &rect, const std::function<bool(QRgb)> &test)
{
    int n = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

} // namespace

TEST(ImmediateDraw, CommandLinesBlueOutputPlainBarsBesideContinuationRows)
{
    struct Case
    {
        const char *name;
        int extraData;
        int options;
        int edgeCells;   // the bar's edge, in cells from the left
        bool commandBlue;
    };
    const Case cases[] = {
        {"execute view", 2, SourceView::kSelectionMargin, 3, true},
        {"report view: no slot for the flag, no selection strip", 1, 0, 4, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceView view;
        ImmediateDraw draw(&view);
        EXPECT_EQ(view.drawCallback(), &draw);
        view.SetMarginWidth(4);
        view.SetForeColor(Qt::black);
        view.SetBackColor(Qt::white);
        SourceDocument &doc = *view.Document();
        doc.SetExtraData(c.extraData);
        view.EnableOptions(c.options | SourceView::kWrap);
        view.resize(320, 240);
        doc.InsertImpl(0, 0, "W \"HELLO\"\nHELLO\n" + QString(120, 'M'));
        doc.SetLineData(0, LineData::kFlagSlot, 1);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.prepareVisibleLines();
        const QImage image = view.grab().toImage();

        const int cw = view.CharWidth();
        const int ch = view.CharHeight();
        const int textLeft = view.MarginWidth() * cw;
        auto rowTop = [&](int column, int line) {
            int x = 0, y = 0;
            view.DocToDevice(column, line, x, y);
            return y;
        };
        const QRect commandRow(textLeft, rowTop(0, 0), 8 * cw, ch);
        const QRect outputRow(textLeft, rowTop(0, 1), 5 * cw, ch);
        EXPECT_EQ(count(image, commandRow, isBlue) > 0, c.commandBlue);
        EXPECT_EQ(count(image, commandRow, isDark) > 0, !c.commandBlue);
        EXPECT_EQ(count(image, outputRow, isBlue), 0);
        EXPECT_GT(count(image, outputRow, isDark), 0);

        const QTextLayout *layout = view.document()->findBlockByNumber(2).layout();
        ASSERT_GE(layout->lineCount(), 2);
        const int edge = c.edgeCells * cw;
        const int firstRow = rowTop(0, 2);
        EXPECT_FALSE(isRed(image.pixel(edge - 5, firstRow + 4)));
        for (int row = 1; row < layout->lineCount(); ++row) {
            const int top = rowTop(layout->lineAt(row).textStart(), 2);
            EXPECT_TRUE(isRed(image.pixel(edge - 5, top + 4))) << "row " << row;
            // A bar one pixel wide inside its outline, nowhere else in the row's margin.
            const int bar = count(image, QRect(edge - 5, top, 1, ch), isRed);
            EXPECT_GE(bar, ch - 8) << "row " << row;
            EXPECT_EQ(count(image, QRect(0, top, textLeft, ch), isRed), bar) << "row " << row;
        }
        // No bar beside lines that do not wrap.
        EXPECT_EQ(count(image, QRect(0, rowTop(0, 0), textLeft, 2 * ch), isRed), 0);
    }
}

TEST(ImmediateDraw, BookmarkedLinesAreMarkedInTheMargin)
{
    SourceView view;
    ImmediateDraw draw(&view);
    view.SetBackColor(Qt::white);
    view.Document()->SetExtraData(2);
    view.Document()->InsertImpl(0, 0, "W 1\n1\nW 2");
    view.Document()->ToggleBookmark(1);
    view.resize(200, 120);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QImage image = view.grab().toImage();
    const int ch = view.CharHeight();
    const int margin = view.MarginWidth() * view.CharWidth();
    auto marked = [&](int line) {
        return count(image, QRect(0, line * ch, margin, ch), [](QRgb c) { return c != qRgb(255, 255, 255); }) > 0;
    };
    EXPECT_FALSE(marked(0));
    EXPECT_TRUE(marked(1));
    EXPECT_FALSE(marked(2));
}

TEST(ImmediateDraw, LeavesTheViewWhenDestroyed)
{
    SourceView view;
    {
        ImmediateDraw draw(&view);
        EXPECT_EQ(view.drawCallback(), &draw);
    }
    EXPECT_EQ(view.drawCallback(), nullptr);
}
