#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorvel::engine {

// Null flags of one column: one bit per cell, set when the cell holds a value. An empty mask
// means that every cell is present, so columns without nulls cost nothing and loops can take
// an all-present path.
class Validity {
public:
    Validity() = default;
    // A mask built whole: bit r of word r / 64 set when cell r is present, and the bits past
    // the column's end set, as set_null leaves them. Empty words mean that no cell is null.
    explicit Validity(std::vector<std::uint64_t> words) : words_(std::move(words)) {}

    bool all_present() const { return words_.empty(); }

    bool is_present(std::size_t row) const { return words_.empty() || present_bit(row) != 0; }

    // The flag of one row as 1 or 0, for a mask that exists (not all_present()): what a loop
    // reads once it has taken the all-present case apart, as a number it can add.
    std::size_t present_bit(std::size_t row) const { return bit(words_.data(), row); }

    // The flags of a mask that exists, for a loop that keeps them at hand: present_bit is then
    // bit(flags, row), one load fewer per cell where every byte written may alias the mask.
    const std::uint64_t* flags() const { return words_.data(); }
    static std::size_t bit(const std::uint64_t* flags, std::size_t row) { return (flags[row >> 6] >> (row & 63)) & 1u; }

    // The flags of rows 64 * index to 64 * index + 63, least significant first, for a mask that
    // exists. Bits past the column's last row are set.
    std::uint64_t word(std::size_t index) const { return words_[index]; }
    std::size_t word_count() const { return words_.size(); }

    // Marks one cell of a column of `length` cells as null. The mask is made (all present) on
    // the first null, so building a column that has none allocates nothing.
    void set_null(std::size_t row, std::size_t length) {
        if (words_.empty()) words_.assign((length + 63) / 64, ~std::uint64_t{0});
        words_[row >> 6] &= ~(std::uint64_t{1} << (row & 63));
    }

    // The null cells of a column of `length` cells.
    std::size_t null_count(std::size_t length) const {
        if (words_.empty()) return 0;
        std::size_t present = 0;
        const std::size_t whole = length / 64;
        for (std::size_t w = 0; w < whole; ++w) present += static_cast<std::size_t>(std::popcount(words_[w]));
        if (const std::size_t rest = length % 64) {
            present += static_cast<std::size_t>(std::popcount(words_[whole] & ((std::uint64_t{1} << rest) - 1)));
        }
        return length - present;
    }

private:
    std::vector<std::uint64_t> words_;
};

}  // namespace quorvel::engine
