#include "docfixtures.h"
#include "linedata.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"
#include "vanngine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include <map>

namespace {

using namespace ParseReply;

// ---- breakpoints of a routine through edits --------------------------------------------

class RebaseTest : public BreakpointDocTest
{
};

const QStringList kRoutine = blocksRoutine();

// Each way an edit moves lines or changes a label, with the breakpoints it takes off and sets
// again, and the markers that must follow.
TEST_F(RebaseTest, EveryKindOfEditSendsItsExactTakeOffAndSetSequence)
{
    struct Case
    {
        QString edit;
        QStringList refs;
        std::function<void(SourceDocument *)> apply;
        QStringList messages;
        std::map<int, QStringList> after;
    };
    const std::vector<Case> cases = {
        {"insert above label B", {"B", "B+1", "A+4"},
         [](SourceDocument *d) { d->InsertImpl(0, 8, "\tS N=1\r\n"); },
         {"BP -|B|ABC|1", "BP -|B+1|ABC|1", "BP +|B|ABC|1", "BP +|B+1|ABC|1"},
         {{7, {"A+4"}}, {10, {"B"}}, {11, {"B+1"}}}},
        {"insert below the last breakpoint of block A", {"A+4", "B+1"},
         [](SourceDocument *d) { d->InsertImpl(0, 7, "\tS N=1\r\n\tS N=2\r\n"); },
         {},
         {{7, {"A+4"}}, {12, {"B+1"}}}},
        {"insert a labelled line inside block A", {"A+4", "B+1"},
         [](SourceDocument *d) { d->InsertImpl(0, 4, "C\tQ\r\n"); },
         {"BP -|A+4|ABC|1", "BP +|C+3|ABC|1"},
         {{8, {"C+3"}}, {11, {"B+1"}}}},
        {"delete lines 3-4 with label A", {"A+4", "B+1"},
         [](SourceDocument *d) { d->DeleteImpl(0, 2, 0, 4); },
         {"BP -|A+4|ABC|1", "BP +|ABC+4|ABC|1"},
         {{5, {"ABC+4"}}, {8, {"B+1"}}}},
        {"delete lines 8-9 with label B", {"A+4", "B+1"},
         [](SourceDocument *d) { d->DeleteImpl(0, 7, 0, 9); },
         {"BP -|B+1|ABC|1", "BP +|A+5|ABC|1"},
         {{7, {"A+4"}}, {8, {"A+5"}}}},
        {"delete the last two lines", {"A+4", "B+1"},
         [](SourceDocument *d) { d->DeleteImpl(1, 7, 2, 9); },
         {"BP -|B+1|ABC|1"},
         {{7, {"A+4"}}}},
        {"rename A with a breakpoint on the label line", {"A", "A+1", "B"},
         [](SourceDocument *d) { d->InsertImpl(1, 2, "Z"); },
         {"BP -|A|ABC|1", "BP +|AZ|ABC|1", "BP -|A+1|ABC|1", "BP +|AZ+1|ABC|1"},
         {{3, {"AZ"}}, {4, {"AZ+1"}}, {9, {"B"}}}},
        {"insert at the top", {"+2", "A+4"},
         [](SourceDocument *d) { d->InsertImpl(0, 0, "\t; x\r\n\t; y\r\n"); },
         {"BP -|+2|ABC|1", "BP +|ABC+1|ABC|1"},
         {{4, {"ABC+1"}}, {9, {"A+4"}}}},
    };
    for (const Case &c : cases) {
        if (&c != cases.data()) {
            TearDown();
            SetUp();
        }
        open(kRoutine, c.refs);
        c.apply(r->document());
        QCoreApplication::processEvents();
        EXPECT_EQ(pane->messages, c.messages) << c.edit.toStdString();
        EXPECT_EQ(index(), c.after) << c.edit.toStdString();
        std::vector<int> lines;
        for (const auto &[line, refs] : c.after)
            lines.push_back(line);
        EXPECT_EQ(markedLines(), lines) << c.edit.toStdString();
    }
}

// An insertion below every breakpoint moves none of them, so nothing rebuilds the label
// index it dropped; the rename typed next must still carry the block's breakpoints along.
TEST_F(RebaseTest, ALabelRenamedWhileTheIndexIsDroppedTakesItsBreakpointsAlong)
{
    open(kRoutine, {"A+4", "B+1"});
    r->document()->InsertImpl(3, 9, "\r\n\tQ");
    QCoreApplication::processEvents();
    EXPECT_TRUE(pane->messages.isEmpty());
    r->document()->InsertImpl(1, 2, "A");   // A becomes AA
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->messages, (QStringList{"BP -|A+4|ABC|1", "BP +|AA+4|ABC|1"}));
    EXPECT_EQ(index(), (std::map<int, QStringList>{{7, {"AA+4"}}, {10, {"B+1"}}}));
}

// A line that repeats an earlier label is no label; once the earlier line has gone, or
// lost the label while no index existed, it is the label's line, also with colouring off.
TEST_F(RebaseTest, ADuplicateTakesOverTheLabelWhenTheFirstOneGoes)
{
    docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(false); };
    open({"A\tQ", "\tQ", "A\tS X=1", "\tQ"}, {"A+3"});
    EXPECT_EQ(r->LineOfLabel("A"), 1);
    r->document()->DeleteImpl(0, 0, 0, 2);   // the first A goes with its lines
    QCoreApplication::processEvents();
    EXPECT_EQ(r->LineOfLabel("A"), 1);
    EXPECT_EQ(pane->messages, (QStringList{"BP -|A+3|ABC|1", "BP +|A+1|ABC|1"}));
    EXPECT_EQ(index(), (std::map<int, QStringList>{{2, {"A+1"}}}));

    TearDown();
    SetUp();
    docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(false); };
    open({"A\tQ", "\tQ", "A\tS X=1", "\tQ"}, {});
    EXPECT_EQ(r->LineOfLabel("A"), 1);
    r->document()->InsertImpl(2, 3, "\r\n");   // a new last line drops the index
    r->document()->InsertImpl(0, 0, "B");        // the first A becomes BA
    QCoreApplication::processEvents();
    EXPECT_EQ(r->LineOfLabel("BA"), 1);
    EXPECT_EQ(r->LineOfLabel("A"), 3);
}


// Breakpoints below a repeated label belong to the first one; when that one is renamed
// they follow it, and then move to the repeated label, which has become a label.
TEST_F(RebaseTest, RenamingALabelThatWasRepeatedHandsTheRepeatedBlockItsBreakpoints)
{
    open({"A\tQ", "\tS X=1", "A\tS Y=1", "\tS Y=2"}, {"A+3"});
    r->document()->InsertImpl(1, 0, "Z");   // A becomes AZ
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->messages, (QStringList{"BP -|A+3|ABC|1", "BP +|AZ+3|ABC|1", "BP -|AZ+3|ABC|1",
                                           "BP +|A+1|ABC|1"}));
    EXPECT_EQ(index(), (std::map<int, QStringList>{{4, {"A+1"}}}));
    EXPECT_EQ(markedLines(), std::vector<int>{4});
}

// The range and end queries of the caret placement are asked once more after priming the
// parser when the engine cannot answer, and fall back to the whole line or no selection.
TEST_F(RebaseTest, PlacingTheCaretPrimesTheParserOnceForEachUnansweredQuery)
{
    open(kRoutine, {});
    auto *w = static_cast<FakeCodeWindow *>(r->Window());
    struct Case
    {
        QString what;
        std::function<void()> script;
        std::function<void()> run;
        int begins, selStart, selEnd;
    };
    const std::vector<Case> cases = {
        {"range on the second try", [this] { engine->queue("Cmd2Rng^PARSE", ""); engine->queue("Cmd2Rng^PARSE", "4,6"); },
         [this] { r->PositionAtCommand(3, 2); }, 1, 3, 6},
        {"no range at all", [] {}, [this] { r->PositionAtCommand(3, 2); }, 1, 0, 7},
        {"position range", [this] { engine->queue("Pos2CRng^PARSE", ""); engine->queue("Pos2CRng^PARSE", "2,3"); },
         [this] { r->PositionAtCommand(3, -3); }, 1, 1, 3},
        {"command end on the second try",
         [this] { engine->queue("Pos2CEnd^PARSE", "-1"); engine->queue("Pos2CEnd^PARSE", "7"); },
         [this] { r->PositionAt(3, 4, -1); }, 1, 3, 7},
        {"no command end", [this] { engine->on("Pos2CEnd^PARSE", "-1"); },
         [this] { r->PositionAt(3, 4, -1); }, 1, 3, 3},
    };
    engine->on("Pos2Cmd^PARSE", "2");
    for (const Case &c : cases) {
        c.script();
        engine->clearCalls();
        c.run();
        EXPECT_EQ(int(engine->callsTo("Begin^PARSE").size()), c.begins) << c.what.toStdString();
        EXPECT_EQ(w->selStartLine, 2) << c.what.toStdString();
        EXPECT_EQ(w->selStartColumn, c.selStart) << c.what.toStdString();
        EXPECT_EQ(w->selEndColumn, c.selEnd) << c.what.toStdString();
    }
}

// ---- the lexer's flag words, cache and queue --------------------------------------------

class LexRulesTest : public LexDocTest
{
};

// The lexer owns bits 16 to 25 of a statement's lines and the state on its last line;
// the marks of others (breakpoint, stack, caret, bit 31) stay.
TEST_F(LexRulesTest, AStatementRewritesOnlyTheLexersBitsAndHandsItsStateOn)
{
    load({"\tS X=1,", "\tY=2", "\tQ", "\tQ"});
    setFlags(0, 0x4 | 0x1 | 0x80000000 | 0x10000 | 0x2000000 | 0x100000);
    setFlags(1, 0x8 | 0x2 | 0x80000000 | 0x7FFF0000);
    onBegin(0, begin(0x201, 2, 0, {lineItem(8, 3, {token(5, 1, 1)}), lineItem(0, 4, {token(6, 1, 1)})}));
    onBegin(2, begin(0, 1, 0, {lineItem(0, 0, {token(5, 1, 1)})}));
    parse(0);
    const quint32 rescan = 0x4000000;   // cleared again by the scan that repaints the line
    EXPECT_EQ(flags(0) & ~rescan, 0x4u | 0x1 | 0x80000000 | 0x20000 | 0x80000 | (3u << 20));
    EXPECT_EQ(flags(1) & ~rescan, 0x8u | 0x2 | (0x201u << 16) | 0x40000 | (4u << 20));

    // The statement below starts with (word >> 16) And &H2F0 of the line above: state bit 9
    // and, in bits 4 to 7, the depth.
    parse(2);
    const auto calls = engine->callsTo("Begin^PARSE");
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].args.value(0).toInt(), serial(2));
    EXPECT_EQ(calls[1].args.value(1).toInt(), 0x240);
}

// Deleting the middle of a statement: the engine forgets the line, the line that follows
// takes its place with the lexer's bits cleared and its marks kept, and the statement's
// first line no longer runs on; both are parsed again and repainted.
TEST_F(LexRulesTest, DeletingInsideAStatementCutsTheChainAndQueuesBothEnds)
{
    load({"\tS X=1,", "\tY=2,", "\tZ=3", "\tQ", "\tQ"});
    setFlags(0, 0x20000 | 0x80000 | 0x4);
    setFlags(1, 0x60000);
    setFlags(2, 0x40000 | 0x5 | (7u << 16));
    const int s0 = serial(0), s1 = serial(1), s2 = serial(2);
    QSignalSpy changed(lex(), &SourceLex::LabelsChanged);
    lex()->Labels();
    doc()->DeleteImpl(0, 1, 0, 2);
    auto kills = engine->callsTo("TextKill^PARSE");
    ASSERT_EQ(kills.size(), 1u);
    EXPECT_EQ(kills[0].args, (QVariantList{s1, s0, 1}));
    EXPECT_EQ(serial(1), s2);
    EXPECT_EQ(flags(1), 0x5u);
    EXPECT_EQ(flags(0), 0x4u);
    EXPECT_EQ(lex()->queuedLines(), (std::vector<int>{0, 1}));
    EXPECT_FALSE(lex()->labelIndexBuilt());
    EXPECT_GE(changed.size(), 1);
}

} // namespace
