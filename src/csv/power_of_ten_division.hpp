#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace quorvel::csv {

// Decimals with more digits than a double holds exactly (Python's repr of a double has up
// to 17) are converted by Eisel and Lemire's method (Lemire, "Number Parsing at a Gigabyte
// per Second", 2021): the digits as a 64-bit integer times a 128-bit truncation of the
// power of ten, of which the top 55 bits give the double's 53 and how to round them. Here
// the power is 10^-k for k up to 19: a tie between two doubles can then only be written
// when k is at most 4, and the product's error is too small to misplace any other value.

inline constexpr unsigned most_fraction_digits = 19;

namespace power_of_ten_division {

__extension__ typedef unsigned __int128 u128;  // GCC and Clang on 64-bit targets

struct Reciprocal {
    std::uint64_t high;
    std::uint64_t low;
};

// 2^(b + 127) / 5^k rounded up, where 2^(b - 1) < 5^k < 2^b: the 128 leading bits of 1 / 5^k.
constexpr Reciprocal reciprocal_of_power_of_five(unsigned k) {
    std::uint64_t power = 1;
    for (unsigned i = 0; i < k; ++i) power *= 5;
    if (k == 0) return {std::uint64_t{1} << 63, 0};
    const auto bits = static_cast<unsigned>(std::bit_width(power));
    // Long division of 2^(bits + 127), one bit at a time; the quotient has 128 bits.
    u128 quotient = 0;
    std::uint64_t remainder = 0;
    for (int bit = static_cast<int>(bits) + 127; bit >= 0; --bit) {
        remainder = remainder * 2 + (bit == static_cast<int>(bits) + 127 ? 1 : 0);
        quotient *= 2;
        if (remainder >= power) {
            remainder -= power;
            quotient += 1;
        }
    }
    quotient += 1;
    return {static_cast<std::uint64_t>(quotient >> 64), static_cast<std::uint64_t>(quotient)};
}

inline constexpr auto reciprocals = [] {
    std::array<Reciprocal, most_fraction_digits + 1> table{};
    for (unsigned k = 0; k <= most_fraction_digits; ++k) table[k] = reciprocal_of_power_of_five(k);
    return table;
}();

}  // namespace power_of_ten_division

// digits / 10^k, correctly rounded (ties to even), for k up to most_fraction_digits.
inline double divide_by_power_of_ten(std::uint64_t digits, unsigned k) {
    using power_of_ten_division::u128;
    if (digits == 0) return 0.0;
    const int q = -static_cast<int>(k);
    const int leading_zeros = std::countl_zero(digits);
    const std::uint64_t w = digits << leading_zeros;
    const power_of_ten_division::Reciprocal r = power_of_ten_division::reciprocals[k];
    const u128 first = static_cast<u128>(w) * r.high;
    auto high = static_cast<std::uint64_t>(first >> 64);
    auto low = static_cast<std::uint64_t>(first);
    // The bits below the 55 kept are all ones: the low half of the power may carry into them.
    if ((high & 0x1FF) == 0x1FF) {
        const auto second = static_cast<std::uint64_t>((static_cast<u128>(w) * r.low) >> 64);
        low += second;
        if (second > low) ++high;
    }
    const auto upper_bit = static_cast<int>(high >> 63);
    const int shift = upper_bit + 9;
    std::uint64_t mantissa = high >> shift;
    // The binary exponent: floor(q * log2(10)) + 63, plus the double's bias of 1023.
    int exponent = ((217706 * q) >> 16) + 63 + upper_bit - leading_zeros + 1023;
    // Exactly halfway, which only small k can be: round to even, so not up.
    if (low <= 1 && q >= -4 && (mantissa & 3) == 1 && (mantissa << shift) == high) mantissa &= ~std::uint64_t{1};
    mantissa += mantissa & 1;
    mantissa >>= 1;
    if (mantissa >= std::uint64_t{2} << 52) {
        mantissa = std::uint64_t{1} << 52;
        ++exponent;
    }
    mantissa &= ~(std::uint64_t{1} << 52);
    return std::bit_cast<double>(mantissa | static_cast<std::uint64_t>(exponent) << 52);
}

}  // namespace quorvel::csv
