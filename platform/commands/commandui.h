#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class Command;
class QComboBox;
class QWidget;

// One tool-bar item the manager built for a command: a button, or for the go-to
// command the editable box. It lives as long as its widget, which owns it. Routers
// receive it as the context of a command the item issued.
class CommandUI : public QObject
{
    Q_OBJECT
public:
    CommandUI(Command *command, QWidget *widget, QComboBox *combo = nullptr);

    Command *command() const { return m_command; }
    QWidget *widget() const { return m_widget; }
    // Only for the go-to box: the editable box itself.
    QComboBox *combo() const { return m_combo; }

    // The item's rectangle in global coordinates, so that a list can drop down
    // just below it.
    QRect screenRect() const;

private:
    QPointer<Command> m_command;   // the manager may go first when windows close
    QWidget *m_widget;             // also the parent
    QComboBox *m_combo;
};
