#include "frameassembler.h"

#include "ansicodec.h"

#include <QtEndian>

#include <algorithm>
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

void decodeInto(const uchar *p, qint64 units, bool unicode, QChar *dst)
{
    if (!unicode) {
        AnsiCodec::decode(reinterpret_cast<const char *>(p), qsizetype(units), dst);
        return;
    }
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    std::memcpy(dst, p, size_t(units) * 2);
#else
    qFromLittleEndian<char16_t>(p, units, dst);
#endif
}

QString countTooLarge(quint32 count)
{
    return QStringLiteral("field count %1 beyond 16 bits").arg(count);
}

QString fieldDoesNotFit(int field, quint32 units)
{
    return QStringLiteral("field %1 length %2 does not fit the frame").arg(field).arg(units);
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
    m_arriving = Arriving();
}

void FrameAssembler::consume(qint64 bytes)
{
    m_pos += bytes;
    if (m_pos == m_bytes.size()) {
        m_bytes.clear();
        m_pos = 0;
    }
}

FrameAssembler::TakeResult FrameAssembler::fail(const QString &why)
{
    m_error = why;
    return Malformed;
}

FrameAssembler::TakeResult FrameAssembler::take(QStringList &out, bool unicode)
{
    if (m_arriving.active) {
        const TakeResult r = continueFrame();
        if (r == Complete) {
            out = std::move(m_arriving.fields);
            m_arriving = Arriving();
        }
        return r;
    }

    const int unitBytes = unicode ? 2 : 1;
    const qint64 haveUnits = size() / unitBytes;   // an odd trailing byte waits for its pair
    if (haveUnits < 4)
        return NeedMore;

    const auto *frame = reinterpret_cast<const uchar *>(m_bytes.constData() + m_pos);
    quint32 total = 0;
    if (!readDigits(frame, 4, unicode, total))
        return fail(QStringLiteral("frame length digit above 255"));
    // Refused before a byte of its body is kept: a length the server may declare is no
    // licence to make this side hold it.
    if (qint64(total) > MaxFrameUnits)
        return fail(QStringLiteral("frame length %1 above the longest frame taken (%2 units)")
                        .arg(total).arg(MaxFrameUnits));
    if (total < 6)
        return fail(QStringLiteral("frame length %1 too short for a field count").arg(total));
    if (haveUnits < qint64(total)) {
        if (qint64(total) * unitBytes < DecodeWhileArrivingBytes)
            return NeedMore;
        // Kept whole, a large frame would cost its bytes and then its text besides, and
        // more while the buffer grows by copying: its text is decoded as it comes.
        m_arriving = Arriving();
        m_arriving.active = true;
        m_arriving.unicode = unicode;
        m_arriving.left = qint64(total) - 4;
        consume(4 * unitBytes);
        return take(out, unicode);
    }

    // The whole frame is here: every length inside must stay within it.
    const uchar *p = frame + 4 * unitBytes;
    qint64 left = qint64(total) - 4;
    quint32 count = 0;
    if (!readDigits(p, 2, unicode, count))
        return fail(QStringLiteral("field count digit above 255"));
    if (count > quint32(std::numeric_limits<qint16>::max()))
        return fail(countTooLarge(count));
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
            return fail(fieldDoesNotFit(int(i), fieldUnits));
        p += 4 * unitBytes;
        const qint64 textUnits = qint64(fieldUnits) - 4;
        fields.append(decodeText(p, textUnits, unicode));
        p += textUnits * unitBytes;
        left -= fieldUnits;
    }
    // Units the frame's length covers beyond its last field carry nothing: they are
    // skipped with the frame, as every reader of this format has done, rather than
    // dropping the link over padding.

    consume(qint64(total) * unitBytes);
    out = std::move(fields);
    return Complete;
}

// The same cuts and checks as a whole frame, as far as the bytes here go; what is
// decoded is dropped from the buffer at once.
FrameAssembler::TakeResult FrameAssembler::continueFrame()
{
    Arriving &a = m_arriving;
    const int unitBytes = a.unicode ? 2 : 1;
    for (;;) {
        const qint64 haveUnits = size() / unitBytes;
        const auto *p = reinterpret_cast<const uchar *>(m_bytes.constData() + m_pos);
        switch (a.stage) {
        case Arriving::Count: {
            if (haveUnits < 2)
                return NeedMore;
            quint32 count = 0;
            if (!readDigits(p, 2, a.unicode, count))
                return fail(QStringLiteral("field count digit above 255"));
            if (count > quint32(std::numeric_limits<qint16>::max()))
                return fail(countTooLarge(count));
            consume(2 * unitBytes);
            a.left -= 2;
            a.count = count;
            a.fields.reserve(int(count));
            a.stage = Arriving::FieldLength;
            break;
        }
        case Arriving::FieldLength: {
            if (quint32(a.fields.size()) == a.count) {
                a.stage = Arriving::Padding;
                break;
            }
            if (a.left < 4)
                return fail(QStringLiteral("field %1 runs past the frame").arg(a.fields.size()));
            if (haveUnits < 4)
                return NeedMore;
            quint32 fieldUnits = 0;
            if (!readDigits(p, 4, a.unicode, fieldUnits))
                return fail(QStringLiteral("field %1 length digit above 255").arg(a.fields.size()));
            if (fieldUnits < 4 || qint64(fieldUnits) > a.left)
                return fail(fieldDoesNotFit(int(a.fields.size()), fieldUnits));
            consume(4 * unitBytes);
            a.left -= 4;
            const qint64 textUnits = qint64(fieldUnits) - 4;
            if (textUnits == 0) {
                a.fields.append(QString());
                break;
            }
            // Its full length at once: grown as it fills, the string would be copied
            // each time, and twice its size would be held while it is.
            a.text = QString(qsizetype(textUnits), Qt::Uninitialized);
            a.filled = 0;
            a.stage = Arriving::Text;
            break;
        }
        case Arriving::Text: {
            const qint64 n = std::min<qint64>(haveUnits, a.text.size() - a.filled);
            if (n == 0)
                return NeedMore;
            decodeInto(p, n, a.unicode, a.text.data() + a.filled);
            consume(n * unitBytes);
            a.filled += n;
            a.left -= n;
            if (a.filled == a.text.size()) {
                a.fields.append(std::move(a.text));
                a.text = QString();
                a.stage = Arriving::FieldLength;
            }
            break;
        }
        case Arriving::Padding: {
            if (a.left == 0)
                return Complete;
            const qint64 n = std::min(haveUnits, a.left);
            if (n == 0)
                return NeedMore;
            consume(n * unitBytes);
            a.left -= n;
            break;
        }
        }
    }
}
