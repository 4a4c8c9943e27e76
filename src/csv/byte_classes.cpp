#include "csv/byte_classes.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::csv {

ByteClasses classify_block(const char* bytes) {
    ByteClasses found{};
#ifdef __SSE2__
    // SSE2 is part of x86-64: sixteen bytes compared at once, with no dispatch.
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i quote = _mm_set1_epi8('"');
    const auto bits = [](__m128i hits, int part) {
        return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))} << (16 * part);
    };
    for (int part = 0; part < 4; ++part) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        found.commas |= bits(_mm_cmpeq_epi8(chunk, comma), part);
        found.line_feeds |= bits(_mm_cmpeq_epi8(chunk, lf), part);
        found.carriage_returns |= bits(_mm_cmpeq_epi8(chunk, cr), part);
        found.quotes |= bits(_mm_cmpeq_epi8(chunk, quote), part);
    }
#else
    for (unsigned i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        switch (bytes[i]) {
            case ',': found.commas |= bit; break;
            case '\n': found.line_feeds |= bit; break;
            case '\r': found.carriage_returns |= bit; break;
            case '"': found.quotes |= bit; break;
            default: break;
        }
    }
#endif
    return found;
}

std::uint64_t block_separators(const char* bytes) {
#ifdef __SSE2__
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, comma), _mm_cmpeq_epi8(chunk, lf)),
                                          _mm_cmpeq_epi8(chunk, cr));
        mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))} << (16 * part);
    }
    return mask;
#else
    return classify_block(bytes).separators();
#endif
}

}  // namespace quorvel::csv
