#include "itextmeasure.h"

#include <limits>

qint32 ITextMeasure::textWidth(const QString &text)
{
    qint64 sum = 0;
    for (QChar c : text)
        sum += charWidth(c);
    return qint32(qMin<qint64>(sum, std::numeric_limits<qint32>::max()));
}
