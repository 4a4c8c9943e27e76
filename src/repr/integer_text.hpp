#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorvel::engine {

// The longest text write_integer_text produces: "-9223372036854775808".
inline constexpr std::size_t integer_text_max = 20;

namespace integer_text_detail {

// "00", "01", ... "99": two digits per division instead of one.
inline constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

inline constexpr std::array<std::uint64_t, 20> powers_of_ten = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t power = 1;
    for (std::uint64_t& entry : powers) entry = power, power *= 10;
    return powers;
}();

// The number of digits without a loop: the bit length times log10(2) (1233 / 4096) is the
// count or one less, which one comparison settles.
inline unsigned digit_count(std::uint64_t value) {
    const unsigned guess = static_cast<unsigned>(std::bit_width(value | 1) * 1233) >> 12;
    return guess + (value >= powers_of_ten[guess] ? 1 : 0);
}

// Writes the digits of `value` ending just before `end`, two at a time. 32-bit division is
// cheaper, so the low digits are taken in 32 bits once the value fits.
template <class Unsigned>
inline void write_digits(char* end, Unsigned value) {
    while (value >= 100) {
        const auto pair = static_cast<unsigned>(value % 100);
        value /= 100;
        end -= 2;
        std::memcpy(end, &digit_pairs[2 * pair], 2);
    }
    if (value >= 10) {
        std::memcpy(end - 2, &digit_pairs[2 * static_cast<unsigned>(value)], 2);
    } else {
        end[-1] = static_cast<char>('0' + value);
    }
}

}  // namespace integer_text_detail

// Writes the decimal digits of `value` at `out` and returns the end.
inline char* write_unsigned_text(char* out, std::uint64_t value) {
    using namespace integer_text_detail;
    if (value < 10) {
        *out = static_cast<char>('0' + value);
        return out + 1;
    }
    const unsigned count = digit_count(value);
    char* const end = out + count;
    if (value <= UINT32_MAX) {
        write_digits(end, static_cast<std::uint32_t>(value));
    } else {
        // The last eight digits in 32 bits, then the rest.
        const auto low = static_cast<std::uint32_t>(value % 100000000);
        std::uint64_t high = value / 100000000;
        char* const low_start = end - 8;
        // Eight digits exactly, leading zeros included.
        std::uint32_t rest = low;
        for (char* p = end; p != low_start; p -= 2) {
            std::memcpy(p - 2, &digit_pairs[2 * (rest % 100)], 2);
            rest /= 100;
        }
        write_digits(low_start, high);
    }
    return end;
}

// Writes `value` in decimal at `out` (at most integer_text_max bytes), with a minus sign when
// it is negative, and returns the end.
inline char* write_integer_text(char* out, std::int64_t value) {
    *out = '-';
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return write_unsigned_text(out + negative, magnitude);
}

}  // namespace quorvel::engine
