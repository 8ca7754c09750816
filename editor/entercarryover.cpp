#include "entercarryover.h"

namespace {

bool blankAt(const QString &text, int position)   // 1-based; outside the text is no blank
{
    return position >= 1 && position <= text.size() && text.at(position - 1) == QLatin1Char(' ');
}

} // namespace

EnterCarryOver::Plan EnterCarryOver::plan(const QString &lineText, int caretColumn)
{
    const QString &t = lineText;
    int p = caretColumn + 1;   // 1-based positions from here on, as the rule is written
    const int s = (t + QLatin1Char('\t')).indexOf(QLatin1Char('\t')) + 1;

    Plan plan;
    plan.lineBreak = QStringLiteral("\r\n");
    // After the line start, unless a tab follows the caret: that tab is the new line's start.
    const bool tabAtCaret = p <= t.size() && t.at(p - 1) == QLatin1Char('\t');
    if (p > s && !tabAtCaret)
        plan.lineBreak += QLatin1Char('\t');

    const QString rest = t.mid(s);
    int prefixLength = 0;
    while (prefixLength < rest.size()
           && (rest.at(prefixLength) == QLatin1Char('.') || rest.at(prefixLength) == QLatin1Char(' ')))
        ++prefixLength;
    QString prefix = rest.left(prefixLength);

    int e = p;
    const int pastPrefix = s + prefixLength + 1;
    if (p >= pastPrefix) {
        while (blankAt(t, p - 1) && p != pastPrefix)
            --p;
        while (blankAt(t, e))
            ++e;
    } else {
        prefix.clear();
    }
    plan.replaceStart = p - 1;
    plan.replaceEnd = e - 1;
    plan.prefix = prefix;
    return plan;
}
