#pragma once

#include <QtGlobal>

#include <memory>

class QWidget;

// Which window has the user's input, which program owns it, and handing it over.
// The debugger comes to the front when the debugged application stops, but only while
// the user works in the program whose window was in front when the session began; when
// the application runs again the focus goes back to the window the user left.
//
// Example: pull the main window forward only while the remembered program is in front.
//
//     IForeground &fg = foreground();
//     const quint64 front = fg.foregroundWindow();
//     if (rememberedPid != 0 && fg.processOf(front) == rememberedPid) {
//         giveBackTo = front;
//         fg.activate(mainWindow);
//     }
//
// Window handles are opaque; 0 means unknown (no window has the input, or the system
// would not say). Process ids are 0 when unknown, so a caller that compares with a
// remembered id should treat 0 as "none" on both sides.
// Every call belongs on the GUI thread.
class IForeground
{
public:
    virtual ~IForeground() = default;

    // The window that has the user's input now; 0 when unknown.
    virtual quint64 foregroundWindow() = 0;
    // The process that owns window; 0 when unknown (also for 0 and windows that are gone).
    virtual qint64 processOf(quint64 window) = 0;
    // True when window belongs to this program; False for 0.
    virtual bool isOurs(quint64 window) = 0;
    // Raises and activates the top-level window of window. True when the request was
    // made (the window exists and is visible); a window manager that prevents focus
    // stealing may still refuse it, which callers accept. A hidden window stays hidden.
    virtual bool activate(QWidget *window) = 0;
    // Makes a window of another program the foreground window. False when the system
    // offers no way to do it or the window is gone.
    virtual bool activateForeign(quint64 window) = 0;
};

// The foreground access the program currently uses.
IForeground &foreground();

// Replaces it; null restores the platform default: the X11 one when Qt runs on xcb and
// this build has it, else PortableForeground. The default is chosen once, on the first
// call made while a QGuiApplication exists.
void setForeground(std::shared_ptr<IForeground> foreground);

// The window in front as another program can name it, for a program we start that is to
// give the focus back to it: foregroundWindow() where the window system names windows
// across programs (X11), and 0 where it does not (offscreen, Wayland) or says only that
// another program has the input.
quint64 foregroundWindowForOtherPrograms();
