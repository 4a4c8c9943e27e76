#include "engine/text_search.hpp"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::engine {

TextFinder::TextFinder(std::string_view needle) : needle_(needle) {
    std::memset(firsts_, needle.empty() ? 0 : needle.front(), sizeof firsts_);
    std::memset(lasts_, needle.empty() ? 0 : needle.back(), sizeof lasts_);
}

// Candidates are the places where the needle's first and last bytes both match, tested 16
// places at a time (two loads, two comparisons, one mask); only they are compared whole. On
// texts that hold the needle's end bytes rarely together, this reads about a byte a cycle
// whatever the needle.
std::size_t TextFinder::find(std::string_view haystack, std::size_t from) const {
    const std::size_t length = needle_.size();
    const char* const text = haystack.data();
    if (haystack.size() < length || from > haystack.size() - length) return npos;
    if (length == 1) {
        const void* found = std::memchr(text + from, needle_[0], haystack.size() - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : npos;
    }
    const std::size_t last_start = haystack.size() - length;
    const char first = needle_.front(), last = needle_.back();
    const std::string_view middle(needle_.data() + 1, length - 2);
    const auto whole_match = [&](std::size_t at) { return same_bytes(text + at + 1, middle); };
    std::size_t at = from;
#ifdef __SSE2__
    const __m128i firsts = _mm_load_si128(reinterpret_cast<const __m128i*>(firsts_));
    const __m128i lasts = _mm_load_si128(reinterpret_cast<const __m128i*>(lasts_));
    // Places at to at + 15 all leave room for the needle, so both loads stay in the text.
    for (; at + 15 <= last_start; at += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + length - 1));
        auto candidates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, firsts), _mm_cmpeq_epi8(ends, lasts))));
        for (; candidates != 0; candidates &= candidates - 1) {
            const std::size_t candidate = at + static_cast<std::size_t>(std::countr_zero(candidates));
            if (whole_match(candidate)) return candidate;
        }
    }
#endif
    for (; at <= last_start; ++at) {
        if (text[at] == first && text[at + length - 1] == last && whole_match(at)) return at;
    }
    return npos;
}

}  // namespace quorvel::engine
