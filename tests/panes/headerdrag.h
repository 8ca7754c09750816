#pragma once

#include <QHeaderView>
#include <QTest>

// Drags a column's header by the mouse, as the user does, and lets it go over the left
// or the right half of another column's header.
inline void dragHeader(QHeaderView *header, int column, int onto, bool leftHalf)
{
    QWidget *area = header->viewport();
    const int y = header->height() / 2;
    const QPoint from(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, y);
    const int quarter = header->sectionSize(onto) / 4;
    const QPoint to(header->sectionViewportPosition(onto) + (leftHalf ? quarter : 3 * quarter), y);
    QTest::mousePress(area, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 8; ++step)
        QTest::mouseMove(area, from + (to - from) * step / 8);
    QTest::mouseRelease(area, Qt::LeftButton, {}, to);
}
