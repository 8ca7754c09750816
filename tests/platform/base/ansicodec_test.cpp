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
