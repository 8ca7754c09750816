// Replace All as one undo step, and the typing after it always a step of its own.
#include "sourceview.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(SourceSearch, ReplaceAllEndsTheTypingRunAndAddsAStepOnlyForAChange)
{
    struct Case
    {
        const char *name;
        const char *text, *replacement;
        bool matchCase;
        int replaced;                 // places changed
        const char *afterReplace;     // second line after Replace All
    };
    const std::vector<Case> cases = {
        {"no match", "zz", "q", false, 0, "defxy"},
        {"every match already reads as the replacement", "b", "b", true, 0, "defxy"},
        {"a match that differs only in case is changed", "B", "B", false, 1, "defxy"},
        {"a match is changed", "e", "E", true, 1, "dEfxy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SourceView v;
        v.resize(400, 200);
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        SourceDocument &doc = *v.Document();
        doc.InsertImpl(0, 0, "abc\ndef");
        v.SetCaret(3, 1);
        QTest::keyClicks(&v, "xy");
        ASSERT_EQ(doc.UndoStepCount(), 1);

        EXPECT_EQ(v.replaceAll(c.text, c.replacement, c.matchCase, false), c.replaced);
        EXPECT_EQ(doc.GetLine(1), c.afterReplace);
        EXPECT_EQ(doc.UndoStepCount(), 1 + c.replaced);

        QTest::keyClicks(&v, "z");
        EXPECT_EQ(doc.UndoStepCount(), 2 + c.replaced);
        EXPECT_EQ(doc.UndoStepDescription(0), "Typing");
        doc.Undo();   // only the typing after Replace All
        EXPECT_EQ(doc.GetLine(1), c.afterReplace);
        if (c.replaced) {
            EXPECT_EQ(doc.UndoStepDescription(0), "Replace All");
            doc.Undo();
            EXPECT_EQ(doc.Text(), "abc\r\ndefxy");
        }
    }
}
