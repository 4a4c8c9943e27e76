#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorvel::number_text {

// The longest text write_integer_text produces: "-9223372036854775808".
inline constexpr std::size_t integer_text_max = 20;

namespace integer_text_detail {

inline constexpr std::array<std::uint64_t, 20> powers_of_ten = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t power = 1;
    for (std::uint64_t& entry : powers) entry = power, power *= 10;
    return powers;
}();

// The number of digits without a loop: the bit length times log10(2) (1233 / 4096) is the
// count or one less, which one comparison settles. (Setting the lowest bit changes no
// count, and gives 0 its one digit.)
inline unsigned digit_count(std::uint64_t value) {
    value |= 1;
    const unsigned guess = static_cast<unsigned>(std::bit_width(value) * 1233) >> 12;
    return guess + (value >= powers_of_ten[guess] ? 1 : 0);
}

// The eight digits of a value below 10^8, leading zeros included, as the ASCII bytes of a
// word, the first digit in the lowest byte. The value is split in halves of four digits,
// each half in pairs and each pair in digits, all lanes at once: dividing by 100 and by 10
// is a multiplication and a shift that are exact for lanes below 10000 and 100.
inline std::uint64_t eight_digits(std::uint32_t value) {
    const std::uint64_t halves = value / 10000 | std::uint64_t{value % 10000} << 32;
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007F;
    const std::uint64_t pairs = hundreds | (halves - hundreds * 100) << 16;
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000F;
    return (tens | (pairs - tens * 10) << 8) | 0x3030303030303030;
}

// Stores the last `count` (1 to 8) of the eight digits at `out`, as a whole word (the
// bytes past them are zeros), and returns the end of the digits.
inline char* put_digits(char* out, std::uint64_t digits, unsigned count) {
    digits >>= 8 * (8 - count);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &digits, sizeof digits);
    } else {
        for (unsigned i = 0; i < 8; ++i) out[i] = static_cast<char>(digits >> (8 * i));
    }
    return out + count;
}

}  // namespace integer_text_detail

// Writes the decimal digits of `value` at `out` and returns the end. Up to 20 bytes are
// written, whatever the number of digits: the room must be there.
inline char* write_unsigned_text(char* out, std::uint64_t value) {
    using namespace integer_text_detail;
    constexpr std::uint64_t e8 = 100000000;
    if (value < e8) return put_digits(out, eight_digits(static_cast<std::uint32_t>(value)), digit_count(value));
    std::uint64_t high = value / e8;
    const auto low = static_cast<std::uint32_t>(value % e8);
    if (high >= e8) {
        const std::uint64_t top = high / e8;
        high %= e8;
        out = put_digits(out, eight_digits(static_cast<std::uint32_t>(top)), digit_count(top));
        out = put_digits(out, eight_digits(static_cast<std::uint32_t>(high)), 8);
    } else {
        out = put_digits(out, eight_digits(static_cast<std::uint32_t>(high)), digit_count(high));
    }
    return put_digits(out, eight_digits(low), 8);
}

// Writes `value` in decimal at `out`, with a minus sign when it is negative, and returns
// the end. Up to integer_text_max bytes are written: the room must be there.
inline char* write_integer_text(char* out, std::int64_t value) {
    *out = '-';
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return write_unsigned_text(out + negative, magnitude);
}

}  // namespace quorvel::number_text
