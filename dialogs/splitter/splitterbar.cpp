#include "splitterbar.h"

#include "splitterlayout.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

// Our own sizing pointer for CursorStyle 1: a two-headed arrow across a double line,
// black with a white rim so it shows on any background.
QCursor arrowCursor(bool upDown)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPolygon arrow({QPoint(16, 3), QPoint(22, 10), QPoint(18, 10), QPoint(18, 22),
                          QPoint(22, 22), QPoint(16, 29), QPoint(10, 22), QPoint(14, 22),
                          QPoint(14, 10), QPoint(10, 10)});
    QTransform turn;
    if (!upDown) {
        turn.translate(16, 16);
        turn.rotate(90);
        turn.translate(-16, -16);
    }
    painter.setTransform(turn);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    painter.drawPolygon(arrow);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(8, 15, 24, 15);
    painter.drawLine(8, 17, 24, 17);
    painter.end();
    return QCursor(pixmap, 16, 16);
}

} // namespace

SplitterBar::SplitterBar(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    applyCursor();
}

void SplitterBar::setDrawStyle(long drawStyle)
{
    m_drawStyle = drawStyle;
    update();
}

void SplitterBar::setOrientation(long orientation)
{
    m_orientation = orientation;
    applyCursor();
    update();
}

void SplitterBar::setCursorStyle(long cursorStyle)
{
    m_cursorStyle = cursorStyle;
    applyCursor();
}

void SplitterBar::Refresh()
{
    const int thickness = SplitterLayout::BarThickness;
    if (m_orientation == 0 && height() != thickness)
        resize(width(), thickness);
    else if (m_orientation == 1 && width() != thickness)
        resize(thickness, height());
}

void SplitterBar::applyCursor()
{
    const bool upDown = m_orientation == 0;
    switch (m_cursorStyle) {
    case 0:
        setCursor(upDown ? Qt::SplitVCursor : Qt::SplitHCursor);
        break;
    case 1: {
        static const QCursor upDownCursor = arrowCursor(true);
        static const QCursor leftRightCursor = arrowCursor(false);
        setCursor(upDown ? upDownCursor : leftRightCursor);
        break;
    }
    case 2:
        setCursor(upDown ? Qt::SizeVerCursor : Qt::SizeHorCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

void SplitterBar::paintEvent(QPaintEvent *)
{
    if ((m_drawStyle != 0 && m_drawStyle != 1) || (m_orientation != 0 && m_orientation != 1))
        return;
    QPainter painter(this);
    const QPalette &pal = palette();
    const int w = width();
    const int h = height();
    // One line along an edge: a row for a horizontal bar, a column for a vertical one.
    auto edge = [&](int offset, QPalette::ColorRole role) {
        painter.setPen(pal.color(role));
        if (m_orientation == 0)
            painter.drawLine(0, offset, w - 1, offset);
        else
            painter.drawLine(offset, 0, offset, h - 1);
    };
    const int last = (m_orientation == 0 ? h : w) - 1;
    edge(0, QPalette::Light);
    if (m_drawStyle == 0) {
        edge(last, QPalette::Shadow);
        edge(last - 1, QPalette::Dark);
    } else {
        edge(last, QPalette::Dark);
    }
}

void SplitterBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Refresh();
}

void SplitterBar::mousePressEvent(QMouseEvent *event)
{
    emit MouseDown(event->button(), event->modifiers(), event->position());
}

void SplitterBar::mouseMoveEvent(QMouseEvent *event)
{
    emit MouseMove(event->buttons(), event->modifiers(), event->position());
}

void SplitterBar::mouseReleaseEvent(QMouseEvent *event)
{
    emit MouseUp(event->button(), event->modifiers(), event->position());
}

void SplitterBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    emit DblClick();
}
