#include "fieldconversion.h"

#include <QLoggingCategory>

#include <cmath>

Q_LOGGING_CATEGORY(lcFields, "vantrel.fields", QtWarningMsg)

namespace FieldConversion {

namespace {

// A field's text as a whole number within [low, high], rounded half to even as the
// protocol's numbers always were. False for anything else, the empty text included.
bool toWhole(const QString &text, double low, double high, double &out)
{
    // Nearly every field is a few plain digits (levels, flags, formats): read those
    // directly. Nine digits cannot overflow; anything else takes the general road.
    const qsizetype size = text.size();
    const qsizetype first = size > 0 && text.front() == QLatin1Char('-') ? 1 : 0;
    if (size > first && size - first <= 9) {
        qint32 magnitude = 0;
        qsizetype i = first;
        for (; i < size; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9')
                break;
            magnitude = magnitude * 10 + (c - u'0');
        }
        if (i == size) {
            const double value = first ? -double(magnitude) : double(magnitude);
            if (value < low || value > high)
                return false;
            out = value;
            return true;
        }
    }
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    const double rounded = std::nearbyint(value);
    if (rounded < low || rounded > high)
        return false;
    out = rounded;
    return true;
}

void noteFailedConversion(const QString &text, const char *kind)
{
    // Missing fields read as ""; only a text that was there and did not convert is news.
    if (!text.isEmpty())
        qCDebug(lcFields).noquote() << "field" << text << "is no" << kind << "- taken as 0";
}

} // namespace

qint16 toInteger(const QString &text)
{
    double value = 0;
    if (!toWhole(text, -32768.0, 32767.0, value)) {
        noteFailedConversion(text, "integer");
        return 0;
    }
    return qint16(value);
}

qint32 toLong(const QString &text)
{
    double value = 0;
    if (!toWhole(text, -2147483648.0, 2147483647.0, value)) {
        noteFailedConversion(text, "long");
        return 0;
    }
    return qint32(value);
}

qint32 toLongWithin(const QString &text, qint32 low, qint32 high, qint32 fallback)
{
    double value = 0;
    if (!toWhole(text, double(low), double(high), value)) {
        if (!text.isEmpty())
            qCDebug(lcFields).noquote() << "field" << text << "is no number from" << low << "to" << high
                                        << "- taken as" << fallback;
        return fallback;
    }
    return qint32(value);
}

double toNumber(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        noteFailedConversion(text, "number");
        return 0;
    }
    return value;
}

bool toFlag(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        noteFailedConversion(text, "flag");
        return false;
    }
    return value != 0;
}

} // namespace FieldConversion
