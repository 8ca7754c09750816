#include "splitter.h"

#include "splitterbar.h"
#include "twips.h"

#include <QChildEvent>
#include <QRubberBand>

Splitter::Splitter(QWidget *parent)
    : QWidget(parent)
{
    for (int i = 0; i < 2; ++i) {
        m_cells[i] = new QWidget(this);
        m_cells[i]->setObjectName(QStringLiteral("pic_Cell%1").arg(i));
        m_cells[i]->hide();
    }
    m_bar = new SplitterBar(this);
    m_bar->setObjectName(QStringLiteral("sptMain"));
    m_bar->setOrientation(m_orientation);
    m_outline = new QRubberBand(QRubberBand::Rectangle, this);
    m_outline->hide();

    m_tmrCapture.setInterval(CaptureWatchMs);
    connect(&m_tmrCapture, &QTimer::timeout, this, &Splitter::checkCapture);
    connect(m_bar, &SplitterBar::MouseDown, this, &Splitter::barMouseDown);
    connect(m_bar, &SplitterBar::MouseMove, this, &Splitter::barMouseMove);
    connect(m_bar, &SplitterBar::MouseUp, this, &Splitter::barMouseUp);
    connect(m_bar, &SplitterBar::DblClick, this, &Splitter::OnSplitterDblClick);
}

Splitter::~Splitter()
{
    if (QWidget::mouseGrabber() == m_bar)
        m_bar->releaseMouse();
}

void Splitter::setDrawStyle(long drawStyle)
{
    m_drawStyle = drawStyle;
    m_bar->setDrawStyle(drawStyle);
}

void Splitter::setOrientation(long orientation)
{
    if (orientation == m_orientation)
        return;
    m_orientation = orientation;
    m_bar->setOrientation(orientation);
    m_bar->Refresh();
    relayout();
    m_barPosition = SplitterLayout::centredPosition(int(orientation), size());
    relayout();
}

void Splitter::setSplitterStyle(long splitterStyle)
{
    m_splitterStyle = splitterStyle;
}

void Splitter::setCursorStyle(long cursorStyle)
{
    m_cursorStyle = cursorStyle;
    m_bar->setCursorStyle(cursorStyle);
}

double Splitter::PrimaryLeft() const { return Twips::fromPixels(m_geometry.primary.x(), this); }
double Splitter::PrimaryTop() const { return Twips::fromPixels(m_geometry.primary.y(), this); }
double Splitter::PrimaryWidth() const { return Twips::fromPixels(m_geometry.primary.width(), this); }
double Splitter::PrimaryHeight() const { return Twips::fromPixels(m_geometry.primary.height(), this); }
double Splitter::SecondaryLeft() const { return Twips::fromPixels(m_geometry.secondary.x(), this); }
double Splitter::SecondaryTop() const { return Twips::fromPixels(m_geometry.secondary.y(), this); }
double Splitter::SecondaryWidth() const { return Twips::fromPixels(m_geometry.secondary.width(), this); }
double Splitter::SecondaryHeight() const { return Twips::fromPixels(m_geometry.secondary.height(), this); }

void Splitter::SetSplitterPosition(double position)
{
    if (SplitterLayout::isLaidOut(int(m_orientation)))
        m_barPosition = Twips::toPixels(position, this);
    relayout();
}

void Splitter::setBarPosition(int pixels)
{
    if (SplitterLayout::isLaidOut(int(m_orientation)))
        m_barPosition = pixels;
    relayout();
}

int Splitter::barPosition() const
{
    return m_barPosition;
}

void Splitter::relayout()
{
    const int orientation = int(m_orientation);
    m_geometry = SplitterLayout::compute(orientation, size(), m_barPosition, m_geometry);
    if (SplitterLayout::isLaidOut(orientation)) {
        // The clamped position is the bar's position from now on, as a bar moved
        // against an edge stays there when the splitter grows again.
        m_barPosition = orientation == SplitterLayout::HorizontalBar ? m_geometry.bar.y()
                                                                     : m_geometry.bar.x();
        m_bar->setGeometry(m_geometry.bar);
        m_cells[0]->setGeometry(m_geometry.primary);
        m_cells[1]->setGeometry(m_geometry.secondary);
    }
    emit OnResize();
}

void Splitter::addHostWidget(QWidget *widget)
{
    if (!widget)
        return;
    if (widget->parentWidget() != this)
        widget->setParent(this);
    m_bar->raise();
    m_outline->raise();
}

QRect Splitter::outlineRect() const
{
    return m_outline->isVisibleTo(this) ? m_outline->geometry() : QRect();
}

QSize Splitter::minimumSizeHint() const
{
    return QSize(SplitterLayout::BarThickness, SplitterLayout::BarThickness);
}

QSize Splitter::sizeHint() const
{
    return QSize(400, 300);
}

void Splitter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void Splitter::childEvent(QChildEvent *event)
{
    QWidget::childEvent(event);
    // A host control created on the splitter lands on top of the stack; the bar
    // must stay above it to be grabbed.
    if (event->added() && m_bar && m_outline && event->child() != m_bar
        && event->child() != m_outline && event->child()->isWidgetType()) {
        m_bar->raise();
        m_outline->raise();
    }
}

QPoint Splitter::toSplitter(const QPointF &barPos) const
{
    return m_bar->mapTo(this, barPos).toPoint();
}

void Splitter::barMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPointF &pos)
{
    if (button != Qt::LeftButton || !SplitterLayout::isLaidOut(int(m_orientation)))
        return;
    m_drag.setOrientation(int(m_orientation));
    m_drag.setStyle(int(m_splitterStyle));
    const SplitterDrag::Step step = m_drag.press(toSplitter(pos), m_geometry.primary, size());
    showOutline(step.outline);
    // An explicit grab lets the watch see when another window takes the mouse (a
    // release outside the application is never delivered to the bar).
    m_bar->grabMouse();
    m_tmrCapture.start();
}

void Splitter::barMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, const QPointF &pos)
{
    if (!(buttons & Qt::LeftButton) || !m_drag.isDragging())
        return;
    const SplitterDrag::Step step = m_drag.move(toSplitter(pos), m_geometry.primary, size());
    if (!step.followed)
        return;
    if (step.barPosition >= 0) {
        m_barPosition = step.barPosition;
        relayout();
    } else {
        showOutline(step.outline);
    }
}

void Splitter::barMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, const QPointF &pos)
{
    if (button != Qt::LeftButton || !m_drag.isDragging())
        return;
    endDrag(m_drag.release(toSplitter(pos), m_geometry.primary, size()));
}

void Splitter::checkCapture()
{
    if (!m_drag.isDragging()) {
        m_tmrCapture.stop();
        return;
    }
    if (QWidget::mouseGrabber() != m_bar)
        endDrag(m_drag.captureLost(m_geometry.primary, size()));
}

void Splitter::endDrag(int barPosition)
{
    m_tmrCapture.stop();
    showOutline(QRect());
    if (QWidget::mouseGrabber() == m_bar)
        m_bar->releaseMouse();
    if (barPosition >= 0)
        m_barPosition = barPosition;
    relayout();
}

void Splitter::showOutline(const QRect &outline)
{
    if (outline.isNull() || m_splitterStyle == SplitterDrag::Live) {
        m_outline->hide();
        return;
    }
    m_outline->setGeometry(outline);
    m_outline->show();
    m_outline->raise();
}
