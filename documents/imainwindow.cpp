#include "imainwindow.h"

#include "vbkeys.h"

#include <QKeyEvent>

namespace {
IMainWindow *g_mainWindow = nullptr;
}

IMainWindow *mainWindow()
{
    return g_mainWindow;
}

void setMainWindow(IMainWindow *window)
{
    g_mainWindow = window;
}

bool forwardKeyToMainWindow(const QKeyEvent *event)
{
    IMainWindow *main = g_mainWindow;
    if (!main)
        return false;
    int keyCode = VbKeys::virtualKey(event);
    int shift = VbKeys::shiftState(event->modifiers());
    if (keyCode) {
        main->PreviewKeyDown(keyCode, shift);
        if (keyCode == 0)
            return true;
    }
    int ascii = VbKeys::controlKeyAscii(event);
    if (ascii) {
        main->PreviewKeyPress(ascii);
        if (ascii == 0)
            return true;
    }
    return false;
}
