#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

class CommandManager;
class QCheckBox;
class QToolBar;

// Toolbars ▸ Customize...: one check box per tool bar of the command manager, ticked
// while the bar is shown, and Reset, which shows every bar again. It is a tool window of
// the main window, shown without blocking it; while it is shown the main window's
// CommandsBlocked() is True, so that the menus run no command meanwhile.
class ToolbarCustomizeDialog : public QDialog
{
    Q_OBJECT
public:
    ToolbarCustomizeDialog(CommandManager &commands, QWidget *parent);

    // One per bar, in the manager's order; a box toggles its bar.
    QList<QCheckBox *> checkBoxes() const { return m_boxes; }
    void Reset();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void showBars();

    CommandManager &m_commands;
    QList<QCheckBox *> m_boxes;
    QList<QPointer<QToolBar>> m_bars;   // the bar of each box
};
