#pragma once

#include "commanddesign.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class CommandCategory;
class CommandManager;
class CommandUI;
class QAction;

// One user command ("DbgStepIn", "EdCut", ...), made and owned by a CommandManager.
// The routers write its enabled flag and state value; its QAction, the tool-bar
// items and the menus show them. Setting either emits changed() when the value
// differs.
//
// The action is enabled exactly when the command is, is checkable for PressStyle
// and then checked exactly when the state value is 1. Triggering the action counts
// as pressing the command's tool-bar button (see CommandManager).
class Command : public QObject
{
    Q_OBJECT
public:
    enum Style {
        PlainStyle = 0,     // a plain button
        PressStyle = 2,     // a button that can stay pressed (state value 1)
        GotoBoxStyle = 4,   // not a button: the editable go-to box of a tool bar
    };

    Command(const CommandDesign::CommandDef &def, CommandCategory *category, const QIcon &icon,
            CommandManager *manager);

    QString id() const { return m_id; }
    CommandCategory *category() const { return m_category; }
    int style() const { return m_style; }
    QString toolTip() const { return m_toolTip; }
    QString caption() const { return m_caption; }
    QString description() const { return m_description; }
    QIcon icon() const { return m_icon; }
    bool hasDropDown() const { return m_dropDown; }

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);
    // 0 up, 1 pressed; a router may keep other values (a mixed state), which show as up.
    int stateValue() const { return m_stateValue; }
    void setStateValue(int value);

    QAction *action() const { return m_action; }

    // Routes the command through the manager: child window first, main window last.
    void execute(CommandUI *context = nullptr);

    // The tool-bar items built for this command that still exist.
    QList<CommandUI *> uiObjects() const;
    void addUiObject(CommandUI *ui);

signals:
    void changed();

private:
    void showStateOnAction();

    CommandManager *m_manager;             // routes execute(); also the parent
    const QString m_id;
    CommandCategory *m_category;           // owned by the manager; null when the design named none
    const int m_style;
    const QString m_toolTip;
    const QString m_caption;
    const QString m_description;
    const QIcon m_icon;
    const bool m_dropDown;
    bool m_enabled = true;
    int m_stateValue = 0;
    QAction *m_action;                     // shared by the tool bars and the menus
    QList<QPointer<CommandUI>> m_uiObjects;   // tool bars may be destroyed before the command
};
