#pragma once

#include <cstdint>

namespace quorvel::csv {

// The bytes of a 64-byte block that CSV gives a meaning to, one mask each, bit i for byte i:
// finding the next one is a count of trailing zeros instead of a test per byte.
struct ByteClasses {
    std::uint64_t commas;
    std::uint64_t line_feeds;
    std::uint64_t carriage_returns;
    std::uint64_t quotes;

    // The bytes that end an unquoted field.
    std::uint64_t separators() const { return commas | line_feeds | carriage_returns; }
};

// The classes of the 64 bytes at `bytes`, all of which must be readable.
ByteClasses classify_block(const char* bytes);

// classify_block(bytes).separators() alone, in fewer steps.
std::uint64_t block_separators(const char* bytes);

}  // namespace quorvel::csv
