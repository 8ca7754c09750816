#include "lumopanel.h"

#include <QApplication>
#include <QBitmap>
#include <QPalette>
#include <QRegion>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr quint32 White = 0x00FFFFFFu;
constexpr quint32 Red = 0x000000FFu;
constexpr quint32 Blue = 0x00FF0000u;

const QColor DarkRole(10, 20, 30);      // button shadow
const QColor LightRole(200, 210, 220);  // button highlight
const QColor MidlightRole(90, 100, 110);

// The frames use system colours; give them values that differ from everything else.
class PanelPaint : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = QApplication::palette();
        QPalette p = m_saved;
        p.setColor(QPalette::Dark, DarkRole);
        p.setColor(QPalette::Light, LightRole);
        p.setColor(QPalette::Midlight, MidlightRole);
        QApplication::setPalette(p);
    }
    void TearDown() override { QApplication::setPalette(m_saved); }

    // A plain white panel with black text, no frame, top-left, fixed size.
    static std::unique_ptr<LumoPanel> plain(QSize size, const QString &caption = QString())
    {
        auto panel = std::make_unique<LumoPanel>();
        panel->resize(size);
        panel->setBackColor(White);
        panel->setForeColor(0);
        panel->setFrameStyle(LumoPanel::None);
        panel->setAlignment(LumoPanel::TopLeft);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        panel->setPanelFont(font);
        panel->setCaption(caption);
        return panel;
    }

    QPalette m_saved;
};

QColor at(const LumoPanel &panel, int x, int y)
{
    return QColor(panel.image().pixel(x, y));
}

bool isBackground(QRgb px)
{
    return (px & 0xFFFFFF) == 0xFFFFFF;
}

// The smallest rectangle holding every pixel that is not the white background.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!isBackground(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST_F(PanelPaint, FramesPaintTheirRings)
{
    const QColor back(Qt::white), black(Qt::black);
    struct Case
    {
        int style;
        QColor outerLeft, innerLeft, outerRight, innerRight, bottomLeftCorner, topRightCorner;
    };
    const Case cases[] = {
        {0, back, back, back, back, back, back},
        {1, DarkRole, back, LightRole, back, LightRole, LightRole},
        {2, LightRole, back, DarkRole, back, DarkRole, DarkRole},
        {3, DarkRole, LightRole, LightRole, DarkRole, LightRole, LightRole},
        {4, LightRole, DarkRole, DarkRole, LightRole, DarkRole, DarkRole},
        {5, DarkRole, black, QColor(Qt::white), MidlightRole, QColor(Qt::white), QColor(Qt::white)},
        {7, back, back, back, back, back, back},   // outside the table: nothing
    };
    for (const Case &c : cases) {
        auto panel = plain(QSize(40, 20));
        panel->setFrameStyle(c.style);
        EXPECT_EQ(at(*panel, 0, 10), c.outerLeft) << c.style;
        EXPECT_EQ(at(*panel, 20, 0), c.outerLeft) << c.style;
        EXPECT_EQ(at(*panel, 1, 10), c.innerLeft) << c.style;
        EXPECT_EQ(at(*panel, 20, 1), c.innerLeft) << c.style;
        EXPECT_EQ(at(*panel, 39, 10), c.outerRight) << c.style;
        EXPECT_EQ(at(*panel, 20, 19), c.outerRight) << c.style;
        EXPECT_EQ(at(*panel, 38, 10), c.innerRight) << c.style;
        EXPECT_EQ(at(*panel, 20, 18), c.innerRight) << c.style;
        EXPECT_EQ(at(*panel, 0, 19), c.bottomLeftCorner) << c.style;
        EXPECT_EQ(at(*panel, 39, 0), c.topRightCorner) << c.style;
        EXPECT_EQ(at(*panel, 20, 10), back) << c.style;
    }
}

TEST_F(PanelPaint, UserBorderBandsAreBorderWidthWide)
{
    for (int width : {1, 2, 4}) {
        auto panel = plain(QSize(40, 20));
        panel->setBorderColor(Red);
        panel->setBorderWidth(width);
        panel->setFrameStyle(LumoPanel::UserBorder);
        const QColor red(255, 0, 0), back(Qt::white);
        for (int i = 0; i < width; ++i) {
            EXPECT_EQ(at(*panel, i, 10), red) << width;
            EXPECT_EQ(at(*panel, 39 - i, 10), red) << width;
            EXPECT_EQ(at(*panel, 20, i), red) << width;
            EXPECT_EQ(at(*panel, 20, 19 - i), red) << width;
        }
        EXPECT_EQ(at(*panel, width, 10), back) << width;
        EXPECT_EQ(at(*panel, 39 - width, 10), back) << width;
        EXPECT_EQ(at(*panel, 20, width), back) << width;
        EXPECT_EQ(at(*panel, 20, 19 - width), back) << width;
    }
}

TEST_F(PanelPaint, ShadowIsTheTextTranslated)
{
    const int distance = 20;
    auto panel = plain(QSize(120, 80));
    panel->setForeColor(Blue);
    panel->setShadowColor(Red);
    panel->setShadowDistance(distance);
    panel->setWithShadow(true);
    panel->setCaption(QStringLiteral("<fc=255>Xy"));   // colour tags do not touch the shadow
    const QImage img = panel->image();
    // Over white, red text keeps its red channel at 255 and loses green and blue by
    // its coverage; the shadow (pure red too, here) likewise. Compare coverage.
    auto coverage = [&](int x, int y) { return 255 - qGreen(img.pixel(x, y)); };
    int inked = 0;
    const QRect text = inkBox(img);
    ASSERT_TRUE(text.isValid());
    for (int y = 0; y + distance < img.height(); ++y)
        for (int x = 0; x + distance < img.width(); ++x) {
            // Pixels of the text pass lie above and left of the shadow; the two do not
            // overlap at this distance, so each text pixel has its shadow twin.
            if (y >= text.top() + distance || x >= text.left() + distance)
                continue;
            EXPECT_EQ(coverage(x, y), coverage(x + distance, y + distance)) << x << "," << y;
            inked += coverage(x, y) > 0;
        }
    EXPECT_GT(inked, 10);
}

TEST_F(PanelPaint, ColourTagsColourTheTextAndPersistToTheNextLine)
{
    auto panel = plain(QSize(160, 60), QStringLiteral("<fc=255>HHHH\r\nHHHH"));
    const QImage img = panel->image();
    ASSERT_EQ(panel->Lines().size(), 2);
    const int lineHeight = panel->Lines().first().Height / 15;
    int redFirst = 0, redSecond = 0, blueish = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (isBackground(px))
                continue;
            if (qRed(px) == 255 && qGreen(px) < 128)
                (y < lineHeight ? redFirst : redSecond)++;
            if (qBlue(px) > qRed(px))
                ++blueish;
        }
    EXPECT_GT(redFirst, 10);
    EXPECT_GT(redSecond, 10);
    EXPECT_EQ(blueish, 0);
}

TEST_F(PanelPaint, BadColoursDrawBlackAndLaterRedrawsStillRun)
{
    for (const char *caption : {"<fc=&H800000FF>HHH", "<fc=99999999999>HHH", "<fc=-1>HHH"}) {
        auto panel = plain(QSize(100, 30), QString::fromLatin1(caption));
        const QImage img = panel->image();
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb px = img.pixel(x, y);
                EXPECT_TRUE(qRed(px) == qGreen(px) && qGreen(px) == qBlue(px)) << caption;
                dark += qRed(px) < 64;
            }
        EXPECT_GT(dark, 5) << caption;
        const int before = panel->redrawCount();
        panel->setCaption(QStringLiteral("after"));
        EXPECT_EQ(panel->redrawCount(), before + 1) << caption;
    }
    // An unknown system colour as a property draws black as well.
    auto panel = plain(QSize(60, 20));
    panel->setBackColor(0x80000099u);
    EXPECT_EQ(at(*panel, 30, 10), QColor(Qt::black));
}

TEST_F(PanelPaint, AlignmentsAreTranslationsOfTopLeft)
{
    const QSize size(200, 100);
    const QString caption = QStringLiteral("Ab");
    auto reference = plain(size, caption);
    const QImage ref = reference->image();
    const QRect refBox = inkBox(ref);
    ASSERT_TRUE(refBox.isValid());
    const CaptionLine line = reference->Lines().first();
    const int D = 3 * 15, W = size.width() * 15, H = size.height() * 15;
    auto floorHalf = [](int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    for (int a = -1; a <= 12; ++a) {
        auto panel = plain(size, QString());
        panel->setAlignment(a);
        panel->setCaption(caption);
        int x = D;
        if (a % 4 == 1)
            x = D + floorHalf(W - 2 * D - line.Width);
        else if (a % 4 == 2)
            x = W - D - line.Width;
        if (a < 0 || a > 11)
            x = 0;   // outside the table: the line starts where the print position stands
        int y = 0;
        if (a >= 4 && a <= 7)
            y = floorHalf(H - line.Height);
        else if (a >= 8 && a <= 11)
            y = H - line.Height;
        const QPoint shift(qRound(x / 15.0) - 3, qRound(y / 15.0));
        const QImage img = panel->image();
        EXPECT_EQ(inkBox(img), refBox.translated(shift)) << a;
        EXPECT_EQ(img.copy(refBox.translated(shift)), ref.copy(refBox)) << a;
    }
}

TEST_F(PanelPaint, BlockLinesSpanTheRoom)
{
    const QSize size(150, 200);
    auto panel = plain(size, QString());
    panel->setAlignment(LumoPanel::TopBlock);
    panel->setCaption(QStringLiteral("HH H HHH HH H HHHH H HH HHH H HH H HHH HH\r\nHH H HH"));
    const QVector<CaptionLine> lines = panel->Lines();
    ASSERT_GE(lines.size(), 4);
    const QImage img = panel->image();
    const int D = 3;
    int top = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const int height = lines[i].Height / 15;
        const QRect box = inkBox(img.copy(0, top, img.width(), height));
        const bool justified = !lines[i].Text.endsWith(QLatin1Char('\r')) && i != lines.size() - 1 &&
                               lines[i].Text.contains(QLatin1Char(' '));
        ASSERT_TRUE(box.isValid()) << i;
        EXPECT_NEAR(box.left(), D, 2) << i;
        if (justified)
            EXPECT_NEAR(box.right(), size.width() - D - 1, 2) << i;
        else
            EXPECT_LT(box.right(), size.width() - D - 4) << i;   // flush left, shorter
        top += height;
    }
}

// The shadow pass justifies line 1 too; the text pass must start that line afresh.
TEST_F(PanelPaint, JustifiedTextPassStartsAtTheMarginAfterTheShadow)
{
    auto panel = plain(QSize(150, 200), QString());
    panel->setAlignment(LumoPanel::TopBlock);
    panel->setShadowColor(Red);
    panel->setShadowDistance(20);
    panel->setWithShadow(true);
    // Two lines: the only justified line is both the shadow pass's last and the text
    // pass's first, so only the pass start can tell them apart.
    QString caption = QStringLiteral("HH H HHH HH H");
    while (true) {
        panel->setCaption(caption);
        if (panel->Lines().size() >= 2)
            break;
        caption += QStringLiteral(" HH");
    }
    ASSERT_EQ(panel->Lines().size(), 2);
    const QImage img = panel->image();
    const int height = panel->Lines().first().Height / 15;
    int left = img.width();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qRed(px) == qGreen(px) && qGreen(px) == qBlue(px) && qRed(px) < 128)
                left = qMin(left, x);
        }
    EXPECT_NEAR(left, 3, 2);
}

TEST_F(PanelPaint, TransparentPanelMasksItsBackColour)
{
    auto panel = plain(QSize(80, 30), QStringLiteral("HHH"));
    panel->setFrameStyle(LumoPanel::UserBorder);
    panel->setTransparentColor(White);
    EXPECT_TRUE(panel->mask().isEmpty());   // opaque: no mask
    panel->setBackStyle(LumoPanel::Transparent);
    const QRegion mask = panel->mask();
    EXPECT_TRUE(mask.contains(QPoint(0, 15)));       // the frame stays
    EXPECT_FALSE(mask.contains(QPoint(70, 25)));     // the back colour is see-through
    const QRect ink = inkBox(panel->image().copy(2, 2, 76, 26)).translated(2, 2);
    bool textVisible = false;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            textVisible = textVisible || (mask.contains(QPoint(x, y)) && qRed(panel->image().pixel(x, y)) < 64);
    EXPECT_TRUE(textVisible);
    // A new mask colour applies at once, without a redraw.
    const int before = panel->redrawCount();
    panel->setTransparentColor(Red);
    EXPECT_EQ(panel->redrawCount(), before);
    EXPECT_TRUE(panel->mask().contains(QPoint(70, 25)));
}

TEST_F(PanelPaint, DisabledPanelPaintsLikeAnEnabledOne)
{
    auto panel = plain(QSize(80, 30), QStringLiteral("HHH"));
    const QImage enabled = panel->image();
    panel->setPanelEnabled(false);
    panel->setCaption(QStringLiteral("HHH"));
    EXPECT_EQ(panel->image(), enabled);
    EXPECT_EQ(panel->grab().toImage().convertToFormat(enabled.format()), enabled);
}

TEST_F(PanelPaint, SelfSizingFollowsTheMeasuredLines)
{
    auto panel = plain(QSize(100, 30));
    panel->setAutoResize(true);
    panel->setMaxHeight(0);
    panel->setMaxWidth(3000);
    panel->setCaption(QStringLiteral("short"));
    const CaptionLine one = panel->Lines().first();
    EXPECT_EQ(panel->size(), QSize(qRound((one.Width + 90) / 15.0), qRound((one.Height + 60) / 15.0)));

    // A single unbreakable line wider than the room takes MaxWidth, whatever the
    // previous caption left.
    panel->setCaption(QString(300, QLatin1Char('W')));
    ASSERT_EQ(panel->Lines().size(), 1);
    EXPECT_EQ(panel->width(), 200);

    panel->setMinWidth(3300);
    EXPECT_EQ(panel->width(), 220);
}

TEST_F(PanelPaint, HugeCaptionsKeepRedrawing)
{
    auto panel = plain(QSize(100, 30));
    panel->setAutoResize(true);
    panel->setMaxWidth(6000);
    panel->setMaxHeight(0);

    // 300 lines pass 32,767 twips; 5,000 go far beyond.
    for (int count : {300, 5000}) {
        QStringList many;
        for (int i = 0; i < count; ++i)
            many << QStringLiteral("line %1").arg(i);
        const int before = panel->redrawCount();
        panel->setCaption(many.join(QStringLiteral("\r\n")));
        EXPECT_EQ(panel->redrawCount(), before + 1) << count;
        EXPECT_EQ(panel->Lines().size(), count);
        EXPECT_EQ(panel->height(), qRound(32767 / 15.0)) << count;
    }

    // A 100,000-character tip, every character a break character.
    QString tipBreaks;
    for (int c = 32; c <= 255; ++c)
        tipBreaks += QChar(c);
    panel->setLineBreakChars(tipBreaks);
    QString tip;
    while (tip.size() < 100000)
        tip += QStringLiteral("S ^X(\"key\",%1)=\"<value> & more\" ").arg(tip.size());
    panel->setCaption(tip);
    const int avail = 6000 - 2 * 45;
    for (const CaptionLine &line : panel->Lines())
        ASSERT_LE(line.Width, avail);

    // Afterwards an ordinary caption is drawn correctly.
    panel->setMaxHeight(3000);
    panel->setCaption(QStringLiteral("ok"));
    ASSERT_EQ(panel->Lines().size(), 1);
    EXPECT_EQ(panel->size(), QSize(qRound((panel->Lines().first().Width + 90) / 15.0),
                                   qRound((panel->Lines().first().Height + 60) / 15.0)));
    EXPECT_TRUE(inkBox(panel->image()).isValid());
}

// A self-sized panel is as wide as its measured lines; every character, a tab included,
// must be drawn inside what was measured for it, or the text is cut at the panel's edge.
TEST_F(PanelPaint, SelfSizedPanelsHoldAllTheirText)
{
    const QString longLine = QStringLiteral("\tSET ^TMP($J,\"KEY\")=$GET(^DATA(ID,\"NAME\"))_\"\t\"_COUNT ") .repeated(12);
    const QStringList captions = {
        QStringLiteral("LABEL\tSET X=1"),
        QStringLiteral("\tQ"),
        QStringLiteral("a\tb\tc\t"),
        QStringLiteral("WW\t\tWW"),
        QStringLiteral("<b1>Bold\t<i1>italic\tfff<u1>under<b0><i0><u0>\tplain"),
        QStringLiteral("<fc=255>red\t<fc=16711680>blue\tand more"),
        QStringLiteral("X=\"a\tb\"\r\nY=<b1>\t12345<b0>\r\nZ=\x01\x02\x1f\x7f end"),
        QStringLiteral("<i1>ffff\tllll\tWWWW<i0>"),
        longLine,
    };
    constexpr int Room = 3;   // pixels between the text and the panel's edges
    for (const QString &caption : captions) {
        SCOPED_TRACE(caption.left(40).toStdString());
        // The drawn width on a panel far wider than the text, where nothing is cut.
        auto wide = plain(QSize(4000, 200), caption);
        wide->setBorderTextDistance(Room);
        for (int a = LumoPanel::TopLeft; a <= LumoPanel::BottomBlock; ++a) {
            SCOPED_TRACE(a);
            auto panel = plain(QSize(10, 10));
            panel->setBorderTextDistance(Room);
            panel->setAlignment(a);
            panel->setMaxHeight(0);
            panel->setMaxWidth(600 * 15);
            panel->setAutoResize(true);
            panel->setCaption(caption);
            const QRect ink = inkBox(panel->image());
            ASSERT_TRUE(ink.isValid());
            // One pixel of give for anti-aliasing and a slanted glyph's overhang.
            EXPECT_GE(ink.left(), Room - 1) << "panel width " << panel->width();
            EXPECT_LE(ink.right(), panel->width() - Room) << "panel width " << panel->width();
            EXPECT_LE(ink.bottom(), panel->height() - 1);
            if (panel->Lines().size() == 1 && a == LumoPanel::TopLeft) {
                const QRect drawn = inkBox(wide->image());
                EXPECT_LE(drawn.width(), ink.width() + 1);
                EXPECT_LE(drawn.right(), panel->width() - Room);
            }
        }
    }
}
