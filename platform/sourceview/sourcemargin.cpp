#include "sourcemargin.h"

#include "sourceinput.h"
#include "sourcerenderer.h"
#include "sourceview.h"

#include <QMouseEvent>

SourceMargin::SourceMargin(SourceView *view) : QWidget(view), m_view(view)
{
    setMouseTracking(true);
    // It fills every pixel it is asked to paint; without this the control
    // behind it would be repainted with it on every keystroke.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SourceMargin::paintEvent(QPaintEvent *event)
{
    m_view->m_renderer->paintMargin(event, this);
}

void SourceMargin::mousePressEvent(QMouseEvent *event)
{
    m_view->m_input->mousePress(event, event->position().toPoint(), true);
}

void SourceMargin::mouseMoveEvent(QMouseEvent *event)
{
    m_view->m_input->mouseMove(event, event->position().toPoint(), true);
}

void SourceMargin::mouseReleaseEvent(QMouseEvent *event)
{
    m_view->m_input->mouseRelease(event, event->position().toPoint(), true);
}

void SourceMargin::wheelEvent(QWheelEvent *event)
{
    m_view->wheelEvent(event);
}
