#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvel::engine {

// The exact sum of finite doubles, rounded to a double only when read. It is kept as a
// fixed-point integer in units of 2^-1074 (the smallest subnormal), wide enough for the
// largest double and 2^32 additions: 34 words, 272 bytes, so it serves the rare groups whose
// compensated sum leaves the range of floats, not every group.
class ExactSum {
public:
    void add(double x);

    // The sum rounded to the nearest double, ties to even: infinite only when the exact sum
    // rounds beyond the largest double.
    double rounded() const;

    // The sum divided by `divisor` (at least 1), rounded once to the nearest double.
    double rounded_quotient(std::uint64_t divisor) const;

private:
    static constexpr std::size_t word_count = 34;
    using Words = std::array<std::uint64_t, word_count>;

    // Two's complement, least significant word first.
    Words words_{};
};

}  // namespace quorvel::engine
