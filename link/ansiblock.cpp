#include "ansiblock.h"

#include "ansicodec.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace AnsiBlock {

void toAnsi(char *dst, const QChar *src, qsizetype count)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i highBits = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 8));
        const __m128i high = _mm_and_si128(_mm_or_si128(a, b), highBits);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(a, b));
        } else {
            for (qsizetype k = i; k < i + 16; ++k)
                dst[k] = AnsiCodec::encodeChar(src[k]);
        }
    }
#endif
    for (; i < count; ++i)
        dst[i] = AnsiCodec::encodeChar(src[i]);
}

void fromAnsi(QChar *dst, const char *src, qsizetype count)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        if (_mm_movemask_epi8(v) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i + 8), _mm_unpackhi_epi8(v, zero));
        } else {
            for (qsizetype k = i; k < i + 16; ++k)
                dst[k] = AnsiCodec::decodeByte(uchar(src[k]));
        }
    }
#endif
    for (; i < count; ++i)
        dst[i] = AnsiCodec::decodeByte(uchar(src[i]));
}

} // namespace AnsiBlock
