#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../engine/result.hpp"

namespace quorvel::engine {

// Splits CSV text into records of fields, one record per call, keeping 32-bit positions
// only (the layout of FieldTable). Counts lines as it goes: LFs inside quoted fields count,
// and each record end counts one.
class Tokenizer {
public:
    // The text must be shorter than 2^32 bytes.
    explicit Tokenizer(std::string_view text);

    bool at_end() const { return position_ >= text_.size(); }
    std::size_t position() const { return position_; }

    // Appends the next record to `records`: its start, then the end of each field. Fails on
    // a quote that is never closed or is followed by text; the record is then incomplete.
    Result<void> read_record(std::vector<std::uint32_t>& records);

    // The line on which the last record read began, counting from 1.
    std::uint64_t record_line() const { return record_line_; }

private:
    static constexpr std::size_t block_size = 64;

    // The position of the first comma, LF or CR at or after `position` (not before any
    // position asked for earlier), or the text's size.
    std::size_t find_separator(std::size_t position) {
        if (position - block_start_ >= block_size) load_block(position & ~(block_size - 1));
        std::uint64_t mask = block_mask_ & (~std::uint64_t{0} << (position - block_start_));
        while (mask == 0) {
            if (block_start_ + block_size >= text_.size()) return text_.size();
            load_block(block_start_ + block_size);
            mask = block_mask_;
        }
        return block_start_ + static_cast<std::size_t>(__builtin_ctzll(mask));
    }
    void load_block(std::size_t block_start);
    // Reads the quoted field opening at `start`; sets `end` past its closing quote.
    Result<void> read_quoted(std::size_t start, std::size_t& end);

    std::string_view text_;
    std::size_t position_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t record_line_ = 1;
    // Separators of the 64-byte block at block_start_, one bit per byte.
    std::size_t block_start_ = 0;
    std::uint64_t block_mask_ = 0;
};

}  // namespace quorvel::engine
