#include "splittoolbutton.h"

#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionToolButton>

SplitToolButton::SplitToolButton(QWidget *parent)
    : QToolButton(parent)
{
    // The style draws the arrow only for a button that has a menu; this one never opens.
    setMenu(new QMenu(this));
    setPopupMode(QToolButton::MenuButtonPopup);
}

QRect SplitToolButton::arrowRect() const
{
    QStyleOptionToolButton option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButtonMenu, this);
}

void SplitToolButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QRect arrow = arrowRect();
        if (arrow.isValid() && arrow.contains(event->position().toPoint())) {
            event->accept();
            emit arrowPressed();
            return;
        }
    }
    QToolButton::mousePressEvent(event);
}
