#include "portableforeground.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

quint64 PortableForeground::foregroundWindow()
{
    // Active without a focus window happens when our last window has closed: the input
    // has gone elsewhere then too.
    const QWindow *focus = QGuiApplication::focusWindow();
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !focus)
        return ExternalWindow;
    return quint64(focus->winId());
}

qint64 PortableForeground::processOf(quint64 window)
{
    if (window == ExternalWindow)
        return ExternalProcess;
    return isOurs(window) ? QCoreApplication::applicationPid() : 0;
}

bool PortableForeground::isOurs(quint64 window)
{
    if (window == 0 || window == ExternalWindow)
        return false;
    const QWindowList windows = QGuiApplication::allWindows();
    for (const QWindow *w : windows) {
        // winId() would create a platform window for one that has none yet: ask only
        // those that already exist.
        if (w->handle() && quint64(w->winId()) == window)
            return true;
    }
    return false;
}

bool PortableForeground::activate(QWidget *window)
{
    if (!window)
        return false;
    QWidget *top = window->window();
    if (!top->isVisible())
        return false;
    top->raise();
    top->activateWindow();
    return true;
}

bool PortableForeground::activateForeign(quint64)
{
    return false;
}
