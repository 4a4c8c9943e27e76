#include "engine/exact_sum.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/check.hpp"

namespace quorvel::engine {
namespace {

using Words = std::array<std::uint64_t, 34>;

constexpr int smallest_exponent = -1074;  // a unit of the integer is 2^-1074

bool is_negative(const Words& words) { return (words.back() >> 63) != 0; }

Words negated(Words words) {
    bool carry = true;
    for (std::uint64_t& word : words) {
        word = ~word;
        if (carry) carry = ++word == 0;
    }
    return words;
}

// The bit of `words` at `position`, 0 beyond either end.
std::uint64_t bit_at(const Words& words, long position) {
    if (position < 0 || position >= static_cast<long>(64 * words.size())) return 0;
    return (words[static_cast<std::size_t>(position / 64)] >> (position % 64)) & 1u;
}

// The double nearest to magnitude * 2^scale, ties to even; `inexact` says that the exact
// value lies a little above magnitude * 2^scale (below its lowest bit).
double round_to_double(const Words& magnitude, int scale, bool inexact) {
    long top = -1;
    for (std::size_t w = magnitude.size(); w-- > 0;) {
        if (magnitude[w] != 0) {
            top = static_cast<long>(64 * w) + 63 - std::countl_zero(magnitude[w]);
            break;
        }
    }
    if (top < 0) return 0.0;
    // 53 bits from `cut` up, but no bit below 2^-1074, which no double holds.
    const long cut = std::max<long>(top - 52, smallest_exponent - scale);
    QUORVEL_CHECK(cut >= 1 || !inexact);
    std::uint64_t mantissa = 0;
    for (long b = 52; b >= 0; --b) mantissa = mantissa << 1 | bit_at(magnitude, cut + b);
    bool below_half = inexact;
    for (long b = 0; b < cut - 1 && !below_half; ++b) below_half = bit_at(magnitude, b) != 0;
    const bool half = bit_at(magnitude, cut - 1) != 0;
    if (half && (below_half || (mantissa & 1u) != 0)) ++mantissa;
    // mantissa is at most 2^53 and exact as a double; ldexp gives infinity past the largest.
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(cut) + scale);
}

}  // namespace

void ExactSum::add(double x) {
    QUORVEL_CHECK(std::isfinite(x));
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const unsigned exponent = static_cast<unsigned>(bits >> 52) & 0x7FFu;
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    unsigned shift = 0;  // x is mantissa * 2^(shift - 1074)
    if (exponent != 0) {
        mantissa |= std::uint64_t{1} << 52;
        shift = exponent - 1;
    }
    const std::size_t at = shift / 64;
    const unsigned offset = shift % 64;
    const std::uint64_t low = mantissa << offset;
    const std::uint64_t high = offset == 0 ? 0 : mantissa >> (64 - offset);
    if ((bits >> 63) == 0) {
        std::uint64_t carry = __builtin_add_overflow(words_[at], low, &words_[at]);
        carry = __builtin_add_overflow(words_[at + 1], high + carry, &words_[at + 1]);  // high < 2^53
        for (std::size_t w = at + 2; carry && w < words_.size(); ++w) carry = ++words_[w] == 0;
    } else {
        std::uint64_t borrow = __builtin_sub_overflow(words_[at], low, &words_[at]);
        borrow = __builtin_sub_overflow(words_[at + 1], high + borrow, &words_[at + 1]);
        for (std::size_t w = at + 2; borrow && w < words_.size(); ++w) borrow = words_[w]-- == 0;
    }
}

double ExactSum::rounded() const {
    const bool negative = is_negative(words_);
    const double magnitude = round_to_double(negative ? negated(words_) : words_, smallest_exponent, false);
    return negative ? -magnitude : magnitude;
}

double ExactSum::rounded_quotient(std::uint64_t divisor) const {
    QUORVEL_CHECK(divisor != 0);
    const bool negative = is_negative(words_);
    Words magnitude = negative ? negated(words_) : words_;
    // Two more bits below the units, so that the quotient keeps the bit that decides the
    // rounding of a subnormal result and the remainder the rest.
    for (std::size_t w = magnitude.size(); w-- > 0;) magnitude[w] = magnitude[w] << 2 | (w ? magnitude[w - 1] >> 62 : 0);
    __extension__ using Wide = unsigned __int128;  // a remainder and the next word
    Wide remainder = 0;
    for (std::size_t w = magnitude.size(); w-- > 0;) {
        const Wide part = remainder << 64 | magnitude[w];
        magnitude[w] = static_cast<std::uint64_t>(part / divisor);
        remainder = part % divisor;
    }
    const double quotient = round_to_double(magnitude, smallest_exponent - 2, remainder != 0);
    return negative ? -quotient : quotient;
}

}  // namespace quorvel::engine
