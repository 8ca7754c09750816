// DeviceToDocPos, as the code window's margin clicks and hover tips read a
// point: 0 the breakpoint margin, -1 the line-selection strip (the margin's
// last character cell), a positive column the text, True no line here.
#include "linedata.h"
#include "sourceview.h"

#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

struct Expected
{
    int column;
    int line;
    bool below;
};

Expected hit(const SourceView &v, int x, int y)
{
    Expected out{-99, -99, false};
    out.below = v.DeviceToDocPos(x, y, out.column, out.line);
    return out;
}

void showView(SourceView &v, const QString &text, int width = 500)
{
    v.resize(width, 300);
    v.Document()->InsertImpl(0, 0, text);
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    v.prepareVisibleLines();
}

} // namespace

TEST(SourceViewCoordinates, DeviceToDocPosTellsMarginStripTextAndBelow)
{
    for (const int margin : {4, 2}) {
        SCOPED_TRACE(margin);
        SourceView v;
        v.SetMarginWidth(margin);
        showView(v, "line 0 text\nline 1 text\nline 2 text\nline 3 text\nline 4 text");
        const int cw = v.CharWidth();
        const int ch = v.CharHeight();
        const int text = margin * cw;            // the text's left edge
        const int strip = (margin - 1) * cw;     // the margin's last cell
        struct Case
        {
            const char *name;
            int x, y;
            Expected expected;
        };
        const std::vector<Case> cases = {
            {"third cell of the first line", text + 2 * cw + 1, ch / 2, {3, 1, false}},
            {"first cell of the fourth line", text + 1, 3 * ch + 1, {1, 4, false}},
            {"beyond the line's end: after its last character", text + 200 * cw, ch + 1,
             {12, 2, false}},
            {"1 px left of the text counts as text", text - 1, ch / 2, {1, 1, false}},
            {"2 px left of the text is the strip", text - 2, ch / 2, {-1, 1, false}},
            {"1 px left of the strip counts as strip", strip - 1, ch + 1, {-1, 2, false}},
            {"2 px left of the strip is the margin", strip - 2, ch + 1, {0, 2, false}},
            {"the margin's left edge", 0, 4 * ch + 1, {0, 5, false}},
            {"one line height under the last line's top", text + 1, 5 * ch, {1, 5, false}},
            {"below the last line", text + 1, 5 * ch + 1, {1, 5, true}},
            {"far below, in the margin", 1, 40 * ch, {0, 5, true}},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            const Expected got = hit(v, c.x, c.y);
            EXPECT_EQ(got.column, c.expected.column);
            EXPECT_EQ(got.line, c.expected.line);
            EXPECT_EQ(got.below, c.expected.below);
        }
    }
}

TEST(SourceViewCoordinates, DeviceToDocPosCountsRowsOfWrappedLinesAndSkipsHiddenLines)
{
    SourceView wrapped;
    wrapped.ModifyViewOptions(SourceView::kWrap, 0);
    showView(wrapped, "short\n" + QString(200, 'a'), 300);
    const QTextLayout *layout = wrapped.document()->findBlockByNumber(1).layout();
    ASSERT_GE(layout->lineCount(), 3);
    const int cw = wrapped.CharWidth();
    const int ch = wrapped.CharHeight();
    const int text = wrapped.MarginWidth() * cw;
    const int rows = layout->lineCount();
    const int secondRowStart = layout->lineAt(1).textStart();
    // A point on a later row of the last line is on it, not below it.
    Expected got = hit(wrapped, text + 1, 2 * ch + 1);
    EXPECT_EQ(got.column, secondRowStart + 1);
    EXPECT_EQ(got.line, 2);
    EXPECT_FALSE(got.below);
    got = hit(wrapped, text + 1, (1 + rows) * ch - 1);
    EXPECT_EQ(got.line, 2);
    EXPECT_FALSE(got.below);
    got = hit(wrapped, text + 1, (1 + rows) * ch + 1);
    EXPECT_EQ(got.line, 2);
    EXPECT_TRUE(got.below);

    SourceView folded;
    showView(folded, "head\n. a\n. b\ntail");
    SourceDocument &doc = *folded.Document();
    doc.SetLineData(0, LineData::kFlagSlot, LineData::kBlockStart);
    doc.SetLineData(1, LineData::kFlagSlot, 1 << LineData::kDepthShift);
    doc.SetLineData(2, LineData::kFlagSlot, 1 << LineData::kDepthShift);
    doc.setCollapsingEnabled(true);
    doc.CollapseBlock(0);
    folded.prepareVisibleLines();
    got = hit(folded, 1, folded.CharHeight() + 1);   // the second row shows "tail"
    EXPECT_EQ(got.column, 0);
    EXPECT_EQ(got.line, 4);
    EXPECT_FALSE(got.below);
}
