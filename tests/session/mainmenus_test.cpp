#include "mainwindowfixture.h"

#include "activeeditordocument.h"
#include "command.h"
#include "commanddesign.h"
#include "commandmanager.h"
#include "commandui.h"
#include "commondialog.h"
#include "frmbreakpoints.h"
#include "frmcode.h"
#include "frmfileopen.h"
#include "frmattach.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "helpkeys.h"
#include "gridcontrol.h"
#include "icommandrouter.h"
#include "dialoghost.h"
#include "lumopanel.h"
#include "linedata.h"
#include "mainmenus.h"
#include "mlinkdoclink.h"
#include "mdihost.h"
#include "navigationhistory.h"
#include "routine.h"
#include "routinenavigator.h"
#include "sources.h"
#include "sourcedocument.h"
#include "sourceview.h"
#include "toolbarcustomizedialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>
#include <QShortcut>
#include <QToolBar>

// Readable failures: gtest prints a QStringList element by element through this.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// The main window shown and active (menu shortcuts act only in the active window), with
// routines opened locally in code windows.
class MenusTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window = start("SQ0");
        ASSERT_NE(window, nullptr);
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        menus = window->menus();
        ASSERT_NE(menus, nullptr);
    }

    std::shared_ptr<Routine> open(QString rtn, int typ = 1, bool readOnly = false, QString text = QString())
    {
        QString env = "USER";
        if (text.isEmpty())
            text = "START\t; " + rtn + "\r\n\tS X=1\r\n\tS Y=2 W X\r\n\tQ";
        QString initial = "+1";
        bool ro = readOnly;
        auto doc = Routine::from(Routines::instance().Add(window->docLink(), rtn, env, text, ro, initial, typ, 0));
        doc->Activate(true);
        QCoreApplication::processEvents();
        return doc;
    }

    static frmCode *codeOf(const std::shared_ptr<Routine> &r) { return dynamic_cast<frmCode *>(r->Window()); }

    QString activeName() const
    {
        auto active = Routine::from(Routines::instance().Active());
        return active ? active->Rtn() : QString();
    }

    QStringList executedDuring(const std::function<void()> &act)
    {
        QStringList ids;
        auto c = QObject::connect(window->cmdMgr(), &CommandManager::executed,
                                  [&](const QString &id) { ids.append(id); });
        act();
        QObject::disconnect(c);
        return ids;
    }

    frmMDI *window = nullptr;
    MainMenus *menus = nullptr;
};

// A main router that records what reaches it, with the command's state value then.
struct RecordingRouter : ICommandRouter
{
    void Handle(Command &cmd, CommandUI *, bool &stopRouting) override
    {
        stopRouting = true;
        handled.append(cmd.id());
        states.append(cmd.stateValue());
    }
    void UpdateUI(Command &cmd, bool &stopRouting) override
    {
        stopRouting = true;
        cmd.setEnabled(enabled);
    }
    QStringList handled;
    QList<int> states;
    bool enabled = true;
};

struct ItemRow
{
    const char *name;
    const char *parent;     // "" the menu bar; "pop" a hidden pop-up
    const char *caption;    // "-" a separator
    const char *keys;
    const char *command;
    char kind;              // 'G' gated run, 'P' gated run pressed, 'B' bound, 'O' own handler
};

const ItemRow Tree[] = {
    {"mnuFile", "", "&File", "", "", 'O'},
    {"mnuFileNew", "mnuFile", "&New", "Ctrl+N", "FlNew", 'G'},
    {"mnuFileOpen", "mnuFile", "&Open...", "Ctrl+O", "FlOpen", 'G'},
    {"mnuFileClose", "mnuFile", "&Close", "", "", 'O'},
    {"mnuFileSep1", "mnuFile", "-", "", "", 'O'},
    {"mnuFileSave", "mnuFile", "&Save", "Ctrl+S", "FlSave", 'G'},
    {"mnuFileSaveAs", "mnuFile", "Save &As...", "", "FlSaveAs", 'B'},
    {"mnuFileSaveAll", "mnuFile", "Save A&ll", "", "FlSaveAll", 'B'},
    {"mnuFileSep2", "mnuFile", "-", "", "", 'O'},
    {"mnuFilePrint", "mnuFile", "&Print...", "Ctrl+P", "FlPrint", 'G'},
    {"mnuFileRecent(0)", "mnuFile", "-", "", "", 'O'},
    {"mnuFileRecent(1)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(2)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(3)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(4)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(5)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(6)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(7)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(8)", "mnuFile", "", "", "", 'O'},
    {"mnuFileRecent(9)", "mnuFile", "", "", "", 'O'},
    {"mnuFileSep3", "mnuFile", "-", "", "", 'O'},
    {"mnuFileExit", "mnuFile", "E&xit", "", "", 'O'},
    {"mnuServer", "", "&Server", "", "", 'O'},
    {"mnuServerConnect", "mnuServer", "&Connect...", "", "DbgConnect", 'B'},
    {"mnuDebugAttach", "mnuServer", "&Attach...", "", "DbgAttach", 'B'},
    {"mnuServerDisconnect", "mnuServer", "&Disconnect", "", "DbgDisconnect", 'B'},
    {"mnuDebug", "", "&Debug", "", "", 'O'},
    {"mnuDebugGoFast", "mnuDebug", "&Fast Forward", "Shift+F5", "DbgGoFast", 'P'},
    {"mnuDebugGo", "mnuDebug", "&Go", "F5", "DbgGo", 'P'},
    {"mnuDebugBreak", "mnuDebug", "&Break", "", "DbgBreak", 'B'},
    {"mnuDebugStepIn", "mnuDebug", "Step &Into", "F8", "DbgStepIn", 'P'},
    {"mnuDebugStepOver", "mnuDebug", "Step &Over", "Shift+F8", "DbgStepOver", 'P'},
    {"mnuDebugStepOut", "mnuDebug", "Step O&ut", "Ctrl+Shift+F8", "DbgStepOut", 'P'},
    {"mnuDebugRunTo", "mnuDebug", "&Run to Cursor Line", "Ctrl+F8", "DbgRunTo", 'P'},
    {"mnuDebugSep1", "mnuDebug", "-", "", "", 'O'},
    {"mnuDebugToggle", "mnuDebug", "&Toggle Breakpoint", "F9", "DbgToggle", 'G'},
    {"mnuDebugSep2", "mnuDebug", "-", "", "", 'O'},
    {"mnuDebugBonE", "mnuDebug", "Break on &Error", "Shift+F7", "DbgBonE", 'B'},
    {"mnuDebugLinewise", "mnuDebug", "&Linewise Stepping", "F7", "DbgLinewise", 'G'},
    {"mnuEdit", "", "&Edit", "", "", 'O'},
    {"mnuEditUndo", "mnuEdit", "&Undo", "Ctrl+Z", "EdUndo", 'G'},
    {"mnuEditRedo", "mnuEdit", "R&edo", "", "EdRedo", 'B'},
    {"mnuEditSep1", "mnuEdit", "-", "", "", 'O'},
    {"mnuEditCut", "mnuEdit", "Cu&t", "Ctrl+X", "EdCut", 'G'},
    {"mnuEditCopy", "mnuEdit", "&Copy", "Ctrl+C", "EdCopy", 'G'},
    {"mnuEditPaste", "mnuEdit", "&Paste", "Ctrl+V", "EdPaste", 'G'},
    {"mnuEditDelete", "mnuEdit", "&Delete", "Del", "EdDelete", 'G'},
    {"mnuEditSep2", "mnuEdit", "-", "", "", 'O'},
    {"mnuEditFind", "mnuEdit", "&Find...", "Ctrl+F", "EdFind", 'G'},
    {"mnuEditFindNext", "mnuEdit", "Find &Next", "F3", "EdFindNext", 'G'},
    {"mnuEditReplace", "mnuEdit", "&Replace...", "Ctrl+H", "EdReplace", 'G'},
    {"mnuEditSep3", "mnuEdit", "-", "", "", 'O'},
    {"mnuEditGoto", "mnuEdit", "&Go to Line...", "Ctrl+G", "EdGoto", 'G'},
    {"mnuEditJump", "mnuEdit", "&Jump to Target", "F12", "", 'O'},
    {"mnuEditBack", "mnuEdit", "B&ack", "Shift+F12", "", 'O'},
    {"mnuEditSep4", "mnuEdit", "-", "", "", 'O'},
    {"mnuEditBmk", "mnuEdit", "&Bookmarks", "", "", 'O'},
    {"mnuEditBmkToggle", "mnuEditBmk", "&Toggle", "Ctrl+F2", "BmkToggle", 'G'},
    {"mnuEditBmkSep1", "mnuEditBmk", "-", "", "", 'O'},
    {"mnuEditBmkFirst", "mnuEditBmk", "&First", "", "BmkFirst", 'B'},
    {"mnuEditBmkNext", "mnuEditBmk", "&Next", "F2", "BmkNext", 'G'},
    {"mnuEditBmkPrevious", "mnuEditBmk", "&Previous", "Shift+F2", "BmkPrevious", 'G'},
    {"mnuEditBmkLast", "mnuEditBmk", "&Last", "", "BmkLast", 'B'},
    {"mnuEditBmkSep2", "mnuEditBmk", "-", "", "", 'O'},
    {"mnuEditBmkClearAll", "mnuEditBmk", "&Clear All", "Ctrl+Shift+F2", "BmkClearAll", 'G'},
    {"mnuEditBlk", "mnuEdit", "Bloc&ks", "", "", 'O'},
    {"mnuEditBlkCollapse", "mnuEditBlk", "&Collapse Current", "", "BlkCollapse", 'B'},
    {"mnuEditBlkExpand", "mnuEditBlk", "&Expand Current", "", "BlkExpand", 'B'},
    {"mnuEditBlkCollapseAll", "mnuEditBlk", "C&ollapse All", "", "BlkCollapseAll", 'B'},
    {"mnuEditBlkExpandAll", "mnuEditBlk", "E&xpand All", "", "BlkExpandAll", 'B'},
    {"mnuView", "", "&View", "", "", 'O'},
    {"mnuViewSepRequiredToMakeAltVIwork", "mnuView", "-", "", "", 'O'},
    {"mnuViewImmediate", "mnuView", "&Immediate Window", "", "VwImmediate", 'B'},
    {"mnuViewStack", "mnuView", "&Stack", "", "VwStack", 'B'},
    {"mnuViewVars", "mnuView", "&Variables", "", "VwVars", 'B'},
    {"mnuViewBPs", "mnuView", "&Breakpoints", "", "VwBPs", 'B'},
    {"mnuViewSep1", "mnuView", "-", "", "", 'O'},
    {"mnuViewCode", "mnuView", "&Code", "", "", 'O'},
    {"mnuViewWrap", "mnuView", "&Wrap Lines", "", "", 'O'},
    {"mnuViewRich", "mnuView", "&Rich Source", "", "", 'O'},
    {"mnuViewBlocks", "mnuView", "C&ollapsible Blocks", "", "", 'O'},
    {"mnuViewSep2", "mnuView", "-", "", "", 'O'},
    {"mnuViewToolbars", "mnuView", "&Toolbars", "", "", 'O'},
    {"mnuViewTBList(1)", "mnuViewToolbars", "?", "", "", 'O'},
    {"mnuViewTBSep1", "mnuViewToolbars", "-", "", "", 'O'},
    {"mnuViewTBCustomize", "mnuViewToolbars", "&Customize...", "", "", 'O'},
    {"mnuTools", "", "&Tools", "", "", 'O'},
    {"mnuToolsFont", "mnuTools", "&Font...", "", "", 'O'},
    {"mnuWindow", "", "&Window", "", "", 'O'},
    {"mnuWindowTileH", "mnuWindow", "Tile &Horizontally ", "", "", 'O'},
    {"mnuWindowTileV", "mnuWindow", "Tile &Vertically", "", "", 'O'},
    {"mnuWindowCascade", "mnuWindow", "&Cascade", "", "", 'O'},
    {"mnuWindowArrange", "mnuWindow", "&Arrange Icons", "", "", 'O'},
    {"mnuHelp", "", "&Help", "", "", 'O'},
    {"mnuHelpContents", "mnuHelp", "&Contents...", "", "", 'O'},
    {"mnuHelpGuide", "mnuHelp", "&Task Guide", "", "", 'O'},
    {"mnuHelpSep1", "mnuHelp", "-", "", "", 'O'},
    {"mnuHelpAbout", "mnuHelp", "&About Vantrel...", "", "", 'O'},
    {"mnuRedo", "pop", "(RedoCommands)", "", "", 'O'},
    {"mnuRedoOne", "mnuRedo", "One", "", "", 'O'},
    {"mnuRedoAll", "mnuRedo", "All", "", "", 'O'},
    {"mnuPopCode", "pop", "(Pop for Code)", "", "", 'O'},
    {"mnuPopCodeRunTo", "mnuPopCode", "&Run to Line", "", "DbgRunTo", 'B'},
    {"mnuPopCodeBPSet", "mnuPopCode", "Set &Breakpoint", "", "", 'O'},
    {"mnuPopCodeBPClr", "mnuPopCode", "Remove &Breakpoint", "", "", 'O'},
    {"mnuPopCodeBPEna", "mnuPopCode", "&Enable Breakpoint", "", "", 'O'},
    {"mnuPopCodeBPDis", "mnuPopCode", "&Disable Breakpoint", "", "", 'O'},
    {"mnuPopCodeSep1", "mnuPopCode", "-", "", "", 'O'},
    {"mnuPopCodeGoto", "mnuPopCode", "&Show Code at tag[^rtn]", "", "", 'O'},
    {"mnuPopCodeGoEdit", "mnuPopCode", "Ed&it Code at Target", "", "", 'O'},
    {"mnuPopCodeGoBack", "mnuPopCode", "B&ack to Code at tag[^rtn]", "", "", 'O'},
    {"mnuPopCodeSep2", "mnuPopCode", "-", "", "", 'O'},
    {"mnuPopCodeCut", "mnuPopCode", "Cu&t", "", "EdCut", 'B'},
    {"mnuPopCodeCopy", "mnuPopCode", "&Copy", "", "EdCopy", 'B'},
    {"mnuPopCodePaste", "mnuPopCode", "&Paste", "", "EdPaste", 'B'},
    {"mnuPopCodeSep3", "mnuPopCode", "-", "", "", 'O'},
    {"mnuPopCodeBlkCollapse", "mnuPopCode", "C&ollapse Block", "", "BlkCollapse", 'B'},
    {"mnuPopCodeBlkExpand", "mnuPopCode", "E&xpand Block", "", "BlkExpand", 'B'},
    {"mnuPopCodeBlkCollapseAll", "mnuPopCode", "Collapse All", "", "BlkCollapseAll", 'B'},
    {"mnuPopCodeBlkExpandAll", "mnuPopCode", "Expand All", "", "BlkExpandAll", 'B'},
    {"mnuPopCMgn", "pop", "(Pop for Code Margin)", "", "", 'O'},
    {"mnuPopCMgnBP", "mnuPopCMgn", "&Breakpoint      ", "", "DbgToggle", 'O'},
    {"mnuPopCMgnBM", "mnuPopCMgn", "Book&mark", "", "BmkToggle", 'B'},
    {"mnuPopImmed", "pop", "(Pop for Immediate)", "", "", 'O'},
    {"mnuPopImmedCut", "mnuPopImmed", "Cu&t", "", "EdCut", 'B'},
    {"mnuPopImmedCopy", "mnuPopImmed", "&Copy", "", "EdCopy", 'B'},
    {"mnuPopImmedPaste", "mnuPopImmed", "&Paste   ", "", "EdPaste", 'B'},
    {"mnuPopImmedSep1", "mnuPopImmed", "-", "", "", 'O'},
    {"mnuPopImmedClearAll", "mnuPopImmed", "Clear &All", "", "", 'O'},
    {"mnuPopImmedSep2", "mnuPopImmed", "-", "", "", 'O'},
    {"mnuPopImmedWrap", "mnuPopImmed", "&Wrap Lines", "", "", 'O'},
    {"mnuPopReport", "pop", "(Pop for Report)", "", "", 'O'},
    {"mnuPopReportCopy", "mnuPopReport", "&Copy ", "", "EdCopy", 'B'},
    {"mnuPopReportSep1", "mnuPopReport", "-", "", "", 'O'},
    {"mnuPopReportWrap", "mnuPopReport", "&Wrap Lines", "", "", 'O'},
};

TEST_F(MenusTest, TheWholeTreeHasItsNamesCaptionsShortcutsAndBindings)
{
    QStringList names;
    for (const ItemRow &row : Tree)
        names.append(row.name);
    EXPECT_EQ(menus->itemNames(), names);

    const QList<QAction *> bar = window->menuBar()->actions();
    for (const ItemRow &row : Tree) {
        SCOPED_TRACE(row.name);
        QAction *item = window->menuItem(row.name);
        ASSERT_NE(item, nullptr);
        if (QLatin1String(row.caption) == QLatin1String("-"))
            EXPECT_TRUE(item->isSeparator());
        else
            EXPECT_EQ(item->text(), QString::fromUtf8(row.caption));
        EXPECT_EQ(item->shortcut(), QKeySequence::fromString(row.keys));
        EXPECT_EQ(menus->boundCommand(row.name), row.command);
        const QString parent = row.parent;
        if (parent.isEmpty())
            EXPECT_TRUE(bar.contains(item));
        else if (parent == "pop")
            EXPECT_FALSE(bar.contains(item));
        else
            EXPECT_TRUE(menus->menu(parent)->actions().contains(item));
    }
    // The bar holds the eight menus, in order, and nothing else.
    ASSERT_EQ(bar.size(), 8);
    EXPECT_EQ(bar.first(), window->menuItem("mnuFile"));
    EXPECT_EQ(bar.last(), window->menuItem("mnuHelp"));
    EXPECT_EQ(menus->menu("mnuView")->actions().first(), window->menuItem("mnuViewSepRequiredToMakeAltVIwork"));

    // At creation: Jump disabled; Wrap disabled; Rich and Blocks disabled and ticked; no
    // recent items; the help items enabled.
    EXPECT_FALSE(window->menuItem("mnuEditJump")->isEnabled());
    EXPECT_FALSE(window->menuItem("mnuViewWrap")->isEnabled());
    for (const char *tick : {"mnuViewRich", "mnuViewBlocks"}) {
        EXPECT_FALSE(window->menuItem(tick)->isEnabled()) << tick;
        EXPECT_TRUE(window->menuItem(tick)->isChecked()) << tick;
    }
    for (QAction *recent : window->recentMenuItems())
        EXPECT_FALSE(recent->isVisible());
    EXPECT_EQ(window->recentMenuItems(), menus->recentItems());
    for (const char *help : {"mnuHelpContents", "mnuHelpGuide", "mnuHelpAbout"})
        EXPECT_TRUE(window->menuItem(help)->isEnabled()) << help;

    // Items are found, captioned and tagged by name for the windows.
    window->setMenuItemTag("mnuPopCodeGoto", "START^ROU^USER");
    EXPECT_EQ(MainMenus::tag(window->menuItem("mnuPopCodeGoto")), "START^ROU^USER");
    window->setMenuItemVisible("mnuPopCodeSep1", false);
    EXPECT_FALSE(window->menuItemVisible("mnuPopCodeSep1"));
    EXPECT_EQ(window->menuItem("mnuNoSuchItem"), nullptr);
}

TEST_F(MenusTest, ItemsRunTheirCommandsPressedWhereTheyShouldAndGatedWhileBlocked)
{
    RecordingRouter router;
    window->cmdMgr()->setMainRouter(&router);
    for (const ItemRow &row : Tree) {
        if (row.kind == 'O' || QLatin1String(row.parent).startsWith(QLatin1String("mnuPop")))
            continue;
        SCOPED_TRACE(row.name);
        window->cmdMgr()->command(row.command)->setStateValue(0);
        router.handled.clear();
        router.states.clear();
        window->menuItem(row.name)->trigger();
        EXPECT_EQ(router.handled, QStringList{row.command});
        EXPECT_EQ(router.states, QList<int>{row.kind == 'P' ? 1 : 0});
    }

    // The customisation dialog blocks the items that run a command; the pop-ups and the
    // bound items are not gated.
    ToolbarCustomizeDialog *customize = menus->customizeDialog();
    customize->show();
    EXPECT_TRUE(window->CommandsBlocked());
    router.handled.clear();
    for (const ItemRow &row : Tree) {
        if (row.kind == 'G' || row.kind == 'P')
            window->menuItem(row.name)->trigger();
    }
    EXPECT_TRUE(router.handled.isEmpty());
    window->menuItem("mnuPopCodeCopy")->trigger();
    window->menuItem("mnuEditBmkFirst")->trigger();
    EXPECT_EQ(router.handled, QStringList({"EdCopy", "BmkFirst"}));
    customize->hide();
    EXPECT_FALSE(window->CommandsBlocked());
    window->cmdMgr()->setMainRouter(window);
}

TEST_F(MenusTest, BoundItemsShowTheirCommandsWhileTheirMenuIsOpen)
{
    RecordingRouter router;
    window->cmdMgr()->setMainRouter(&router);
    QAction *go = window->menuItem("mnuDebugGo");
    QAction *bonE = window->menuItem("mnuDebugBonE");
    Command *bonECommand = window->cmdMgr()->command("DbgBonE");

    // The pressed state shows at all times.
    bonECommand->setStateValue(1);
    EXPECT_TRUE(bonE->isChecked());
    bonECommand->setStateValue(0);
    EXPECT_FALSE(bonE->isChecked());

    // The enabled state only while the menu is open, so a shortcut always reaches the command.
    router.enabled = false;
    QMenu *debug = menus->menu("mnuDebug");
    emit debug->aboutToShow();
    EXPECT_FALSE(go->isEnabled());
    emit debug->aboutToHide();
    EXPECT_TRUE(go->isEnabled());
    window->cmdMgr()->setMainRouter(window);
}

TEST_F(MenusTest, DropDownsFollowTheSessionTheBarsAndTheActiveRoutine)
{
    // File: the recent items are greyed while the session is busy.
    std::vector<SourcePtr> recent;
    for (int i = 1; i <= 9; ++i) {
        auto item = std::make_shared<Source>();
        item->Name = QString("R%1").arg(i);
        item->Path = "vantrel:///USER";
        recent.push_back(item);
    }
    window->fileOpenDialog()->setRecent(recent);
    window->UpdateRecent();
    QMenu *file = menus->menu("mnuFile");
    ASSERT_TRUE(window->MBusy());
    emit file->aboutToShow();
    for (int i = 1; i <= 9; ++i)
        EXPECT_FALSE(window->menuItem(QString("mnuFileRecent(%1)").arg(i))->isEnabled()) << i;
    EXPECT_FALSE(window->menuItem("mnuFileClose")->isEnabled());
    window->setMState(1);
    emit file->aboutToShow();
    for (int i = 1; i <= 9; ++i)
        EXPECT_TRUE(window->menuItem(QString("mnuFileRecent(%1)").arg(i))->isEnabled()) << i;

    // View: exactly the existing bars, ticked while shown (hidden, not merely invisible).
    QMenu *view = menus->menu("mnuView");
    QList<QToolBar *> bars = window->cmdMgr()->toolBars();
    ASSERT_EQ(bars.size(), 6);
    bars[2]->hide();
    emit view->aboutToShow();
    for (int i = 0; i < bars.size(); ++i) {
        QAction *entry = window->menuItem(QString("mnuViewTBList(%1)").arg(i + 1));
        ASSERT_NE(entry, nullptr) << i;
        EXPECT_TRUE(entry->isVisible());
        EXPECT_EQ(entry->text(), bars[i]->windowTitle());
        EXPECT_EQ(entry->isChecked(), i != 2);
    }
    EXPECT_TRUE(window->menuItem("mnuViewTBSep1")->isVisible());
    window->menuItem("mnuViewTBList(3)")->trigger();
    EXPECT_FALSE(bars[2]->isHidden());
    // A bar that is gone leaves its item hidden.
    delete bars.takeLast();
    emit view->aboutToShow();
    EXPECT_FALSE(window->menuItem("mnuViewTBList(6)")->isVisible());
    EXPECT_TRUE(window->menuItem("mnuViewTBList(5)")->isVisible());
    for (const char *name : {"mnuViewCode", "mnuViewWrap", "mnuViewRich", "mnuViewBlocks"})
        EXPECT_FALSE(window->menuItem(name)->isEnabled()) << name;
    auto routine = open("ROU");
    emit view->aboutToShow();
    EXPECT_TRUE(window->menuItem("mnuViewCode")->isEnabled());
    EXPECT_TRUE(window->menuItem("mnuViewWrap")->isEnabled());
    EXPECT_EQ(window->menuItem("mnuViewRich")->isEnabled(), routine->RichSourceSupported());
    const bool wrapped = routine->LineWrap();
    window->menuItem("mnuViewWrap")->trigger();
    EXPECT_EQ(routine->LineWrap(), !wrapped);
    EXPECT_EQ(window->menuItem("mnuViewWrap")->isChecked(), !wrapped);
    EXPECT_EQ(window->lineWrap(), !wrapped);

    // The code pop-up: Run to Line enabled as "DbgRunTo" is.
    QMenu *codePopUp = menus->menu("mnuPopCode");
    window->setMState(-1);
    emit codePopUp->aboutToShow();
    EXPECT_FALSE(window->menuItem("mnuPopCodeRunTo")->isEnabled());
    window->setMState(1);
    emit codePopUp->aboutToShow();
    EXPECT_TRUE(window->menuItem("mnuPopCodeRunTo")->isEnabled());

    // Blocks: captioned with their keys when the submenu opens.
    emit menus->menu("mnuEditBlk")->aboutToShow();
    EXPECT_EQ(window->menuItem("mnuEditBlkCollapse")->text(), "  &Collapse Current\tCtrl+'-'");
    EXPECT_EQ(window->menuItem("mnuEditBlkExpand")->text(), "  &Expand Current\tCtrl+'+'");
    EXPECT_EQ(window->menuItem("mnuEditBlkCollapseAll")->text(), "  C&ollapse All");
    EXPECT_EQ(window->menuItem("mnuEditBlkExpandAll")->text(), "  E&xpand All");

    // Toolbars ▸ Customize...: a box per bar, and Reset shows them all.
    ToolbarCustomizeDialog *customize = menus->customizeDialog();
    bars[0]->hide();
    customize->show();
    ASSERT_EQ(customize->checkBoxes().size(), bars.size());
    EXPECT_FALSE(customize->checkBoxes()[0]->isChecked());
    customize->checkBoxes()[1]->setChecked(false);
    EXPECT_TRUE(bars[1]->isHidden());
    customize->Reset();
    for (int i = 0; i < bars.size(); ++i) {
        EXPECT_FALSE(bars[i]->isHidden()) << i;
        EXPECT_TRUE(customize->checkBoxes()[i]->isChecked()) << i;
    }
    customize->hide();
}

// Back returns to the place and the routine type recorded, and takes that place off the
// history; a MAC routine is not confused with the INT routine of the same name.
TEST_F(MenusTest, BackFollowsTheHistory)
{
    auto intRoutine = open("ROU", 1);
    auto macRoutine = open("ROU", 2);
    auto other = open("OTHER", 1);
    macRoutine->Activate(true);
    NavigationHistory &history = window->navigator()->history();
    ASSERT_TRUE(history.isEmpty());
    QMenu *edit = menus->menu("mnuEdit");
    emit edit->aboutToShow();
    EXPECT_FALSE(window->menuItem("mnuEditBack")->isEnabled());

    // A jump from the MAC routine to an INT one; the way back is to the MAC routine.
    window->navigator()->ShowAtTag("+2^OTHER^USER", true, false, 1);
    EXPECT_EQ(Routines::instance().Active().get(), other.get());
    ASSERT_EQ(history.count(), 1);
    emit edit->aboutToShow();
    EXPECT_TRUE(window->menuItem("mnuEditBack")->isEnabled());
    window->menuItem("mnuEditBack")->trigger();
    EXPECT_EQ(Routines::instance().Active().get(), macRoutine.get());
    EXPECT_TRUE(history.isEmpty());

    // The pop-up's Back uses its tag, the newest entry's type, and pops that entry.
    window->navigator()->ShowAtTag("+3^OTHER^USER", true, false, 1);
    window->setMenuItemTag("mnuPopCodeGoBack", history.newest().text);
    window->menuItem("mnuPopCodeGoBack")->trigger();
    EXPECT_EQ(Routines::instance().Active().get(), macRoutine.get());
    EXPECT_TRUE(history.isEmpty());

    // Shift+F12 in the editor is nobody's key: the menu's Back runs, once.
    window->navigator()->ShowAtTag("+2^OTHER^USER", true, false, 1);
    window->ShowAtTag("+3^ROU^USER", true, false);
    ASSERT_EQ(Routines::instance().Active().get(), intRoutine.get());
    ASSERT_EQ(history.count(), 2);
    SourceView *view = codeOf(intRoutine)->SourceView1();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F12, Qt::ShiftModifier);
    EXPECT_EQ(history.count(), 1);
    EXPECT_EQ(Routines::instance().Active().get(), other.get());
}

TEST_F(MenusTest, JumpGoesToTheTargetUnderTheCaretOnceAndThenWaits)
{
    auto target = open("OTHER");
    auto caller = open("CALLER", 1, false, "START\t; x\r\n\tS Z=$$START^OTHER\r\n\tQ");
    frmCode *code = codeOf(caller);
    ASSERT_TRUE(waitUntil([&] { return !code->parseTimerRunning(); }, 5000));
    QMenu *edit = menus->menu("mnuEdit");
    QAction *jump = window->menuItem("mnuEditJump");

    code->setCaret(1, 1);   // on "S": nothing to jump to
    emit edit->aboutToShow();
    EXPECT_FALSE(jump->isEnabled());

    code->setCaret(8, 1);   // on "START^OTHER"
    emit edit->aboutToShow();
    ASSERT_TRUE(jump->isEnabled());
    EXPECT_EQ(MainMenus::tag(jump), "START^OTHER^USER");
    jump->trigger();
    EXPECT_EQ(Routines::instance().Active().get(), target.get());
    EXPECT_EQ(window->navigator()->history().count(), 1);
    EXPECT_FALSE(jump->isEnabled());   // a stale F12 does nothing
}

// A place given by line (go-to, a jump's target, the way back) on a line that begins with
// a TAB selects the line's first command; what the user types next replaces the command.
TEST_F(MenusTest, GoToJumpAndBackSelectTheCommandOfALineThatBeginsWithATab)
{
    open("OTHER", 1, false, "TOP\t; t\r\n\tS A=1 W A\r\n\tQ");
    auto caller = open("CALLER", 1, false, "START\t; x\r\n\tS Z=$$TOP^OTHER\r\n\tS B=2");
    frmCode *code = codeOf(caller);
    ASSERT_TRUE(waitUntil([&] { return !code->parseTimerRunning(); }, 5000));
    SourceView *view = code->SourceView1();
    view->setFocus();
    auto typeInto = [](const QString &text) { QTest::keyClicks(QApplication::focusWidget(), text); };

    // Go to: a click into the tool bar's go-to box, the place, Enter.
    QComboBox *box = window->cmdMgr()->command("EdGoto")->uiObjects().first()->combo();
    QTest::mouseClick(box, Qt::LeftButton);
    typeInto("+3");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(view->CaretLine(), 2);
    typeInto("K");
    EXPECT_EQ(caller->document()->GetLine(2), "\tK");

    // F12 on the call, then back with Shift+F12: the way back is to the calling line.
    code->setCaret(8, 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12);
    ASSERT_EQ(activeName(), "OTHER");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12, Qt::ShiftModifier);
    ASSERT_EQ(activeName(), "CALLER");
    typeInto("Q");
    EXPECT_EQ(caller->document()->GetLine(1), "\tQ");
}

// Hiding a maximised code window (a stack level released) brings the next one forward
// maximised, with its name in the main window's caption.
TEST_F(MenusTest, HidingAMaximisedWindowLeavesTheNextOneMaximised)
{
    auto first = open("FIRST");
    auto second = open("SECOND");
    ASSERT_TRUE(codeOf(second)->isMaximised());
    second->setVisible(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(activeName(), "FIRST");
    EXPECT_TRUE(codeOf(first)->isMaximised());
    const QString caption = window->windowTitle();
    EXPECT_TRUE(caption.contains(" - [") && caption.contains("FIRST")) << caption.toStdString();
}

// Ctrl+Tab in a code window walks all windows in order, as Ctrl+F6 does, rather than
// going back and forth between the two most recent ones.
TEST_F(MenusTest, CtrlTabAndCtrlF6WalkEveryWindowInTheSameOrder)
{
    open("ONE");
    open("TWO");
    open("THREE");
    auto walk = [&](Qt::Key key) {
        QStringList seen;
        for (int i = 0; i < 3; ++i) {
            frmCode *code = codeOf(Routine::from(Routines::instance().Active()));
            code->SourceView1()->setFocus();
            QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
            QCoreApplication::processEvents();
            seen << activeName();
        }
        return seen;
    };
    const QStringList byF6 = walk(Qt::Key_F6);
    EXPECT_EQ(byF6.size(), 3);
    EXPECT_EQ(QSet<QString>(byF6.begin(), byF6.end()).size(), 3) << byF6.join(' ').toStdString();
    EXPECT_EQ(walk(Qt::Key_Tab), byF6);
}

// One physical key press runs one command, or none where none applies, wherever the
// focus is: in the editor the key tables decide, in the breakpoint list too, in the
// go-to box the menu shortcuts do (the box keeps its editing keys).
TEST_F(MenusTest, OneKeyPressRunsOneCommandWhereverTheFocusIs)
{
    auto routine = open("KEYS");
    frmCode *code = codeOf(routine);
    SourceView *view = code->SourceView1();
    SourceDocument *doc = view->Document();
    QComboBox *combo = window->cmdMgr()->command("EdGoto")->uiObjects().first()->combo();
    QTreeWidget *list = window->breakpointsPane()->bpGrid();
    window->breakpointsPane()->ShowMe();
    QCoreApplication::processEvents();

    struct Case
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList inEditor;
        QStringList inList;
        QStringList inBox;
    };
    const QStringList none;
    const Case cases[] = {
        {Qt::Key_F5, Qt::NoModifier, {"DbgGo"}, {"DbgGo"}, {"DbgGo"}},
        {Qt::Key_F8, Qt::NoModifier, {"DbgStepIn"}, {"DbgStepIn"}, {"DbgStepIn"}},
        {Qt::Key_F8, Qt::ShiftModifier, {"DbgStepOver"}, {"DbgStepOver"}, {"DbgStepOver"}},
        {Qt::Key_F8, Qt::ControlModifier, {"DbgRunTo"}, {"DbgRunTo"}, {"DbgRunTo"}},
        // The breakpoint and bookmark commands are the code window's; the list has none.
        {Qt::Key_F9, Qt::NoModifier, {"DbgToggle"}, none, {"DbgToggle"}},
        {Qt::Key_F2, Qt::NoModifier, {"BmkNext"}, none, {"BmkNext"}},
        {Qt::Key_C, Qt::ControlModifier, {"EdCopy"}, none, none},
        {Qt::Key_V, Qt::ControlModifier, {"EdPaste"}, none, none},
        {Qt::Key_Delete, Qt::NoModifier, none, none, none},
    };
    enum Target { Editor, List, Box };
    for (Target target : {Editor, List, Box}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
            SCOPED_TRACE(target == Editor ? "editor" : target == List ? "breakpoint list" : "go-to box");
            // Every command has something to act on: a stopped session, a selection,
            // a bookmark, text on the clipboard.
            window->setMState(1);
            QGuiApplication::clipboard()->setText("Z");
            if (doc->NumBookmarks() == 0)
                doc->ToggleBookmark(3);
            QWidget *focus = nullptr;
            if (target == Editor) {
                view->SetSelection(1, 1, 3, 1);
                focus = view;
            } else if (target == List) {
                focus = list;
            } else {
                focus = combo->lineEdit();
            }
            focus->setFocus();
            QCoreApplication::processEvents();
            window->cmdMgr()->refreshAll();
            const QString before = doc->GetLine(1);
            const QStringList ran = executedDuring([&] { QTest::keyClick(focus, c.key, c.modifiers); });
            EXPECT_EQ(ran, target == Editor ? c.inEditor : target == List ? c.inList : c.inBox);
            // The editor's own Del deleted the selection.
            if (c.key == Qt::Key_Delete && target == Editor) {
                EXPECT_NE(doc->GetLine(1), before);
            }
        }
    }
}

// The immediate pane's command view is one more place where a key runs one command.
TEST_F(MenusTest, OneKeyPressInTheImmediateViewRunsOneCommand)
{
    frmImmediate *immediate = window->immediatePane();
    immediate->ShowExecute();
    SourceView *io = immediate->IO();
    struct Case
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList ran;
    };
    const Case cases[] = {
        {Qt::Key_F5, Qt::NoModifier, {"DbgGo"}},
        {Qt::Key_F8, Qt::NoModifier, {"DbgStepIn"}},
        {Qt::Key_C, Qt::ControlModifier, {"EdCopy"}},
        {Qt::Key_V, Qt::ControlModifier, {"EdPaste"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        window->setMState(1);
        QGuiApplication::clipboard()->setText("W 1");
        io->Document()->InsertImpl(0, 0, "W 2");
        io->SetSelection(0, 0, 3, 0);
        io->setFocus();
        QCoreApplication::processEvents();
        window->cmdMgr()->refreshAll();
        EXPECT_EQ(executedDuring([&] { QTest::keyClick(io, c.key, c.modifiers); }), c.ran);
    }
}

TEST_F(MenusTest, NextAndPreviousChildFollowTheStackingOrder)
{
    // Next and previous without a document area window do nothing.
    window->NextChild();
    window->PreviousChild();

    open("A");
    open("B");
    open("C");
    QMdiArea *area = window->MeX()->area();
    auto stack = [&] {
        QString order;
        for (QMdiSubWindow *w : area->subWindowList(QMdiArea::StackingOrder))
            order += static_cast<frmCode *>(w->widget())->routine()->Rtn();
        return order;
    };
    ASSERT_EQ(stack(), "ABC");
    ASSERT_EQ(activeName(), "C");
    struct Step
    {
        bool next;
        const char *active;
        const char *stacking;   // bottom first
    };
    const Step steps[] = {
        {true, "B", "CAB"}, {true, "A", "BCA"}, {false, "B", "CAB"}, {false, "C", "ABC"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(std::string(s.next ? "next to " : "previous to ") + s.active);
        if (s.next)
            window->NextChild();
        else
            window->PreviousChild();
        QCoreApplication::processEvents();
        EXPECT_EQ(activeName(), s.active);
        EXPECT_EQ(stack(), s.stacking);
    }

    // From a docked pane: relative to the active window of the document area.
    window->breakpointsPane()->ShowMe();
    window->breakpointsPane()->bpGrid()->setFocus();
    QCoreApplication::processEvents();
    window->NextChild();
    QCoreApplication::processEvents();
    EXPECT_EQ(activeName(), "B");
    EXPECT_EQ(stack(), "CAB");

    // The window list: every window, the active one ticked.
    QMenu *windowMenu = menus->menu("mnuWindow");
    emit windowMenu->aboutToShow();
    QStringList entries;
    for (QAction *a : windowMenu->actions()) {
        if (!a->isSeparator() && !a->objectName().startsWith("mnuWindow"))
            entries.append(a->text() + (a->isChecked() ? "*" : ""));
    }
    EXPECT_EQ(entries.size(), 3);
    EXPECT_EQ(entries.filter("*").size(), 1);
    EXPECT_TRUE(entries.filter("*").value(0).startsWith("&2 "));
}

TEST_F(MenusTest, TilingPlacesTheWindowsOneAboveAnotherOrSideBySide)
{
    open("A");
    open("B");
    QMdiArea *area = window->MeX()->area();
    const QRect space = area->viewport()->rect();
    ASSERT_GT(space.height(), 10);
    window->menuItem("mnuWindowTileH")->trigger();
    QList<QRect> frames;
    for (QMdiSubWindow *w : area->subWindowList()) {
        EXPECT_FALSE(w->isMaximized());
        frames.append(w->geometry());
    }
    ASSERT_EQ(frames.size(), 2);
    std::sort(frames.begin(), frames.end(), [](const QRect &a, const QRect &b) { return a.top() < b.top(); });
    EXPECT_EQ(frames[0], QRect(0, 0, space.width(), space.height() / 2));
    EXPECT_EQ(frames[1], QRect(0, space.height() / 2, space.width(), space.height() - space.height() / 2));

    window->menuItem("mnuWindowTileV")->trigger();
    frames.clear();
    for (QMdiSubWindow *w : area->subWindowList())
        frames.append(w->geometry());
    std::sort(frames.begin(), frames.end(), [](const QRect &a, const QRect &b) { return a.left() < b.left(); });
    EXPECT_EQ(frames[0], QRect(0, 0, space.width() / 2, space.height()));
    EXPECT_EQ(frames[1].left(), space.width() / 2);
    EXPECT_EQ(frames[1].right(), space.width() - 1);
}

// Help > About, chosen with the keys: the box is as tall as its texts (no empty band below
// the notice) and, like the main window, carries the program's own picture, not the
// toolkit's. Enter closes it.
TEST_F(MenusTest, TheAboutBoxFitsItsTextsAndCarriesTheProgramsIcon)
{
    const QIcon icon = window->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(16).toImage().isNull());
    EXPECT_FALSE(icon.pixmap(32).toImage().isNull());

    bool shown = false;
    setModalRunner([&](QDialog *d) {
        shown = true;
        d->show();
        QApplication::setActiveWindow(d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(d));
        EXPECT_EQ(d->windowTitle(), "About Vantrel");
        EXPECT_EQ(d->windowIcon().cacheKey(), icon.cacheKey());
        auto *notice = d->findChild<LumoPanel *>();
        EXPECT_NE(notice, nullptr);
        if (notice) {
            // The notice's three lines whole, and nothing but the layout's margin below.
            EXPECT_GE(notice->height(), 3 * QFontMetrics(notice->Font()).lineSpacing());
            int lowest = notice->geometry().bottom();
            for (QWidget *w : d->findChildren<QWidget *>())
                if (w->isVisible() && w->parentWidget() == d)
                    lowest = std::max(lowest, w->geometry().bottom());
            const int margin = d->layout()->contentsMargins().bottom();
            EXPECT_LE(d->height() - 1 - lowest, margin + 4) << "box " << d->height() << ", lowest " << lowest;
        }
        EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->window() : nullptr, d);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }));
        return d->result();
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::AltModifier);
    QMenu *menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }));
    QTest::keyClick(menu, Qt::Key_A);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown; }));
    setModalRunner(nullptr);
}

// After Window > Cascade a routine opened next lies wholly inside the document area, its
// close button and status bar in sight, at the screen sizes users have.
TEST_F(MenusTest, AWindowOpenedAfterCascadeFitsInsideTheArea)
{
    for (const QSize screen : {QSize(1280, 800), QSize(1600, 1000)}) {
        SCOPED_TRACE(testing::Message() << screen.width() << "x" << screen.height());
        window->resize(screen);
        QCoreApplication::processEvents();
        for (const char *name : {"A", "B", "C", "D", "E"})
            open(name);
        QMdiArea *area = window->MeX()->area();
        const QRect space = area->viewport()->rect();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
        QMenu *menu = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }));
        QTest::keyClick(menu, Qt::Key_C);
        QCoreApplication::processEvents();
        for (QMdiSubWindow *w : area->subWindowList())
            EXPECT_FALSE(w->isMaximized());

        auto sixth = open("F");
        QCoreApplication::processEvents();
        QWidget *frame = codeOf(sixth)->MeX();
        EXPECT_TRUE(space.contains(frame->geometry()))
            << frame->geometry().x() << "," << frame->geometry().y() << " " << frame->width() << "x"
            << frame->height() << " in " << space.width() << "x" << space.height();
        for (const char *name : {"A", "B", "C", "D", "E", "F"})
            Routines::instance().Remove(QStringLiteral("USER^%1^1").arg(name), false, true);
        QCoreApplication::processEvents();
    }
}

// Window > Cascade, chosen with the keys, with many windows at the screen sizes users have:
// where the next step would leave the document area the cascade starts again at its
// top-left corner, so every window's title bar and status bar stay in sight, and the
// window that was in front stays in front.
TEST_F(MenusTest, CascadeKeepsEveryWindowInsideTheAreaAtAnyCount)
{
    for (const QSize screen : {QSize(1280, 800), QSize(1600, 1000)}) {
        window->resize(screen);
        QCoreApplication::processEvents();
        QStringList names;
        for (int count = 1; count <= 16; ++count) {
            names << QStringLiteral("W%1").arg(count, 2, 10, QLatin1Char('0'));
            open(names.last());
            if (count < 6)
                continue;
            SCOPED_TRACE(testing::Message() << screen.width() << "x" << screen.height() << ", " << count << " windows");
            QMdiArea *area = window->MeX()->area();
            QMdiSubWindow *front = area->activeSubWindow();
            ASSERT_NE(front, nullptr);
            // The offscreen platform may leave the closed menu active; a window manager
            // gives the activation back to the main window.
            QApplication::setActiveWindow(window);
            ASSERT_TRUE(QTest::qWaitForWindowActive(window));
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::AltModifier);
            QMenu *menu = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }));
            QTest::keyClick(menu, Qt::Key_C);
            QCoreApplication::processEvents();

            const QRect space = area->viewport()->rect();
            QList<QMdiSubWindow *> stacking = area->subWindowList(QMdiArea::StackingOrder);
            stacking.erase(std::remove_if(stacking.begin(), stacking.end(), [](QMdiSubWindow *w) { return w->isHidden(); }),
                           stacking.end());
            ASSERT_EQ(stacking.size(), count);
            EXPECT_EQ(stacking.last(), front);
            for (QMdiSubWindow *w : stacking) {
                EXPECT_FALSE(w->isMaximized());
                EXPECT_TRUE(space.contains(w->geometry()))
                    << qPrintable(w->windowTitle()) << " at " << w->x() << "," << w->y() << " " << w->width() << "x"
                    << w->height() << " in " << space.width() << "x" << space.height();
            }
            // One after another down and to the right, so each title bar shows.
            EXPECT_LT(stacking[0]->y(), stacking[1]->y());
            EXPECT_LT(stacking[0]->x(), stacking[1]->x());
        }
        for (const QString &name : std::as_const(names))
            Routines::instance().Remove(QStringLiteral("USER^%1^1").arg(name), false, true);
        QCoreApplication::processEvents();
    }
}

// File > Save As has no picture: its place in the open menu is as empty as that of Close,
// which has none either, not a box that reads as an unticked check box. Pressed, it shows
// a tick there; released, the place is empty again.
TEST_F(MenusTest, AnItemWithoutAPictureShowsNothingInThePicturesPlace)
{
    Command *saveAs = window->cmdMgr()->command("FlSaveAs");
    ASSERT_NE(saveAs, nullptr);
    ASSERT_TRUE(saveAs->icon().isNull());
    ASSERT_EQ(saveAs->style(), Command::PressStyle);
    QAction *item = window->menuItem("mnuFileSaveAs");
    QAction *close = window->menuItem("mnuFileClose");

    const auto picturePlace = [&](QMenu *menu, QAction *action) {
        const QRect row = menu->actionGeometry(action);
        return menu->grab(QRect(row.left(), row.top(), row.height(), row.height())).toImage();
    };
    const auto openFileMenu = [&] {
        QApplication::setActiveWindow(window);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window && QApplication::focusWidget(); }));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
        QMenu *menu = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }));
        return menu;
    };

    for (const int state : {0, 1, 0}) {
        SCOPED_TRACE(state ? "pressed" : "released");
        saveAs->setStateValue(state);
        QMenu *menu = openFileMenu();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        EXPECT_EQ(item->isChecked(), state == 1);
        const bool sameAsClose = picturePlace(menu, item) == picturePlace(menu, close);
        EXPECT_EQ(sameAsClose, state == 0) << "the picture's place of Save As differs from that of Close";
        QTest::keyClick(menu, Qt::Key_Escape);
        QTest::qWaitFor([&] { return !menu->isVisible(); });
    }
}

// The breakpoint items of the code pop-up act on the line the menu was prepared for,
// not on the caret's.
TEST_F(MenusTest, PopUpBreakpointItemsActOnThePreparedLine)
{
    auto routine = open("POP");
    frmCode *code = codeOf(routine);
    SourceView *view = code->SourceView1();
    view->SetCaret(0, 0);
    int x = 0, y = 0;
    view->DocToDevice(2, 2, x, y);
    QString shownDefault = "unset";
    QTimer::singleShot(0, [&] {
        QMenu *menu = menus->menu("mnuPopCode");
        shownDefault = menu->defaultAction() ? menu->defaultAction()->objectName() : QString();
        if (window->menuItemVisible("mnuPopCodeBPSet"))
            window->menuItem("mnuPopCodeBPSet")->trigger();
        menu->close();
    });
    code->ShowContextMenu(x + 2, y + view->CharHeight() / 2);
    EXPECT_EQ(shownDefault, "");
    EXPECT_EQ(code->contextMenuLine(), 3);
    EXPECT_NE(routine->BPAtCmdOnLine(3, code->contextMenuCommand()), nullptr);
    EXPECT_EQ(routine->BPAtCmdOnLine(1, 1), nullptr);
    EXPECT_EQ(view->CaretLine(), 0);

    // The margin menu shows its breakpoint item in bold.
    QTimer::singleShot(0, [&] {
        QMenu *menu = menus->menu("mnuPopCMgn");
        shownDefault = menu->defaultAction() ? menu->defaultAction()->objectName() : QString();
        menu->close();
    });
    window->popUpMenu("mnuPopCMgn", view, QPoint(1, 1), "mnuPopCMgnBP");
    EXPECT_EQ(shownDefault, "mnuPopCMgnBP");
}

TEST_F(MenusTest, RedoAllEndsWhenTheRedoMakesNoProgress)
{
    auto routine = open("REDO");
    SourceView *view = codeOf(routine)->SourceView1();
    SourceDocument *doc = view->Document();
    const QString original = doc->GetLine(1);
    view->setFocus();
    view->SetCaret(int(original.size()), 1);
    QTest::keyClicks(view, "A");
    QTest::keyClick(view, Qt::Key_End);
    QTest::keyClicks(view, "B");
    const QString edited = doc->GetLine(1);
    ASSERT_NE(edited, original);
    while (doc->CanUndo())
        doc->Undo();
    ASSERT_EQ(doc->GetLine(1), original);
    ASSERT_EQ(activeEditorDocument(), doc);

    // "EdRedo" goes to the active child: with the focus in a pane the code window does
    // not get it, nothing is redone, and the loop still ends.
    window->breakpointsPane()->ShowMe();
    window->breakpointsPane()->bpGrid()->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(menus->redoAll(), 1);
    EXPECT_TRUE(doc->CanRedo());

    view->setFocus();
    QCoreApplication::processEvents();
    window->menuItem("mnuRedoAll")->trigger();
    EXPECT_FALSE(doc->CanRedo());
    EXPECT_EQ(doc->GetLine(1), edited);
}

// Clear All and the Wrap items act on the immediate pane only through what the pane
// gives the menus: the main window's pane, or any other.
TEST_F(MenusTest, ImmediatePopUpsReachThePaneThroughItsSeam)
{
    frmImmediate *immediate = window->immediatePane();
    QAction *wrap = window->menuItem("mnuPopImmedWrap");
    immediate->IO()->Document()->InsertImpl(0, 0, "W 1");
    wrap->trigger();
    EXPECT_TRUE(wrap->isChecked());
    EXPECT_TRUE(immediate->LineWrap(immediate->IO()));
    wrap->trigger();
    EXPECT_FALSE(immediate->LineWrap(immediate->IO()));
    window->menuItem("mnuPopImmedClearAll")->trigger();
    EXPECT_EQ(immediate->IO()->Document()->GetLine(0), "");
    EXPECT_FALSE(wrap->isChecked());

    int cleared = 0;
    QList<bool> ioWraps, reportWraps;
    MainMenus::ImmediatePane pane;
    pane.clearIO = [&] { ++cleared; };
    pane.setIOWrap = [&](bool on) { ioWraps.append(on); };
    pane.setReportWrap = [&](bool on) { reportWraps.append(on); };
    menus->setImmediatePane(pane);
    window->menuItem("mnuPopImmedClearAll")->trigger();
    wrap->trigger();
    EXPECT_TRUE(wrap->isChecked());
    wrap->trigger();
    EXPECT_FALSE(wrap->isChecked());
    window->setMenuItemChecked("mnuPopReportWrap", true);
    window->menuItem("mnuPopReportWrap")->trigger();
    EXPECT_FALSE(window->menuItemChecked("mnuPopReportWrap"));
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(ioWraps, QList<bool>({true, false}));
    EXPECT_EQ(reportWraps, QList<bool>{false});
}

// A scripted font dialog: what it was asked, and its answer.
class ScriptedFontDialog : public ICommonDialogBackend
{
public:
    int chooseColor(QWidget *, quint32 &, const QList<quint32> &, int, int &) override { return 0; }
    int chooseFile(CommonDialog::FileRequest &, int &) override { return 0; }
    int print(CommonDialog::PrintRequest &, int &) override { return 0; }
    int help(QWidget *, const QString &, int) override { return 0; }
    int chooseFont(QWidget *, CommonDialog::Font &font, int flags, int &extendedError) override
    {
        asked = font;
        askedFlags = flags;
        if (result == 1)
            font = chosen;
        extendedError = error;
        return result;
    }
    int result = 0;
    int error = 0;
    CommonDialog::Font chosen;
    CommonDialog::Font asked;
    int askedFlags = 0;
};

TEST_F(MenusTest, TheFontItemAppliesTheChosenFontEverywhere)
{
    auto dialog = std::make_shared<ScriptedFontDialog>();
    CommonDialog::setBackend(dialog);
    QFont ioFont;
    MainMenus::ImmediatePane pane;
    pane.setIOFont = [&](const QFont &f) { ioFont = f; };
    menus->setImmediatePane(pane);
    auto live = open("FONT");
    auto frozenCopy = live;
    live = open("FONT");   // the same routine again: the first copy is frozen
    ASSERT_TRUE(frozenCopy->Frozen());
    const QFont start = programSettings().codeFont;

    struct Case
    {
        const char *what;
        int result;
        int error;
        int charset;            // offset from the current one
        const char *box;        // "" none
        bool applied;
    };
    const QString restart = "You need to close Vantrel and restart it before your change to the font script "
                            "will become fully effective";
    const Case cases[] = {
        {"cancelled", 0, 0, 0, "", false},
        {"failed", 2, 0x4003, 0, "Font selection error: 16387", false},
        {"chosen", 1, 0, 0, "", true},
        {"another script", 1, 0, 1, "restart", true},
    };
    int size = 14;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompt->asked.clear();
        const QFont before = programSettings().codeFont;
        const int charsetBefore = window->codeFontCharset();
        dialog->result = c.result;
        dialog->error = c.error;
        dialog->chosen = {QStringLiteral("DejaVu Sans Mono"), ++size, charsetBefore + c.charset};
        window->menuItem("mnuToolsFont")->trigger();
        EXPECT_EQ(dialog->askedFlags, 65);
        EXPECT_EQ(dialog->asked.name, before.family());
        EXPECT_EQ(dialog->asked.size, qRound(before.pointSizeF()));
        EXPECT_EQ(dialog->asked.charset, charsetBefore);
        const QString box = c.box;
        if (box.isEmpty()) {
            EXPECT_TRUE(prompt->asked.empty());
        } else {
            ASSERT_EQ(prompt->asked.size(), 1u);
            EXPECT_EQ(prompt->asked[0].text, box == "restart" ? restart : box);
            EXPECT_EQ(prompt->asked[0].icon,
                      box == "restart" ? IUserPrompt::Icon::Information : IUserPrompt::Icon::Critical);
        }
        if (c.applied) {
            EXPECT_EQ(programSettings().codeFont.pointSize(), size);
            EXPECT_EQ(window->codeFontCharset(), charsetBefore + c.charset);
            EXPECT_EQ(ioFont.pointSize(), size);
            for (const auto &doc : {live, frozenCopy})
                EXPECT_EQ(codeOf(doc)->SourceView1()->Font().pointSize(), size);
        } else {
            EXPECT_EQ(programSettings().codeFont, before);
        }
    }
    CommonDialog::setBackend(nullptr);
    programSettings().codeFont = start;
}

} // namespace

namespace {

bool selectsAll(const SourceView *view)
{
    int c1 = 0, l1 = 0, c2 = 0, l2 = 0;
    view->GetSelection(c1, l1, c2, l2);
    const SourceDocument *doc = view->Document();
    const int last = doc->NumLines() - 1;
    return std::min(l1, l2) == 0 && std::max(l1, l2) == last
           && (l1 < l2 ? c1 : c2) == 0 && (l1 < l2 ? c2 : c1) == doc->GetLine(last).size();
}


} // namespace

// The key page is checked against the program's own tables both ways: every key the
// command table and the menus answer is on the page with its command, and every key on the
// page runs what the page says where the page says (the Variables pane's keys are
// pressed in its own test, against a scripted server).
TEST_F(MenusTest, TheHelpKeyTableMatchesTheKeysTheProgramHandles)
{
    const QList<HelpKeyRow> rows = helpKeyRows();
    ASSERT_GT(rows.size(), 40);
    for (const HelpKeyRow &row : rows) {
        SCOPED_TRACE(row.keyText.toStdString());
        EXPECT_EQ(row.key.count(), 1) << "not a key";
    }

    // The command keys: each runs its command through the key table ...
    for (const HelpKeyRow &row : helpKeyRows("command")) {
        SCOPED_TRACE(row.keyText.toStdString());
        const QKeyCombination k = helpKeyCombination(row);
        QKeyEvent press(QEvent::KeyPress, k.key(), k.keyboardModifiers());
        EXPECT_EQ(frmMDI::commandForKey(&press), row.does);
    }
    // ... and every key of the table is on the page with its command.
    for (const auto &[key, id] : frmMDI::commandKeys()) {
        SCOPED_TRACE(key.toString().toStdString());
        bool listed = false;
        for (const HelpKeyRow &row : helpKeyRows("command"))
            listed = listed || (row.key == key && row.does == id);
        EXPECT_TRUE(listed) << id.toStdString();
    }
    // Every menu item with a key is on the page, as a command key or as a menu key.
    QStringList menuItems;
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->shortcut().isEmpty() || !action->objectName().startsWith("mnu"))
            continue;
        SCOPED_TRACE(action->objectName().toStdString());
        menuItems << action->objectName();
        bool listed = false;
        for (const HelpKeyRow &row : rows)
            listed = listed || ((row.table == "command" || row.table == "menu") && row.key == action->shortcut());
        EXPECT_TRUE(listed) << action->shortcut().toString().toStdString();
    }
    EXPECT_GE(menuItems.size(), 25);
    for (const HelpKeyRow &row : helpKeyRows("menu")) {
        SCOPED_TRACE(row.keyText.toStdString());
        QAction *item = window->menuItem(row.does);
        ASSERT_NE(item, nullptr) << row.does.toStdString();
        EXPECT_EQ(item->shortcut(), row.key);
    }

    // The code window's own keys, pressed in a code window with a second one beside it.
    auto other = open("OTHER");
    auto routine = open("KEYS", 1, false, "START\t; x\r\n\tS Z=$$START^OTHER\r\n\tI 1 D\r\n\t. W 1\r\n\tQ");
    frmCode *code = codeOf(routine);
    ASSERT_TRUE(waitUntil([&] { return !code->parseTimerRunning(); }, 5000));
    for (const HelpKeyRow &row : helpKeyRows("code")) {
        SCOPED_TRACE(row.keyText.toStdString());
        if (row.does == "close") {
            // A window of its own, unchanged, so that closing it asks nothing.
            auto closing = open("CLOSING");
            SourceView *view = codeOf(closing)->SourceView1();
            view->setFocus();
            // A closed routine may stay loaded, hidden, for a quick re-open: what counts is
            // the windows the user sees.
            auto shown = [&] {
                int count = 0;
                for (QMdiSubWindow *sub : window->findChild<QMdiArea *>()->subWindowList())
                    count += sub->isVisible() ? 1 : 0;
                return count;
            };
            const int windows = shown();
            const QKeyCombination k = helpKeyCombination(row);
            QTest::keyClick(view, k.key(), k.keyboardModifiers());
            closing.reset();   // the window lives as long as its routine
            EXPECT_TRUE(waitUntil([&] { return shown() == windows - 1; }, 5000));
            continue;
        }
        routine->Activate(true);
        ASSERT_TRUE(waitUntil([&] { return !code->parseTimerRunning(); }, 5000));
        SourceView *view = code->SourceView1();
        // The block commands act on the block head "\tI 1 D"; the clipboard ones on a blank
        // of the first line's comment, which stays in place whatever they do to it.
        if (row.does.startsWith("cmd:Blk"))
            view->SetSelection(1, 2, 1, 2);
        else
            view->SetSelection(7, 0, 8, 0);
        view->setFocus();
        QGuiApplication::clipboard()->setText("Z");
        window->setMState(1);
        window->cmdMgr()->refreshAll();
        const QKeyCombination k = helpKeyCombination(row);
        const int lines = view->Document()->NumLines();
        if (row.does == "carry")
            view->SetSelection(6, 3, 6, 3);   // after "\t. W 1"
        const QStringList ran = executedDuring([&] { QTest::keyClick(view, k.key(), k.keyboardModifiers()); });
        QCoreApplication::processEvents();
        if (row.does.startsWith("cmd:")) {
            EXPECT_EQ(ran, QStringList{row.does.mid(4)});
        } else if (row.does == "next" || row.does == "previous") {
            EXPECT_EQ(activeName(), "OTHER");   // two windows: next and previous are the other one
        } else if (row.does == "selectall") {
            EXPECT_TRUE(selectsAll(view));
        } else if (row.does == "jump") {
            // From the called label's place, F12 shows the label it calls.
            code->setCaret(8, 1);
            QTest::keyClick(view, k.key(), k.keyboardModifiers());
            EXPECT_EQ(activeName(), "OTHER");
        } else if (row.does == "carry") {
            ASSERT_EQ(view->Document()->NumLines(), lines + 1);
            EXPECT_EQ(view->Document()->GetLine(4), "\t. ");
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
    }

    // The Immediate pane's Execute view.
    frmImmediate *immediate = window->immediatePane();
    for (const HelpKeyRow &row : helpKeyRows("immediate")) {
        SCOPED_TRACE(row.keyText.toStdString());
        routine->Activate(true);
        immediate->ShowExecute();
        SourceView *io = immediate->IO();
        io->Document()->SetText("");
        io->Document()->InsertImpl(0, 0, "W 2");
        io->SetSelection(0, 0, 3, 0);
        io->setFocus();
        QCoreApplication::processEvents();
        QGuiApplication::clipboard()->setText("W 1");
        window->setMState(1);
        window->cmdMgr()->refreshAll();
        const QKeyCombination k = helpKeyCombination(row);
        auto press = [&] { return executedDuring([&] { QTest::keyClick(io, k.key(), k.keyboardModifiers()); }); };
        if (row.does.startsWith("cmd:")) {
            EXPECT_EQ(press(), QStringList{row.does.mid(4)});
        } else if (row.does == "next" || row.does == "previous") {
            press();
            EXPECT_EQ(activeName(), "OTHER");
        } else if (row.does == "selectall") {
            io->Document()->InsertImpl(3, 0, "\rW 3");
            press();
            EXPECT_TRUE(selectsAll(io));
        } else if (row.does == "newline") {
            io->SetSelection(3, 0, 3, 0);
            press();
            EXPECT_EQ(io->Document()->NumLines(), 2);
        } else if (row.does == "execute") {
            // Without a session link nothing can run, but Enter takes the line as a command
            // and opens the next line, where the output would go.
            io->SetSelection(3, 0, 3, 0);
            press();
            EXPECT_EQ(io->Document()->NumLines(), 2);
            EXPECT_EQ(io->CaretLine(), 1);
        } else if (row.does == "recall") {
            io->SetSelection(3, 0, 3, 0);
            QTest::keyClick(io, Qt::Key_Return);
            QTest::keyClicks(io, "W 3");
            QTest::keyClick(io, Qt::Key_Return);
            press();
            EXPECT_EQ(io->Document()->GetLine(io->CaretLine()), "W 3");
            // Up again with Ctrl still held (no new press of Ctrl itself): the one before.
            QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
            QApplication::sendEvent(io, &up);
            EXPECT_EQ(io->Document()->GetLine(io->CaretLine()), "W 2");
        } else if (row.does == "hide") {
            press();
            QCoreApplication::processEvents();
            EXPECT_FALSE(immediate->isVisible());
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
    }

    // The breakpoint list.
    frmBreakpoints *pane = window->breakpointsPane();
    GridControl *grid = pane->bpGrid();
    // One enabled breakpoint at START^KEYS above the entry row.
    auto setBreakpoint = [&] {
        auto bp = std::make_shared<Breakpoint>();
        bp->Line = "START";
        bp->Rtn = "KEYS";
        bp->Env = "USER";
        bp->Enabled = true;
        pane->SetBP(bp);
    };
    // Back to the entry row alone, deleting as a user does.
    auto clearBreakpoints = [&] {
        for (int count = grid->rowCount(); count > 1; count = grid->rowCount()) {
            grid->clearSelection();
            grid->topLevelItem(0)->setSelected(true);
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_Delete);
            ASSERT_LT(grid->rowCount(), count);
        }
    };
    for (const HelpKeyRow &row : helpKeyRows("breakpoints")) {
        SCOPED_TRACE(row.keyText.toStdString());
        pane->ShowMe();
        if (grid->editor())
            grid->endEdit(false, true);
        setBreakpoint();
        QCoreApplication::processEvents();
        const int rowsBefore = grid->rowCount();
        grid->setFocus();
        grid->setCurrentRowIndex(0);
        grid->clearSelection();
        grid->topLevelItem(0)->setSelected(true);
        const QKeyCombination k = helpKeyCombination(row);
        QTest::keyClick(grid, k.key(), k.keyboardModifiers());
        QCoreApplication::processEvents();
        if (row.does == "toggle") {
            EXPECT_EQ(grid->number(0, 0), 0);
        } else if (row.does == "delete") {
            EXPECT_EQ(grid->rowCount(), rowsBefore - 1);
        } else if (row.does == "insert") {
            EXPECT_EQ(grid->rowCount(), rowsBefore + 1);
        } else if (row.does == "edit") {
            EXPECT_NE(grid->editor(), nullptr);
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
        if (grid->editor())
            grid->endEdit(false, true);
        clearBreakpoints();
    }

    // The keys of a breakpoint cell being edited, each from a fresh edit of the first row
    // (or, for Up, of the entry row below it).
    for (const HelpKeyRow &row : helpKeyRows("celledit")) {
        SCOPED_TRACE(row.keyText.toStdString());
        pane->ShowMe();
        setBreakpoint();
        QCoreApplication::processEvents();
        ASSERT_EQ(grid->rowCount(), 2);
        const int from = row.does == "up" ? 1 : 0;
        grid->setFocus();
        grid->setCurrentRowIndex(from);
        grid->clearSelection();
        grid->topLevelItem(from)->setSelected(true);
        QTest::keyClick(grid, Qt::Key_Return);
        QCoreApplication::processEvents();   // the editor opens once the key is done
        ASSERT_TRUE(grid->isEditing());
        const int column = grid->editColumn();
        QKeyCombination k = helpKeyCombination(row);
        // Shift+Tab reaches a widget as Backtab.
        if (k.key() == Qt::Key_Tab && k.keyboardModifiers() == Qt::ShiftModifier)
            k = QKeyCombination(Qt::ShiftModifier, Qt::Key_Backtab);
        QTest::keyClick(QApplication::focusWidget(), k.key(), k.keyboardModifiers());
        QCoreApplication::processEvents();
        if (row.does == "commit" || row.does == "cancel") {
            EXPECT_FALSE(grid->isEditing());
            EXPECT_EQ(grid->rowCount(), 2);
        } else if (row.does == "next" || row.does == "previous") {
            ASSERT_TRUE(grid->isEditing());
            EXPECT_EQ(grid->editRow(), 0);
            EXPECT_NE(grid->editColumn(), column);
            EXPECT_EQ(grid->header()->visualIndex(grid->editColumn()),
                      row.does == "next" ? grid->header()->visualIndex(column) + 1 : grid->columnCount() - 1);
        } else if (row.does == "up" || row.does == "down") {
            ASSERT_TRUE(grid->isEditing());
            EXPECT_EQ(grid->editRow(), row.does == "up" ? 0 : 1);
            EXPECT_EQ(grid->editColumn(), column);
        } else if (row.does == "insert") {
            EXPECT_EQ(grid->rowCount(), 3);
            EXPECT_TRUE(grid->isEditing());
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
        if (grid->isEditing())
            grid->endEdit(false, true);
        QCoreApplication::processEvents();
        clearBreakpoints();
    }

    // The rest: Ctrl+F4 in each docked pane's list, F5 in the Attach dialog.
    for (const HelpKeyRow &row : helpKeyRows("other")) {
        SCOPED_TRACE(row.keyText.toStdString());
        const QKeyCombination k = helpKeyCombination(row);
        if (row.does == "hide") {
            struct Pane
            {
                QWidget *form;
                std::function<void()> show;
                std::function<QWidget *()> list;
            };
            const Pane panes[] = {
                {window->stackPane(), [&] { window->stackPane()->ShowMe(); }, [&] { return window->stackPane()->Stack(); }},
                {window->varsPane(), [&] { window->varsPane()->ShowMe(); },
                 [&] { return static_cast<QWidget *>(window->varsPane()->SelectedList()); }},
                {pane, [&] { pane->ShowMe(); }, [&] { return static_cast<QWidget *>(grid); }},
            };
            for (const Pane &p : panes) {
                p.show();
                QCoreApplication::processEvents();
                ASSERT_TRUE(p.form->isVisible());
                p.list()->setFocus();
                QTest::keyClick(p.list(), k.key(), k.keyboardModifiers());
                QCoreApplication::processEvents();
                EXPECT_FALSE(p.form->isVisible()) << p.form->objectName().toStdString();
            }
        } else if (row.does == "attach-refresh") {
            bool found = false;
            for (const QShortcut *shortcut : window->attachDialog()->findChildren<QShortcut *>())
                found = found || shortcut->key() == row.key;
            EXPECT_TRUE(found);
        } else {
            ADD_FAILURE() << "unknown action " << row.does.toStdString();
        }
    }
}

// Collapse All pressed at once after a long routine opens folds every block down to the
// last line, not only those the background parse has reached; the parse then is over.
TEST_F(MenusTest, CollapseAllRightAfterOpeningALongRoutineFoldsEveryBlock)
{
    constexpr int Units = 1000;   // 5 lines each: a header, two dotted lines, two plain
    QStringList lines;
    for (int i = 0; i < Units; ++i)
        lines << QStringLiteral("L%1\tI X D").arg(i) << "\t. S Y=1" << "\t. W Y" << "\tS Z=2" << "\tQ";
    auto routine = open("LONG", 1, false, lines.join("\r\n"));
    frmCode *code = codeOf(routine);
    ASSERT_TRUE(code->CodeCollapsing());
    SourceDocument *doc = code->SourceView1()->Document();
    ASSERT_EQ(doc->NumLines(), 5 * Units);

    QWidget *button = window->cmdMgr()->command("BlkCollapseAll")->uiObjects().first()->widget();
    ASSERT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);

    for (int i = 0; i < Units; ++i) {
        const int header = 5 * i;
        ASSERT_TRUE(doc->GetLineData(header, LineData::kControlSlot) & LineData::kBlockCollapsed) << header;
        ASSERT_FALSE(doc->isLineHidden(header)) << header;
        ASSERT_TRUE(doc->isLineHidden(header + 1)) << header + 1;
        ASSERT_TRUE(doc->isLineHidden(header + 2)) << header + 2;
        ASSERT_FALSE(doc->isLineHidden(header + 3)) << header + 3;
    }
    EXPECT_TRUE(routine->lexer()->queuedLines().empty());
    EXPECT_FALSE(code->parseTimerRunning());
}
