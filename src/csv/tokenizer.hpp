#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "csv/byte_classes.hpp"
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

    // Appends whole records of exactly `fields` fields (two or more) that hold no CR, each
    // ended by an LF, their quoted fields well formed and holding no LF, until the text, or
    // such records, end, or `most` records have been read (it may read a few more). Returns
    // how many it appended. What stops it is left to read_record: a record of another count,
    // a blank line, a CR, a quote out of place or a quoted LF, the last line without its LF.
    std::size_t read_plain_records(FieldPositions& positions, std::size_t fields, std::size_t most);

    engine::EngineError error() && { return std::move(*error_); }

    // The line on which the last record read began, counting from 1.
    std::uint64_t record_line() const { return record_line_; }

private:
    static constexpr std::size_t block_size = 64;
    static constexpr std::size_t read_ahead = 4096;

    // The byte classes of the 64-byte block at `block_start`, none past the text's end.
    ByteClasses classes_at(std::size_t block_start) const;
    // The commas, LFs and CRs of the block, one bit per byte.
    std::uint64_t separators_at(std::size_t block_start) const;
    template <class Scan>
    auto scan_block(std::size_t block_start, Scan scan) const;
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
