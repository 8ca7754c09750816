#include "programicon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

QPixmap drawn(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal edge = size / 16.0;
    const QRectF face(edge, edge, size - 2 * edge, size - 2 * edge);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x6e, 0x5a));
    painter.drawRoundedRect(face, size / 5.0, size / 5.0);
    // A stopping point in the margin, as the code window marks a breakpoint.
    painter.setBrush(QColor(0xd8, 0x3a, 0x2e));
    const qreal dot = size / 4.0;
    painter.drawEllipse(QRectF(face.left() + edge, face.bottom() - dot - edge, dot, dot));
    QFont font;
    font.setBold(true);
    font.setPixelSize(qRound(size * 0.72));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(face, Qt::AlignCenter, QStringLiteral("V"));
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    static const QIcon icon = [] {
        QIcon drawnIcon;
        for (int size : {16, 24, 32, 48, 64})
            drawnIcon.addPixmap(drawn(size));
        return drawnIcon;
    }();
    return icon;
}
