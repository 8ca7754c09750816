#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

// Which way a key goes when it has both a menu shortcut and a window that hands its keys
// to the main window's key tables: one command per key press, wherever the focus is.
//
// Qt asks the focus widget first (a shortcut override); a key nobody claims there runs
// the menu item's shortcut and never reaches the widget. This filter, installed on the
// application by the main window, claims for the code window's editor and for the panes
// the keys of the main window's tables, the code window's own keys, and Del, which the
// editor and the lists keep for themselves. Those keys then reach the window, which
// forwards them to the tables (enabled test and beep) or acts itself. Every other key
// takes the menu path, where CommandsBlocked() gates it.
class ShortcutOverrideFilter : public QObject
{
    Q_OBJECT
public:
    // Installs itself on the application; removed when it is destroyed.
    explicit ShortcutOverrideFilter(QObject *parent);

    // Whether the window at `receiver` keeps the key from the menu shortcuts.
    static bool childKeepsKey(const QWidget *receiver, const QKeyEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
