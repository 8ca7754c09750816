// The code window as a command router: what it enables and presses for each state of its
// document, and what it carries out, on the real command manager's commands.

#include "codewindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "commandui.h"
#include "frmundolist.h"
#include "linedata.h"
#include "routine.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

namespace {

const QStringList kLines = {"ABC\t; header", "\tS X=1 W X", "LBL\tS Y=2", "\tW Y", "\tQ"};

} // namespace

class CodeCommandsTest : public CodeWindowTest
{
protected:
    void SetUp() override
    {
        CodeWindowTest::SetUp();
        manager = std::make_unique<CommandManager>();
        manager->load(vantrelCommandDesign());
        engine->on("Pos2Cmd^PARSE", "1");
    }
    void TearDown() override
    {
        manager.reset();
        CodeWindowTest::TearDown();
    }
    void openWindow(const QStringList &lines = kLines)
    {
        r = open(lines);
        w = window(*r);
        view = w->SourceView1();
    }
    Command &cmd(const QString &id)
    {
        Command *c = manager->command(id);
        EXPECT_NE(c, nullptr) << id.toStdString();
        return *c;
    }
    // The window's answer for one command: whether it ended the routing, and the flag
    // and state it left on the command (which starts enabled, with state 7).
    struct Answer
    {
        bool stop, enabled;
        int state;
    };
    Answer update(const QString &id)
    {
        Command &c = cmd(id);
        c.setEnabled(true);
        c.setStateValue(7);
        bool stop = false;
        w->UpdateUI(c, stop);
        return {stop, c.enabled(), c.stateValue()};
    }
    bool handle(const QString &id, CommandUI *context = nullptr)
    {
        bool stop = false;
        w->Handle(cmd(id), context, stop);
        return stop;
    }
    CommandUI *gotoBox() { return cmd("EdGoto").uiObjects().value(0); }

    std::unique_ptr<CommandManager> manager;
    std::shared_ptr<Routine> r;
    frmCode *w = nullptr;
    SourceView *view = nullptr;
};

TEST_F(CodeCommandsTest, UpdateUIFollowsTheDocument)
{
    FakeSaveAs saveAs;
    struct Case
    {
        const char *state;
        const char *id;
        bool stop, enabled;
        int stateValue;   // 7: left as it was
    } cases[] = {
        {"plain", "BmkToggle", true, true, 0},
        {"plain", "BmkFirst", true, false, 7},
        {"plain", "BmkPrevious", true, false, 7},
        {"plain", "BmkNext", true, false, 7},
        {"plain", "BmkLast", true, false, 7},
        {"plain", "BmkClearAll", true, false, 7},
        {"bookmark", "BmkToggle", true, true, 1},
        {"bookmark", "BmkNext", true, true, 7},
        {"plain", "BlkCollapse", true, false, 7},
        {"plain", "BlkExpand", true, false, 7},
        {"plain", "BlkCollapseAll", true, false, 7},
        {"plain", "BlkExpandAll", true, false, 7},
        {"collapsing", "BlkCollapseAll", true, true, 7},
        {"plain", "EdCopy", true, false, 7},
        {"plain", "EdUndo", true, false, 7},
        {"plain", "EdGoto", true, true, 7},
        {"edited", "EdUndo", true, true, 7},
        {"edited", "EdRedo", true, true, 7},
        {"edited", "EdCut", true, true, 7},
        {"edited", "EdCopy", true, true, 7},
        {"edited", "EdPaste", true, true, 7},
        {"edited", "EdDelete", true, true, 7},
        {"edited", "EdReplace", true, true, 7},
        {"read-only", "EdCopy", true, true, 7},
        {"read-only", "EdFind", true, true, 7},
        {"read-only", "EdFindNext", true, true, 7},
        {"read-only", "EdCut", true, false, 7},
        {"read-only", "EdPaste", true, false, 7},
        {"read-only", "EdDelete", true, false, 7},
        {"read-only", "EdUndo", true, false, 7},
        {"read-only", "EdRedo", true, false, 7},
        {"read-only", "EdReplace", true, false, 7},
        {"plain", "DbgToggle", true, true, 0},
        {"breakpoint here", "DbgToggle", true, true, 1},
        {"breakpoint on another command", "DbgToggle", true, true, 2},
        {"plain", "DbgRunTo", false, true, 7},
        {"plain", "DbgGo", false, true, 7},
        {"plain", "FlSave", true, false, 7},
        {"edited", "FlSave", true, true, 7},
        {"edited, busy", "FlSave", true, false, 7},
        {"edited, frozen", "FlSave", true, false, 7},
        {"plain", "FlSaveAs", true, false, 7},
        {"save as", "FlSaveAs", true, true, 7},
        {"save as, busy", "FlSaveAs", true, false, 7},
        {"save as, frozen", "FlSaveAs", true, false, 7},
        {"plain", "FlPrint", true, true, 7},
        {"plain", "FlOpen", false, true, 7},
        {"read-only", "VwStack", false, true, 7},
    };
    for (const Case &c : cases) {
        const QString state = QLatin1String(c.state);
        SCOPED_TRACE(QStringLiteral("%1 in state %2").arg(c.id, state).toStdString());
        pane->rows.clear();
        if (state == QLatin1String("breakpoint here"))
            pane->rows = {enabledBreakpoint("LBL", "ABC", 1)};
        if (state == QLatin1String("breakpoint on another command"))
            pane->rows = {enabledBreakpoint("LBL", "ABC", 2)};
        openWindow();
        SourceDocument *doc = w->document();
        main.busy = state.contains(QLatin1String("busy"));
        docServices().saveAs = state.startsWith(QLatin1String("save as")) ? &saveAs : nullptr;
        view->SetCaret(1, 2);
        if (state == QLatin1String("bookmark"))
            doc->ToggleBookmark(2);
        if (state == QLatin1String("collapsing"))
            doc->setCollapsingEnabled(true);
        if (state.startsWith(QLatin1String("edited")) || state == QLatin1String("read-only")) {
            // Something to undo, something to redo, a selection and text to paste.
            doc->Insert(4, 3, QStringLiteral("1"));
            doc->Insert(2, 4, QStringLiteral(":1"));
            doc->Undo();
            view->SetSelection(1, 2, 4, 2);
            QApplication::clipboard()->setText(QStringLiteral("clip"));
            QCoreApplication::processEvents();
        }
        if (state.endsWith(QLatin1String("frozen")))
            w->setFrozen(true);
        if (state == QLatin1String("read-only"))
            w->setReadOnly(true);

        const Answer a = update(QLatin1String(c.id));
        EXPECT_EQ(a.stop, c.stop);
        EXPECT_EQ(a.enabled, c.enabled);
        EXPECT_EQ(a.state, c.stateValue);
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeCommandsTest, OnlyCommandsWithAnActionAreHandled)
{
    openWindow();
    const QString before = w->document()->Text();
    for (const char *id : {"DbgGo", "FlOpen", "VwStack"}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(handle(QLatin1String(id)));
    }
    EXPECT_EQ(w->document()->Text(), before);
    EXPECT_TRUE(link.log.isEmpty());
}

// A frozen copy's text is stale: saving it would overwrite the server's routine. The
// command's own flag may still say enabled (a refresh old, or never refreshed).
TEST_F(CodeCommandsTest, ADisabledSaveNeverSends)
{
    struct Case
    {
        const char *name;
        bool frozen, busy;
        bool sent;
    } cases[] = {
        {"modified", false, false, true},
        {"frozen", true, false, false},
        {"busy", false, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        openWindow();
        w->document()->Insert(0, 1, QStringLiteral(" "));
        w->setFrozen(c.frozen);
        main.busy = c.busy;
        link.replies.push_back({QStringLiteral("SIP")});
        Command &save = cmd("FlSave");
        save.setEnabled(true);
        save.setStateValue(1);   // pressed by the tool bar
        EXPECT_TRUE(handle(QStringLiteral("FlSave")));
        EXPECT_EQ(link.log.filter(QStringLiteral("T:SIP")).size(), c.sent ? 1 : 0);
        EXPECT_EQ(save.enabled(), c.sent);
        EXPECT_EQ(save.stateValue(), 0);
        link.replies.clear();
        link.log.clear();
        main.busy = false;
        routines->Remove(r->Key(), false, true);
    }
}

TEST_F(CodeCommandsTest, RunToCursorOnlyWhileSuspended)
{
    openWindow();
    view->SetCaret(1, 2);
    for (int state : {-1, 2, 3, -3, 1}) {
        SCOPED_TRACE(state);
        main.state = state;
        main.states.clear();
        link.log.clear();
        cmd("DbgRunTo").setStateValue(1);
        EXPECT_TRUE(handle(QStringLiteral("DbgRunTo")));
        EXPECT_EQ(link.log, state == 1 ? QStringList{"S:GO|+3|ABC"} : QStringList{});
        EXPECT_EQ(main.states, state == 1 ? QList<int>{-4} : QList<int>{});
        EXPECT_EQ(cmd("DbgRunTo").stateValue(), state == 1 ? 1 : 0);
    }
}

TEST_F(CodeCommandsTest, GoToBoxGoesThereOrBeepsAndSelectsItsText)
{
    engine->on("Pos2CEnd^PARSE", "5");
    openWindow();
    CommandUI *box = gotoBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->combo(), nullptr);
    struct Case
    {
        const char *text;
        int beeps;
        int caretLine;   // 0-based; -1: where it was
    } cases[] = {
        {"LBL+1", 0, 3},
        {"NOWHERE", 1, -1},
        {"LBL+99", 1, -1},
        {"+2", 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        view->SetCaret(0, 0);
        beeps = 0;
        box->combo()->setEditText(QLatin1String(c.text));
        box->combo()->lineEdit()->setCursorPosition(1);
        EXPECT_TRUE(handle(QStringLiteral("EdGoto"), box));
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(view->CaretLine(), c.caretLine < 0 ? 0 : c.caretLine);
        EXPECT_EQ(box->combo()->lineEdit()->selectedText(), c.beeps ? QLatin1String(c.text) : QString());
    }
}

TEST_F(CodeCommandsTest, BookmarkNavigationWrapsRound)
{
    openWindow();
    w->document()->ToggleBookmark(1);
    w->document()->ToggleBookmark(3);
    struct Case
    {
        const char *id;
        int from, to;   // caret lines, 0-based
    } cases[] = {
        {"BmkFirst", 2, 1}, {"BmkLast", 2, 3}, {"BmkNext", 2, 3}, {"BmkPrevious", 2, 1},
        {"BmkNext", 3, 1},  {"BmkPrevious", 1, 3}, {"BmkFirst", 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 from %2").arg(c.id).arg(c.from).toStdString());
        view->SetCaret(0, c.from);
        EXPECT_TRUE(handle(QLatin1String(c.id)));
        EXPECT_EQ(view->CaretLine(), c.to);
    }
    EXPECT_TRUE(handle(QStringLiteral("BmkClearAll")));
    EXPECT_EQ(w->document()->NumBookmarks(), 0);
    // Disabled now: the navigation does nothing.
    view->SetCaret(0, 2);
    EXPECT_TRUE(handle(QStringLiteral("BmkFirst")));
    EXPECT_EQ(view->CaretLine(), 2);
}

TEST_F(CodeCommandsTest, UndoFromTheButtonsArrowDropsTheListBelowIt)
{
    openWindow();
    w->document()->Insert(0, 1, QStringLiteral("a"));
    w->document()->Insert(0, 1, QStringLiteral("b"));
    CommandUI *button = cmd("EdUndo").uiObjects().value(0);
    ASSERT_NE(button, nullptr);

    EXPECT_TRUE(handle(QStringLiteral("EdUndo"), button));
    frmUndoList *list = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *l = qobject_cast<frmUndoList *>(top); l && l->isVisible())
            list = l;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->pos(), button->screenRect().bottomLeft() + QPoint(0, 1));
    EXPECT_EQ(list->lstItems()->count(), 2);
    list->close();
    EXPECT_EQ(w->document()->GetLine(1), "ba\tS X=1 W X");

    // Without the button (a menu, a key) one step is undone at once.
    EXPECT_TRUE(handle(QStringLiteral("EdUndo")));
    EXPECT_EQ(w->document()->GetLine(1), "a\tS X=1 W X");
}

// A right-click inside a selection leaves the caret on another line: the pop-up's
// breakpoint items must act where the menu was opened.
TEST_F(CodeCommandsTest, PopUpBreakpointItemsActOnTheLineTheMenuDescribed)
{
    openWindow();
    const QPoint p = cell(view, 2, 2) + QPoint(1, 0);
    w->ShowContextMenu(p.x(), p.y());
    ASSERT_EQ(w->contextMenuLine(), 3);
    view->SetCaret(0, 1);
    w->PopupToggleBreakpoint();
    EXPECT_EQ(link.log, QStringList{"S:BP|+|LBL|ABC|1|1|0|"});
    EXPECT_TRUE(r->GetLineFlags(3) & LineData::kBreakpoint);
    EXPECT_FALSE(r->GetLineFlags(2) & LineData::kBreakpoint);

    link.log.clear();
    w->PopupToggleBreakpointState();
    ASSERT_NE(r->BPAtCmdOnLine(3, 1), nullptr);
    EXPECT_FALSE(r->BPAtCmdOnLine(3, 1)->Enabled);
}
