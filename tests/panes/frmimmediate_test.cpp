// The immediate pane on its own, offscreen: the report view, its tabs, the keys of the
// execute view (what they refuse outside a suspended session, which lines they mark,
// command recall, window switching), margin clicks, menus, wrap and its settings, and
// the rules by which it takes part in the command routing.
#include "activeeditordocument.h"
#include "docfixtures.h"
#include "frmimmediate.h"
#include "immediatefixture.h"
#include "memento.h"
#include "routine.h"
#include "routines.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

TEST(frmImmediate, ReportCollectsTextAsGivenAndStaysReadOnly)
{
    frmImmediate pane;
    IReportPane &report = pane;
    SourceDocument *doc = pane.Report()->Document();
    EXPECT_TRUE(doc->ReadOnly());

    // Callers bring their own line ends; pieces join with nothing in between.
    report.AppendReport("Compiling ABC.INT\r\n");
    report.AppendReport("ERROR #5475");
    report.AppendReport(": line 3\r\n");
    EXPECT_EQ(doc->Text(), QString("Compiling ABC.INT\r\nERROR #5475: line 3\r\n"));
    EXPECT_TRUE(doc->ReadOnly());
    EXPECT_FALSE(doc->Modified());

    report.ClearReport();
    EXPECT_EQ(doc->Text(), QString());
    EXPECT_TRUE(doc->ReadOnly());
    report.AppendReport("again");
    EXPECT_EQ(doc->Text(), QString("again"));
}

namespace {

class ImmediatePane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = ImmediateWindow();
        setMainWindow(&window);
        top = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(top.get());
        other = new QLineEdit;
        layout->addWidget(other);
        pane = new frmImmediate;
        pane->setBeeper([this] { ++beeps; });
        layout->addWidget(pane);
        top->resize(600, 400);
        top->show();
        top->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(top.get()));
        beeps = 0;
    }
    void TearDown() override
    {
        top.reset();
        setMainWindow(nullptr);
    }

    SourceView &io() { return *pane->IO(); }
    SourceDocument &doc() { return *pane->IO()->Document(); }

    ImmediateWindow window;
    std::unique_ptr<QWidget> top;
    QLineEdit *other = nullptr;
    frmImmediate *pane = nullptr;
    int beeps = 0;
};

} // namespace

TEST_F(ImmediatePane, ShowReportBringsTheReportForwardAtItsStart)
{
    for (const bool switchToReport : {true, false}) {
        SCOPED_TRACE(switchToReport);
        TearDown();
        SetUp();
        window.switchToReport = switchToReport;
        pane->hide();
        other->setFocus();
        // As the dispatcher handles "REP": append, then show.
        pane->AppendReport("ERROR #1: line 1\r\nERROR #2: line 2\r\nERROR #3: line 3\r\n");
        pane->Report()->SetCaret(3, 2);
        pane->ShowReport();

        EXPECT_TRUE(pane->paneVisible());
        EXPECT_EQ(pane->selectedTab(), "R");
        EXPECT_TRUE(pane->Report()->isVisible());
        EXPECT_FALSE(pane->IO()->isVisible());
        EXPECT_EQ(pane->Report()->CaretLine(), 0);
        EXPECT_EQ(pane->Report()->CaretColumn(), 0);
        EXPECT_EQ(QApplication::focusWidget(), switchToReport ? static_cast<QWidget *>(pane->Report()) : other);
        EXPECT_EQ(activeEditorDocument(), pane->Report()->Document());
    }
}

TEST_F(ImmediatePane, ShowExecuteFocusesTheExecuteView)
{
    pane->SelectTab("R");
    pane->hide();
    other->setFocus();
    pane->ShowExecute();
    EXPECT_TRUE(pane->paneVisible());
    EXPECT_EQ(pane->selectedTab(), "X");
    EXPECT_EQ(QApplication::focusWidget(), pane->IO());
    EXPECT_EQ(activeEditorDocument(), pane->IO()->Document());
}

TEST_F(ImmediatePane, NothingTypesOutsideASuspendedSessionAndOnlyCharactersBeep)
{
    struct Key { const char *name; Qt::Key key; Qt::KeyboardModifiers modifiers; int beeps; };
    const Key keys[] = {
        {"a letter", Qt::Key_A, Qt::NoModifier, 1},
        {"a space", Qt::Key_Space, Qt::NoModifier, 1},
        {"Enter", Qt::Key_Return, Qt::NoModifier, 0},
        {"Tab", Qt::Key_Tab, Qt::NoModifier, 0},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, 0},
        {"Esc", Qt::Key_Escape, Qt::NoModifier, 0},
    };
    for (const int state : {-5, -3, -1, 2}) {
        window.state = state;
        // The tab selected outside a suspended session greys the view.
        pane->SelectTab("X");
        EXPECT_EQ(pane->ioBackground(), QApplication::palette().color(QPalette::Button)) << state;
        for (const Key &k : keys) {
            SCOPED_TRACE(std::to_string(state) + " " + k.name);
            loadIO(*pane, {"W 1", "out"}, {1, 0});
            beeps = 0;
            QTest::keyClick(&io(), k.key, k.modifiers);
            EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "out"}));
            EXPECT_EQ(ioFlags(*pane), QList<int>({1, 0}));
            EXPECT_EQ(beeps, k.beeps);
        }
    }
    EXPECT_TRUE(window.states.isEmpty());
    window.state = 1;
    pane->SelectTab("X");
    EXPECT_EQ(pane->ioBackground(), QApplication::palette().color(QPalette::Base));
}

TEST_F(ImmediatePane, OnlyKeysThatChangeTheLineMakeItACommandLine)
{
    struct Case { const char *name; Qt::Key key; Qt::KeyboardModifiers modifiers; QString text; int flag; };
    const Case cases[] = {
        {"a letter", Qt::Key_A, Qt::NoModifier, "outa", 1},
        {"Tab", Qt::Key_Tab, Qt::NoModifier, "out\t", 1},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "ou", 1},
        {"Esc", Qt::Key_Escape, Qt::NoModifier, "out", 0},
        {"Left", Qt::Key_Left, Qt::NoModifier, "out", 0},
        {"Ctrl+I, the character of Tab", Qt::Key_I, Qt::ControlModifier, "out", 0},
        {"Ctrl+H, the character of Backspace", Qt::Key_H, Qt::ControlModifier, "out", 0},
        {"Ctrl+M, the character of Enter: nothing runs", Qt::Key_M, Qt::ControlModifier, "out", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        loadIO(*pane, {"W 1", "out"}, {1, 0});
        QTest::keyClick(&io(), c.key, c.modifiers);
        EXPECT_EQ(ioLines(*pane), QStringList({"W 1", c.text}));
        EXPECT_EQ(ioFlags(*pane), QList<int>({1, c.flag}));
        EXPECT_EQ(beeps, 0);
    }
}

TEST_F(ImmediatePane, EnterOnAnEmptyLineMovesDownAndSendsNothing)
{
    // No link: a command would have nowhere to go, but the caret still moves.
    loadIO(*pane, {"W 1", ""}, {1, 0});
    QTest::keyClick(&io(), Qt::Key_Return);
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "", ""}));
    EXPECT_EQ(io().CaretLine(), 2);
    // On an earlier line no line is added.
    io().SetCaret(0, 1);
    QTest::keyClick(&io(), Qt::Key_Return);
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "", ""}));
    EXPECT_EQ(io().CaretLine(), 2);
}

TEST_F(ImmediatePane, CtrlUpRecallsEarlierCommandsOneByOne)
{
    // Up with Ctrl held, sent as the one key event: QTest would press Ctrl again before
    // each key, and a key press of its own (Ctrl too) ends a recall series.
    auto ctrlUp = [this] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
        QApplication::sendEvent(&io(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::ControlModifier);
        QApplication::sendEvent(&io(), &release);
    };
    loadIO(*pane, {"S A=1", "1", "W A", "1", "W A", "W B", ""}, {1, 0, 1, 0, 1, 1, 0});
    QTest::keyPress(&io(), Qt::Key_Control, Qt::ControlModifier);
    // An identical command right before is skipped; after line 0 the walk starts again
    // from the caret.
    const QStringList walk = {"W B", "W A", "S A=1", "W B"};
    for (const QString &expected : walk) {
        ctrlUp();
        EXPECT_EQ(doc().GetLine(6), expected);
        EXPECT_EQ(io().CaretLine(), 6);
    }
    // Any other key ends the series: the next Ctrl+Up starts from the caret again.
    ctrlUp();
    EXPECT_EQ(doc().GetLine(6), "W A");
    QTest::keyClick(&io(), Qt::Key_End);
    ctrlUp();
    EXPECT_EQ(doc().GetLine(6), "W B");
    QTest::keyRelease(&io(), Qt::Key_Control);
    // So does pressing Ctrl again.
    QTest::keyPress(&io(), Qt::Key_Control, Qt::ControlModifier);
    ctrlUp();
    EXPECT_EQ(doc().GetLine(6), "W B");
    QTest::keyRelease(&io(), Qt::Key_Control);
    // Recalling is not typing: the line stays output until it is run or typed on.
    EXPECT_EQ(doc().GetLineData(6, LineData::kFlagSlot), 0);
}

TEST_F(ImmediatePane, DownOnAFilledLastLineOpensANewLine)
{
    loadIO(*pane, {"W 1", "1", "W 2"}, {1, 0, 1});
    QTest::keyClick(&io(), Qt::Key_Down);
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "1", "W 2", ""}));
    EXPECT_EQ(io().CaretLine(), 3);
    QTest::keyClick(&io(), Qt::Key_Down);
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "1", "W 2", ""}));
}

TEST_F(ImmediatePane, ClipboardKeysRunTheirCommandsAndCtrlASelectsAll)
{
    struct Case { Qt::Key key; Qt::KeyboardModifiers modifiers; const char *command; };
    const Case cases[] = {
        {Qt::Key_Insert, Qt::ShiftModifier, "EdPaste"},
        {Qt::Key_Insert, Qt::ControlModifier, "EdCopy"},
        {Qt::Key_Delete, Qt::ShiftModifier, "EdCut"},
    };
    for (const Case &c : cases) {
        window.executed.clear();
        loadIO(*pane, {"W 1", "x"}, {1, 0});
        QTest::keyClick(&io(), c.key, c.modifiers);
        EXPECT_EQ(window.executed, QStringList{c.command});
        EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "x"})) << c.command;
    }
    QTest::keyClick(&io(), Qt::Key_A, Qt::ControlModifier);
    int c1 = -1, l1 = -1, c2 = -1, l2 = -1;
    io().GetSel(c1, l1, c2, l2);
    EXPECT_EQ(QList<int>({c1, l1, c2, l2}), QList<int>({0, 0, 1, 1}));
}

TEST_F(ImmediatePane, PastedLinesBecomeCommandLinesAndNothingIsPastedOutsideASession)
{
    QApplication::clipboard()->setText("S A=1\nW A");
    loadIO(*pane, {"out", ""}, {0, 0});
    QTest::keyClick(&io(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ioLines(*pane), QStringList({"out", "S A=1", "W A"}));
    EXPECT_EQ(ioFlags(*pane), QList<int>({0, 1, 1}));

    window.state = -3;
    loadIO(*pane, {"out", ""}, {0, 0});
    QTest::keyClick(&io(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(pane->carryOut("EdPaste"));
    EXPECT_EQ(ioLines(*pane), QStringList({"out", ""}));
}

// Ctrl+Tab and Ctrl+Shift+Tab switch code windows from either view while a routine is
// active; Ctrl+I, which types the same character, does not.
class ImmediateWindowKeys : public ScriptedDocTest
{
protected:
    void SetUp() override
    {
        ScriptedDocTest::SetUp();
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(); };
        docServices().host = &host;
        setMainWindow(&window);
    }
    void TearDown() override
    {
        setMainWindow(nullptr);
        Routines::instance().shutdown();
        ScriptedDocTest::TearDown();
    }

    FakeHost host;
    ImmediateWindow window;
};

TEST_F(ImmediateWindowKeys, CtrlTabSwitchesCodeWindowsWhileARoutineIsActive)
{
    struct Case { const char *name; Qt::Key key; Qt::KeyboardModifiers modifiers; QStringList children; };
    const Case cases[] = {
        {"Ctrl+Tab", Qt::Key_Tab, Qt::ControlModifier, {"next"}},
        {"Ctrl+Shift+Tab", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, {"previous"}},
        {"Ctrl+I", Qt::Key_I, Qt::ControlModifier, {}},
    };
    frmImmediate pane;
    pane.show();
    for (const bool active : {true, false}) {
        std::shared_ptr<Routine> routine;
        if (active) {
            QString rtn, env, text, initial;
            bool readOnly = false;
            routine = Routine::from(Routines::instance().Add(nullptr, rtn, env, text, readOnly, initial, 1, 0));
            ASSERT_TRUE(routine);
            routine->Activate(true);
            ASSERT_TRUE(Routines::instance().Active());
        }
        for (SourceView *view : {pane.IO(), pane.Report()}) {
            for (const Case &c : cases) {
                SCOPED_TRACE(std::string(c.name) + " in " + view->objectName().toStdString()
                             + (active ? " with" : " without") + " a routine");
                loadIO(pane, {"W 1"}, {1});
                window.children.clear();
                QTest::keyClick(view, c.key, c.modifiers);
                EXPECT_EQ(window.children, active ? c.children : QStringList());
                EXPECT_EQ(ioLines(pane), QStringList({"W 1"}));
            }
        }
        if (routine)
            Routines::instance().Remove(routine->Key(), false, true);
    }
}

TEST_F(ImmediatePane, MarginClicksToggleBookmarksAndSelectLines)
{
    loadIO(*pane, {"W 1", "1", "W 2", "2", ""}, {1, 0, 1, 0, 0});
    io().prepareVisibleLines();
    const int cw = io().CharWidth();
    const int ch = io().CharHeight();
    const int strip = (io().MarginWidth() - 1) * cw;   // the margin's last cell
    struct Case
    {
        const char *name;
        int x;
        int line;
        Qt::KeyboardModifiers modifiers;
        bool bookmark;         // the line's bookmark afterwards
        QList<int> selection;  // c1, l1, c2, l2 afterwards
    };
    const Case cases[] = {
        {"the margin toggles the bookmark", 2, 2, Qt::NoModifier, true, {0, 2, 0, 2}},
        {"again: off", 2, 2, Qt::NoModifier, false, {0, 2, 0, 2}},
        {"the strip selects the line", strip + 2, 1, Qt::NoModifier, false, {0, 1, 0, 2}},
        {"the strip with Shift does nothing", strip + 2, 3, Qt::ShiftModifier, false, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        io().SetCaret(0, 0);
        const QPoint at(c.x, c.line * ch + ch / 2);
        QWidget *margin = io().childAt(at);
        ASSERT_TRUE(margin);
        QTest::mouseClick(margin, Qt::LeftButton, c.modifiers, margin->mapFrom(&io(), at));
        EXPECT_EQ(bool(doc().GetLineData(c.line, LineData::kControlSlot) & LineData::kBookmark), c.bookmark);
        int c1 = -1, l1 = -1, c2 = -1, l2 = -1;
        io().GetSel(c1, l1, c2, l2);
        EXPECT_EQ(QList<int>({c1, l1, c2, l2}), c.selection);
    }
    EXPECT_EQ(doc().NumBookmarks(), 0);
}

TEST_F(ImmediatePane, ContextMenusShowTheirViewsCommands)
{
    QApplication::clipboard()->setText("W 9");
    loadIO(*pane, {"W 1", "1"}, {1, 0});
    pane->SetLineWrap(&io(), true);
    io().SetSel(0, 0, 3, 0);
    const QPoint inText(io().MarginWidth() * io().CharWidth() + 4, io().CharHeight() / 2);
    QTest::mouseClick(io().viewport(), Qt::RightButton, Qt::NoModifier, io().viewport()->mapFrom(&io(), inText));
    EXPECT_EQ(window.popups, QStringList{"mnuPopImmed"});
    EXPECT_EQ(window.popupOwner, &io());
    EXPECT_TRUE(window.enabled.value("mnuPopImmedCut"));
    EXPECT_TRUE(window.enabled.value("mnuPopImmedCopy"));
    EXPECT_TRUE(window.enabled.value("mnuPopImmedPaste"));
    EXPECT_TRUE(window.checked.value("mnuPopImmedWrap"));

    // Outside a suspended session nothing can be pasted.
    window.state = -3;
    io().SetCaret(0, 1);
    QTest::keyClick(&io(), Qt::Key_Menu);
    EXPECT_EQ(window.popups, QStringList({"mnuPopImmed", "mnuPopImmed"}));
    EXPECT_FALSE(window.enabled.value("mnuPopImmedCut"));
    EXPECT_FALSE(window.enabled.value("mnuPopImmedPaste"));

    pane->SelectTab("R");
    pane->AppendReport("ERROR #1\r\n");
    QTest::keyClick(pane->Report(), Qt::Key_Menu);
    EXPECT_EQ(window.popups.last(), "mnuPopReport");
    EXPECT_EQ(window.popupOwner, pane->Report());
    EXPECT_FALSE(window.enabled.value("mnuPopReportCopy"));
    EXPECT_FALSE(window.checked.value("mnuPopReportWrap"));
}

TEST_F(ImmediatePane, LineWrapKeepsTheSelectionAndIsSavedAndRestored)
{
    loadIO(*pane, {"W 1", QString(300, 'x')}, {1, 0});
    io().SetSel(1, 0, 20, 1);
    pane->SetLineWrap(&io(), true);
    EXPECT_TRUE(io().Options() & SourceView::kWrap);
    EXPECT_EQ(io().ScrollStyle(), SourceView::kVerticalScrollBar);
    int c1 = -1, l1 = -1, c2 = -1, l2 = -1;
    io().GetSel(c1, l1, c2, l2);
    EXPECT_EQ(QList<int>({c1, l1, c2, l2}), QList<int>({1, 0, 20, 1}));
    EXPECT_FALSE(pane->LineWrap(pane->Report()));

    const MementoPtr saved = pane->saveMemento();
    bool wrap = false;
    EXPECT_TRUE(saved->readBool("WrapIO", wrap) && wrap);
    EXPECT_TRUE(saved->readBool("WrapReport", wrap) && !wrap);

    frmImmediate restored;
    restored.restoreMemento(*saved);
    EXPECT_TRUE(restored.LineWrap(restored.IO()));
    EXPECT_TRUE(restored.IO()->Options() & SourceView::kWrap);
    EXPECT_TRUE(window.checked.value("mnuPopImmedWrap"));
    EXPECT_FALSE(restored.LineWrap(restored.Report()));
    // An absent setting reads as off and changes nothing.
    frmImmediate fresh;
    fresh.restoreMemento(Memento());
    EXPECT_FALSE(fresh.LineWrap(fresh.IO()));

    pane->SetLineWrap(&io(), false);
    EXPECT_FALSE(io().Options() & SourceView::kWrap);
    EXPECT_EQ(io().ScrollStyle(), SourceView::kVerticalScrollBar | SourceView::kHorizontalScrollBar);
}

TEST_F(ImmediatePane, ClearAllEmptiesTheExecuteView)
{
    loadIO(*pane, {"W 1", "1", ""}, {1, 0, 0});
    doc().ToggleBookmark(0);
    pane->ClearAll();
    EXPECT_EQ(ioLines(*pane), QStringList{""});
    EXPECT_EQ(ioFlags(*pane), QList<int>{0});
    EXPECT_EQ(doc().NumBookmarks(), 0);
}

// The rules the pane answers the command manager with, by the view shown, the session
// state, the clipboard and the selection.
TEST_F(ImmediatePane, CommandRulesFollowTheViewShownAndTheSession)
{
    struct Case
    {
        const char *category;
        const char *id;
        const char *tab;
        int state;
        bool clipboard;
        bool selection;
        bool applies, enabled, stop;
        int shownState;
    };
    const Case cases[] = {
        {"File", "FlPrint", "X", 1, false, false, true, true, true, -1},
        {"File", "FlPrint", "R", -3, false, false, true, true, true, -1},
        {"File", "FlSave", "X", 1, false, false, false, false, false, -1},
        {"Bookmarks", "BmkToggle", "X", 1, false, false, true, true, true, 0},
        {"Bookmarks", "BmkNext", "X", 1, false, false, true, false, true, -1},
        {"Bookmarks", "BmkToggle", "R", 1, false, false, true, false, true, -1},
        {"Edit", "EdCut", "X", 1, false, false, true, false, true, -1},
        {"Edit", "EdCut", "X", -3, false, true, true, true, true, -1},
        {"Edit", "EdDelete", "X", 1, false, true, true, true, true, -1},
        {"Edit", "EdCopy", "X", 1, false, true, true, true, true, -1},
        {"Edit", "EdPaste", "X", 1, true, false, true, true, true, -1},
        {"Edit", "EdPaste", "X", 1, false, false, true, false, true, -1},
        {"Edit", "EdPaste", "X", -5, true, false, true, false, true, -1},
        {"Edit", "EdGoto", "X", 1, false, false, true, false, true, -1},
        {"Edit", "EdReplace", "X", 1, false, false, true, true, true, -1},
        {"Edit", "EdReplace", "X", -3, false, false, true, false, true, -1},
        {"Edit", "EdFind", "X", -3, false, false, true, true, true, -1},
        {"Edit", "EdUndo", "X", 1, false, false, true, false, true, -1},
        {"Edit", "EdCopy", "R", 1, false, true, true, true, true, -1},
        {"Edit", "EdCopy", "R", 1, false, false, true, false, true, -1},
        {"Edit", "EdFind", "R", 1, false, false, true, true, true, -1},
        {"Edit", "EdFindNext", "R", 1, false, false, true, true, true, -1},
        {"Edit", "EdPaste", "R", 1, true, false, true, false, true, -1},
        {"Edit", "EdReplace", "R", 1, false, false, true, false, true, -1},
        {"View", "VwImmediate", "X", 1, false, false, true, true, false, -1},
        {"Debug", "DbgGo", "X", 1, false, false, false, false, false, -1},
    };
    pane->AppendReport("ERROR #1 here\r\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.category) + " " + c.id + " on " + c.tab + " in state "
                     + std::to_string(c.state));
        window.state = c.state;
        loadIO(*pane, {"W 1", ""}, {1, 0});
        pane->SelectTab(c.tab);
        SourceView *view = pane->commandTarget();
        if (c.selection)
            view->SetSel(0, 0, 3, 0);
        else
            view->SetCaret(0, 0);
        const frmImmediate::CommandRule rule = pane->commandRule(c.category, c.id, c.clipboard);
        EXPECT_EQ(rule.applies, c.applies);
        EXPECT_EQ(rule.enabled, c.enabled);
        EXPECT_EQ(rule.stopRouting, c.stop);
        EXPECT_EQ(rule.state, c.shownState);
    }
}

TEST_F(ImmediatePane, CommandsActOnTheViewShownOrGoOn)
{
    loadIO(*pane, {"W 1", "1", ""}, {1, 0, 0});
    io().SetCaret(0, 1);
    EXPECT_TRUE(pane->carryOut("BmkToggle"));
    EXPECT_EQ(doc().NumBookmarks(), 1);
    EXPECT_EQ(pane->commandRule("Bookmarks", "BmkToggle", false).state, 1);
    io().SetCaret(0, 2);
    EXPECT_TRUE(pane->carryOut("BmkFirst"));
    EXPECT_EQ(io().CaretLine(), 1);
    EXPECT_TRUE(pane->carryOut("BmkClearAll"));
    EXPECT_EQ(doc().NumBookmarks(), 0);
    io().SetSel(0, 0, 3, 0);
    EXPECT_TRUE(pane->carryOut("EdDelete"));
    EXPECT_EQ(ioLines(*pane), QStringList({"", "1", ""}));

    pane->AppendReport("ERROR #1 here\r\n");
    pane->SelectTab("R");
    pane->Report()->SetSel(0, 0, 8, 0);
    QApplication::clipboard()->clear();
    EXPECT_TRUE(pane->carryOut("EdCopy"));
    EXPECT_EQ(QApplication::clipboard()->text(), "ERROR #1");
    for (const char *id : {"EdCut", "EdPaste", "EdDelete", "EdUndo", "EdReplace", "BmkToggle"})
        EXPECT_FALSE(pane->carryOut(id)) << id;
    EXPECT_EQ(pane->Report()->Document()->Text(), "ERROR #1 here\r\n");
}

// The report as the routine documents use it: a save starts it afresh.
class ImmediateReportOfDocuments : public RoutineDocTest
{
};

TEST_F(ImmediateReportOfDocuments, SavingARoutineClearsTheReport)
{
    frmImmediate pane;
    docServices().reportPane = [&pane]() -> IReportPane * { return &pane; };
    docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(); };
    pane.AppendReport("ERROR #5475: line 3\r\n");
    std::shared_ptr<Routine> routine = openRoutine(nullptr, "ABC", "ABC\t; hdr\r\n\tQ");
    ASSERT_TRUE(routine);
    routine->SaveDoc();
    EXPECT_EQ(pane.Report()->Document()->Text(), QString());
    EXPECT_TRUE(pane.Report()->Document()->ReadOnly());
}
