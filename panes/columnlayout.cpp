#include "columnlayout.h"

#include <QHeaderView>

#include <cmath>

namespace {

QString widthAttribute(const QString &prefix, int column)
{
    return prefix + QStringLiteral("ColWid") + QString::number(column);
}

QString sequenceAttribute(const QString &prefix, int position)
{
    return prefix + QStringLiteral("ColSeq") + QString::number(position);
}

} // namespace

void ColumnLayout::save(const QHeaderView &header, Memento &memento, const QString &prefix)
{
    for (int i = header.count() - 1; i >= 0; --i) {
        memento.write(widthAttribute(prefix, i), double(header.sectionSize(i)));
        memento.write(sequenceAttribute(prefix, header.visualIndex(i)), i);
    }
}

void ColumnLayout::restore(QHeaderView &header, const Memento &memento, const QString &prefix)
{
    const int count = header.count();
    // Filling the display positions from the last one down moves each column only
    // across positions still to be filled, so a complete saved order comes back exactly.
    for (int i = count - 1; i >= 0; --i) {
        double width = 0;
        if (memento.readDouble(widthAttribute(prefix, i), width) && std::isfinite(width)
            && width >= 0 && width <= QWIDGETSIZE_MAX)
            header.resizeSection(i, int(std::lround(width)));
        qint32 column = -1;
        if (memento.readInt(sequenceAttribute(prefix, i), column) && column >= 0 && column < count)
            header.moveSection(header.visualIndex(column), i);
    }
}
