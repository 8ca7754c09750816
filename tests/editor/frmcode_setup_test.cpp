// The code window's set-up, life cycle and properties: the engine set once, activation,
// read-only and frozen states, colouring and collapsing with their menu ticks, captions,
// the parse timer and the close check.

#include "codewindowfixture.h"

#include "activeeditordocument.h"
#include "codestatusbar.h"
#include "codestatuspanel.h"
#include "linedata.h"
#include "routine.h"
#include "vanngine.h"
#include "vantrelerror.h"

#include <QTest>

namespace {

QString panelText(frmCode *w, const char *key)
{
    return w->sbrStatus()->panel(QLatin1String(key))->panelText();
}

const QStringList kSmall = {"ABC\t; header", "\tS X=1", "LBL\tS Y=2", "\tQ"};

} // namespace

TEST_F(CodeWindowTest, SecondEngineIsRefusedAndTheFirstStays)
{
    auto r = open(kSmall);
    frmCode *w = window(*r);
    VanNgine second;
    try {
        w->setVanNgine(&second);
        FAIL() << "no error";
    } catch (const VantrelError &e) {
        EXPECT_EQ(e.number(), 0x80040000u);
        EXPECT_EQ(e.text(), "VanNgine already set on this frmCode");
    }
    EXPECT_EQ(w->vanNgine(), r->engine());
    EXPECT_EQ(w->Lex()->vanNgine(), r->engine());
}

TEST_F(CodeWindowTest, ActivationSetsTheActiveEditorDocumentAndOnlyItsOwnerClearsIt)
{
    auto first = open(kSmall, "ONE");
    auto second = open(kSmall, "TWO");
    main.setMenuItemChecked("mnuViewWrap", true);
    const int clears = main.goToClears;
    window(*first)->Form_Activate();
    EXPECT_EQ(activeEditorDocument(), first->document());
    EXPECT_FALSE(main.menuItemChecked("mnuViewWrap"));   // the window's own state
    EXPECT_EQ(main.goToClears, clears + 1);
    EXPECT_EQ(panelText(window(*first), "Pos"), "Line ABC (1) Char 1 ");

    routines->Remove(second->Key(), false, false);
    second.reset();
    EXPECT_EQ(activeEditorDocument(), first->document());
    routines->Remove(first->Key(), false, false);
    first.reset();
    EXPECT_EQ(activeEditorDocument(), nullptr);
}

TEST_F(CodeWindowTest, FreezingRemembersTheReadOnlyStateAndRefusesWritingWhileFrozen)
{
    struct Case
    {
        bool readOnly;
        const char *frozenPanel;
    } cases[] = {{false, "Frozen"}, {true, "Read "}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.readOnly);
        auto r = open(kSmall);
        frmCode *w = window(*r);
        w->setReadOnly(c.readOnly);
        EXPECT_EQ(panelText(w, "Edit"), c.readOnly ? "Read " : "Edit ");
        w->setFrozen(true);
        EXPECT_TRUE(w->ReadOnly());
        EXPECT_EQ(panelText(w, "Edit"), c.frozenPanel);
        try {
            w->setReadOnly(false);
            ADD_FAILURE() << "no error";
        } catch (const VantrelError &e) {
            EXPECT_EQ(e.number(), 0x80047D90u);
            EXPECT_EQ(e.text(), "ReadOnly property is read-only while Frozen is true");
        }
        EXPECT_TRUE(w->ReadOnly());
        w->setFrozen(false);
        EXPECT_EQ(w->ReadOnly(), c.readOnly);
        EXPECT_EQ(panelText(w, "Edit"), c.readOnly ? "Read " : "Edit ");
        EXPECT_EQ(w->sbrStatus()->panel("Overwrite")->isHidden(), c.readOnly);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeWindowTest, RichSourceOffKeepsTheBlocksTickAndOnRestoresCollapsing)
{
    main.setMenuItemChecked("mnuViewRich", true);
    main.setMenuItemChecked("mnuViewBlocks", true);
    auto r = open(kSmall);
    frmCode *w = window(*r);
    ASSERT_TRUE(w->RichSource());
    EXPECT_TRUE(w->CodeCollapsing());

    CodeStatusPanel *blocks = w->sbrStatus()->panel("Blocks");
    const int textWidth = blocks->fontMetrics().horizontalAdvance(blocks->text());
    w->setRichSource(false);
    EXPECT_FALSE(w->CodeCollapsing());
    // The panel keeps the room its caption needs instead of shrinking to a letter.
    EXPECT_GE(blocks->width(), textWidth);
    EXPECT_GE(blocks->minimumWidth(), textWidth);
    EXPECT_TRUE(main.menuItemChecked("mnuViewBlocks"));
    EXPECT_FALSE(main.menuItemEnabled("mnuViewBlocks"));
    EXPECT_FALSE(main.menuItemChecked("mnuViewRich"));
    w->setRichSource(true);
    EXPECT_TRUE(w->CodeCollapsing());
    EXPECT_TRUE(main.menuItemEnabled("mnuViewBlocks"));

    // Collapsing is the window's own: the shared settings never carry it.
    w->setCodeCollapsing(false);
    EXPECT_FALSE(main.menuItemChecked("mnuViewBlocks"));
    EXPECT_FALSE(w->CodeCollapsing());
    w->setCodeCollapsing(true);
    EXPECT_EQ(w->SourceView1()->Settings()->DocOptions() & EditorSettings::kCollapsing, 0);
}

TEST_F(CodeWindowTest, WithoutAnEngineRichSourceOnlyHidesTheParsePanel)
{
    engine->setConnected(false);
    main.setMenuItemChecked("mnuViewRich", true);
    auto r = open(kSmall);
    frmCode *w = window(*r);
    EXPECT_FALSE(w->RichSource());
    EXPECT_TRUE(w->sbrStatus()->panel("Parse")->isHidden());
    EXPECT_FALSE(w->CodeCollapsing());
}

TEST_F(CodeWindowTest, CaptionsAndPathNames)
{
    struct Case
    {
        const char *rtn;
        const char *env;
        bool modified, frozen;
        const char *caption;
        const char *pathName;
    } cases[] = {
        {"ABC", "USER", false, false, "ABC.int", "ABC.int from USER"},
        {"ABC", "USER", true, true, "*ABC.int (frozen)", "ABC.int from USER"},
        {"ABC", "OTHER", true, true, "*ABC.int (frozen) from OTHER", "ABC.int from OTHER"},
        {"@3", "USER", true, false, "*Xecute @3", "*Xecute @3"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.caption);
        auto r = openRoutine(&link, c.rtn, kSmall.join("\r\n"), 1, c.env);
        frmCode *w = window(*r);
        if (c.modified)
            r->document()->Insert(0, 1, "X");
        w->setFrozen(c.frozen);
        w->RefreshCaption();
        EXPECT_EQ(w->caption(), c.caption);
        EXPECT_EQ(r->document()->PathName(), c.pathName);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeWindowTest, IconFollowsStatusAndTypeOnCacheOnly)
{
    auto r = openRoutine(&link, "ABC", kSmall.join("\r\n"), 2);
    r->setTarvikStatus(2);
    window(*r)->RefreshCaption();
    EXPECT_EQ(window(*r)->iconNumber(), 101 + 20 + 2);
    link.brand = "GTM";
    window(*r)->RefreshCaption();
    EXPECT_EQ(window(*r)->iconNumber(), 121);
}

TEST_F(CodeWindowTest, LineHasCommand)
{
    auto r = open({"LBL\t; comment", "\t. .", "\t// x", "NOTAB", "\t. . S X=1", "\t . ;x"});
    frmCode *w = window(*r);
    const std::pair<int, bool> cases[] = {{0, false}, {1, false}, {2, false}, {3, false},
                                          {4, false}, {5, true},  {6, false}, {7, false}};
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(w->LineHasCommand(line), expected) << line;
}

// The background parse of the lines below the window: "Busy" from its 10th tick on, never
// for a queue that empties sooner.
TEST_F(CodeWindowTest, ParsePanelShowsBusyFromTheTenthTick)
{
    main.setMenuItemChecked("mnuViewRich", true);
    struct Case
    {
        int queuedLines;
        int ticks;
        const char *picture;
    } cases[] = {{40, 9, ""}, {40, 10, "Busy"}, {5, 50, ""}};
    for (const Case &c : cases) {
        QStringList text;
        for (int i = 0; i < 60; ++i)
            text << QStringLiteral("\tS X=%1").arg(i);
        auto r = open(text);
        frmCode *w = window(*r);
        // The window's own timer may have ticked while it opened: the count starts on a
        // queue of a known length, and ticks take one line each.
        w->finishParse();
        ASSERT_FALSE(w->parseTimerEnabled());
        w->setParseSlice(0);
        for (int line = 0; line < c.queuedLines; ++line)
            r->lexer()->QueueLineForParse(line, true, false);
        ASSERT_TRUE(w->parseTimerEnabled());
        for (int i = 0; i < c.ticks && w->parseTimerEnabled(); ++i)
            w->tmrParse_Timer();
        EXPECT_EQ(w->sbrStatus()->panel("Parse")->pictureKey(), c.picture) << c.ticks;
        EXPECT_EQ(w->parseTimerRunning(), c.queuedLines > c.ticks);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeWindowTest, ParseTimerWaitsUntilTheWindowIsFirstShown)
{
    auto r = openRoutine(&link, "ABC", kSmall.join("\r\n"));
    frmCode *w = window(*r);
    emit w->Lex()->EnableTimer(true);
    EXPECT_FALSE(w->parseTimerRunning());
    r->setVisible(true);
    EXPECT_TRUE(w->parseTimerRunning());
}

TEST_F(CodeWindowTest, CloseBoxRunsTheCloseCheck)
{
    struct Case
    {
        const char *name;
        int highWaterMark;
        bool preserved;
        std::optional<IUserPrompt::Answer> answer;
        bool stillOpen, visible;
    } cases[] = {
        {"plain close", 0, false, {}, false, false},
        {"in the call stack: hidden, kept", 1, false, {}, true, false},
        {"preserved, kept", 0, true, IUserPrompt::Answer::No, true, true},
        {"preserved, closed", 0, true, IUserPrompt::Answer::Yes, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prompt->asked.clear();
        auto r = open(kSmall);
        const QString key = r->Key();
        r->setHighWaterMark(c.highWaterMark);
        if (c.preserved) {
            main.preserved << key;
            prompt->answers.push_back(*c.answer);
        }
        main.onRelease = [this](const QString &k) { routines->Extract(k, false); };
        frmCode *w = window(*r);
        r.reset();   // the collection holds the document from here
        EXPECT_FALSE(w->close());   // asked from the event loop, not closed on the spot
        QCoreApplication::processEvents();
        EXPECT_EQ(routines->Item(key) != nullptr, c.stillOpen);
        if (c.stillOpen) {
            auto kept = Routine::from(routines->Item(key));
            EXPECT_EQ(kept->Visible(), c.visible);
            kept->setHighWaterMark(0);
            main.preserved.clear();
            routines->Remove(key, false, true);
        }
        if (c.preserved) {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].text,
                      "This document preserves unsaved edits from a connection lost earlier. Before closing it "
                      "you may want to re-establish the connection, re-open the routine and re-apply your "
                      "changes using Copy and Paste.\r\rAre you sure you are ready to close it?");
            EXPECT_EQ(prompt->asked[0].defaultAnswer, IUserPrompt::Answer::No);
        }
    }
}
