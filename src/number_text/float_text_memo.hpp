#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "number_text/float_text.hpp"

namespace quorvel::number_text {

// The texts of a column's floats written so far, kept by value, for columns whose values
// repeat (prices, amounts, readings of a fixed precision): writing a value it has seen
// copies the text that write_float_text gave it instead of finding the shortest digits
// again, which costs far more than a copy. Where values seldom repeat it soon stops looking.
class FloatTextMemo {
public:
    // A memo for a column of `rows` values; none when the column is too short to gain.
    static std::unique_ptr<FloatTextMemo> for_rows(std::size_t rows);

    // As write_float_text.
    char* write(char* out, double x);

private:
    // Texts up to 23 bytes are kept; a longer one is written each time.
    struct Entry {
        std::uint64_t bits;
        std::uint8_t length;
        char text[23];
    };
    static_assert(sizeof(Entry) == 32 && sizeof(Entry::text) <= float_text_max);
    // Two entries to a set, which is one cache line: the value last written of those that
    // share the set, and the one before. 64 KiB in all: a lookup that has to go past the
    // nearest caches costs about what finding the digits again does, so the memo pays only
    // for columns of a few thousand values at most.
    static constexpr unsigned set_bits = 10;
    static constexpr std::size_t sets = std::size_t{1} << set_bits;
    // Values looked up before the memo judges whether they repeat enough to keep it.
    static constexpr std::uint32_t trial = 1u << 12;

    FloatTextMemo();

    std::unique_ptr<Entry[]> entries_;  // none once dropped
    std::uint32_t trial_left_ = trial;
    std::uint32_t found_ = 0;
};

}  // namespace quorvel::number_text
