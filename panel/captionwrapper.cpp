#include "captionwrapper.h"

#include "captionmarkup.h"
#include "itextmeasure.h"

#include <limits>
#include <vector>

namespace CaptionWrapper {

namespace {

constexpr QChar Space = QLatin1Char(' ');
constexpr QChar CR = QLatin1Char('\r');
constexpr QChar LF = QLatin1Char('\n');

qint32 clamp32(qint64 v)
{
    return qint32(qBound(qint64(std::numeric_limits<qint32>::min()), v,
                         qint64(std::numeric_limits<qint32>::max())));
}

QString rtrimmed(const QString &s)
{
    int end = int(s.size());
    while (end > 0 && s.at(end - 1) == Space)
        --end;
    return s.left(end);
}

// The wrap's working state. Pending is kept with the running sum of its character
// advances and the positions of its break characters, so that measuring it and
// looking back through it cost nothing per opportunity; a caption where every
// character may break (the hover tip's setting) stays linear.
class Wrapper
{
public:
    Wrapper(qint32 avail, const QString &lineBreakChars, ITextMeasure &measure)
        : m_avail(avail), m_breakChars(lineBreakChars), m_measure(measure),
          m_breakSet(0x10000, false)
    {
        for (QChar c : lineBreakChars)
            m_breakSet[c.unicode()] = true;
        m_lineText = CaptionMarkup::CurrentStyleTags(m_measure);
    }

    QVector<CaptionLine> run(const QString &caption)
    {
        const int L = int(caption.size());
        int i = 0;   // the scan position p - 1; i == L is the empty character after the end
        while (i <= L) {
            char which = 0;
            bool on = false;
            if (i < L && CaptionMarkup::styleTagAt(caption, i, &which, &on)) {
                m_lineWidth += pendingWidth();
                m_measure.applyStyle(which, on);
                commitPending(caption.mid(i, 4));
                i += 4;
                continue;
            }
            if (i < L && CaptionMarkup::colourTagAt(caption, i)) {
                m_lineWidth += pendingWidth();
                const int end = CaptionMarkup::colourTagEnd(caption, i);
                commitPending(caption.mid(i, end - i));
                i = end;
                continue;
            }
            const bool atEnd = i == L;
            const QChar c = atEnd ? QChar() : caption.at(i);
            if (isOpportunity(caption, i, c, atEnd) && m_avail < m_lineWidth + pendingWidth())
                lookBack();
            if (!atEnd && (c == CR || c == LF)) {
                // The pending text's leading spaces are printed, so they count.
                m_lineWidth += rtrimmedPendingWidth(int(m_pending.size()));
                closeLine(rtrimmed(m_lineText + m_pending) + CR, m_lineWidth);
                startLine(QString(), 0);
            } else if (!atEnd) {
                appendPending(c);
            }
            ++i;
        }
        m_lineWidth += rtrimmedPendingWidth(int(m_pending.size()));
        closeLine(rtrimmed(m_lineText + m_pending), m_lineWidth);
        return m_lines;
    }

private:
    bool inBreakChars(QChar c) const { return m_breakSet[c.unicode()]; }

    bool isBreakChar(QChar c) const { return c == Space || inBreakChars(c); }

    bool isOpportunity(const QString &caption, int i, QChar c, bool atEnd) const
    {
        const int L = int(caption.size());
        if (atEnd)
            // Only a non-empty LineBreakChars "contains" the empty character.
            return !m_breakChars.isEmpty();
        return (i + 1 < L && caption.at(i + 1) == QLatin1Char('<')) || c == LF || c == CR ||
               inBreakChars(c) || c == Space || i == L - 1;
    }

    // Looks back from the second-to-last character of Pending for a place to break.
    void lookBack()
    {
        const int len = int(m_pending.size());
        int k = 0;   // 1-based position of the last usable break character before the end
        for (auto it = m_breaks.rbegin(); it != m_breaks.rend(); ++it) {
            if (*it <= len - 1) {
                k = *it;
                break;
            }
        }
        if (m_lineWidth >= 1) {
            if (k > 1)
                splitAt(k);
            else if (len - 1 >= 1)
                closeBeforePending();
        } else if (k >= 1) {
            splitAt(k);
        }
    }

    void splitAt(int k)
    {
        const QString head = m_pending.left(k);
        closeLine(rtrimmed(m_lineText + head), m_lineWidth + rtrimmedPendingWidth(k));
        int restStart = k;
        while (restStart < m_pending.size() && m_pending.at(restStart) == Space)
            ++restStart;
        const qint32 restWidth = clamp32(m_widths.back() - m_widths[restStart]);
        startLine(m_pending.mid(restStart), restWidth);
    }

    void closeBeforePending()
    {
        if (m_lineText.endsWith(Space))
            m_lineWidth -= m_measure.charWidth(Space);
        closeLine(rtrimmed(m_lineText), m_lineWidth);
        int restStart = 0;
        while (restStart < m_pending.size() && m_pending.at(restStart) == Space)
            ++restStart;
        const qint32 restWidth = clamp32(m_widths.back() - m_widths[restStart]);
        startLine(m_pending.mid(restStart), restWidth);
    }

    void closeLine(const QString &text, qint64 width)
    {
        m_lines.append(CaptionLine{text, clamp32(width), m_measure.lineHeight()});
    }

    void startLine(const QString &text, qint32 width)
    {
        m_lineText = CaptionMarkup::CurrentStyleTags(m_measure) + text;
        m_lineWidth = width;
        clearPending();
    }

    void commitPending(const QString &tag)
    {
        m_lineText += m_pending;
        m_lineText += tag;
        clearPending();
    }

    void appendPending(QChar c)
    {
        m_pending += c;
        m_widths.push_back(m_widths.back() + m_measure.charWidth(c));
        if (isBreakChar(c))
            m_breaks.push_back(int(m_pending.size()));
    }

    void clearPending()
    {
        m_pending.clear();
        m_widths.assign(1, 0);
        m_breaks.clear();
    }

    qint64 pendingWidth() const { return m_widths.back(); }

    // The width of the first n characters of Pending without their trailing spaces.
    qint64 rtrimmedPendingWidth(int n) const
    {
        while (n > 0 && m_pending.at(n - 1) == Space)
            --n;
        return m_widths[size_t(n)];
    }

    const qint32 m_avail;
    const QString m_breakChars;
    ITextMeasure &m_measure;
    std::vector<bool> m_breakSet;    // LineBreakChars as a lookup, one flag per code unit
    QVector<CaptionLine> m_lines;

    QString m_lineText;              // the committed markup of the line being built
    qint64 m_lineWidth = 0;          // its printed width
    QString m_pending;               // text gathered since the last commit
    std::vector<qint64> m_widths{0}; // m_widths[j]: advance of Pending's first j characters
    std::vector<int> m_breaks;       // 1-based positions of Pending's break characters
};

} // namespace

QVector<CaptionLine> WrapCaption(const QString &caption, qint32 avail,
                                 const QString &lineBreakChars, ITextMeasure &measure)
{
    return Wrapper(avail, lineBreakChars, measure).run(caption);
}

} // namespace CaptionWrapper
