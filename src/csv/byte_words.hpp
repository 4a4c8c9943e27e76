#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace quorvel::csv {

// Eight bytes of text as one 64-bit word, to test all eight at once. The word is taken in
// little-endian order, so that the byte at the lowest address is the least significant and
// the first byte to match is the lowest flag; elsewhere the callers go byte by byte.
inline constexpr bool byte_words = std::endian::native == std::endian::little;

inline std::uint64_t load_word(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

inline void store_word(char* bytes, std::uint64_t word) { std::memcpy(bytes, &word, sizeof word); }

// Bit 7 of each byte of the word that equals `c`, and no other bit. (Each byte's low seven
// bits plus 0x7F cannot carry into the next byte.)
inline std::uint64_t bytes_equal(std::uint64_t word, char c) {
    constexpr std::uint64_t low_bits = 0x7F7F7F7F7F7F7F7F;
    const std::uint64_t x = word ^ (0x0101010101010101 * static_cast<unsigned char>(c));
    return ~(((x & low_bits) + low_bits) | x) & ~low_bits;
}

// All bits of the first `count` (1 to 8) bytes of a word.
inline std::uint64_t first_bytes(unsigned count) { return ~std::uint64_t{0} >> (8 * (8 - count)); }

// The place of the first byte flagged in nonzero `flags`.
inline unsigned first_flagged(std::uint64_t flags) { return static_cast<unsigned>(std::countr_zero(flags)) / 8; }

}  // namespace quorvel::csv
