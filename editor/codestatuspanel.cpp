#include "codestatuspanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

namespace {

// The status bar's one picture, "Busy": an hourglass the height of a text line.
QPixmap busyPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(230, 190, 60));
    const qreal m = size * 0.2, w = size - 2 * m;
    const QPointF top[] = {{m, 1}, {m + w, 1}, {size / 2.0, size / 2.0}};
    const QPointF bottom[] = {{size / 2.0, size / 2.0}, {m + w, size - 1.0}, {m, size - 1.0}};
    painter.drawPolygon(top, 3);
    painter.drawPolygon(bottom, 3);
    return pixmap;
}

} // namespace

CodeStatusPanel::CodeStatusPanel(const QString &key, QWidget *parent) : QLabel(parent)
{
    setObjectName(key);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setContentsMargins(2, 0, 2, 0);
    render();
}

void CodeStatusPanel::setPanelText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    render();
}

void CodeStatusPanel::setPanelEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    render();
    applyCursor();
}

void CodeStatusPanel::setPicture(const QString &key)
{
    if (key == m_pictureKey)
        return;
    m_pictureKey = key;
    render();
}

void CodeStatusPanel::setAutoSize(int mode)
{
    m_autoSize = mode;
    if (mode == NoAutoSize) {
        // Never narrower than its text: a panel cut to a letter or two says nothing.
        setFixedWidth(std::max(m_minimumWidth, QLabel::sizeHint().width()));
    } else {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
    }
}

void CodeStatusPanel::setClickable(bool clickable, bool onlyWhileEnabled)
{
    m_clickable = clickable;
    m_clickableOnlyEnabled = onlyWhileEnabled;
    applyCursor();
}

void CodeStatusPanel::applyCursor()
{
    if (m_clickable && (m_enabled || !m_clickableOnlyEnabled))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void CodeStatusPanel::render()
{
    if (m_pictureKey == QLatin1String("Busy")) {
        setPixmap(busyPicture(fontMetrics().height()));
        return;
    }
    setText(m_text);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, m_enabled ? QPalette().color(QPalette::WindowText)
                                               : QPalette().color(QPalette::Disabled, QPalette::WindowText));
    setPalette(p);
}

void CodeStatusPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
