#include "captionmarkup.h"
#include "captionwrapper.h"
#include "fixedmeasure.h"
#include "panelpainter.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

const QString P = QStringLiteral("<b0><i0><u0>");
const QString B = QStringLiteral("<b1><i0><u0>");

struct WrapCase
{
    const char *name;
    QString caption;
    qint32 avail;
    QString breakChars;
    QVector<CaptionLine> lines;
};

QVector<CaptionLine> wrap(const QString &caption, qint32 avail, const QString &breakChars)
{
    FixedMeasure measure;
    return CaptionWrapper::WrapCaption(CaptionMarkup::NormalizeLineBreaks(caption), avail,
                                       breakChars, measure);
}

std::string describe(const QVector<CaptionLine> &lines)
{
    QStringList out;
    for (const CaptionLine &l : lines)
        out << QStringLiteral("[%1|%2|%3]")
                   .arg(QString(l.Text).replace(QLatin1Char('\r'), QLatin1String("\\r")))
                   .arg(l.Width)
                   .arg(l.Height);
    return out.join(QLatin1Char(' ')).toStdString();
}

} // namespace

// Characters are 100 twips (bold 120), lines 200 twips (bold 240).
TEST(CaptionWrapper, WrapsAsTheRulesSay)
{
    const QString dash = QStringLiteral("-");
    const WrapCase cases[] = {
        {"empty caption still gives one line", "", 1000, dash, {{P, 0, 200}}},
        {"look-back finds the last space", "one two three", 750, dash,
         {{P + "one two", 700, 200}, {P + "three", 500, 200}}},
        {"hyphen stays at the line end", "abc-def", 450, dash,
         {{P + "abc-", 400, 200}, {P + "def", 300, 200}}},
        {"no break characters: only spaces break", "abc-def", 450, "",
         {{P + "abc-def", 700, 200}}},
        {"the trigger is not measured, so a hyphen overhangs", "ab-cd", 250, dash,
         {{P + "ab-", 300, 200}, {P + "cd", 200, 200}}},
        {"one more test after the end with break characters", "ab cd", 450, dash,
         {{P + "ab", 200, 200}, {P + "cd", 200, 200}}},
        {"no test after the end without them", "ab cd", 450, "",
         {{P + "ab cd", 500, 200}}},
        {"close before pending when the line has text", "aa bb cccc", 450, dash,
         {{P + "aa", 200, 200}, {P + "bb", 200, 200}, {P + "cccc", 400, 200}}},
        {"a word longer than the room is not broken", "abcdefghij", 300, dash,
         {{P + "abcdefghij", 1000, 200}}},
        {"CR LF", "ab\r\ncd", 1000, dash, {{P + "ab\r", 200, 200}, {P + "cd", 200, 200}}},
        {"lone LF", "ab\ncd", 1000, dash, {{P + "ab\r", 200, 200}, {P + "cd", 200, 200}}},
        {"CR CR gives an empty middle line", "ab\r\rcd", 1000, dash,
         {{P + "ab\r", 200, 200}, {P + "\r", 0, 200}, {P + "cd", 200, 200}}},
        {"trailing CR LF gives an empty last line", "ab\r\n", 1000, dash,
         {{P + "ab\r", 200, 200}, {P, 0, 200}}},
        {"a bold run is measured bold and carried to the next line", "a<b1>bcd efg", 500, dash,
         {{P + "a<b1>bcd", 460, 240}, {B + "efg", 360, 240}}},
        {"colour tag kept, not measured", "<fc=255>ab cd", 1000, dash,
         {{P + "<fc=255>ab cd", 500, 200}}},
        {"colour tag without > runs to the end", "ab<fc=12 cd", 1000, dash,
         {{P + "ab<fc=12 cd", 200, 200}}},
        {"wrong-case tag is text", "<B1>x", 1000, dash, {{P + "<B1>x", 500, 200}}},
        {"no room at all: a line per word and per hyphenated chunk", "aa bb-cc", -90, dash,
         {{P + "aa", 200, 200}, {P + "bb", 200, 200}, {P + "-cc", 300, 200}}},
        // The leading space of the text after a tag is printed, so it is counted.
        {"leading spaces of the last pending text count", "<b1>X<b0> = 5", 5000, dash,
         {{P + "<b1>X<b0> = 5", 520, 200}}},
        {"a paragraph's indent counts", "  ab\rcd", 5000, dash,
         {{P + "  ab\r", 400, 200}, {P + "cd", 200, 200}}},
        {"trailing spaces are trimmed and not counted", "ab   \rcd  ", 5000, dash,
         {{P + "ab\r", 200, 200}, {P + "cd", 200, 200}}},
    };
    for (const WrapCase &c : cases) {
        const QVector<CaptionLine> got = wrap(c.caption, c.avail, c.breakChars);
        EXPECT_EQ(got, c.lines) << c.name << "\n  got:      " << describe(got)
                                << "\n  expected: " << describe(c.lines);
    }
}

TEST(CaptionWrapper, TipSettingKeepsEveryLineWithinTheRoom)
{
    QString tipBreaks;
    for (int c = 32; c <= 255; ++c)
        tipBreaks += QChar(c);
    QString text;
    for (int i = 0; i < 400; ++i)
        text += QStringLiteral("S X=\"%1\" I X<5 W Y,!;").arg(i * 7919);
    const qint32 avail = 3000;
    const QVector<CaptionLine> lines = wrap(text, avail, tipBreaks);
    ASSERT_GT(lines.size(), 10);
    QString joined;
    for (const CaptionLine &l : lines) {
        EXPECT_LE(l.Width, avail) << l.Text.toStdString();
        EXPECT_TRUE(l.Text.startsWith(P));
        joined += l.Text.mid(P.size());
    }
    // Only spaces at the breaks are dropped; nothing else is lost.
    EXPECT_EQ(joined.remove(QLatin1Char(' ')), QString(text).remove(QLatin1Char(' ')));
}

TEST(CaptionWrapper, LongCaptionsNeverOverflow)
{
    // 5,000 lines at 200 twips are a million twips, far beyond 16 bits.
    QStringList many;
    for (int i = 0; i < 5000; ++i)
        many << QStringLiteral("line %1").arg(i);
    const QVector<CaptionLine> lines = wrap(many.join(QLatin1Char('\r')), 30000, QStringLiteral("-"));
    ASSERT_EQ(lines.size(), 5000);
    qint64 total = 0;
    for (const CaptionLine &l : lines)
        total += l.Height;
    EXPECT_EQ(total, 1000000);

    // One unbroken line of 100,000 characters: 10,000,000 twips wide.
    const QVector<CaptionLine> wide = wrap(QString(100000, QLatin1Char('x')), 3000, QString());
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(wide.first().Width, 10000000);
}

TEST(CaptionMarkup, StyleTagsAndPrefix)
{
    struct Case { const char *text; bool tag; char which; bool on; };
    const Case cases[] = {
        {"<b1>", true, 'b', true}, {"<b0>", true, 'b', false}, {"<i1>", true, 'i', true},
        {"<i0>", true, 'i', false}, {"<u1>", true, 'u', true}, {"<u0>", true, 'u', false},
        {"<B1>", false, 0, false}, {"<b2>", false, 0, false}, {"<b1", false, 0, false},
        {"<x1>", false, 0, false}, {"b1>", false, 0, false},
    };
    for (const Case &c : cases) {
        char which = 0;
        bool on = false;
        EXPECT_EQ(CaptionMarkup::styleTagAt(QString::fromLatin1(c.text), 0, &which, &on), c.tag) << c.text;
        if (c.tag) {
            EXPECT_EQ(which, c.which) << c.text;
            EXPECT_EQ(on, c.on) << c.text;
        }
    }
    EXPECT_EQ(CaptionMarkup::CurrentStyleTags(true, false, true), QStringLiteral("<b1><i0><u1>"));
    EXPECT_EQ(CaptionMarkup::NormalizeLineBreaks(QStringLiteral("a\r\n\r\nb\n\rc")),
              QStringLiteral("a\r\rb\n\rc"));

    QString number;
    EXPECT_EQ(CaptionMarkup::colourTagEnd(QStringLiteral("<fc=255>x"), 0, &number), 8);
    EXPECT_EQ(number, QStringLiteral("255"));
    EXPECT_EQ(CaptionMarkup::colourTagEnd(QStringLiteral("<fc=12 cd"), 0, &number), 9);
    EXPECT_EQ(number, QStringLiteral("12 cd"));
    EXPECT_FALSE(CaptionMarkup::colourTagAt(QStringLiteral("<FC=1>"), 0));
}

TEST(CaptionMarkup, ValPrefixReadsTheNumericPrefix)
{
    struct Case { const char *text; qint64 value; };
    const Case cases[] = {
        {"255", 255}, {"  255x", 255}, {"&HFF", 255}, {"&hff", 255}, {"&HFF0000", 16711680},
        {"&HFFFF", 65535}, {"&O17", 15}, {"-1", -1}, {"+7", 7}, {"1e3", 1000}, {"1E+2", 100},
        {"2.5", 2}, {"3.5", 4}, {".5", 0}, {"1.5e", 2}, {"abc", 0}, {"", 0}, {"&H", 0},
        {"&Hxyz", 0}, {"12abc", 12},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CaptionMarkup::ValPrefix(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(CaptionMarkup, ColourNumbersNeverRaise)
{
    struct Case { const char *text; quint32 colour; };
    const Case cases[] = {
        {"16711680", 0x00FF0000u},     // pure blue
        {"255", 0x000000FFu},          // pure red
        {"abc", 0u},                   // black
        {"&H80000018", 0x80000018u},   // a system colour
    };
    for (const Case &c : cases)
        EXPECT_EQ(CaptionMarkup::colourFromNumberText(QString::fromLatin1(c.text)), c.colour) << c.text;
    // Beyond 32 bits: saturated to a value that names no colour.
    for (const char *huge : {"99999999999", "&H123456789", "1e300", "-1e300"}) {
        const quint32 c = CaptionMarkup::colourFromNumberText(QString::fromLatin1(huge));
        EXPECT_EQ(c, 0xFFFFFFFFu) << huge;
    }
}

TEST(CaptionMarkup, MeasureMarkupSkipsTagsAndSpaces)
{
    FixedMeasure m;
    EXPECT_EQ(CaptionMarkup::MeasureMarkup(P + "a b<fc=255>c", m), 300);
    EXPECT_EQ(CaptionMarkup::MeasureMarkup(P + "a<b1>b c", m), 100 + 240);
}

TEST(PanelSizing, HeightFirstThenWidthWithinTheLimits)
{
    struct Case
    {
        const char *name;
        QVector<qint32> widths;   // one 200-twip line per entry
        int maxW, minW, maxH, minH;
        QSize expected;
    };
    const Case cases[] = {
        {"one short line", {1000}, 2000, 0, 0, 0, {1090, 260}},
        {"one line at least MinWidth", {1000}, 2000, 3000, 0, 0, {3000, 260}},
        // 60 + 1920 < 2000 fits the test, but 1920 + 90 would pass the limit.
        {"one line near the limit stays within MaxWidth", {1920}, 2000, 0, 0, 0, {2000, 260}},
        {"one line wider than the room takes MaxWidth", {5000}, 2000, 0, 0, 0, {2000, 260}},
        {"one wide line and a larger MinWidth", {5000}, 2000, 2500, 0, 0, {2500, 260}},
        {"several lines capped at MaxWidth", {1500, 800}, 1000, 0, 0, 0, {1000, 460}},
        {"several lines at least MinWidth", {500, 800}, 1000, 1200, 0, 0, {1200, 460}},
        {"several lines at their widest", {500, 800}, 1000, 0, 0, 0, {890, 460}},
        {"MaxHeight caps", {500, 800}, 2000, 0, 300, 0, {890, 300}},
        {"MinHeight raises", {500}, 2000, 0, 0, 1000, {590, 1000}},
    };
    for (const Case &c : cases) {
        QVector<CaptionLine> lines;
        for (qint32 w : c.widths)
            lines.append(CaptionLine{QString(), w, 200});
        PanelProps props;
        props.MaxWidth = c.maxW;
        props.MinWidth = c.minW;
        props.MaxHeight = c.maxH;
        props.MinHeight = c.minH;
        EXPECT_EQ(autoSizeTwips(lines, props), c.expected) << c.name;
    }
    // 5,000 lines with no height limit saturate at the 16-bit maximum.
    QVector<CaptionLine> many(5000, CaptionLine{QString(), 100, 200});
    PanelProps props;
    props.MaxWidth = 3000;
    props.MaxHeight = 0;
    EXPECT_EQ(autoSizeTwips(many, props), QSize(190, 32767));
}
