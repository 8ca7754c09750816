#include "statusbar.h"

#include <QHash>
#include <QMouseEvent>
#include <QPainter>

StatusPanel::StatusPanel(const QString &key, QWidget *parent) : QLabel(parent)
{
    setObjectName(key);
    setTextFormat(Qt::PlainText);
    setBevel(NoBevel);
}

void StatusPanel::setPicture(const QString &imageKey)
{
    m_pictureKey = imageKey;
    render();
}

void StatusPanel::setPanelText(const QString &text)
{
    m_text = text;
    render();
}

void StatusPanel::setBevel(int bevel)
{
    m_bevel = bevel;
    setFrameShape(bevel == Inset ? QFrame::Panel : QFrame::NoFrame);
    setFrameShadow(QFrame::Sunken);
}

void StatusPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

// A picture and a text side by side: QLabel shows one or the other, so the two are
// drawn into one pixmap when both are set.
void StatusPanel::render()
{
    if (m_pictureKey.isEmpty()) {
        setText(m_text);
        return;
    }
    const QPixmap picture = sbrStatus::image(m_pictureKey);
    if (m_text.isEmpty()) {
        setPixmap(picture);
        return;
    }
    const QFontMetrics fm(font());
    const int width = picture.width() + 4 + fm.horizontalAdvance(m_text);
    const int height = qMax(picture.height(), fm.height());
    QPixmap combined(width * devicePixelRatio(), height * devicePixelRatio());
    combined.setDevicePixelRatio(devicePixelRatio());
    combined.fill(Qt::transparent);
    QPainter p(&combined);
    p.drawPixmap(0, (height - picture.height()) / 2, picture);
    p.setFont(font());
    p.drawText(QRect(picture.width() + 4, 0, width, height), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    p.end();
    setPixmap(combined);
}

sbrStatus::sbrStatus(QWidget *parent)
    : QStatusBar(parent),
      m_state(new StatusPanel(QStringLiteral("State"), this)),
      m_msg(new StatusPanel(QStringLiteral("Msg"), this))
{
    setSizeGripEnabled(true);
    m_state->setMinimumWidth(90);
    addWidget(m_state);
    addWidget(m_msg, 1);
    connect(m_state, &StatusPanel::clicked, this, [this] { emit PanelClick(m_state); });
    connect(m_msg, &StatusPanel::clicked, this, [this] { emit PanelClick(m_msg); });
}

StatusPanel *sbrStatus::panel(const QString &key) const
{
    if (key == m_state->key())
        return m_state;
    if (key == m_msg->key())
        return m_msg;
    return nullptr;
}

QPixmap sbrStatus::image(const QString &key)
{
    static QHash<QString, QPixmap> cache;
    if (cache.contains(key))
        return cache.value(key);
    QColor colour = Qt::gray;
    if (key == QLatin1String("Busy"))
        colour = QColor(220, 40, 40);
    else if (key == QLatin1String("Stopped"))
        colour = QColor(230, 180, 0);
    else if (key == QLatin1String("Listening"))
        colour = QColor(40, 160, 60);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(150));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.end();
    cache.insert(key, pixmap);
    return pixmap;
}
