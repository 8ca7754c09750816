// A view taking a document that already holds a routine: the routine's line
// data (breakpoint flags, engine serials, bookmarks, blocks) are the truth the
// code window and the breakpoints pane read, so showing the document must
// leave them, the text, the undo history and Modified exactly as they were.
#include "linedata.h"
#include "notificationlog.h"
#include "sourceview.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

using Snapshot = std::vector<std::vector<std::int32_t>>;

Snapshot lineData(SourceDocument &doc)
{
    Snapshot out;
    for (int l = 0; l < doc.NumLines(); ++l) {
        std::vector<std::int32_t> values;
        for (int s = 0; s < SourceDocument::kMaxSlots; ++s)
            values.push_back(doc.GetLineData(l, s));
        out.push_back(values);
    }
    return out;
}

// "head" starts a block over the two dotted lines; every line carries a
// serial, line 3 a breakpoint flag and a bookmark; the block is collapsed and
// the text modified by one undoable edit.
void loadRoutine(SourceDocument &doc)
{
    doc.SetExtraData(3);
    doc.InsertImpl(0, 0, "head\r\n. a\r\n. b\r\ntail\r\nend");
    const std::int32_t depth1 = 1 << LineData::kDepthShift;
    const std::int32_t flags[] = {LineData::kBlockStart, depth1, depth1, LineData::kBreakpoint, 0};
    for (int l = 0; l < 5; ++l) {
        doc.SetLineData(l, LineData::kFlagSlot, flags[l]);
        doc.SetLineData(l, LineData::kSerialSlot, 500 + l);
    }
    doc.ToggleBookmark(3);
    doc.setCollapsingEnabled(true);   // the window's own switch
    doc.CollapseBlock(0);
    doc.Insert(4, 3, "!");
}

} // namespace

TEST(SourceViewAttach, ShowingALoadedDocumentChangesNothingInIt)
{
    struct Case
    {
        const char *name;
        bool shownBefore;   // another view showed it first
        bool detachFirst;   // the view showed another document before
    };
    const std::vector<Case> cases = {
        {"the first view", false, false},
        {"a second view", true, false},
        {"a view that showed another document", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceDocument doc;
        loadRoutine(doc);
        SourceView first;
        if (c.shownBefore)
            first.SetDocument(&doc);
        const QString text = doc.Text();
        const Snapshot data = lineData(doc);
        ASSERT_EQ(data[0][LineData::kControlSlot] & LineData::kBlockCollapsed,
                  LineData::kBlockCollapsed);
        NotificationLog log(doc);
        int modifiedChanges = 0;
        QObject::connect(&doc, &SourceDocument::ModifiedChange, [&](bool) { ++modifiedChanges; });

        SourceView view;
        view.resize(400, 200);
        SourceDocument other;
        if (c.detachFirst)
            view.SetDocument(&other);
        view.SetDocument(&doc);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.prepareVisibleLines();

        EXPECT_TRUE(log.take().empty());
        EXPECT_EQ(doc.Text(), text);
        EXPECT_EQ(lineData(doc), data);
        EXPECT_TRUE(doc.collapsingEnabled());
        EXPECT_TRUE(doc.isLineHidden(1));
        EXPECT_TRUE(doc.Modified());
        EXPECT_EQ(modifiedChanges, 0);
        EXPECT_EQ(doc.UndoStepCount(), 1);

        // The document goes on by its rules: an edit reports itself, and the
        // undo of the edit made before the view came brings the text back.
        view.SetCaret(0, 4);
        QTest::keyClick(&view, 'e');
        EXPECT_EQ(log.take(), (std::vector<Notification>{{'I', 0, 4, 1, 4}}));
        doc.Undo();
        doc.Undo();
        EXPECT_EQ(doc.Text(), "head\r\n. a\r\n. b\r\ntail\r\nend");
        EXPECT_EQ(doc.GetLineData(3, LineData::kSerialSlot), 503);
        EXPECT_EQ(doc.GetLineData(4, LineData::kSerialSlot), 504);
    }
}

// Each code window switches collapsing on its own document; the settings its
// view shares with every other window only carry options. A change of other
// bits there (each window adds its load options) must not switch it off.
TEST(SourceViewAttach, SharedSettingsSwitchCollapsingOnlyByTheirOwnBit)
{
    EditorSettings shared;
    SourceView view;
    view.SetSettings(&shared);
    SourceDocument &doc = *view.Document();
    doc.InsertImpl(0, 0, "head\n. a\ntail");
    doc.SetLineData(0, LineData::kFlagSlot, LineData::kBlockStart);
    doc.SetLineData(1, LineData::kFlagSlot, 1 << LineData::kDepthShift);
    doc.setCollapsingEnabled(true);
    view.CollapseAllBlocks();
    ASSERT_TRUE(doc.isLineHidden(1));

    shared.SetDocOptions(shared.DocOptions() | 8 | 32);
    SourceView another;
    another.SetSettings(&shared);
    EXPECT_TRUE(doc.collapsingEnabled());
    EXPECT_TRUE(doc.isLineHidden(1));

    // The bit itself still switches every view that shares it.
    shared.SetDocOptions(shared.DocOptions() | EditorSettings::kCollapsing);
    shared.SetDocOptions(shared.DocOptions() & ~EditorSettings::kCollapsing);
    EXPECT_FALSE(doc.collapsingEnabled());
    EXPECT_FALSE(doc.isLineHidden(1));
}
