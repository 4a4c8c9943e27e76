#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/result.hpp"

namespace quorvel::csv {

// The positions the tokenizer writes: per record its start, then the end of each field.
// Unlike a vector it is written through a pointer, and grows without zeroing.
class FieldPositions {
public:
    const std::uint32_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    void truncate(std::size_t size) { size_ = size; }

private:
    friend class Tokenizer;
    // Makes room for `count` more positions; returns where they go.
    std::uint32_t* grow(std::uint32_t* end, std::size_t count);

    std::unique_ptr<std::uint32_t[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Splits CSV text into records of fields, one record per call, keeping 32-bit positions
// only (the layout of FieldTable). Counts lines as it goes: LFs inside quoted fields count,
// and each record end counts one.
class Tokenizer {
public:
    // The text must be shorter than 2^32 bytes.
    explicit Tokenizer(std::string_view text);

    bool at_end() const { return position_ >= text_.size(); }
    std::size_t position() const { return position_; }

    // Appends the next record to `positions`: its start, then the end of each field.
    // Returns false on a quote that is never closed or is followed by text, and error() is
    // then the message; the record is then incomplete.
    bool read_record(FieldPositions& positions);

    engine::EngineError error() && { return std::move(*error_); }

    // The line on which the last record read began, counting from 1.
    std::uint64_t record_line() const { return record_line_; }

private:
    static constexpr std::size_t block_size = 64;

    // The commas, LFs and CRs of the 64-byte block at `block_start`, one bit per byte.
    std::uint64_t separators_at(std::size_t block_start) const;
    // The first double quote at or after `from`, or the text's size.
    std::size_t find_quote(std::size_t from) const;
    std::uint64_t line_feeds(std::size_t from, std::size_t to) const;
    // Reads the quoted field opening at `start`; sets `end` past its closing quote.
    bool read_quoted(std::size_t start, std::size_t& end);
    bool fail(std::uint64_t line, const char* what);

    std::string_view text_;
    std::size_t position_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t record_line_ = 1;
    // The separators not yet taken in the 64-byte block at block_start_, one bit per byte.
    std::size_t block_start_ = 0;
    std::uint64_t block_mask_;
    std::optional<engine::EngineError> error_;
};

}  // namespace quorvel::csv
