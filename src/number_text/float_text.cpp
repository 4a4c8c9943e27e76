#include "number_text/float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "number_text/integer_text.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::number_text {
namespace {

char* write_word(char* out, const char* word, std::size_t length) {
    std::memcpy(out, word, length);
    return out + length;
}

// d1.d2d3... with the point moved right by `shift` places (0 <= shift < 16, and more digits
// than that follow the point): d2 ... d(shift+1) move left over the point, which goes after
// them; the digits beyond stay where they are. Reads and writes the 16 bytes after the first
// digit, whatever they hold.
void move_point_right(char* digits, int shift) {
#ifdef __SSE2__
    const __m128i at_point = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 1));
    const __m128i after_point = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 2));
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i shift_bytes = _mm_set1_epi8(static_cast<char>(shift));
    const __m128i moved = _mm_cmplt_epi8(index, shift_bytes);
    const __m128i point = _mm_cmpeq_epi8(index, shift_bytes);
    const __m128i kept = _mm_andnot_si128(_mm_or_si128(moved, point), at_point);
    const __m128i result = _mm_or_si128(_mm_or_si128(_mm_and_si128(moved, after_point), kept),
                                        _mm_and_si128(point, _mm_set1_epi8('.')));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 1), result);
#else
    for (int k = 1; k <= shift; ++k) digits[k] = digits[k + 1];
    digits[shift + 1] = '.';
#endif
}

}  // namespace

char* write_float_text(char* out, double x) {
    if (std::isnan(x)) return write_word(out, "nan", 3);
    char* const limit = out + float_text_max;
    *out = '-';
    out += std::signbit(x) ? 1 : 0;
    x = std::fabs(x);
    if (std::isinf(x)) return write_word(out, "inf", 3);

    // A whole number below 2^53: every integer there is a double, so no shorter digits can
    // name this one, and its own digits are the shortest; they are written as an integer.
    if (x < 0x1p53) {
        const auto whole = static_cast<std::uint64_t>(x);
        if (static_cast<double>(whole) == x) return write_word(write_unsigned_text(out, whole), ".0", 2);
    }

    // The standard library writes the shortest round-trip digits (the nearest among equals)
    // as d[.ddd]e±XX, which is already the layout for very small and very large magnitudes;
    // other magnitudes are laid out again around the point, in place. Their exponent has
    // two digits; a three-digit one is beyond them.
    char* const end = std::to_chars(out, limit, x, std::chars_format::scientific).ptr;
    if (end[-5] == 'e') return end;
    const int magnitude = (end[-2] - '0') * 10 + (end[-1] - '0');
    const bool negative = end[-3] == '-';
    if (negative ? magnitude > 4 : magnitude >= 16) return end;

    // The digits d1 d2 ... dn stand at out[0] and out[2 .. n] (out[1] is the point, or the e
    // when n is 1).
    const int count = end - 4 == out + 1 ? 1 : static_cast<int>(end - 4 - out) - 1;
    if (negative) {
        // 0.000ddd: d2 ... dn move right by the zeros and d1, then d1 and the zeros go in
        // front of them. Up to 16 digits are moved at once, whatever the count.
        char tail[16];
        std::memcpy(tail, out + 2, sizeof tail);
        const char first = out[0];
        std::memcpy(out, "0.000", 5);
        out[1 + magnitude] = first;
        std::memcpy(out + 2 + magnitude, tail, sizeof tail);
        return out + count + 1 + magnitude;
    }
    if (magnitude + 1 < count) {
        move_point_right(out, magnitude);
        return out + count + 1;
    }
    // A whole number of 2^53 or more: the zeros up to the point, and ".0".
    const int whole = magnitude + 1;
    for (int k = 1; k < count; ++k) out[k] = out[k + 1];
    for (int k = count; k < whole; ++k) out[k] = '0';
    return write_word(out + whole, ".0", 2);
}

std::string float_text(double x) {
    char text[float_text_max];
    return std::string(text, write_float_text(text, x));
}

}  // namespace quorvel::number_text
