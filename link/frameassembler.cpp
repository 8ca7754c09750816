#include "frameassembler.h"

#include "ansicodec.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

// Reads 'digits' base-256 digits; false when a Unicode unit is not a digit (> 255).
inline bool readDigits(const uchar *p, int digits, bool unicode, quint32 &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        quint32 d;
        if (unicode) {
            if (p[1] != 0)
                return false;
            d = p[0];
            p += 2;
        } else {
            d = *p++;
        }
        value = (value << 8) | d;
    }
    return true;
}

QString decodeText(const uchar *p, qint64 units, bool unicode)
{
    if (units == 0)
        return QString();
    if (unicode) {
        QString s(qsizetype(units), Qt::Uninitialized);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        std::memcpy(s.data(), p, size_t(units) * 2);
#else
        qFromLittleEndian<char16_t>(p, units, s.data());
#endif
        return s;
    }
    return AnsiCodec::decode(reinterpret_cast<const char *>(p), qsizetype(units));
}

} // namespace

void FrameAssembler::append(const QByteArray &bytes)
{
    // Most reads end on a frame boundary, so the buffer is usually empty here and
    // can share the read's bytes instead of copying them.
    if (isEmpty()) {
        m_bytes = bytes;
        m_pos = 0;
        return;
    }
    append(bytes.constData(), bytes.size());
}

void FrameAssembler::append(const char *data, qint64 size)
{
    if (size <= 0)
        return;
    // Drop consumed bytes once they dominate, so a long session does not grow the
    // buffer and many small frames do not cost a move each.
    if (m_pos > 0 && m_pos >= m_bytes.size() / 2) {
        m_bytes.remove(0, qsizetype(m_pos));
        m_pos = 0;
    }
    m_bytes.append(data, qsizetype(size));
}

void FrameAssembler::clear()
{
    m_bytes.clear();
    m_pos = 0;
    m_error.clear();
}

FrameAssembler::TakeResult FrameAssembler::fail(const QString &why)
{
    m_error = why;
    return Malformed;
}

FrameAssembler::TakeResult FrameAssembler::take(QStringList &out, bool unicode)
{
    const int unitBytes = unicode ? 2 : 1;
    const qint64 haveUnits = size() / unitBytes;   // an odd trailing byte waits for its pair
    if (haveUnits < 4)
        return NeedMore;

    const auto *frame = reinterpret_cast<const uchar *>(m_bytes.constData() + m_pos);
    quint32 total = 0;
    if (!readDigits(frame, 4, unicode, total))
        return fail(QStringLiteral("frame length digit above 255"));
    if (total > quint32(std::numeric_limits<qint32>::max()))
        return fail(QStringLiteral("frame length %1 beyond 32 bits").arg(total));
    if (total < 6)
        return fail(QStringLiteral("frame length %1 too short for a field count").arg(total));
    if (haveUnits < qint64(total))
        return NeedMore;

    // The whole frame is here: every length inside must stay within it.
    const uchar *p = frame + 4 * unitBytes;
    qint64 left = qint64(total) - 4;
    quint32 count = 0;
    if (!readDigits(p, 2, unicode, count))
        return fail(QStringLiteral("field count digit above 255"));
    if (count > quint32(std::numeric_limits<qint16>::max()))
        return fail(QStringLiteral("field count %1 beyond 16 bits").arg(count));
    p += 2 * unitBytes;
    left -= 2;

    QStringList fields;
    fields.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        quint32 fieldUnits = 0;
        if (left < 4)
            return fail(QStringLiteral("field %1 runs past the frame").arg(i));
        if (!readDigits(p, 4, unicode, fieldUnits))
            return fail(QStringLiteral("field %1 length digit above 255").arg(i));
        if (fieldUnits < 4 || qint64(fieldUnits) > left)
            return fail(QStringLiteral("field %1 length %2 does not fit the frame").arg(i).arg(fieldUnits));
        p += 4 * unitBytes;
        const qint64 textUnits = qint64(fieldUnits) - 4;
        fields.append(decodeText(p, textUnits, unicode));
        p += textUnits * unitBytes;
        left -= fieldUnits;
    }
    // Units the frame's length covers beyond its last field carry nothing: they are
    // skipped with the frame, as every reader of this format has done, rather than
    // dropping the link over padding.

    m_pos += qint64(total) * unitBytes;
    if (m_pos == m_bytes.size()) {
        m_bytes.clear();
        m_pos = 0;
    }
    out = std::move(fields);
    return Complete;
}
