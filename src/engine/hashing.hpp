#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The engine's hash functions, for its hash tables (groups, membership lists) and the memo of
// float texts: FNV-1a, which the key hash of several columns is defined as, and quick word
// and text hashes for the tables where one key is hashed at a time.
namespace quorvel::engine {

// 2^64 divided by the golden ratio: multiplying by it spreads every input bit into the top
// bits of the product, which is why tables index by the top bits of these hashes.
inline constexpr std::uint64_t golden_multiplier = 0x9e3779b97f4a7c15;

// 64-bit FNV-1a, fed byte by byte; a row's hash runs over its key cells in key order. It
// serves keys of several columns.
inline constexpr std::uint64_t hash_start = 0xcbf29ce484222325;
inline constexpr std::uint64_t hash_prime = 0x100000001b3;

constexpr std::uint64_t hash_byte(std::uint64_t hash, std::uint8_t byte) { return (hash ^ byte) * hash_prime; }

// The 8 bytes of `bits`, least significant first (little-endian on every platform).
constexpr std::uint64_t hash_word(std::uint64_t hash, std::uint64_t bits) {
    for (int shift = 0; shift < 64; shift += 8) hash = hash_byte(hash, static_cast<std::uint8_t>(bits >> shift));
    return hash;
}

// A word or a text at a time, where FNV-1a's multiplication per byte would cost more than
// all the rest of a lookup: every input bit reaches the top bits that index a table.
constexpr std::uint64_t quick_hash(std::uint64_t bits) { return (bits ^ (bits >> 32)) * golden_multiplier; }

// A text read as up to three 8-byte words, or as two 4-byte halves or three single bytes
// when shorter than 8. The reads overlap rather than loop so that keys of 4 to 24 bytes, the
// usual ones, take no branch that depends on their length; together they cover every byte.
struct TextWords {
    std::uint64_t first = 0, middle = 0, last = 0;

    TextWords(const char* bytes, std::size_t size) {
        if (size >= 8) {
            first = load<std::uint64_t>(bytes);
            middle = load<std::uint64_t>(bytes + size / 2 - 4);
            last = load<std::uint64_t>(bytes + size - 8);
        } else if (size >= 4) {
            first = load<std::uint32_t>(bytes);
            last = load<std::uint32_t>(bytes + size - 4);
        } else if (size != 0) {
            first = static_cast<std::uint8_t>(bytes[0]);
            middle = static_cast<std::uint8_t>(bytes[size / 2]);
            last = static_cast<std::uint8_t>(bytes[size - 1]);
        }
    }

    template <class Word>
    static std::uint64_t load(const char* at) {
        Word word;
        std::memcpy(&word, at, sizeof word);
        return word;
    }
};

// The three words cover texts of up to 24 bytes; longer ones also feed the 8-byte words
// in between.
inline constexpr std::size_t covered_size = 24;

// Odd multipliers for the middle and last words (xxHash's second and third 64-bit primes).
inline constexpr std::uint64_t middle_multiplier = 0xc2b2ae3d27d4eb4f;
inline constexpr std::uint64_t last_multiplier = 0x165667b19e3779f9;

// The length goes in the first word's top byte, which a text shorter than 8 bytes leaves
// clear: xored into its low bytes, it made "2" and "12" one hash. The middle and last words
// are multiplied beside the first word's mixing rather than after it: a lookup waits on its
// hash, and three multiplications one after another were a quarter of grouping by a text.
inline std::uint64_t quick_hash(std::string_view text) {
    const TextWords words(text.data(), text.size());
    std::uint64_t hash = quick_hash(words.first ^ std::rotr(std::uint64_t{text.size()}, 8));
    if (text.size() > covered_size) {
        for (std::size_t at = 8; at + 8 < text.size(); at += 8) {
            hash = quick_hash(hash ^ TextWords::load<std::uint64_t>(text.data() + at));
        }
    }
    return quick_hash(hash ^ words.middle * middle_multiplier ^ words.last * last_multiplier);
}

}  // namespace quorvel::engine
