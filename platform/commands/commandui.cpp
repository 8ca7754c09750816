#include "commandui.h"

#include "command.h"

#include <QComboBox>
#include <QWidget>

CommandUI::CommandUI(Command *command, QWidget *widget, QComboBox *combo)
    : QObject(widget)
    , m_command(command)
    , m_widget(widget)
    , m_combo(combo)
{
}

QRect CommandUI::screenRect() const
{
    return QRect(m_widget->mapToGlobal(QPoint(0, 0)), m_widget->size());
}
