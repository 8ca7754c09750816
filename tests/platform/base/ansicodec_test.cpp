#include "ansicodec.h"

#include <gtest/gtest.h>

TEST(AnsiCodec, EncodesWindows1252ByteForByte)
{
    struct Case { QString text; QByteArray bytes; };
    const Case cases[] = {
        {QStringLiteral("NS"), QByteArray("NS")},
        {QString(QChar(0x20AC)), QByteArray("\x80", 1)},
        {QString(QChar(0xE9)), QByteArray("\xE9", 1)},
        {QString(QChar(0x03A9)), QByteArray("?")},          // Omega: not in the page
        {QString(QChar(0x0178)), QByteArray("\x9F", 1)},
        {QString(QChar(0x0081)), QByteArray("\x81", 1)},    // undefined slot round-trips
        {QString(), QByteArray()},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AnsiCodec::encode(c.text), c.bytes) << c.text.toStdString();
}

TEST(AnsiCodec, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = AnsiCodec::decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(AnsiCodec::encode(text), all);
    EXPECT_EQ(text.at(0x80).unicode(), 0x20AC);
}

// Whole texts go through vector code in blocks; every character, and every byte,
// must still come out as the one-character table says, wherever it falls in a block.
TEST(AnsiCodec, WholeTextsMatchTheTableAtEveryPosition)
{
    QString everyUnit;
    for (int u = 0; u <= 0xFFFF; ++u)
        everyUnit.append(QChar(char16_t(u)));
    const QByteArray bytes = AnsiCodec::encode(everyUnit);
    ASSERT_EQ(bytes.size(), everyUnit.size());
    for (int u = 0; u <= 0xFFFF; ++u)
        ASSERT_EQ(bytes.at(u), AnsiCodec::encodeChar(everyUnit.at(u))) << u;

    const QString odd = QString::fromUtf8("\u20AC\u00E9\u03A9\u0100\u0081\u0080\u009F\u00A0\u0178\uFFFF");
    for (int len = 1; len <= 80; ++len) {
        for (int at = 0; at < len; ++at) {
            for (QChar c : odd) {
                QString text(len, QLatin1Char('a'));
                text[at] = c;
                QByteArray expected(len, 'a');
                expected[at] = AnsiCodec::encodeChar(c);
                ASSERT_EQ(AnsiCodec::encode(text), expected) << len << " at " << at;
            }
            for (int b = 0x80; b <= 0xFF; ++b) {
                QByteArray in(len, 'a');
                in[at] = char(b);
                QString expected(len, QLatin1Char('a'));
                expected[at] = AnsiCodec::decodeByte(uchar(b));
                ASSERT_EQ(AnsiCodec::decode(in), expected) << len << " at " << at << " byte " << b;
            }
        }
    }

    // Several bytes to patch in one text, including one in the tail after the blocks.
    const QByteArray mixed = QByteArray(70, 'x') + "\x80\x9F" + QByteArray(30, 'y') + "\x8D";
    const QString decoded = AnsiCodec::decode(mixed);
    for (int i = 0; i < mixed.size(); ++i)
        ASSERT_EQ(decoded.at(i), AnsiCodec::decodeByte(uchar(mixed.at(i)))) << i;

    EXPECT_FALSE(AnsiCodec::decode(QByteArray("")).isNull());
}
