#pragma once

#include <QFont>
#include <QPoint>
#include <QString>

class EditorSettings;
class IRoutineDoc;
class MLink;
class QKeyEvent;
class QMdiSubWindow;
class QWidget;

// The main window as its child windows see it: the code windows and the debugger
// panes live below the main window's library and reach it only through this
// interface, which the main window registers while it exists (tests register fakes).
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;

    // Function and control keys of every code window and pane become commands here.
    // KeyCode is a Windows virtual-key code, Shift the mask 1 Shift, 2 Ctrl, 4 Alt;
    // each is set to 0 when the key was consumed.
    virtual void PreviewKeyDown(int &KeyCode, int &Shift) = 0;
    virtual void PreviewKeyPress(int &KeyAscii) = 0;

    // The session state (-6 .. 3); writing it, also the same value, refreshes the
    // status bar and the panes.
    virtual int MState() const = 0;
    virtual void setMState(int state) = 0;
    // A negative state or a transaction in progress.
    virtual bool MBusy() const = 0;
    // The session's one link.
    virtual MLink *link() const = 0;
    // The status bar's message panel.
    virtual void StatusText(const QString &text) = 0;
    // The one-shot relayout after a pane was hidden beside a maximised code window.
    virtual void startRelayoutTimer() = 0;
    // The linewise stepping mode in force for the session.
    virtual bool Linewise() const = 0;
    virtual bool SwitchToReportOnSaveError() const = 0;
    // Executes a command by its identifier through the command manager, as a menu does.
    virtual void executeCommand(const QString &id) = 0;

    // --- what the code windows call ---------------------------------------------------
    // Each member does nothing (or answers a neutral value) until the main window takes
    // it over, so a window works in a test without a main window behind it.

    // Places a code window in the document area; null when there is none (the window
    // then stays a window of its own).
    virtual QMdiSubWindow *addDocumentWindow(QWidget *) { return nullptr; }
    // The document area's next and previous child (Ctrl+F6, Ctrl+Tab).
    virtual void NextChild() {}
    virtual void PreviousChild() {}

    // Menu items by name: the View menu's "mnuViewWrap", "mnuViewRich" and
    // "mnuViewBlocks", and the items of the pop-up menus "mnuPopCode" and "mnuPopCMgn".
    virtual bool menuItemChecked(const QString &) const { return false; }
    virtual void setMenuItemChecked(const QString &, bool) {}
    virtual bool menuItemEnabled(const QString &) const { return true; }
    virtual void setMenuItemEnabled(const QString &, bool) {}
    virtual bool menuItemVisible(const QString &) const { return true; }
    virtual void setMenuItemVisible(const QString &, bool) {}
    virtual void setMenuItemCaption(const QString &, const QString &) {}
    virtual void setMenuItemTag(const QString &, const QString &) {}
    // Pops the pop-up menu up at a point of `owner` (its pixels), with `defaultItem`
    // (may be empty) shown as the default.
    virtual void popUpMenu(const QString &, QWidget *, const QPoint &, const QString &) {}

    // Documents kept read-only from a lost connection. Asked by document, not by key: a
    // routine preserved twice (two drops) is filed under two keys.
    virtual bool isPreservedDocument(const IRoutineDoc *) const { return false; }
    // Drops the document from that collection; it closes with its last holder.
    virtual void releasePreservedDocument(const IRoutineDoc *) {}

    // The tool bar's go-to box while it has taken the keyboard: the keys of the code
    // window go to it instead of the editor.
    virtual bool goToBoxActive() const { return false; }
    virtual void goToBoxKeyDown(int) {}
    virtual void goToBoxKeyPress(int) {}
    // Empties the lists of the go-to boxes; they fill again from the active window's labels.
    virtual void clearGoToLists() {}

    // Opens a routine read-only for viewing, fetching it from the server when needed;
    // true when it is open afterwards.
    virtual bool ShowRoutine(const QString &, const QString &, int, const QString &, bool, int) { return false; }
    // Jumps to "label+offset^routine^namespace", recording the place left when asked.
    virtual void ShowAtTag(const QString &, bool, bool) {}
    // The navigation history's newest entry ("label+offset^routine^namespace"), or "".
    virtual QString newestHistoryEntry() const { return QString(); }
    virtual void ClearAllTips() {}

    // The fonts and the colour table every code window shares.
    virtual QFont dialogFont() const { return QFont(); }
    virtual QFont codeFont() const { return QFont(); }
    // Null: each window keeps the settings of its own control.
    virtual EditorSettings *editorSettings() const { return nullptr; }
};

// The registered main window; null while there is none.
IMainWindow *mainWindow();
void setMainWindow(IMainWindow *window);

// Hands a key of a child window to the main window, once per press: the key-down
// code first and, unless that consumed it, Ctrl+letter as its control character.
// True when the main window consumed the key (the child must then drop it).
bool forwardKeyToMainWindow(const QKeyEvent *event);
