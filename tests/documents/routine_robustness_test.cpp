// Routine documents against what their callers rely on: breakpoints that must follow their
// label through any edit, and the save reply taken field by field.

#include "docfixtures.h"
#include "linedata.h"
#include "recordingprompt.h"
#include "routine.h"
#include "routines.h"
#include "scriptedengine.h"
#include "sourcelex.h"
#include "vanngine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>
#include <map>

namespace {

class RoutineRobustness : public BreakpointDocTest
{
};

TEST_F(RoutineRobustness, ALabelChangedByAnEditThatAlsoMovesLinesTakesItsBreakpointsAlong)
{
    struct Case
    {
        QString edit;
        std::function<void(SourceDocument *)> apply;
        std::map<int, QStringList> after;
        QStringList messages;
    };
    const std::vector<Case> cases = {
        {"\"A\tS Y=2\" becomes \"AB\" and \"\tS Y=2\"", [](SourceDocument *d) { d->InsertImpl(1, 2, "B\r\n"); },
         {{3, {"AB"}}, {8, {"AB+5"}}},
         {"BP -|A+4|ABC|1", "BP -|A|ABC|1", "BP +|AB|ABC|1", "BP +|AB+5|ABC|1"}},
        {"line 2 and the label of line 3 deleted", [](SourceDocument *d) { d->DeleteImpl(0, 1, 1, 2); },
         {{2, {"ABC+1"}}, {6, {"ABC+5"}}},
         {"BP -|A|ABC|1", "BP -|A+4|ABC|1", "BP +|ABC+5|ABC|1", "BP +|ABC+1|ABC|1"}},
    };
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        open(blocksRoutine(), {"A", "A+4"});
        ASSERT_EQ(index(), (std::map<int, QStringList>{{3, {"A"}}, {7, {"A+4"}}}));

        c.apply(r->document());
        QCoreApplication::processEvents();

        EXPECT_EQ(index(), c.after) << c.edit.toStdString();
        EXPECT_EQ(pane->messages, c.messages) << c.edit.toStdString();
        for (const auto &entry : c.after)
            EXPECT_TRUE(r->GetLineFlags(entry.first) & LineData::kBreakpoint) << c.edit.toStdString();
    }
}

} // namespace

namespace {

TEST_F(RoutineRobustness, ASaveReplyWithoutTheStoredTextKeepsTheTextThatWasSent)
{
    open({"ABC\t; x", "\tQ"});
    r->document()->Insert(1, 1, "S Y=1\r\n\t");
    ASSERT_TRUE(r->Modified());
    struct Case { QStringList reply; bool saved; size_t told; QString line2; };
    const std::vector<Case> cases = {
        {{"SIP", "", ""}, true, 0, "\tS Y=1"},         // no field 3: nothing to reload
        // Nothing but blanks and line ends stored for a text with lines: unconfirmed.
        {{"SIP", "", "", ""}, false, 1, "\tS Y=1"},
        {{"SIP", "", "", "\r\n"}, false, 1, "\tS Y=1"},
        {{"SIP", "", "", "   "}, false, 1, "\tS Y=1"},
        {{"SIP", "", "", "\t\r\n"}, false, 1, "\tS Y=1"},
        // Shorter than what was sent but a routine still: the server's text is the one kept.
        {{"SIP", "", "", "ABC\t; x\r\n\tQ"}, true, 0, "\tQ"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply.join('|').toStdString());
        // Each row saves the same three lines.
        if (r->TextOfLine(2) != "\tS Y=1")
            r->LoadText("ABC\t; x\r\n\tS Y=1\r\n\tQ", "+1");
        r->document()->SetModified(true);
        link.log.clear();
        prompt->asked.clear();
        link.replies = {c.reply};
        EXPECT_EQ(r->SaveDoc(), c.saved);
        EXPECT_EQ(link.log.last(), "S:");
        EXPECT_EQ(r->Modified(), !c.saved);
        EXPECT_EQ(r->TextOfLine(2), c.line2);
        EXPECT_EQ(prompt->asked.size(), c.told);
        if (c.told)
            EXPECT_TRUE(prompt->asked.back().text.contains("is still marked as modified"));
    }
}

} // namespace
