#include "docfixtures.h"
#include "linedata.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"
#include "vantrelerror.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

namespace {

class RoutineTest : public RoutineDocTest
{
protected:
    void SetUp() override
    {
        RoutineDocTest::SetUp();
        pane = std::make_unique<FakeBreakpointsPane>(routines.get());
        DocServices &s = docServices();
        s.codeWindowFactory = [this] {
            auto w = std::make_unique<FakeCodeWindow>(richSource);
            lastWindow = w.get();
            return w;
        };
        s.breakpoints = pane.get();
        s.stack = &stack;
        s.reportPane = [this] { return &report; };
        s.saveAs = &saveAs;
    }

    std::shared_ptr<Routine> open(const QString &rtn, const QStringList &lines, int typ = 1,
                                  const QString &env = "USER")
    {
        auto doc = openRoutine(&link, rtn, lines.join("\r\n"), typ, env);
        QCoreApplication::processEvents();
        return doc;
    }
    static FakeCodeWindow *win(Routine &r) { return static_cast<FakeCodeWindow *>(r.Window()); }
    static std::int32_t flags(Routine &r, int line) { return r.GetLineFlags(line); }

    std::unique_ptr<FakeBreakpointsPane> pane;
    FakeDocLink link;
    FakeStackPane stack;
    FakeReportPane report;
    FakeSaveAs saveAs;
    FakeCodeWindow *lastWindow = nullptr;
    bool richSource = true;
};

// ---- identity -------------------------------------------------------------------------

TEST_F(RoutineTest, IdentityIsSetOnce)
{
    Routine r;
    r.setEnv("");
    r.setEnv("USER");                 // empty first, a name later: allowed
    r.setRtn("ABC");
    r.setTyp(0);
    r.setTyp(1);
    struct Case { std::function<void()> write; QString text; };
    const std::vector<Case> cases = {
        {[&] { r.setEnv("OTHER"); }, "Env property is read-only"},
        {[&] { r.setRtn("DEF"); }, "Rtn property is read-only"},
        {[&] { r.setTyp(2); }, "Typ property is read-only"},
    };
    for (const Case &c : cases) {
        try {
            c.write();
            ADD_FAILURE() << "accepted: " << c.text.toStdString();
        } catch (const VantrelError &e) {
            EXPECT_EQ(e.number(), 0x80047D90u);
            EXPECT_EQ(e.text(), c.text);
        }
    }
    EXPECT_EQ(r.Key(), "USER^ABC^1");
    EXPECT_EQ(Routine::KeyFor("X", "NS", 3), "NS^X^3");
}

TEST_F(RoutineTest, DisplayNameCarriesTheTypeOnlyOnCache)
{
    struct Case { QString brand; int typ; QString name; };
    const std::vector<Case> cases = {
        {"CACHE", 1, "ABC.int"}, {"CACHE", 2, "ABC.mac"}, {"CACHE", 3, "ABC.inc"},
        {"CACHE", 0, "ABC"}, {"DSM", 2, "ABC"},
    };
    for (const Case &c : cases) {
        Routine r;
        FakeDocLink l;
        l.brand = c.brand;
        r.setMLink(&l);
        r.setRtn("ABC");
        r.setTyp(c.typ);
        EXPECT_EQ(r.DisplayName(), c.name) << c.brand.toStdString() << c.typ;
    }
}

// ---- loading ---------------------------------------------------------------------------

TEST_F(RoutineTest, LoadTextSetsUpTheEngineInOrderBeforeTheLexerAsksForLengths)
{
    struct Case { QString brand; int protocol; int typ; QStringList ppg; QStringList engineCalls; QStringList linkLog; };
    const std::vector<Case> cases = {
        {"CACHE", 4, 1, {},
         {"PropSet^PARSE ParseTable sdbCACHE", "SetTable^PName CACHE true NT",
          "PropSet^PARSE lenLVAR 31", "PropSet^PARSE lenGVAR 31", "PropSet^PARSE lenLABEL 31",
          "PropSet^PARSE lenROUTINE 63", "PropGet^PARSE lenLABEL 8"},
         {}},
        {"DSM", 4, 2, {},
         {"PropSet^PARSE ParseTable sdbDSM.mac", "SetTable^PName DSM true NT", "PropGet^PARSE lenLABEL 8"},
         {}},
        {"CACHE", 5, 1, {"PPG", "lenLABEL", "31", "lenLVAR", "63", "stray"},
         {"PropSet^PARSE ParseTable sdbCACHE", "SetTable^PName CACHE true NT",
          "PropSet^PARSE lenLABEL 31", "PropSet^PARSE lenLVAR 63", "PropGet^PARSE lenLABEL 8"},
         {"T:PPG", "S:"}},
        // A refused "PPG" sets nothing and the routine still opens.
        {"GTM", 6, 1, {"MSG", "Timed out"},
         {"PropSet^PARSE ParseTable sdbGTM", "SetTable^PName GTM true NT", "PropGet^PARSE lenLABEL 8"},
         {"T:PPG", "S:"}},
    };
    for (const Case &c : cases) {
        link = FakeDocLink();
        link.brand = c.brand;
        link.protocol = c.protocol;
        if (!c.ppg.isEmpty())
            link.replies.push_back(c.ppg);
        engine->clearCalls();
        auto r = open("ABC", {"ABC\t; x", "\tQ"}, c.typ);
        QStringList calls;
        for (const auto &call : engine->calls()) {
            if (call.entry == "PropSet^PARSE" || call.entry == "SetTable^PName" || call.entry == "PropGet^PARSE") {
                QStringList parts{call.entry};
                for (int i = 0; i < call.args.size(); ++i)
                    parts << call.text(i);
                calls << parts.join(' ');
            }
        }
        EXPECT_EQ(calls, c.engineCalls) << c.brand.toStdString();
        EXPECT_EQ(link.log, c.linkLog) << c.brand.toStdString();
        EXPECT_EQ(r->TextOfLine(1), "ABC\t; x");
        EXPECT_EQ(r->document()->NumLines(), 2);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(RoutineTest, LoadTextIndexesEveryLabelAndQueuesTheLinesBelowTheFirstScreen)
{
    QStringList lines;
    for (int i = 0; i < 40; ++i)
        lines << (i % 10 == 0 ? QString("L%1\tQ").arg(i) : QString("\tS X=%1").arg(i));
    richSource = false;   // labels do not depend on colouring
    auto r = open("ABC", lines);
    for (int i = 0; i < 40; i += 10)
        EXPECT_EQ(r->LineOfLabel(QString("L%1").arg(i)), i + 1);
    EXPECT_FALSE(r->Modified());
    EXPECT_EQ(win(*r)->caretLine(), 0);
}

// ---- saving ----------------------------------------------------------------------------

TEST_F(RoutineTest, SaveDocFollowsTheReplyAndAcknowledgesEveryReply)
{
    struct Case
    {
        QStringList reply;
        bool promptAnswer;
        bool result;
        QString boxText;       // empty: no box
        bool reloaded;
    };
    const std::vector<Case> cases = {
        {{"SIP", "", "", "ABC\t; saved\r\n\tS X=1\r\n\tQ"}, true, true, "", true},
        {{"SIP", "3", "Overwrite?", "ABC\t; saved\r\n\tS X=1\r\n\tQ"}, true, true, "", true},
        {{"SIP", "3", "Overwrite?", "ABC\t; saved\r\n\tS X=1\r\n\tQ"}, false, false, "", false},
        {{"SIM", "1", "Really?"}, true, true, "", false},
        {{"SIM", "1", "Really?"}, false, false, "", false},
        {{"MSG", "Locked by someone else"}, true, false, "Locked by someone else", false},
        {{"XYZ"}, true, false, "Routine.Save's SIP received unexpected reply type [XYZ]", false},
    };
    for (const Case &c : cases) {
        auto r = open("ABC", {"ABC\t; x", "\tS X=1", "\tQ"});
        r->document()->Insert(3, 1, "Y");
        win(*r)->setCaret(4, 1);
        ASSERT_TRUE(r->Modified());
        link.log.clear();
        link.replies = {c.reply};
        host.promptAnswer = c.promptAnswer;
        host.prompts.clear();
        prompt->asked.clear();
        report.clears = 0;

        EXPECT_EQ(r->SaveDoc(), c.result) << c.reply.join('|').toStdString();
        EXPECT_EQ(link.log, (QStringList{"T:SIP|1|ABC|USER|ABC\t; x\r\n\tS YX=1\r\n\tQ", "S:"}));
        EXPECT_EQ(report.clears, 1);
        EXPECT_EQ(r->Modified(), !c.result);
        if (c.boxText.isEmpty()) {
            EXPECT_TRUE(prompt->asked.empty());
        } else {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].text, c.boxText);
        }
        if (c.reloaded) {
            EXPECT_EQ(r->TextOfLine(1), "ABC\t; saved");
            EXPECT_EQ(win(*r)->caretLine(), 1);
            EXPECT_EQ(win(*r)->caretColumn(), 4);
        } else {
            EXPECT_EQ(r->TextOfLine(1), "ABC\t; x");
        }
        const bool asksServerPrompt = (c.reply[0] == "SIP" || c.reply[0] == "SIM") && !c.reply.value(1).isEmpty();
        EXPECT_EQ(host.prompts.size(), asksServerPrompt ? 1u : 0u);
        routines->Remove(r->Key(), false, true);
    }

    // A routine never saved goes to the Save As dialog, and nothing is sent.
    QString name, env, text, line;
    bool ro = false;
    auto fresh = std::dynamic_pointer_cast<Routine>(routines->Add(&link, name, env, text, ro, line, 1, 0));
    link.log.clear();
    saveAs.cancel = true;
    EXPECT_FALSE(fresh->SaveDoc());
    saveAs.cancel = false;
    EXPECT_TRUE(fresh->SaveDoc());
    EXPECT_EQ(saveAs.shown, 2);
    EXPECT_TRUE(link.log.isEmpty());
}

// ---- closing ---------------------------------------------------------------------------

TEST_F(RoutineTest, CloseDocAsksWhatItMustAndReleasesTheLock)
{
    using A = IUserPrompt::Answer;
    struct Case
    {
        bool modified, abandon, frozen, inStack, busy, envEmpty, holdsLock;
        A answer;
        QString title;   // empty: no box
        bool result;
    };
    const std::vector<Case> cases = {
        {false, false, false, false, false, false, true, A::Yes, "", true},
        {true, true, false, false, false, false, true, A::Yes, "", true},
        {true, false, true, true, false, false, true, A::Yes, "About to Discard Unsaved Changes", true},
        {true, false, true, true, false, false, true, A::No, "About to Discard Unsaved Changes", false},
        {true, false, false, false, true, false, true, A::Yes, "Lose Changes?", true},
        {true, false, false, false, true, false, false, A::No, "Lose Changes?", false},
        {true, false, false, false, false, true, false, A::No, "Save New Routine?", true},
        {true, false, false, false, false, false, true, A::No, "Save Changes?", true},
        {true, false, false, false, false, false, true, A::Cancel, "Save Changes?", false},
        {true, false, true, false, false, false, true, A::No, "Save Changes?", true},
    };
    for (const Case &c : cases) {
        auto r = open(c.envEmpty ? "NEW" : "ABC", {"\tQ"}, 1, c.envEmpty ? "" : "USER");
        if (c.modified)
            r->document()->Insert(0, 0, "X");
        r->setFrozen(c.frozen);
        stack.inStack = c.inStack;
        stack.rtn = r->Rtn();
        stack.env = r->Env();
        host.busy = c.busy;
        r->setHoldsLock(c.holdsLock);
        prompt->asked.clear();
        prompt->answers = {c.answer};
        link.log.clear();

        const QString what = QString("case %1").arg(&c - cases.data());
        EXPECT_EQ(r->CloseDoc(c.abandon), c.result) << what.toStdString();
        if (c.title.isEmpty()) {
            EXPECT_TRUE(prompt->asked.empty()) << what.toStdString();
        } else {
            ASSERT_EQ(prompt->asked.size(), 1u) << what.toStdString();
            EXPECT_EQ(prompt->asked[0].title, c.title);
        }
        const bool siu = c.result && c.holdsLock;
        EXPECT_EQ(link.log, siu ? QStringList{"S:SIU|1|ABC|USER"} : QStringList{}) << what.toStdString();
        EXPECT_EQ(r->HoldsLock(), c.holdsLock && !c.result);
        EXPECT_EQ(win(*r)->routine() == nullptr, c.result) << what.toStdString();
        r->setHoldsLock(false);
        host.busy = false;
        routines->Remove(r->Key(), c.frozen, true);
    }
}

TEST_F(RoutineTest, CloseBoxesCarryTheirExactTexts)
{
    auto r = open("ABC", {"\tQ"});
    r->document()->Insert(0, 0, "X");
    r->setHoldsLock(true);
    host.busy = true;
    prompt->answers = {IUserPrompt::Answer::No};
    r->CloseDoc(false);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text,
              "Server is not currently able to save your modified routine,\rnor to release the "
              "routine's locks immediately.\rIt might be busy processing application code.\r\r"
              "Close it anyway, and lose changes?");
    EXPECT_EQ(prompt->asked[0].defaultAnswer, IUserPrompt::Answer::No);

    host.busy = false;
    r->setFrozen(true);
    stack.inStack = true;
    stack.rtn = "ABC";
    stack.env = "USER";
    prompt->asked.clear();
    r->CloseDoc(false);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text,
              "This modified version of ABC.int from USER is frozen because it is in the execution "
              "stack of the current debugging session.\r\n\r\nThe changes cannot be saved until it "
              "is no longer in the execution stack.\r\n\r\nAre you sure you want to close it now "
              "and lose your changes?");
    r->setFrozen(false);
    stack.inStack = false;
    prompt->asked.clear();
    r->CloseDoc(false);
    EXPECT_EQ(prompt->asked[0].text, "ABC.int from USER has been modified. Do you want to save the changes?");
}

// ---- renaming ----------------------------------------------------------------------------

TEST_F(RoutineTest, RenameReKeysOrPutsTheOldIdentityBack)
{
    auto a = open("A", {"\tQ"});
    auto b = open("B", {"\tQ"});
    QString rtn = "A", env = "USER";
    int typ = 0;
    const int refreshes = win(*a)->captionRefreshes;
    EXPECT_TRUE(a->Rename(rtn, env, typ));
    EXPECT_EQ(typ, 1);   // 0 means the current type, and the caller sees it
    EXPECT_EQ(win(*a)->captionRefreshes, refreshes);

    rtn = "C";
    EXPECT_TRUE(a->Rename(rtn, env, typ));
    EXPECT_EQ(a->Key(), "USER^C^1");
    EXPECT_EQ(routines->Item("USER^C^1").get(), a.get());
    EXPECT_GT(win(*a)->captionRefreshes, refreshes);

    rtn = "B";
    typ = 1;
    EXPECT_FALSE(a->Rename(rtn, env, typ));
    EXPECT_EQ(a->Rtn(), "C");
    EXPECT_EQ(a->Env(), "USER");
    EXPECT_EQ(a->Typ(), 1);
}

// ---- showing -----------------------------------------------------------------------------

TEST_F(RoutineTest, ShowingPlacesTheFirstWindowAndRemembersMaximised)
{
    Routine::setChildMaxed(false);   // the last window hidden was in its normal state
    host.minimised = true;   // the first document brings a minimised main window back
    auto a = open("A", {"\tQ"});
    EXPECT_EQ(host.restores, 1);
    EXPECT_EQ(win(*a)->parseTimerInterval, 0);   // never ticks before the first show
    a->setVisible(true);
    EXPECT_EQ(win(*a)->movedToOrigin, 1);
    EXPECT_EQ(win(*a)->parseTimerInterval, 1);
    EXPECT_EQ(host.relayouts, 1);

    win(*a)->maximised = true;
    a->setVisible(false);
    EXPECT_TRUE(Routine::ChildMaxed());
    auto b = open("B", {"\tQ"});
    b->setVisible(true);
    EXPECT_TRUE(win(*b)->maximised);
    EXPECT_EQ(win(*b)->movedToOrigin, 0);

    // Showing a hidden document takes it off the hidden list.
    host.anyVisible = true;
    routines->Free(a->Key(), false);
    EXPECT_EQ(routines->hiddenKeys(), QStringList{a->Key()});
    a->Activate(false);
    EXPECT_TRUE(routines->hiddenKeys().isEmpty());
    EXPECT_EQ(routines->Active().get(), a.get());
}

TEST_F(RoutineTest, ADocumentEndingUnclosedCutsItsWindowOffBeforeHidingIt)
{
    auto r = open("ABC", {"\tQ"});
    r->setVisible(true);
    FakeCodeWindow *w = win(*r);
    bool cutBeforeHiding = false;
    w->onHide = [w, &cutBeforeHiding] { cutBeforeHiding = w->routine() == nullptr; };
    routines->Extract(r->Key(), false);   // taken out without CloseDoc
    r.reset();
    EXPECT_TRUE(cutBeforeHiding);
}

// ---- parser queries ------------------------------------------------------------------------

class QueryTest : public RoutineTest
{
protected:
    void SetUp() override
    {
        RoutineTest::SetUp();
        r = open("ABC", {"\t; top", "\tQ", "A\tS X=1 W X", "\tQ", "\tQ", "\tQ", "\tQ", "\tQ",
                         "B\tQ", "\tQ"});
        engine->clearCalls();
    }
    std::shared_ptr<Routine> r;
};

TEST_F(QueryTest, LineReferencesResolveBothWays)
{
    const std::vector<std::pair<QString, int>> lineOf = {
        {"A", 3}, {"A+2", 5}, {"+5", 5}, {"+11", 0}, {"Z", 0}, {"A+x", 0}, {"+0", 0}, {"A+-5", 0},
        {"A+2.5", 5}, {"A+3.5", 7}, {"B", 9}, {"Z+1", 0},
    };
    for (const auto &[ref, line] : lineOf)
        EXPECT_EQ(r->LineOfLabel(ref), line) << ref.toStdString();
    const std::vector<std::pair<int, QString>> refOf = {{1, "+1"}, {3, "A"}, {6, "A+3"}, {9, "B"}, {10, "B+1"}};
    for (const auto &[line, ref] : refOf)
        EXPECT_EQ(r->LabelPlusOffsetOfLine(line), ref) << line;

    struct Go { QString location; bool ok; int line; };
    const std::vector<Go> gos = {
        {"A+01", false, 0}, {"A+ 1", false, 0}, {"A+", false, 0}, {"A-1", true, 1},
        {"+1", true, 0}, {"Q+1", false, 0}, {"B", true, 8}, {"A+2", true, 4}, {"-1", false, 0},
        {"A+2147483647", false, 0}, {"A--2147483648", false, 0}, {"-2147483647", false, 0},
    };
    for (const Go &g : gos) {
        win(*r)->setCaret(0, 9);
        EXPECT_EQ(r->GotoLine(g.location, 1, 0), g.ok) << g.location.toStdString();
        if (g.ok) {
            EXPECT_EQ(win(*r)->caretLine(), g.line) << g.location.toStdString();
        }
    }
}

TEST_F(QueryTest, UnansweredQueriesPrimeTheParserOnceAndAskAgain)
{
    engine->queue("Pos2Cmd^PARSE", "-1");
    engine->queue("Pos2Cmd^PARSE", "2");
    EXPECT_EQ(r->CommandOfPos(3, 9), 2);
    EXPECT_EQ(engine->entries(), (QStringList{"Pos2Cmd^PARSE", "Begin^PARSE", "Pos2Cmd^PARSE"}));
    const int serial3 = r->document()->GetLineData(2, LineData::kSerialSlot);
    EXPECT_EQ(engine->callsTo("Begin^PARSE")[0].args, (QVariantList{serial3, 0}));
    EXPECT_EQ(engine->callsTo("Pos2Cmd^PARSE")[0].args, (QVariantList{serial3, 9}));

    engine->clearCalls();
    engine->queue("Pos2Cmd^PARSE", "-1");
    engine->queue("Pos2Cmd^PARSE", "-1");
    EXPECT_EQ(r->CommandOfPos(3, 9), 0);
    EXPECT_EQ(engine->callsTo("Begin^PARSE").size(), 1u);

    int start = -1, end = -1;
    engine->clearCalls();
    r->RangeOfCommand(3, 2, start, end);   // "" twice: the whole line
    EXPECT_EQ(engine->callsTo("Begin^PARSE").size(), 1u);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 11);
    engine->queue("Cmd2Rng^PARSE", "9,11");
    r->RangeOfCommand(3, 2, start, end);
    EXPECT_EQ(start, 9);
    EXPECT_EQ(end, 11);
    engine->queue("Cmd2Rng^PARSE", "3,7");
    EXPECT_EQ(r->PosOfCommand(3, 1), 3);

    // A line inside a statement primes from the statement's first line, with the state
    // the line above it left.
    SourceDocument *doc = r->document();
    doc->SetLineData(3, LineData::kFlagSlot, 0x40000);
    doc->SetLineData(4, LineData::kFlagSlot, 0x40000);
    doc->SetLineData(1, LineData::kFlagSlot, 0x2F00000 | 0x10000);
    engine->clearCalls();
    engine->queue("Pos2Cmd^PARSE", "-1");
    engine->queue("Pos2Cmd^PARSE", "1");
    EXPECT_EQ(r->CommandOfPos(5, 2), 1);
    ASSERT_EQ(engine->callsTo("Begin^PARSE").size(), 1u);
    EXPECT_EQ(engine->callsTo("Begin^PARSE")[0].args,
              (QVariantList{doc->GetLineData(2, LineData::kSerialSlot), 0x2F0}));
}

TEST_F(QueryTest, PositionAtSelectsTheCommandAndCentresOnlyFarJumps)
{
    FakeCodeWindow *w = win(*r);
    w->pageLines = 4;
    w->scrollLine = 0;
    engine->on("Pos2Cmd^PARSE", "2");
    engine->on("Pos2CEnd^PARSE", "11");
    EXPECT_TRUE(r->PositionAt(3, 9, -1));
    EXPECT_EQ(w->selStartLine, 2);
    EXPECT_EQ(w->selStartColumn, 8);
    EXPECT_EQ(w->selEndColumn, 11);
    EXPECT_EQ(w->centred, 0);

    EXPECT_TRUE(r->PositionAt(9, 1, 0));
    EXPECT_EQ(w->caretLine(), 8);
    EXPECT_EQ(w->centred, 1);
    EXPECT_FALSE(r->PositionAt(11, 1, 0));
    EXPECT_FALSE(r->PositionAt(0, 1, 0));

    // No range known: the whole line, clamped by the view.
    engine->clearCalls();
    r->PositionAtCommand(4, 1);
    EXPECT_EQ(w->selStartColumn, 0);
    EXPECT_EQ(w->selEndColumn, 2);
    EXPECT_EQ(w->selEndLine, 3);
    engine->queue("Pos2CRng^PARSE", "9,11");
    r->PositionAtCommand(3, -9);
    EXPECT_EQ(engine->callsTo("Pos2CRng^PARSE")[0].args.value(1).toInt(), 9);
    EXPECT_EQ(w->selStartColumn, 8);
    EXPECT_EQ(w->selEndColumn, 11);
}

// ---- breakpoints ---------------------------------------------------------------------------

class BreakpointTest : public RoutineTest
{
protected:
    void SetUp() override
    {
        RoutineTest::SetUp();
        for (const char *ref : {"A+4", "B+1", "+2"})
            pane->rows.push_back(enabledBreakpoint(ref, "ABC"));
        r = open("ABC", blocksRoutine());
        pane->messages.clear();
    }
    std::map<int, QStringList> index() { return breakpointIndex(*r); }
    std::shared_ptr<Routine> r;
};

TEST_F(BreakpointTest, LoadingMarksTheLinesOfTheRoutinesBreakpoints)
{
    EXPECT_EQ(index(), (std::map<int, QStringList>{{2, {"+2"}}, {7, {"A+4"}}, {10, {"B+1"}}}));
    for (int line : {2, 7, 10})
        EXPECT_TRUE(flags(*r, line) & LineData::kBreakpoint) << line;
    EXPECT_FALSE(flags(*r, 3) & LineData::kBreakpoint);
}

TEST_F(BreakpointTest, BreakpointsFollowTheTextThroughEdits)
{
    struct Case
    {
        QString edit;
        std::function<void(SourceDocument *)> apply;
        QStringList messages;
        std::map<int, QStringList> after;
    };
    const std::vector<Case> cases = {
        {"delete lines 5-6", [](SourceDocument *d) { d->DeleteImpl(0, 4, 0, 6); },
         {"BP -|A+4|ABC|1", "BP +|A+2|ABC|1"},
         {{2, {"+2"}}, {5, {"A+2"}}, {8, {"B+1"}}}},
        {"insert two lines before line 4", [](SourceDocument *d) { d->InsertImpl(0, 3, "\tS N=1\r\n\tS N=2\r\n"); },
         {"BP -|A+4|ABC|1", "BP +|A+6|ABC|1"},
         {{2, {"+2"}}, {9, {"A+6"}}, {12, {"B+1"}}}},
        {"rename A to AA", [](SourceDocument *d) { d->InsertImpl(0, 2, "A"); },
         {"BP -|A+4|ABC|1", "BP +|AA+4|ABC|1"},
         {{2, {"+2"}}, {7, {"AA+4"}}, {10, {"B+1"}}}},
        {"remove label A", [](SourceDocument *d) { d->DeleteImpl(0, 2, 1, 2); },
         {"BP -|A+4|ABC|1", "BP +|ABC+6|ABC|1"},
         {{2, {"+2"}}, {7, {"ABC+6"}}, {10, {"B+1"}}}},
        {"add label C on line 5", [](SourceDocument *d) { d->InsertImpl(0, 4, "C"); },
         {"BP -|A+4|ABC|1", "BP +|C+2|ABC|1"},
         {{2, {"+2"}}, {7, {"C+2"}}, {10, {"B+1"}}}},
        {"delete lines 1-2", [](SourceDocument *d) { d->DeleteImpl(0, 0, 0, 2); },
         {"BP -|+2|ABC|1"},
         {{5, {"A+4"}}, {8, {"B+1"}}}},
    };
    for (const Case &c : cases) {
        if (&c != cases.data()) {   // a fresh routine per edit
            TearDown();
            SetUp();
        }
        c.apply(r->document());
        QCoreApplication::processEvents();
        EXPECT_EQ(pane->messages, c.messages) << c.edit.toStdString();
        EXPECT_EQ(index(), c.after) << c.edit.toStdString();
        for (const auto &[line, refs] : c.after)
            EXPECT_TRUE(flags(*r, line) & LineData::kBreakpoint) << c.edit.toStdString() << " line " << line;
    }
}

TEST_F(BreakpointTest, ARenameIntoADuplicateLabelKeepsTheBlocksBreakpointsInPlace)
{
    r->document()->InsertImpl(0, 8, "A");   // label "B" becomes "AB"
    EXPECT_EQ(index()[10], QStringList{"AB+1"});
    pane->messages.clear();
    r->document()->DeleteImpl(1, 8, 2, 8);  // and "AB" becomes "A", which line 3 has
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->messages, (QStringList{"BP -|AB+1|ABC|1", "BP +|A+7|ABC|1"}));
    // To the block's breakpoint the label is gone: it belongs to A's block now, and stays
    // on line 10.
    EXPECT_EQ(index()[10], QStringList{"A+7"});
    EXPECT_EQ(index()[7], QStringList{"A+4"});
}

TEST_F(BreakpointTest, RemovingTheFirstLabelDoesNotTakeTheCaretLinesLabel)
{
    pane->DeleteBP(r->BPsOnLine(2).at(0), true);
    pane->SetBP(enabledBreakpoint("ABC+1", "ABC"));
    win(*r)->setCaret(0, 8);   // on label B
    pane->messages.clear();
    r->document()->DeleteImpl(0, 0, 3, 0);   // line 1 loses its label
    EXPECT_EQ(pane->messages, (QStringList{"BP -|ABC+1|ABC|1", "BP +|+2|ABC|1"}));
    EXPECT_EQ(index()[2], QStringList{"+2"});
}

TEST_F(BreakpointTest, MacroAndIncludeTextsShowNoBreakpoints)
{
    auto mac = open("ABC", {"ABC\t; hdr", "\tS X=1", "A\tS Y=2", "\tS Y=3", "\tS Y=4", "\tS Y=5",
                            "\tS Y=6"}, 2);
    for (int line = 1; line <= mac->document()->NumLines(); ++line)
        EXPECT_TRUE(mac->BPsOnLine(line).empty()) << line;
}

TEST_F(BreakpointTest, MarkerStaysUntilTheLastBreakpointOfTheLineGoes)
{
    QSignalSpy repaints(r->document(), &SourceDocument::repaintRequested);
    auto one = enabledBreakpoint("A+1", "ABC", 1), two = enabledBreakpoint("A+1", "ABC", 2);
    pane->SetBP(one);
    pane->SetBP(two);
    EXPECT_TRUE(flags(*r, 4) & LineData::kBreakpoint);
    pane->DeleteBP(one, true);
    EXPECT_TRUE(flags(*r, 4) & LineData::kBreakpoint);
    pane->DeleteBP(two, true);
    EXPECT_FALSE(flags(*r, 4) & LineData::kBreakpoint);
    int line4Repaints = 0;
    for (const auto &args : repaints)
        line4Repaints += args.at(0).toInt() <= 3 && args.at(1).toInt() >= 3;
    EXPECT_GE(line4Repaints, 4);

    // A reference that resolves below line 1 never reaches the index.
    auto bad = enabledBreakpoint("A+-5", "ABC");
    r->BPSet(bad, 0);
    r->BPDelete(bad);
    EXPECT_EQ(index().size(), 3u);
}

TEST_F(BreakpointTest, ToggleSetsAndRemovesOrRefuses)
{
    r->ToggleBreakpoint(1, 0);   // comment only
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Breakpoint cannot be set on a line containing no executable command.");
    EXPECT_TRUE(pane->messages.isEmpty());

    engine->on("Pos2Cmd^PARSE", "2");
    win(*r)->setCaret(5, 3);
    r->ToggleBreakpoint(0, 0);
    EXPECT_EQ(pane->messages, QStringList{"BP +|A+1|ABC|2"});
    EXPECT_EQ(r->BPAtCmdOnLine(4, 2)->Line, "A+1");

    pane->messages.clear();
    r->ToggleBreakpoint(7, 1);
    EXPECT_EQ(pane->messages, QStringList{"BP -|A+4|ABC|1"});
    EXPECT_EQ(r->BPsOnLine(7).size(), 0u);

    // Without breakpoints on later commands the server would stop at the first anyway.
    pane->messages.clear();
    link.features = 0;
    r->ToggleBreakpoint(5, 2);
    EXPECT_EQ(pane->messages, QStringList{"BP +|A+2|ABC|1"});

    pane->messages.clear();
    engine->on("Pos2Cmd^PARSE", "0");
    r->ToggleBreakpointState(8, 0);   // "\tQ" has a command but no breakpoint
    r->ToggleBreakpointState(1, 0);   // no command, no breakpoint
    EXPECT_TRUE(pane->messages.isEmpty());
    r->ToggleBreakpointState(2, 1);
    EXPECT_EQ(pane->messages, QStringList{"BP -|+2|ABC|1"});
    EXPECT_FALSE(r->BPAtCmdOnLine(2, 1)->Enabled);

    prompt->asked.clear();
    auto xecute = open("@1", {"\tW 1"});
    xecute->ToggleBreakpoint(1, 1);
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_EQ(prompt->asked[0].text, "Breakpoint cannot be set in an Xecute.");
}

} // namespace
