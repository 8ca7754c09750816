#include "command.h"

#include "commandmanager.h"
#include "commandui.h"

#include <QAction>

Command::Command(const CommandDesign::CommandDef &def, CommandCategory *category, const QIcon &icon,
                 CommandManager *manager)
    : QObject(manager)
    , m_manager(manager)
    , m_id(def.id)
    , m_category(category)
    , m_style(def.style)
    , m_toolTip(def.toolTip)
    , m_caption(def.caption)
    , m_description(def.description)
    , m_icon(icon)
    , m_dropDown(def.dropDown)
    , m_action(new QAction(icon, def.caption, this))
{
    m_action->setObjectName(m_id);
    m_action->setToolTip(m_toolTip);
    m_action->setStatusTip(m_description);
    m_action->setCheckable(m_style == PressStyle);
}

void Command::setEnabled(bool on)
{
    m_action->setEnabled(on);
    if (m_enabled == on)
        return;
    m_enabled = on;
    emit changed();
}

void Command::setStateValue(int value)
{
    const bool differs = m_stateValue != value;
    m_stateValue = value;
    // Written even when the value is unchanged: Qt flips a checkable action on a
    // click before anyone asks the command, and this puts the action right again.
    showStateOnAction();
    if (differs)
        emit changed();
}

void Command::showStateOnAction()
{
    if (m_action->isCheckable())
        m_action->setChecked(m_stateValue == 1);
}

void Command::execute(CommandUI *context)
{
    m_manager->execute(*this, context);
}

QList<CommandUI *> Command::uiObjects() const
{
    QList<CommandUI *> live;
    for (const QPointer<CommandUI> &ui : m_uiObjects) {
        if (ui)
            live.append(ui);
    }
    return live;
}

void Command::addUiObject(CommandUI *ui)
{
    m_uiObjects.append(ui);
}
