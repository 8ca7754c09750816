#include "mainmenus.h"

#include "activeeditordocument.h"
#include "codeicons.h"
#include "command.h"
#include "commandmanager.h"
#include "commondialog.h"
#include "frmabout.h"
#include "frmcode.h"
#include "frmfileopen.h"
#include "frmguide.h"
#include "frmmdi.h"
#include "frmundolist.h"
#include "mdihost.h"
#include "modfileopen.h"
#include "modhtmlhelp.h"
#include "msgbox.h"
#include "navigationhistory.h"
#include "programsettings.h"
#include "routine.h"
#include "routinenavigator.h"
#include "routines.h"
#include "sources.h"
#include "toolbarcustomizedialog.h"
#include "userprompt.h"
#include "vantrelerror.h"
#include "windowarrangement.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <algorithm>

namespace {

constexpr const char *TagProperty = "tag";

QString indexedName(const char *array, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(index);
}

std::shared_ptr<Routine> activeRoutine()
{
    return Routine::from(Routines::instance().Active());
}

frmCode *codeWindowOf(const std::shared_ptr<Routine> &routine)
{
    return routine ? dynamic_cast<frmCode *>(routine->Window()) : nullptr;
}

// No exception may leave a menu handler: Qt's event loop cannot take it.
void guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const VantrelError &e) {
        tellUser(e.text(), QString(), IUserPrompt::Icon::Critical);
    } catch (const std::exception &e) {
        qWarning("menu item failed: %s", e.what());
    }
}

QIcon marginIcon(const char *picture)
{
    return QIcon(QStringLiteral(":/margin/") + QLatin1String(picture));
}

} // namespace

MainMenus::MainMenus(frmMDI &window) : QObject(&window), m_window(window)
{
    buildFile();
    buildServer();
    buildDebug();
    buildEdit();
    buildView();
    buildToolsWindowHelp();
    buildPopUps();
}

MainMenus::~MainMenus() = default;

QAction *MainMenus::item(const QString &name) const
{
    return m_items.value(name);
}

QMenu *MainMenus::menu(const QString &name) const
{
    return m_menus.value(name);
}

QString MainMenus::tag(const QAction *item)
{
    return item ? item->property(TagProperty).toString() : QString();
}

void MainMenus::setTag(QAction *item, const QString &tag)
{
    if (item)
        item->setProperty(TagProperty, tag);
}

// --- building ------------------------------------------------------------------------------

QMenu *MainMenus::topMenu(const char *name, const QString &caption)
{
    return fileMenu(m_window.menuBar()->addMenu(caption), name);
}

QMenu *MainMenus::subMenu(QMenu *parent, const char *name, const QString &caption)
{
    return fileMenu(parent->addMenu(caption), name);
}

QMenu *MainMenus::fileMenu(QMenu *menu, const char *name)
{
    menu->setObjectName(QLatin1String(name));
    m_menus.insert(QLatin1String(name), menu);
    m_items.insert(QLatin1String(name), menu->menuAction());
    m_names.append(QLatin1String(name));
    // The bound items show their commands' enabled state only while the menu is open.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { showBoundEnabled(menu); });
    connect(menu, &QMenu::aboutToHide, this, [this, menu] { enableBound(menu); });
    return menu;
}

QMenu *MainMenus::popUpMenu(const char *name, const QString &caption)
{
    // Never in the bar: a pop-up of the window, shown by the code window or the pane.
    auto *menu = new QMenu(caption, &m_window);
    menu->setObjectName(QLatin1String(name));
    m_popUps.insert(menu);
    m_menus.insert(QLatin1String(name), menu);
    m_items.insert(QLatin1String(name), menu->menuAction());
    m_names.append(QLatin1String(name));
    return menu;
}

QAction *MainMenus::add(QMenu *menu, const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(name);
    menu->addAction(action);
    m_items.insert(name, action);
    m_names.append(name);
    return action;
}

QAction *MainMenus::separator(QMenu *menu, const QString &name)
{
    // A separator is an item too, so that the windows can hide it by name.
    QAction *action = add(menu, name, QString());
    action->setSeparator(true);
    return action;
}

void MainMenus::bind(QAction *item, const QString &name, const char *command, bool mirrorState)
{
    const QString id = QLatin1String(command);
    m_bindings.insert(name, id);
    Command *cmd = m_window.cmdMgr()->command(id);
    if (!cmd)
        return;
    item->setIcon(cmd->icon());
    if (!mirrorState)
        return;
    if (auto *menu = qobject_cast<QMenu *>(item->parent()))
        m_mirrored[menu].append(item);
    if (cmd->style() == Command::PressStyle) {
        // The item shows the command pressed as its picture framed, or as a tick. An item
        // without a picture is checkable only while pressed: a checkable item shows an
        // empty box in the picture's place, which reads as an unticked check box.
        const auto showState = [item, cmd] {
            const bool pressed = cmd->stateValue() == 1;
            item->setCheckable(pressed || !cmd->icon().isNull());
            item->setChecked(pressed);
        };
        showState();
        connect(cmd, &Command::changed, item, showState);
        // Qt flips a checkable item when it is chosen; the command's state is what shows.
        // Connected after the item's handler, so it runs once the command has run.
        connect(item, &QAction::triggered, item, showState);
    }
}

QAction *MainMenus::gated(QMenu *menu, const char *name, const QString &caption, const QKeySequence &keys,
                          const char *command, Run run)
{
    QAction *action = add(menu, QLatin1String(name), caption);
    action->setShortcut(keys);
    const QString id = QLatin1String(command);
    connect(action, &QAction::triggered, this, [this, id, run] {
        if (!m_window.CommandsBlocked())
            runCommand(id, run);
    });
    bind(action, QLatin1String(name), command, true);
    return action;
}

QAction *MainMenus::bound(QMenu *menu, const char *name, const QString &caption, const char *command,
                          const QKeySequence &keys)
{
    QAction *action = add(menu, QLatin1String(name), caption);
    action->setShortcut(keys);
    const QString id = QLatin1String(command);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id, Run::Plain); });
    // Only the menu bar's items mirror their commands; the windows prepare the pop-ups.
    bind(action, QLatin1String(name), command, !m_popUps.contains(menu));
    return action;
}

QAction *MainMenus::own(QMenu *menu, const char *name, const QString &caption, std::function<void()> handler)
{
    QAction *action = add(menu, QLatin1String(name), caption);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { guarded(handler); });
    return action;
}

void MainMenus::runCommand(const QString &id, Run run)
{
    CommandManager *manager = m_window.cmdMgr();
    Command *cmd = manager ? manager->command(id) : nullptr;
    if (!cmd)
        return;
    guarded([&] {
        manager->refresh(*cmd);
        if (run == Run::Pressed)
            cmd->setStateValue(1);
        manager->execute(*cmd);
    });
}

void MainMenus::buildFile()
{
    QMenu *file = topMenu("mnuFile", QStringLiteral("&File"));
    gated(file, "mnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N), "FlNew");
    gated(file, "mnuFileOpen", QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O), "FlOpen");
    own(file, "mnuFileClose", QStringLiteral("&Close"), [] {
        if (frmCode *code = codeWindowOf(activeRoutine()))
            code->CloseButton();
    });
    separator(file, QStringLiteral("mnuFileSep1"));
    gated(file, "mnuFileSave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S), "FlSave");
    bound(file, "mnuFileSaveAs", QStringLiteral("Save &As..."), "FlSaveAs", {});
    bound(file, "mnuFileSaveAll", QStringLiteral("Save A&ll"), "FlSaveAll", {});
    separator(file, QStringLiteral("mnuFileSep2"));
    gated(file, "mnuFilePrint", QStringLiteral("&Print..."), QKeySequence(Qt::CTRL | Qt::Key_P), "FlPrint");
    // Element 0 separates the recent items from the rest and shows only with them.
    QAction *mru = separator(file, indexedName("mnuFileRecent", 0));
    mru->setVisible(false);
    m_recent.append(mru);
    for (int i = 1; i <= 9; ++i) {
        QAction *recent = add(file, indexedName("mnuFileRecent", i), QString());
        recent->setVisible(false);
        connect(recent, &QAction::triggered, this, [this, recent] { guarded([&] { openRecent(recent); }); });
        m_recent.append(recent);
    }
    separator(file, QStringLiteral("mnuFileSep3"));
    own(file, "mnuFileExit", QStringLiteral("E&xit"), [this] { m_window.close(); });
    connect(file, &QMenu::aboutToShow, this, &MainMenus::mnuFile_Drop);
}

void MainMenus::buildServer()
{
    QMenu *server = topMenu("mnuServer", QStringLiteral("&Server"));
    bound(server, "mnuServerConnect", QStringLiteral("&Connect..."), "DbgConnect", {});
    bound(server, "mnuDebugAttach", QStringLiteral("&Attach..."), "DbgAttach", {});
    bound(server, "mnuServerDisconnect", QStringLiteral("&Disconnect"), "DbgDisconnect", {});
}

void MainMenus::buildDebug()
{
    QMenu *debug = topMenu("mnuDebug", QStringLiteral("&Debug"));
    gated(debug, "mnuDebugGoFast", QStringLiteral("&Fast Forward"), QKeySequence(Qt::SHIFT | Qt::Key_F5),
          "DbgGoFast", Run::Pressed);
    gated(debug, "mnuDebugGo", QStringLiteral("&Go"), QKeySequence(Qt::Key_F5), "DbgGo", Run::Pressed);
    bound(debug, "mnuDebugBreak", QStringLiteral("&Break"), "DbgBreak", {});
    gated(debug, "mnuDebugStepIn", QStringLiteral("Step &Into"), QKeySequence(Qt::Key_F8), "DbgStepIn",
          Run::Pressed);
    gated(debug, "mnuDebugStepOver", QStringLiteral("Step &Over"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
          "DbgStepOver", Run::Pressed);
    gated(debug, "mnuDebugStepOut", QStringLiteral("Step O&ut"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8),
          "DbgStepOut", Run::Pressed);
    gated(debug, "mnuDebugRunTo", QStringLiteral("&Run to Cursor Line"), QKeySequence(Qt::CTRL | Qt::Key_F8),
          "DbgRunTo", Run::Pressed);
    separator(debug, QStringLiteral("mnuDebugSep1"));
    gated(debug, "mnuDebugToggle", QStringLiteral("&Toggle Breakpoint"), QKeySequence(Qt::Key_F9), "DbgToggle");
    separator(debug, QStringLiteral("mnuDebugSep2"));
    bound(debug, "mnuDebugBonE", QStringLiteral("Break on &Error"), "DbgBonE", QKeySequence(Qt::SHIFT | Qt::Key_F7));
    gated(debug, "mnuDebugLinewise", QStringLiteral("&Linewise Stepping"), QKeySequence(Qt::Key_F7),
          "DbgLinewise");
}

void MainMenus::buildEdit()
{
    QMenu *edit = topMenu("mnuEdit", QStringLiteral("&Edit"));
    gated(edit, "mnuEditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), "EdUndo");
    bound(edit, "mnuEditRedo", QStringLiteral("R&edo"), "EdRedo", {});
    separator(edit, QStringLiteral("mnuEditSep1"));
    gated(edit, "mnuEditCut", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), "EdCut");
    gated(edit, "mnuEditCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), "EdCopy");
    gated(edit, "mnuEditPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), "EdPaste");
    gated(edit, "mnuEditDelete", QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete), "EdDelete");
    separator(edit, QStringLiteral("mnuEditSep2"));
    gated(edit, "mnuEditFind", QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F), "EdFind");
    gated(edit, "mnuEditFindNext", QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), "EdFindNext");
    gated(edit, "mnuEditReplace", QStringLiteral("&Replace..."), QKeySequence(Qt::CTRL | Qt::Key_H), "EdReplace");
    separator(edit, QStringLiteral("mnuEditSep3"));
    gated(edit, "mnuEditGoto", QStringLiteral("&Go to Line..."), QKeySequence(Qt::CTRL | Qt::Key_G), "EdGoto");
    QAction *jump = own(edit, "mnuEditJump", QStringLiteral("&Jump to Target"), [this] {
        // A stale F12 after the target went away does nothing.
        QAction *self = item(QStringLiteral("mnuEditJump"));
        if (!self->isEnabled())
            return;
        m_window.ShowAtTag(tag(self), true, false);
        self->setEnabled(false);
    });
    jump->setShortcut(QKeySequence(Qt::Key_F12));
    jump->setEnabled(false);
    QAction *back = own(edit, "mnuEditBack", QStringLiteral("B&ack"), [this] {
        const NavigationHistory &history = m_window.navigator()->history();
        if (!history.isEmpty())
            goBack(history.newest().text);
    });
    back->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F12));
    separator(edit, QStringLiteral("mnuEditSep4"));

    QMenu *bookmarks = subMenu(edit, "mnuEditBmk", QStringLiteral("&Bookmarks"));
    gated(bookmarks, "mnuEditBmkToggle", QStringLiteral("&Toggle"), QKeySequence(Qt::CTRL | Qt::Key_F2), "BmkToggle");
    separator(bookmarks, QStringLiteral("mnuEditBmkSep1"));
    bound(bookmarks, "mnuEditBmkFirst", QStringLiteral("&First"), "BmkFirst", {});
    gated(bookmarks, "mnuEditBmkNext", QStringLiteral("&Next"), QKeySequence(Qt::Key_F2), "BmkNext");
    gated(bookmarks, "mnuEditBmkPrevious", QStringLiteral("&Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F2),
          "BmkPrevious");
    bound(bookmarks, "mnuEditBmkLast", QStringLiteral("&Last"), "BmkLast", {});
    separator(bookmarks, QStringLiteral("mnuEditBmkSep2"));
    gated(bookmarks, "mnuEditBmkClearAll", QStringLiteral("&Clear All"),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F2), "BmkClearAll");

    QMenu *blocks = subMenu(edit, "mnuEditBlk", QStringLiteral("Bloc&ks"));
    bound(blocks, "mnuEditBlkCollapse", QStringLiteral("&Collapse Current"), "BlkCollapse", {});
    bound(blocks, "mnuEditBlkExpand", QStringLiteral("&Expand Current"), "BlkExpand", {});
    bound(blocks, "mnuEditBlkCollapseAll", QStringLiteral("C&ollapse All"), "BlkCollapseAll", {});
    bound(blocks, "mnuEditBlkExpandAll", QStringLiteral("E&xpand All"), "BlkExpandAll", {});

    connect(edit, &QMenu::aboutToShow, this, &MainMenus::mnuEdit_Drop);
    connect(blocks, &QMenu::aboutToShow, this, &MainMenus::mnuEditBlk_Drop);
}

void MainMenus::buildView()
{
    QMenu *view = topMenu("mnuView", QStringLiteral("&View"));
    // In front of the first item, or Alt+V, I would not reach "Immediate Window".
    separator(view, QStringLiteral("mnuViewSepRequiredToMakeAltVIwork"));
    bound(view, "mnuViewImmediate", QStringLiteral("&Immediate Window"), "VwImmediate", {});
    bound(view, "mnuViewStack", QStringLiteral("&Stack"), "VwStack", {});
    bound(view, "mnuViewVars", QStringLiteral("&Variables"), "VwVars", {});
    bound(view, "mnuViewBPs", QStringLiteral("&Breakpoints"), "VwBPs", {});
    separator(view, QStringLiteral("mnuViewSep1"));
    QAction *code = own(view, "mnuViewCode", QStringLiteral("&Code"), [] {
        if (auto routine = activeRoutine())
            routine->Activate(true);
    });
    code->setIcon(CodeIcons::icon(CodeIcons::number(0, 1, true)));

    // The three ticks are settings of the window; a choice toggles the active routine's
    // view, which ticks the item back through the window.
    struct Toggle
    {
        const char *name;
        const char *caption;
        bool (Routine::*get)() const;
        void (Routine::*set)(bool);
    };
    const Toggle toggles[] = {
        {"mnuViewWrap", "&Wrap Lines", &Routine::LineWrap, &Routine::setLineWrap},
        {"mnuViewRich", "&Rich Source", &Routine::RichSource, &Routine::setRichSource},
        {"mnuViewBlocks", "C&ollapsible Blocks", &Routine::CodeCollapsing, &Routine::setCodeCollapsing},
    };
    for (const Toggle &t : toggles) {
        const QString name = QLatin1String(t.name);
        QAction *action = own(view, t.name, QLatin1String(t.caption), [this, name, t] {
            if (auto routine = activeRoutine())
                ((*routine).*(t.set))(!((*routine).*(t.get))());
            item(name)->setChecked(m_window.menuItemChecked(name));
        });
        action->setCheckable(true);
        action->setChecked(m_window.menuItemChecked(name));
        action->setEnabled(false);
    }
    separator(view, QStringLiteral("mnuViewSep2"));

    QMenu *toolbars = subMenu(view, "mnuViewToolbars", QStringLiteral("&Toolbars"));
    QAction *first = add(toolbars, indexedName("mnuViewTBList", 1), QStringLiteral("?"));
    first->setCheckable(true);
    m_toolBarItems.append(first);
    connect(first, &QAction::triggered, this, [this] {
        const QList<QToolBar *> bars = m_window.cmdMgr()->toolBars();
        if (!bars.isEmpty())
            bars.first()->setVisible(bars.first()->isHidden());
    });
    separator(toolbars, QStringLiteral("mnuViewTBSep1"));
    own(toolbars, "mnuViewTBCustomize", QStringLiteral("&Customize..."), [this] {
        ToolbarCustomizeDialog *dialog = customizeDialog();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    connect(view, &QMenu::aboutToShow, this, &MainMenus::mnuView_Drop);
}

void MainMenus::buildToolsWindowHelp()
{
    QMenu *tools = topMenu("mnuTools", QStringLiteral("&Tools"));
    own(tools, "mnuToolsFont", QStringLiteral("&Font..."), [this] { chooseCodeFont(); });

    QMenu *window = topMenu("mnuWindow", QStringLiteral("&Window"));
    own(window, "mnuWindowTileH", QStringLiteral("Tile &Horizontally "), [this] { tileHorizontally(); });
    own(window, "mnuWindowTileV", QStringLiteral("Tile &Vertically"), [this] { tileVertically(); });
    own(window, "mnuWindowCascade", QStringLiteral("&Cascade"), [this] { cascade(); });
    own(window, "mnuWindowArrange", QStringLiteral("&Arrange Icons"), [this] { arrangeIcons(); });
    connect(window, &QMenu::aboutToShow, this, &MainMenus::mnuWindow_Drop);

    // A tip left up would sit over the help, the guide or the About box.
    QMenu *help = topMenu("mnuHelp", QStringLiteral("&Help"));
    own(help, "mnuHelpContents", QStringLiteral("&Contents..."), [this] {
        m_window.ClearAllTips();
        modHTMLHelp::ShowHelpContents(1, QString());
    });
    own(help, "mnuHelpGuide", QStringLiteral("&Task Guide"), [this] {
        m_window.ClearAllTips();
        frmGuide::showModal(&m_window);
    });
    separator(help, QStringLiteral("mnuHelpSep1"));
    own(help, "mnuHelpAbout", QStringLiteral("&About Vantrel..."), [this] {
        m_window.ClearAllTips();
        frmAbout about(&m_window);
        runModal(&about);
    });
}

void MainMenus::buildPopUps()
{
    QMenu *redo = popUpMenu("mnuRedo", QStringLiteral("(RedoCommands)"));
    own(redo, "mnuRedoOne", QStringLiteral("One"), [this] { runCommand(QStringLiteral("EdRedo"), Run::Plain); });
    own(redo, "mnuRedoAll", QStringLiteral("All"), [this] { redoAll(); });

    QMenu *code = popUpMenu("mnuPopCode", QStringLiteral("(Pop for Code)"));
    bound(code, "mnuPopCodeRunTo", QStringLiteral("&Run to Line"), "DbgRunTo", {});
    // The breakpoint items act on the line and command the code window described when it
    // prepared the menu, not on the caret, which a right-click in a selection leaves elsewhere.
    auto toggle = [this] {
        if (frmCode *owner = popUpCodeWindow())
            owner->PopupToggleBreakpoint();
    };
    auto toggleState = [this] {
        if (frmCode *owner = popUpCodeWindow())
            owner->PopupToggleBreakpointState();
    };
    own(code, "mnuPopCodeBPSet", QStringLiteral("Set &Breakpoint"), toggle)->setIcon(marginIcon("Break.png"));
    own(code, "mnuPopCodeBPClr", QStringLiteral("Remove &Breakpoint"), toggle)->setIcon(marginIcon("Break.png"));
    own(code, "mnuPopCodeBPEna", QStringLiteral("&Enable Breakpoint"), toggleState)->setIcon(marginIcon("Break.png"));
    own(code, "mnuPopCodeBPDis", QStringLiteral("&Disable Breakpoint"), toggleState)
        ->setIcon(marginIcon("BreakDisabled.png"));
    separator(code, QStringLiteral("mnuPopCodeSep1"));
    own(code, "mnuPopCodeGoto", QStringLiteral("&Show Code at tag[^rtn]"), [this] {
        m_window.ShowAtTag(tag(item(QStringLiteral("mnuPopCodeGoto"))), true, false);
    });
    own(code, "mnuPopCodeGoEdit", QStringLiteral("Ed&it Code at Target"), [this] {
        m_window.ShowAtTag(tag(item(QStringLiteral("mnuPopCodeGoto"))), true, true);
    });
    own(code, "mnuPopCodeGoBack", QStringLiteral("B&ack to Code at tag[^rtn]"), [this] {
        goBack(tag(item(QStringLiteral("mnuPopCodeGoBack"))));
    });
    separator(code, QStringLiteral("mnuPopCodeSep2"));
    bound(code, "mnuPopCodeCut", QStringLiteral("Cu&t"), "EdCut", {});
    bound(code, "mnuPopCodeCopy", QStringLiteral("&Copy"), "EdCopy", {});
    bound(code, "mnuPopCodePaste", QStringLiteral("&Paste"), "EdPaste", {});
    separator(code, QStringLiteral("mnuPopCodeSep3"));
    bound(code, "mnuPopCodeBlkCollapse", QStringLiteral("C&ollapse Block"), "BlkCollapse", {});
    bound(code, "mnuPopCodeBlkExpand", QStringLiteral("E&xpand Block"), "BlkExpand", {});
    bound(code, "mnuPopCodeBlkCollapseAll", QStringLiteral("Collapse All"), "BlkCollapseAll", {});
    bound(code, "mnuPopCodeBlkExpandAll", QStringLiteral("Expand All"), "BlkExpandAll", {});
    connect(code, &QMenu::aboutToShow, this, &MainMenus::mnuPopCode_Drop);

    QMenu *margin = popUpMenu("mnuPopCMgn", QStringLiteral("(Pop for Code Margin)"));
    QAction *breakpoint = own(margin, "mnuPopCMgnBP", QStringLiteral("&Breakpoint      "), toggle);
    m_bindings.insert(QStringLiteral("mnuPopCMgnBP"), QStringLiteral("DbgToggle"));
    if (Command *cmd = m_window.cmdMgr()->command(QStringLiteral("DbgToggle")))
        breakpoint->setIcon(cmd->icon());
    breakpoint->setCheckable(true);
    bound(margin, "mnuPopCMgnBM", QStringLiteral("Book&mark"), "BmkToggle", {})->setCheckable(true);

    QMenu *immediate = popUpMenu("mnuPopImmed", QStringLiteral("(Pop for Immediate)"));
    bound(immediate, "mnuPopImmedCut", QStringLiteral("Cu&t"), "EdCut", {});
    bound(immediate, "mnuPopImmedCopy", QStringLiteral("&Copy"), "EdCopy", {});
    bound(immediate, "mnuPopImmedPaste", QStringLiteral("&Paste   "), "EdPaste", {});
    separator(immediate, QStringLiteral("mnuPopImmedSep1"));
    own(immediate, "mnuPopImmedClearAll", QStringLiteral("Clear &All"), [this] {
        if (m_immediate.clearIO)
            m_immediate.clearIO();
    });
    separator(immediate, QStringLiteral("mnuPopImmedSep2"));
    own(immediate, "mnuPopImmedWrap", QStringLiteral("&Wrap Lines"),
        [this] { toggleImmediateWrap("mnuPopImmedWrap", m_immediate.setIOWrap); })
        ->setCheckable(true);

    QMenu *report = popUpMenu("mnuPopReport", QStringLiteral("(Pop for Report)"));
    bound(report, "mnuPopReportCopy", QStringLiteral("&Copy "), "EdCopy", {});
    separator(report, QStringLiteral("mnuPopReportSep1"));
    own(report, "mnuPopReportWrap", QStringLiteral("&Wrap Lines"),
        [this] { toggleImmediateWrap("mnuPopReportWrap", m_immediate.setReportWrap); })
        ->setCheckable(true);
}

// --- drop-down handlers ----------------------------------------------------------------------

void MainMenus::showBoundEnabled(QMenu *menu)
{
    CommandManager *manager = m_window.cmdMgr();
    for (QAction *action : m_mirrored.value(menu)) {
        if (Command *cmd = manager->command(m_bindings.value(action->objectName()))) {
            manager->refresh(*cmd);
            action->setEnabled(cmd->enabled());
        }
    }
}

void MainMenus::enableBound(QMenu *menu)
{
    for (QAction *action : m_mirrored.value(menu))
        action->setEnabled(true);
}

void MainMenus::mnuFile_Drop()
{
    item(QStringLiteral("mnuFileClose"))->setEnabled(activeRoutine() != nullptr);
    const bool busy = m_window.MBusy();
    for (int i = 1; i < m_recent.size(); ++i)
        m_recent[i]->setEnabled(!busy);
}

void MainMenus::mnuEdit_Drop()
{
    QString target, display;
    if (frmCode *code = codeWindowOf(activeRoutine()))
        code->JumpTarget(target, display, 0, 0);
    QAction *jump = item(QStringLiteral("mnuEditJump"));
    if (target.isEmpty()) {
        jump->setEnabled(false);
    } else {
        setTag(jump, target);
        jump->setEnabled(true);
    }
    item(QStringLiteral("mnuEditBack"))->setEnabled(!m_window.navigator()->history().isEmpty());
}

void MainMenus::mnuEditBlk_Drop()
{
    // The part after the tab shows where a shortcut would: the keys are the code window's.
    item(QStringLiteral("mnuEditBlkCollapse"))->setText(QStringLiteral("  &Collapse Current\tCtrl+'-'"));
    item(QStringLiteral("mnuEditBlkExpand"))->setText(QStringLiteral("  &Expand Current\tCtrl+'+'"));
    item(QStringLiteral("mnuEditBlkCollapseAll"))->setText(QStringLiteral("  C&ollapse All"));
    item(QStringLiteral("mnuEditBlkExpandAll"))->setText(QStringLiteral("  E&xpand All"));
}

void MainMenus::mnuView_Drop()
{
    QMenu *toolbars = menu(QStringLiteral("mnuViewToolbars"));
    QAction *tbSeparator = item(QStringLiteral("mnuViewTBSep1"));
    const QList<QToolBar *> bars = m_window.cmdMgr()->toolBars();
    for (int i = 0; i < bars.size(); ++i) {
        if (i >= m_toolBarItems.size()) {
            auto *entry = new QAction(toolbars);
            const QString name = indexedName("mnuViewTBList", i + 1);
            entry->setObjectName(name);
            entry->setCheckable(true);
            toolbars->insertAction(tbSeparator, entry);
            m_items.insert(name, entry);
            m_names.append(name);
            m_toolBarItems.append(entry);
            connect(entry, &QAction::triggered, this, [this, i] {
                const QList<QToolBar *> live = m_window.cmdMgr()->toolBars();
                if (i < live.size())
                    live[i]->setVisible(live[i]->isHidden());
            });
        }
        QAction *entry = m_toolBarItems[i];
        entry->setText(bars[i]->windowTitle());
        // Not isVisible(): that is False for every bar while the main window is hidden.
        entry->setChecked(!bars[i]->isHidden());
        entry->setVisible(true);
    }
    for (int i = int(bars.size()); i < m_toolBarItems.size(); ++i)
        m_toolBarItems[i]->setVisible(false);
    tbSeparator->setVisible(!bars.isEmpty());

    const auto routine = activeRoutine();
    QAction *code = item(QStringLiteral("mnuViewCode"));
    QAction *wrap = item(QStringLiteral("mnuViewWrap"));
    QAction *rich = item(QStringLiteral("mnuViewRich"));
    QAction *blocks = item(QStringLiteral("mnuViewBlocks"));
    for (QAction *tick : {wrap, rich, blocks})
        tick->setChecked(m_window.menuItemChecked(tick->objectName()));
    code->setEnabled(bool(routine));
    wrap->setEnabled(bool(routine));
    rich->setEnabled(routine && routine->RichSourceSupported());
    blocks->setEnabled(rich->isEnabled() && rich->isChecked());
}

void MainMenus::mnuWindow_Drop()
{
    QMenu *window = menu(QStringLiteral("mnuWindow"));
    qDeleteAll(m_windowList);
    m_windowList.clear();
    const QList<QMdiSubWindow *> children = visibleChildren();
    if (children.isEmpty())
        return;
    m_windowList.append(window->addSeparator());
    QMdiArea *area = m_window.MeX()->area();
    QMdiSubWindow *active = area->activeSubWindow() ? area->activeSubWindow() : area->currentSubWindow();
    // In the order the windows were opened, as the area lists them.
    const QList<QMdiSubWindow *> ordered = area->subWindowList(QMdiArea::CreationOrder);
    int number = 0;
    for (QMdiSubWindow *child : ordered) {
        if (!children.contains(child))
            continue;
        ++number;
        QAction *entry = window->addAction(QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(child == active);
        QPointer<QMdiSubWindow> target(child);
        connect(entry, &QAction::triggered, this, [this, target] {
            if (target)
                m_window.MeX()->area()->setActiveSubWindow(target);
        });
        m_windowList.append(entry);
    }
}

void MainMenus::mnuPopCode_Drop()
{
    CommandManager *manager = m_window.cmdMgr();
    if (Command *runTo = manager->command(QStringLiteral("DbgRunTo"))) {
        manager->refresh(*runTo);
        item(QStringLiteral("mnuPopCodeRunTo"))->setEnabled(runTo->enabled());
    }
}

// --- item handlers ---------------------------------------------------------------------------

void MainMenus::openRecent(QAction *entry)
{
    frmFileOpen *open = m_window.fileOpenDialog();
    bool numeric = false;
    const int position = tag(entry).toInt(&numeric);
    if (!open || !numeric || position < 1)
        return;
    Sources sources;
    open->GetRecent(position, sources);
    modFileOpen::OpenSources(&sources);
}

// Back goes to the routine type the place was recorded in: the text alone would lead from
// a MAC routine to the INT routine of the same name.
void MainMenus::goBack(const QString &place)
{
    RoutineNavigator *navigator = m_window.navigator();
    NavigationHistory &history = navigator->history();
    const int type = history.newest().type;
    navigator->ShowAtTag(place, false, false, type);
    history.popNewest();
}

void MainMenus::toggleImmediateWrap(const char *itemName, const std::function<void(bool)> &apply)
{
    QAction *wrap = item(QLatin1String(itemName));
    // Qt has already flipped the tick when the handler runs; the tick before is what counts.
    const bool wasChecked = !wrap->isChecked();
    if (!apply) {
        wrap->setChecked(wasChecked);
        return;
    }
    apply(!wasChecked);
    wrap->setChecked(!wasChecked);
}

frmCode *MainMenus::popUpCodeWindow() const
{
    for (QObject *o = m_popUpOwner; o; o = o->parent()) {
        if (auto *code = qobject_cast<frmCode *>(o))
            return code;
    }
    return nullptr;
}

void MainMenus::popUp(const QString &menuName, QWidget *owner, const QPoint &point, const QString &defaultItem)
{
    QMenu *popup = menu(menuName);
    if (!popup || !owner || !m_popUps.contains(popup))
        return;
    m_popUpOwner = owner;
    popup->setDefaultAction(defaultItem.isEmpty() ? nullptr : item(defaultItem));
    popup->exec(owner->mapToGlobal(point));
}

int MainMenus::redoAll()
{
    return RedoAll(activeEditorDocument(), [this] { runCommand(QStringLiteral("EdRedo"), Run::Plain); });
}

// --- the Window menu ---------------------------------------------------------------------------

QList<QMdiSubWindow *> MainMenus::visibleChildren() const
{
    QList<QMdiSubWindow *> children = m_window.MeX()->area()->subWindowList(QMdiArea::StackingOrder);
    children.erase(std::remove_if(children.begin(), children.end(), [](QMdiSubWindow *w) { return w->isHidden(); }),
                   children.end());
    return children;
}

void MainMenus::tileHorizontally()
{
    tileTopmostFirst(true);
}

void MainMenus::tileVertically()
{
    tileTopmostFirst(false);
}

void MainMenus::tileTopmostFirst(bool horizontally)
{
    QList<QMdiSubWindow *> windows = WindowArrangement::placeable(visibleChildren());
    std::reverse(windows.begin(), windows.end());
    WindowArrangement::tile(m_window.MeX()->area(), windows, horizontally);
}

void MainMenus::cascade()
{
    // Bottom first: the window in front stays in front and is placed last.
    WindowArrangement::cascade(m_window.MeX()->area(), WindowArrangement::placeable(visibleChildren()));
}

void MainMenus::arrangeIcons()
{
    WindowArrangement::arrangeIcons(m_window.MeX()->area());
}

void MainMenus::nextChild()
{
    QMdiArea *area = m_window.MeX()->area();
    const QList<QMdiSubWindow *> children = visibleChildren();   // bottom first
    if (children.size() < 2)
        return;
    QMdiSubWindow *current = area->activeSubWindow() ? area->activeSubWindow() : area->currentSubWindow();
    if (!children.contains(current))
        current = children.last();
    const int n = int(children.size());
    const int below = (int(children.indexOf(current)) - 1 + n) % n;
    area->setActiveSubWindow(children[below]);
    current->lower();
}

void MainMenus::previousChild()
{
    QMdiArea *area = m_window.MeX()->area();
    const QList<QMdiSubWindow *> children = visibleChildren();
    if (children.size() < 2)
        return;
    area->setActiveSubWindow(children.first());
    children.first()->raise();
}

// --- dialogs -------------------------------------------------------------------------------------

ToolbarCustomizeDialog *MainMenus::customizeDialog()
{
    if (!m_customize)
        m_customize = new ToolbarCustomizeDialog(*m_window.cmdMgr(), &m_window);
    return m_customize;
}

void MainMenus::chooseCodeFont()
{
    const QFont current = programSettings().codeFont;
    CommonDialog dialog;
    dialog.owner = &m_window;
    dialog.flags = 65;
    dialog.FontName = current.family();
    const int charset = m_window.codeFontCharset();
    dialog.FontCharset = charset;
    dialog.FontSize = qRound(current.pointSizeF());
    dialog.ShowFont();
    if (dialog.APIReturn() != 1) {
        if (dialog.APIReturn() != 0)
            MsgBox(QStringLiteral("Font selection error: ") + QString::number(dialog.ExtendedError()),
                   MsgBoxStyle::Critical);
        return;
    }
    if (dialog.FontCharset != charset)
        MsgBox(QStringLiteral("You need to close Vantrel and restart it before your change to the font script "
                              "will become fully effective"),
               MsgBoxStyle::Information);
    QFont chosen = current;
    chosen.setFamily(dialog.FontName);
    if (dialog.FontSize > 0)
        chosen.setPointSize(dialog.FontSize);
    m_window.applyCodeFont(chosen, dialog.FontCharset);
}
