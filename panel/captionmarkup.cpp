#include "captionmarkup.h"

#include "itextmeasure.h"
#include "olecolor.h"

#include <cmath>
#include <limits>

namespace CaptionMarkup {

bool styleTagAt(const QString &text, int pos, char *which, bool *on)
{
    if (pos < 0 || pos + 4 > text.size())
        return false;
    if (text.at(pos) != QLatin1Char('<') || text.at(pos + 3) != QLatin1Char('>'))
        return false;
    const QChar w = text.at(pos + 1);
    const QChar d = text.at(pos + 2);
    if (w != QLatin1Char('b') && w != QLatin1Char('i') && w != QLatin1Char('u'))
        return false;
    if (d != QLatin1Char('0') && d != QLatin1Char('1'))
        return false;
    if (which)
        *which = char(w.unicode());
    if (on)
        *on = d == QLatin1Char('1');
    return true;
}

bool colourTagAt(const QString &text, int pos)
{
    return pos >= 0 && QStringView(text).mid(pos).startsWith(QLatin1String("<fc="));
}

int colourTagEnd(const QString &text, int pos, QString *numberText)
{
    const int start = pos + 4;
    const int close = text.indexOf(QLatin1Char('>'), start);
    const int numberEnd = close < 0 ? int(text.size()) : close;
    if (numberText)
        *numberText = text.mid(start, numberEnd - start);
    return close < 0 ? int(text.size()) : close + 1;
}

QString CurrentStyleTags(bool bold, bool italic, bool underline)
{
    QString tags = QStringLiteral("<b0><i0><u0>");
    if (bold)
        tags[2] = QLatin1Char('1');
    if (italic)
        tags[6] = QLatin1Char('1');
    if (underline)
        tags[10] = QLatin1Char('1');
    return tags;
}

QString CurrentStyleTags(const ITextMeasure &measure)
{
    return CurrentStyleTags(measure.bold(), measure.italic(), measure.underline());
}

QString NormalizeLineBreaks(const QString &caption)
{
    QString text = caption;
    text.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    return text;
}

namespace {

qint64 saturate(double value)
{
    // Beyond 64 bits nothing is a colour anyway; the caller saturates further.
    if (!(value < 9.2e18))
        return std::numeric_limits<qint64>::max();
    if (!(value > -9.2e18))
        return std::numeric_limits<qint64>::min();
    return qint64(std::nearbyint(value));
}

int digitValue(QChar c, int base)
{
    int v = -1;
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        v = c.unicode() - '0';
    else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        v = c.unicode() - 'a' + 10;
    else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        v = c.unicode() - 'A' + 10;
    return v < base ? v : -1;
}

qint64 readRadix(const QString &text, int pos, int base)
{
    quint64 value = 0;
    bool any = false;
    for (; pos < text.size(); ++pos) {
        const int d = digitValue(text.at(pos), base);
        if (d < 0)
            break;
        any = true;
        value = value * quint64(base) + quint64(d);
        if (value > 0xFFFFFFFFull)   // more than 32 bits: saturate, never wrap around
            return std::numeric_limits<qint64>::max();
    }
    return any ? qint64(value) : 0;
}

} // namespace

qint64 ValPrefix(const QString &text)
{
    int pos = 0;
    while (pos < text.size() && (text.at(pos) == QLatin1Char(' ') || text.at(pos) == QLatin1Char('\t')))
        ++pos;
    if (pos + 1 < text.size() && text.at(pos) == QLatin1Char('&')) {
        const QChar kind = text.at(pos + 1).toUpper();
        if (kind == QLatin1Char('H'))
            return readRadix(text, pos + 2, 16);
        if (kind == QLatin1Char('O'))
            return readRadix(text, pos + 2, 8);
        return 0;
    }
    // The longest prefix of the form [sign] digits [. digits] [e [sign] digits].
    QByteArray number;
    int i = pos;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        number += char(text.at(i++).unicode());
    bool digits = false;
    while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128) {
        number += char(text.at(i++).unicode());
        digits = true;
    }
    if (i < text.size() && text.at(i) == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < text.size() && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9') {
            number += char(text.at(i++).unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < text.size() && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E') ||
                            text.at(i) == QLatin1Char('d') || text.at(i) == QLatin1Char('D'))) {
        int j = i + 1;
        QByteArray exponent = "e";
        if (j < text.size() && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            exponent += char(text.at(j++).unicode());
        bool expDigits = false;
        while (j < text.size() && text.at(j).unicode() >= '0' && text.at(j).unicode() <= '9') {
            exponent += char(text.at(j++).unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok) {
        // The form is valid by construction, so a failure is a magnitude out of range:
        // a negative exponent went to zero, a positive one to infinity.
        if (number.contains("e-"))
            return 0;
        return number.startsWith('-') ? std::numeric_limits<qint64>::min()
                                      : std::numeric_limits<qint64>::max();
    }
    return saturate(value);
}

quint32 colourFromNumberText(const QString &text)
{
    return OleColor::fromNumber(ValPrefix(text));
}

qint32 MeasureMarkup(const QString &lineText, ITextMeasure &measure)
{
    qint64 sum = 0;
    int i = 0;
    while (i < lineText.size()) {
        char which = 0;
        bool on = false;
        if (styleTagAt(lineText, i, &which, &on)) {
            measure.applyStyle(which, on);
            i += 4;
        } else if (colourTagAt(lineText, i)) {
            i = colourTagEnd(lineText, i);
        } else {
            const QChar c = lineText.at(i++);
            if (c != QLatin1Char(' '))
                sum += measure.charWidth(c);
        }
    }
    return qint32(qMin<qint64>(sum, std::numeric_limits<qint32>::max()));
}

} // namespace CaptionMarkup
