#pragma once

#include "portableforeground.h"

struct xcb_connection_t;

// The foreground as an EWMH window manager publishes it on X11: the root window's
// _NET_ACTIVE_WINDOW names the window with the input, a window's _NET_WM_PID its
// process, and a _NET_ACTIVE_WINDOW request sent as a pager (source indication 2)
// asks the manager to activate a window even while it prevents focus stealing, much
// as a zero foreground lock time-out does on Windows.
//
// Talks over Qt's own connection to the X server. Without a window manager, or one
// that does not publish these properties, each answer falls back to the portable one;
// a window that has gone away reads as unknown, never as an error.
class X11Foreground : public IForeground
{
public:
    quint64 foregroundWindow() override;
    // _NET_WM_PID of the window; our pid for our own windows that lack it.
    qint64 processOf(quint64 window) override;
    // One of our own windows, or one whose _NET_WM_PID is ours (a dialog a platform
    // theme opened for us).
    bool isOurs(quint64 window) override;
    // Qt's activation, followed by the pager's request so that a window manager that
    // prevents focus stealing still brings the debugger forward.
    bool activate(QWidget *window) override;
    // False without an EWMH window manager, for ExternalWindow and for a window that
    // does not exist.
    bool activateForeign(quint64 window) override;

private:
    struct Atoms
    {
        quint32 activeWindow = 0;   // _NET_ACTIVE_WINDOW; 0 when the server has none
        quint32 wmPid = 0;          // _NET_WM_PID
        quint32 supported = 0;      // _NET_SUPPORTED: what the window manager handles
    };

    xcb_connection_t *connection();
    quint32 rootWindow();
    const Atoms &atoms();
    // The first 32-bit value of a property, when the window has it with that type.
    bool readProperty32(quint32 window, quint32 property, quint32 type, quint32 *value);
    bool windowExists(quint32 window);
    bool managerHandlesActivation();
    void requestActivation(quint32 window);

    PortableForeground m_portable;       // answers whatever X11 leaves open
    Atoms m_atoms;
    xcb_connection_t *m_atomsOf = nullptr;   // the connection m_atoms were looked up on
};
