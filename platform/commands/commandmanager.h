#pragma once

#include "commanddesign.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

class Command;
class CommandCategory;
class CommandUI;
class QToolBar;
class QWidget;
struct ICommandRouter;

// The main window's command manager: the commands, their categories and tool bars,
// and the routing of every command to the windows that carry it out.
//
//   CommandManager *cmdMgr = new CommandManager(mainWindow);
//   connect(cmdMgr, &CommandManager::InitCommandUI, mainWindow, &MainWindow::initCommandUI);
//   cmdMgr->load(vantrelCommandDesign());     // raises InitCommandUI per tool-bar item
//   for (QToolBar *bar : cmdMgr->toolBars())
//       mainWindow->addToolBar(bar);
//   cmdMgr->setMainRouter(mainWindow);
//   cmdMgr->registerChildForm(codeWindow, codeWindow);
//
// Routing. A command goes to the router of the active child form first and to the
// main router last; the first router that sets stopRouting ends it. Handle sees a
// disabled command only at the main router, which releases its pressed state; a
// child never carries out a disabled command. UpdateUI (refresh) asks in the same
// order. The active child is the registered form that last held the focus, or the
// one the MDI area activated (setActiveChild); focus in a tool bar, menu, status
// bar or another top-level window (a dialog, the go-to box's list) leaves it as it
// is. A hidden or destroyed form counts as no active child.
//
// Refreshing. Routers are asked again (refreshAll) after every execution, when the
// active child changes and when the clipboard changes, coalesced into one refresh
// when the event loop next runs, and every 250 ms while there is a main router.
//
// Pressing. Clicking a tool-bar button or triggering a command's action refreshes
// that command, sets the state value of a PressStyle command to 1 and executes it,
// in that order and with nothing in between: a command that disables itself once
// pressed ("DbgBreak") must still reach Handle. The undo button's arrow and Enter
// in the go-to box execute their command with their CommandUI as the context; the
// box's owner must not run the command on Enter again.
//
// Everything runs on the GUI thread; routers are called directly.
class CommandManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int RefreshIntervalMs = 250;
    static constexpr int MaxExecuteDepth = 8;   // a router that executes commands from Handle

    explicit CommandManager(QObject *parent = nullptr);
    ~CommandManager() override;

    // Builds categories, commands, actions and tool bars, then raises InitCommandUI
    // once for every tool-bar item, bar by bar from left to right. Connect it before.
    // Tool bars have no parent until a window adds them; those never added go with
    // the manager. A manager loads one design; a second load is refused.
    void load(const CommandDesign &design);

    // Exact, case-sensitive identifier; null when there is none.
    Command *command(const QString &id) const;
    QList<Command *> commands() const { return m_commands; }
    // The first category of this name (FindByName), or null.
    CommandCategory *categoryByName(const QString &name) const;
    QList<CommandCategory *> categories() const;
    QList<QToolBar *> toolBars() const;
    QToolBar *toolBar(const QString &name) const;

    // --- routing -------------------------------------------------------------
    // The router asked last; a null router stops the periodic refresh.
    void setMainRouter(ICommandRouter *router);
    ICommandRouter *mainRouter() const { return m_mainRouter; }
    // A child form that can become the active child; router may be null for a form
    // that takes no commands (focus there still leaves the other forms). Forms are
    // forgotten when destroyed.
    void registerChildForm(QWidget *form, ICommandRouter *router);
    void unregisterChildForm(QWidget *form);
    // The registered form at or above widget becomes the active child; none, or a
    // null widget, leaves no active child.
    void setActiveChild(QWidget *widget);
    QWidget *activeChild() const;
    ICommandRouter *activeChildRouter() const;

    void execute(Command &cmd, CommandUI *context = nullptr);
    void refresh(Command &cmd);
    void refreshAll();
    // Asks for one refreshAll when the event loop next runs.
    void invalidate();

    // Whether the clipboard holds text, as of its last change; for routers that
    // enable pasting, so that no refresh has to read the clipboard.
    bool clipboardHasText() const { return m_clipboardHasText; }

signals:
    void InitCommandUI(CommandUI *commandUI);
    // After the routers had the command.
    void executed(const QString &id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolBar *buildToolBar(const CommandDesign::BarDef &def, QList<CommandUI *> &built);
    CommandUI *buildButton(QToolBar *bar, Command *cmd);
    CommandUI *buildGotoBox(QToolBar *bar, Command *cmd, int width);
    void press(Command &cmd, CommandUI *context);
    QWidget *registeredFormAt(QWidget *widget) const;
    void changeActiveChild(QWidget *form);
    void onFocusChanged(QWidget *now);
    void onClipboardChanged();
    void updateRefreshTimer();

    std::vector<std::unique_ptr<CommandCategory>> m_categories;
    QList<Command *> m_commands;                 // in design order; children of this manager
    QHash<QString, Command *> m_commandsById;
    QList<QPointer<QToolBar>> m_toolBars;        // a window may adopt and destroy them
    bool m_loaded = false;

    ICommandRouter *m_mainRouter = nullptr;
    QHash<QWidget *, ICommandRouter *> m_forms;  // registered child forms
    QPointer<QWidget> m_activeChild;
    int m_executeDepth = 0;                      // nested execute() calls under way

    QTimer m_refreshTimer;                       // periodic refresh while there is a main router
    QTimer m_invalidateTimer;                    // coalesces invalidate() into one refreshAll
    bool m_clipboardHasText = false;
};
