#include "commanddesign.h"

#include <QStringList>

QList<CommandDesign::BarItem> CommandDesign::parseButtons(const QString &buttons)
{
    static const QString keyPrefix = QStringLiteral("key=");
    QList<BarItem> items;
    const QStringList parts = buttons.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &rawPart : parts) {
        const QString part = rawPart.trimmed();
        if (part == QLatin1String("-1")) {
            items.append(BarItem());
            continue;
        }
        const QStringList fields = part.split(QLatin1Char('!'));
        if (!fields.first().startsWith(keyPrefix, Qt::CaseInsensitive))
            continue;
        BarItem item;
        item.id = fields.first().mid(keyPrefix.size()).trimmed();
        if (item.id.isEmpty())
            continue;
        for (int i = 1; i < fields.size(); ++i) {
            const QString name = fields.at(i).section(QLatin1Char('='), 0, 0).trimmed();
            const QString value = fields.at(i).section(QLatin1Char('='), 1).trimmed();
            if (name.compare(QLatin1String("Width"), Qt::CaseInsensitive) == 0) {
                bool ok = false;
                const int width = value.toInt(&ok);
                if (ok && width > 0)
                    item.width = width;
            }
        }
        items.append(item);
    }
    return items;
}
