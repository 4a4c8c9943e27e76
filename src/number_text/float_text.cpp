#include "number_text/float_text.hpp"

#include <array>
#include <bit>
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

constexpr std::array<double, 23> exact_powers_of_ten = [] {
    std::array<double, 23> powers{};
    double power = 1;
    for (double& entry : powers) entry = power, power *= 10;
    return powers;
}();

// The text of a positive, normal, non-integral x whose shortest digits are 15 or fewer, as
// prices, amounts and measures mostly are, found in a few instructions; nullptr for any
// other x (having written some bytes). Decimals of up to 15 significant digits lie more
// than a double's spacing apart, so at most one of them reads back to x: when n·10^-k (n
// below 10^15) does, n without its trailing zeros are x's shortest digits, the ones
// Dragonbox would find. Rounding x·10^k to n may miss that decimal, never pass off another:
// n/10^k is one correctly rounded division of exact numbers. Writes at most 21 bytes.
char* write_short_decimal(char* out, double x) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    constexpr std::int64_t e13 = 10000000000000;
    constexpr std::int64_t e14 = 10 * e13;
    constexpr std::int64_t e15 = 100 * e13;
    // k makes x·10^k 14 or 15 digits long: floor((e + 1)·log10 2), for 2^e <= x < 2^(e+1),
    // is the place of x's first digit or one more.
    const int binary_exponent = static_cast<int>(std::bit_cast<std::uint64_t>(x) >> 52) - 1023;
    const int k = 14 - (((binary_exponent + 1) * 1233) >> 12);
    if (k < 0 || k > 22) return nullptr;
    const double scale = exact_powers_of_ten[static_cast<std::size_t>(k)];
    const auto n = static_cast<std::int64_t>(x * scale + 0.5);
    if (n < e13 || n >= e15 || static_cast<double>(n) / scale != x) return nullptr;

    const std::uint64_t high = integer_text_detail::eight_digits(static_cast<std::uint32_t>(n / 100000000));
    const std::uint64_t low = integer_text_detail::eight_digits(static_cast<std::uint32_t>(n % 100000000));
    // Of the sixteen digits (a zero or two first), the trailing zeros are the highest '0'
    // bytes: the digit words hold their first digit lowest.
    constexpr std::uint64_t zeros = 0x3030303030303030;
    const int trailing = (low != zeros ? std::countl_zero(low ^ zeros) : 64 + std::countl_zero(high ^ zeros)) / 8;
    const int leading = n < e14 ? 2 : 1;
    const int count = 16 - leading - trailing;
    const int magnitude = 15 - leading - k;
    if (magnitude < -4) return nullptr;
#ifdef __SSE2__
    // Laid out in a register and stored once: digits stored and read back at another offset
    // would wait for the stores. Both shifts are made and one kept, without a branch.
    const __m128i sixteen = _mm_set_epi64x(static_cast<long long>(low), static_cast<long long>(high));
    const __m128i two_leading = _mm_set1_epi8(static_cast<char>(1 - leading));
    const __m128i digits = _mm_or_si128(_mm_and_si128(two_leading, _mm_srli_si128(sixteen, 2)),
                                        _mm_andnot_si128(two_leading, _mm_srli_si128(sixteen, 1)));
    if (magnitude >= 0) {
        // The whole part, the point, then the fraction, which is never empty: x is not integral.
        const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m128i point_at = _mm_set1_epi8(static_cast<char>(magnitude + 1));
        const __m128i whole = _mm_cmplt_epi8(index, point_at);
        const __m128i point = _mm_cmpeq_epi8(index, point_at);
        const __m128i fraction = _mm_andnot_si128(_mm_or_si128(whole, point), _mm_slli_si128(digits, 1));
        const __m128i text = _mm_or_si128(_mm_or_si128(_mm_and_si128(whole, digits), fraction),
                                          _mm_and_si128(point, _mm_set1_epi8('.')));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), text);
        return out + count + 1;
    }
    std::memcpy(out, "0.000000", 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 - magnitude), digits);
    return out + 1 - magnitude + count;
#else
    char sixteen[16];
    std::memcpy(sixteen, &high, 8);
    std::memcpy(sixteen + 8, &low, 8);
    const char* const digits = sixteen + leading;
    if (magnitude >= 0) {
        std::memcpy(out, digits, static_cast<std::size_t>(magnitude + 1));
        out[magnitude + 1] = '.';
        std::memcpy(out + magnitude + 2, digits + magnitude + 1, static_cast<std::size_t>(count - magnitude - 1));
        return out + count + 1;
    }
    std::memcpy(out, "0.0000", 6);
    std::memcpy(out + 1 - magnitude, digits, static_cast<std::size_t>(count));
    return out + 1 - magnitude + count;
#endif
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

    if (char* const end = write_short_decimal(out, x)) return end;

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
