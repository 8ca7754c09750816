#include "ansicodec.h"

#include <array>

namespace {

// 0x80..0x9F of Windows-1252; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

namespace AnsiCodec {

QChar decodeByte(unsigned char b)
{
    if (b >= 0x80 && b <= 0x9F)
        return QChar(kHighControls[b - 0x80]);
    return QChar(char16_t(b));
}

char encodeChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return char(u);
    for (int i = 0; i < int(kHighControls.size()); ++i) {
        if (kHighControls[i] == u)
            return char(0x80 + i);
    }
    return '?';
}

QByteArray encode(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *dst = out.data();
    for (QChar c : text)
        *dst++ = encodeChar(c);
    return out;
}

QString decode(const char *data, int size)
{
    QString out(size, Qt::Uninitialized);
    QChar *dst = out.data();
    for (int i = 0; i < size; ++i)
        dst[i] = decodeByte(static_cast<unsigned char>(data[i]));
    return out;
}

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), int(bytes.size()));
}

} // namespace AnsiCodec
