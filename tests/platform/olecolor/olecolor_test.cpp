#include "olecolor.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

namespace {

// Every role the table uses gets its own colour, so a wrong mapping shows.
class KnownPalette : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = QApplication::palette();
        QPalette p;
        const QPalette::ColorRole roles[] = {
            QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text,
            QPalette::Button, QPalette::ButtonText, QPalette::Light, QPalette::Midlight,
            QPalette::Dark, QPalette::Shadow, QPalette::Highlight, QPalette::HighlightedText,
            QPalette::ToolTipBase, QPalette::ToolTipText, QPalette::PlaceholderText};
        int n = 1;
        for (QPalette::ColorRole role : roles) {
            p.setColor(role, QColor(n * 10, 255 - n * 10, n));
            ++n;
        }
        QApplication::setPalette(p);
        m_palette = p;
    }
    void TearDown() override { QApplication::setPalette(m_saved); }

    QColor role(QPalette::ColorRole r) const { return m_palette.color(QPalette::Active, r); }

    QPalette m_saved;
    QPalette m_palette;
};

} // namespace

TEST(OleColor, PlainValuesAreBlueGreenRed)
{
    struct Case { quint32 ole; QColor colour; };
    const Case cases[] = {
        {0x000000FFu, QColor(255, 0, 0)},
        {0x0000FF00u, QColor(0, 255, 0)},
        {0x00FF0000u, QColor(0, 0, 255)},   // 16711680: blue
        {0x00123456u, QColor(0x56, 0x34, 0x12)},
        {0x00FFFFFFu, QColor(255, 255, 255)},
        {0u, QColor(0, 0, 0)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(OleColor::toQColor(c.ole), c.colour) << std::hex << c.ole;
        EXPECT_EQ(OleColor::fromQColor(c.colour), c.ole) << std::hex << c.ole;
        EXPECT_TRUE(OleColor::isValid(c.ole));
    }
}

TEST_F(KnownPalette, SystemIndicesFollowThePalette)
{
    struct Case { quint32 ole; QPalette::ColorRole role; };
    const Case cases[] = {
        {0x80000005u, QPalette::Base},        {0x80000008u, QPalette::Text},
        {0x8000000Fu, QPalette::Button},      {0x80000010u, QPalette::Dark},
        {0x80000012u, QPalette::ButtonText},  {0x80000014u, QPalette::Light},
        {0x80000015u, QPalette::Shadow},      {0x80000016u, QPalette::Midlight},
        {0x80000017u, QPalette::ToolTipText}, {0x80000018u, QPalette::ToolTipBase},
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(OleColor::isSystem(c.ole));
        EXPECT_EQ(OleColor::toQColor(c.ole), role(c.role)) << std::hex << c.ole;
    }
}

TEST(OleColor, UnknownOrOversizedValuesAreBlack)
{
    const quint32 bad[] = {0x80000019u, 0x800000FFu, 0xFFFFFFFFu, 0x01000000u, 0x7FFFFFFFu};
    for (quint32 ole : bad) {
        EXPECT_EQ(OleColor::toQColor(ole), QColor(Qt::black)) << std::hex << ole;
        EXPECT_FALSE(OleColor::isValid(ole)) << std::hex << ole;
    }
}

TEST(OleColor, NumbersBeyond32BitsSaturateToBlack)
{
    EXPECT_EQ(OleColor::fromNumber(255), 255u);
    EXPECT_EQ(OleColor::fromNumber(-1), 0xFFFFFFFFu);   // a Long of -1
    EXPECT_EQ(OleColor::toQColor(OleColor::fromNumber(99999999999LL)), QColor(Qt::black));
    EXPECT_EQ(OleColor::toQColor(OleColor::fromNumber(-99999999999LL)), QColor(Qt::black));
}
