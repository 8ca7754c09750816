#include "framecodec.h"

#include "ansicodec.h"

#include <QtEndian>

#include <cstring>

namespace {

// Writes value as 'digits' big-endian base-256 digits, one per unit.
inline char *putDigits(char *dst, quint32 value, int digits, bool unicode)
{
    for (int i = digits - 1; i >= 0; --i) {
        const char d = char((value >> (8 * i)) & 0xFF);
        *dst++ = d;
        if (unicode)
            *dst++ = 0;
    }
    return dst;
}

inline char *putAnsi(char *dst, const QString &text)
{
    AnsiCodec::encode(text.constData(), text.size(), dst);
    return dst + text.size();
}

inline char *putUnicode(char *dst, const QString &text)
{
    const qsizetype n = text.size();
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    std::memcpy(dst, text.constData(), size_t(n) * 2);
#else
    qToLittleEndian<char16_t>(text.utf16(), n, dst);
#endif
    return dst + 2 * n;
}

} // namespace

namespace FrameCodec {

// Every character is one unit in either mode (a Windows-1252 character is one byte, a
// UTF-16 unit is one unit), so lengths are known before encoding.
qint64 units(const QStringList &fields)
{
    qint64 total = 4 + 2;
    for (const QString &f : fields)
        total += 4 + f.size();
    return total;
}

QStringList asRequest(QStringList fields)
{
    if (fields.isEmpty())
        fields.append(QStringLiteral("!"));
    else
        fields[0].prepend(QLatin1Char('!'));
    return fields;
}

bool fits(const QStringList &fields)
{
    return fields.size() <= MaxFields && units(fields) <= MaxFrameUnits;
}

bool encodeInto(QByteArray &out, const QStringList &fields, bool unicode)
{
    if (!fits(fields))
        return false;
    const qint64 total = units(fields);
    const int unitBytes = unicode ? 2 : 1;
    const qsizetype start = out.size();
    out.resize(start + qsizetype(total * unitBytes));
    char *dst = out.data() + start;

    dst = putDigits(dst, quint32(total), 4, unicode);
    dst = putDigits(dst, quint32(fields.size()), 2, unicode);
    for (const QString &f : fields) {
        dst = putDigits(dst, quint32(4 + f.size()), 4, unicode);
        dst = unicode ? putUnicode(dst, f) : putAnsi(dst, f);
    }
    return true;
}

QByteArray encode(const QStringList &fields, bool unicode)
{
    QByteArray out;
    encodeInto(out, fields, unicode);
    return out;
}

} // namespace FrameCodec
