#pragma once

#include "iforeground.h"

// Answers from Qt alone, for window systems that will not tell which window of which
// program has the input (offscreen, Wayland, builds without the X11 backend). It knows
// our own windows and whether one of them is active; anything else is reported as one
// stand-in window of one stand-in program, neither of which exists.
//
// What follows for the debugger: while another program has the input, its process is
// always ExternalProcess, so once a session has remembered it the debugger comes forward
// on every stop, whichever program the user is in; and activateForeign refuses, so
// giving the focus back when the application runs again does nothing.
class PortableForeground : public IForeground
{
public:
    // Stands for "a window of another program". No window system hands out this id:
    // X11 ids have 29 bits and Qt's offscreen platform counts its ids up from 1.
    static constexpr quint64 ExternalWindow = ~quint64(0);
    // The process of ExternalWindow: not 0, so that it can be remembered, and negative,
    // so that it is never a real process id.
    static constexpr qint64 ExternalProcess = -1;

    // The focus window while this application is active, else ExternalWindow.
    quint64 foregroundWindow() override;
    // Our pid for our windows, ExternalProcess for ExternalWindow, else 0.
    qint64 processOf(quint64 window) override;
    // True for the id of any of this application's windows that exist on the platform.
    bool isOurs(quint64 window) override;
    bool activate(QWidget *window) override;
    // Refuses: Qt offers no way to activate another program's window.
    bool activateForeign(quint64 window) override;
};
