#pragma once

#include <QString>

class MLink;
class QKeyEvent;

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
};

// The registered main window; null while there is none.
IMainWindow *mainWindow();
void setMainWindow(IMainWindow *window);

// Hands a key of a child window to the main window, once per press: the key-down
// code first and, unless that consumed it, Ctrl+letter as its control character.
// True when the main window consumed the key (the child must then drop it).
bool forwardKeyToMainWindow(const QKeyEvent *event);
