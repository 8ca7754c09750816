#include "ansicodec.h"

#include <array>

// Decoding writes twice the bytes it reads; where the compiler can target AVX2 for
// one function, machines that have it run a 32-byte loop chosen at run time.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#define ANSICODEC_AVX2 1
#endif

#ifdef __SSE2__
#include <immintrin.h>
#endif

namespace {

// 0x80..0x9F of Windows-1252; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

inline bool isHighControl(unsigned char b)
{
    return (b & 0xE0) == 0x80;
}

inline void patchHighControls(const char *src, qsizetype from, qsizetype to, char16_t *dst)
{
    for (qsizetype k = from; k < to; ++k) {
        const auto b = static_cast<unsigned char>(src[k]);
        if (isHighControl(b))
            dst[k] = kHighControls[b - 0x80];
    }
}

// Latin-1 is Windows-1252 but for 0x80..0x9F, so a block with none of those
// widens byte for byte; the rare block holding one is redone through the table.
// Field texts are overwhelmingly ASCII, so that almost never happens.
#ifdef __SSE2__
qsizetype widenSse2(const char *src, qsizetype count, char16_t *dst)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i top3 = _mm_set1_epi8(char(0xE0));
    const __m128i controls = _mm_set1_epi8(char(0x80));
    qsizetype i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 8), _mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 16), _mm_unpacklo_epi8(w, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 24), _mm_unpackhi_epi8(w, zero));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, top3), controls),
                                          _mm_cmpeq_epi8(_mm_and_si128(w, top3), controls));
        if (_mm_movemask_epi8(hits) != 0)
            patchHighControls(src, i, i + 32, dst);
    }
    return i;
}
#endif

#ifdef ANSICODEC_AVX2
__attribute__((target("avx2"))) qsizetype widenAvx2(const char *src, qsizetype count, char16_t *dst)
{
    const __m256i top3 = _mm256_set1_epi8(char(0xE0));
    const __m256i controls = _mm256_set1_epi8(char(0x80));
    qsizetype i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i + 16),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(v, top3), controls)) != 0)
            patchHighControls(src, i, i + 32, dst);
    }
    return i;
}

bool hasAvx2()
{
    // cpu_init makes the check safe even from a static initializer.
    static const bool yes = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return yes;
}
#endif

void widen(const char *src, qsizetype count, char16_t *dst)
{
    qsizetype i = 0;
#if defined(ANSICODEC_AVX2)
    i = hasAvx2() ? widenAvx2(src, count, dst) : widenSse2(src, count, dst);
#elif defined(__SSE2__)
    i = widenSse2(src, count, dst);
#endif
    for (; i < count; ++i)
        dst[i] = AnsiCodec::decodeByte(static_cast<unsigned char>(src[i])).unicode();
}

} // namespace

namespace AnsiCodec {

QChar decodeByte(unsigned char b)
{
    if (isHighControl(b))
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

void encode(const QChar *text, qsizetype count, char *dst)
{
    qsizetype i = 0;
#ifdef __SSE2__
    // Thirty-two characters at a time while they are all ASCII; a block holding
    // anything else is converted character by character, so the bytes are always
    // exactly encodeChar's.
    const auto *src = reinterpret_cast<const char16_t *>(text);
    const __m128i nonAscii = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 32 <= count; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 8));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 16));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 24));
        const __m128i high = _mm_and_si128(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)), nonAscii);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(a, b));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 16), _mm_packus_epi16(c, d));
        } else {
            for (qsizetype k = i; k < i + 32; ++k)
                dst[k] = encodeChar(text[k]);
        }
    }
#endif
    for (; i < count; ++i)
        dst[i] = encodeChar(text[i]);
}

QByteArray encode(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    encode(text.constData(), text.size(), out.data());
    return out;
}

QString decode(const char *data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    widen(data, size, reinterpret_cast<char16_t *>(out.data()));
    return out;
}

void decode(const char *data, qsizetype size, QChar *dst)
{
    widen(data, size, reinterpret_cast<char16_t *>(dst));
}

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

} // namespace AnsiCodec
