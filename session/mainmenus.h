#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>

class Command;
class QAction;
class QFont;
class QKeySequence;
class QMenu;
class QMdiSubWindow;
class QPoint;
class QWidget;
class ToolbarCustomizeDialog;
class frmCode;
class frmMDI;

// The menu bar of the main window and its hidden pop-up menus ("mnuRedo", "mnuPopCode",
// "mnuPopCMgn", "mnuPopImmed", "mnuPopReport"), with every item registered by its name:
//
//   QAction *goTo = menus->item("mnuPopCodeGoto");
//   MainMenus::setTag(goTo, "START^ROU^USER");
//   menus->popUp("mnuPopCode", editor, pos, QString());
//
// An array element is named with its index: "mnuFileRecent(3)", "mnuViewTBList(1)". A
// submenu is registered twice: its item ("mnuEditBmk") and its menu (menu()).
//
// Items bound to a command carry its icon. A bound item of the menu bar shows the
// pressed state of a command that can stay pressed at all times (checkable; without a
// picture only while pressed, so that no empty box stands in the picture's place); its
// enabled flag shows the command's only while its menu is open (set when the
// menu opens, every bound item enabled again when it closes), because Qt drops the
// shortcut of a disabled action and the shortcuts must always reach the command, which
// decides for itself. Items with a handler of their own keep the enabled flag their
// drop-down handler or the code window gives them.
//
// Running a command from an item refreshes it first, presses it where the item says so,
// and executes it; the items of the menu bar that run a command do nothing at all while
// the window's CommandsBlocked() is True. Pop-up items are never blocked.
//
// Everything runs on the GUI thread; no exception leaves a handler.
class MainMenus : public QObject
{
    Q_OBJECT
public:
    // What the items of the immediate pane's pop-ups and the font item do to that pane.
    // The pane fills them; each does nothing while it is empty.
    struct ImmediatePane
    {
        std::function<void()> clearIO;                  // the command view emptied
        std::function<void(bool)> setIOWrap;            // the command view's line wrap
        std::function<void(bool)> setReportWrap;        // the report view's line wrap
        std::function<void(const QFont &)> setIOFont;   // the code font for the command view
    };

    explicit MainMenus(frmMDI &window);
    ~MainMenus() override;

    // Null for a name that is not an item.
    QAction *item(const QString &name) const;
    // Top-level menus, submenus and pop-ups by name; null for any other name.
    QMenu *menu(const QString &name) const;
    // Every registered item in the order it was built.
    QStringList itemNames() const { return m_names; }
    // The identifier of the command the item is bound to; "" when none.
    QString boundCommand(const QString &name) const { return m_bindings.value(name); }

    static QString tag(const QAction *item);
    static void setTag(QAction *item, const QString &tag);

    // "mnuFileRecent(0)" (the separator) to "mnuFileRecent(9)".
    QList<QAction *> recentItems() const { return m_recent; }

    // Shows the pop-up menu at a point of owner (its pixels) with defaultItem (may be "")
    // in bold; returns when the menu has closed. The owner is remembered for the items
    // that act on the window that showed the menu.
    void popUp(const QString &menuName, QWidget *owner, const QPoint &point, const QString &defaultItem);
    QWidget *popUpOwner() const { return m_popUpOwner; }

    void setImmediatePane(ImmediatePane pane) { m_immediate = std::move(pane); }
    const ImmediatePane &immediatePane() const { return m_immediate; }

    // --- the Window menu -----------------------------------------------------------------
    // Over the visible child windows of the document area; a maximised one is shown
    // normal first. Horizontally: one above another, each the full width; vertically: side
    // by side, each the full height. A cascade starts again at the top-left corner where
    // the next window would leave the area. Arranging places the minimised ones along the
    // bottom.
    void tileHorizontally();
    void tileVertically();
    void cascade();
    void arrangeIcons();
    // Windows' order of the document area's windows: next activates the window just below
    // the active one and sends the active one to the bottom; previous brings the bottom
    // window to the top. With no active window (the focus in a docked pane) the top one
    // counts as active.
    void nextChild();
    void previousChild();

    // The tool-bar customisation, made on first use; the window's commands are blocked
    // while it is shown.
    ToolbarCustomizeDialog *customizeDialog();
    // Tools → Font: the code font dialog and, when a font was chosen, the font applied.
    void chooseCodeFont();
    // Redo All: "EdRedo" run while the active editor document can redo; the runs made.
    int redoAll();

private:
    enum class Run { Plain, Pressed };

    QMenu *topMenu(const char *name, const QString &caption);
    QMenu *subMenu(QMenu *parent, const char *name, const QString &caption);
    // Files a drop-down under its name, with the bound items' enabled rule.
    QMenu *fileMenu(QMenu *menu, const char *name);
    QMenu *popUpMenu(const char *name, const QString &caption);
    QAction *add(QMenu *menu, const QString &name, const QString &caption);
    QAction *separator(QMenu *menu, const QString &name);
    // A menu-bar item that runs its command, blocked while CommandsBlocked().
    QAction *gated(QMenu *menu, const char *name, const QString &caption, const QKeySequence &keys,
                   const char *command, Run run = Run::Plain);
    // An item that runs its command and is never blocked.
    QAction *bound(QMenu *menu, const char *name, const QString &caption, const char *command,
                   const QKeySequence &keys);
    QAction *own(QMenu *menu, const char *name, const QString &caption, std::function<void()> handler);
    void bind(QAction *item, const QString &name, const char *command, bool mirrorState);
    void runCommand(const QString &id, Run run);

    void buildFile();
    void buildServer();
    void buildDebug();
    void buildEdit();
    void buildView();
    void buildToolsWindowHelp();
    void buildPopUps();

    // Drop-down handlers.
    void showBoundEnabled(QMenu *menu);
    void enableBound(QMenu *menu);
    void mnuFile_Drop();
    void mnuEdit_Drop();
    void mnuEditBlk_Drop();
    void mnuView_Drop();
    void mnuWindow_Drop();
    void mnuPopCode_Drop();

    // Item handlers.
    void openRecent(QAction *item);
    void goBack(const QString &place);
    void toggleImmediateWrap(const char *itemName, const std::function<void(bool)> &apply);
    frmCode *popUpCodeWindow() const;
    QList<QMdiSubWindow *> visibleChildren() const;
    // The tilings, the window in front at the top or the left.
    void tileTopmostFirst(bool horizontally);

    frmMDI &m_window;
    QHash<QString, QAction *> m_items;          // by name
    QHash<QString, QMenu *> m_menus;            // by name
    QHash<QString, QString> m_bindings;         // item name → command identifier
    QSet<QMenu *> m_popUps;                     // the hidden menus the windows pop up
    QHash<QMenu *, QList<QAction *>> m_mirrored;   // bound menu-bar items, by their menu
    QStringList m_names;                        // in build order
    QList<QAction *> m_recent;                  // mnuFileRecent(0..9)
    QList<QAction *> m_toolBarItems;            // mnuViewTBList(1..), made on demand
    QList<QAction *> m_windowList;              // the Window menu's list, rebuilt on opening
    QPointer<QWidget> m_popUpOwner;             // the window that showed the last pop-up
    QPointer<ToolbarCustomizeDialog> m_customize;
    ImmediatePane m_immediate;
};
