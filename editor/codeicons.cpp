#include "codeicons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>

int CodeIcons::number(int tarvikStatus, int typ, bool typed)
{
    // Both come from the server; a value outside the pictures has none (and no sum of
    // them may overflow).
    if (tarvikStatus < 0 || tarvikStatus > 3 || (typed && (typ < 0 || typ > 3)))
        return 0;
    return 101 + 10 * tarvikStatus + (typed ? typ : 0);
}

// A page whose corner colour tells the version-control status and whose letter the type.
QIcon CodeIcons::icon(int number)
{
    const int status = (number - 101) / 10;
    const int typ = (number - 101) % 10;
    if (number < 101 || status > 3 || typ > 3)
        return QIcon();
    static QHash<int, QIcon> made;
    const auto found = made.constFind(number);
    if (found != made.constEnd())
        return *found;

    static const QColor statusColours[] = {QColor(255, 255, 255), QColor(0, 160, 0),
                                           QColor(220, 0, 0), QColor(0, 0, 220)};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(2, 0, 11, 15);
    painter.fillRect(9, 1, 4, 4, statusColours[status]);
    if (typ > 0) {
        QFont font = painter.font();
        font.setPixelSize(9);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRect(2, 5, 11, 10), Qt::AlignCenter,
                         QString(QLatin1Char("IMC"[typ - 1])));
    }
    painter.end();
    return made.insert(number, QIcon(pixmap)).value();
}
