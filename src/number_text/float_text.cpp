#include "number_text/float_text.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

// {fmt} as headers alone, however this file is built: the module links no library of it.
#ifndef FMT_HEADER_ONLY
#define FMT_HEADER_ONLY 1
#endif
// The full table of cached powers of ten (about 10 KB) spares each value the few
// multiplications that recover a power from the compressed table: about a fifth of the time.
#define FMT_USE_FULL_CACHE_DRAGONBOX 1
#include <fmt/format.h>

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

// "e+XX", "e-XX" or three digits where two are too few, as repr writes the exponent.
char* write_exponent(char* out, int exponent) {
    out[0] = 'e';
    out[1] = exponent < 0 ? '-' : '+';
    auto magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
    out += 2;
    if (magnitude >= 100) {
        *out++ = static_cast<char>('0' + magnitude / 100);
        magnitude %= 100;
    }
    out[0] = static_cast<char>('0' + magnitude / 10);
    out[1] = static_cast<char>('0' + magnitude % 10);
    return out + 2;
}

}  // namespace

char* write_float_text(char* out, double x) {
    if (std::isnan(x)) return write_word(out, "nan", 3);
    *out = '-';
    out += std::signbit(x) ? 1 : 0;
    x = std::fabs(x);
    if (std::isinf(x)) return write_word(out, "inf", 3);

    // A whole number below 2^53: every integer there is a double, so no shorter digits can
    // name this one, and its own digits are the shortest; they are written as an integer.
    // (Zero is one of them.)
    if (x < 0x1p53) {
        const auto whole = static_cast<std::uint64_t>(x);
        if (static_cast<double>(whole) == x) return write_word(write_unsigned_text(out, whole), ".0", 2);
    }

    // Dragonbox gives the shortest digits that read back to x, the nearest to x among them
    // (ties to an even last digit), as digits × 10^exponent without trailing zeros. They are
    // laid out here as repr does: positionally while the first digit's place is 10^-4 to
    // 10^15, else as d.ddde±XX.
    const auto decimal = fmt::detail::dragonbox::to_decimal(x);
    const std::uint64_t digits = decimal.significand;
    const int count = static_cast<int>(integer_text_detail::digit_count(digits));
    const int magnitude = count - 1 + decimal.exponent;
    if (magnitude < 0 && magnitude >= -4) {
        // 0.000ddd: the zeros, then the digits written in place after them.
        std::memcpy(out, "0.0000", 6);
        write_unsigned_text(out + 1 - magnitude, digits);
        return out + 1 - magnitude + count;
    }
    if (magnitude >= 16 || magnitude < 0) {
        write_unsigned_text(out + 1, digits);
        out[0] = out[1];
        out[1] = '.';
        return write_exponent(out + (count > 1 ? count + 1 : 1), magnitude);
    }
    if (count > magnitude + 1) {
        // d1.d2d3... first, then the point moved to its place.
        write_unsigned_text(out + 1, digits);
        out[0] = out[1];
        out[1] = '.';
        move_point_right(out, magnitude);
        return out + count + 1;
    }
    // A whole number of 2^53 or more: the zeros up to the point, and ".0".
    write_unsigned_text(out, digits);
    std::memset(out + count, '0', static_cast<std::size_t>(magnitude + 1 - count));
    return write_word(out + magnitude + 1, ".0", 2);
}

std::string float_text(double x) {
    char text[float_text_max];
    return std::string(text, write_float_text(text, x));
}

}  // namespace quorvel::number_text
