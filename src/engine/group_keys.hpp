#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/cell_value.hpp"
#include "engine/column_values.hpp"

// How grouping hashes and compares the key cells of a row. Equal cells always hash alike
// (-0.0 is hashed as 0.0, a NaN by its bits), so the hash only narrows the candidates and
// the comparison decides: which hash is used never changes the groups or their order.
namespace quorvel::engine::group_keys {

// The bits that identify a number key: equal keys have equal bits once -0.0 is read as 0.0
// (-0.0 == 0.0 holds, and a NaN compares false and keeps its bits).
constexpr std::uint64_t key_bits(std::int64_t value) { return static_cast<std::uint64_t>(value); }
constexpr std::uint64_t key_bits(double value) { return std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value); }

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

constexpr std::uint64_t hash_null(std::uint64_t hash) { return hash_byte(hash, 0x00); }

constexpr std::uint64_t hash_value(std::uint64_t hash, std::int64_t value) {
    return hash_word(hash, static_cast<std::uint64_t>(value));
}

constexpr std::uint64_t hash_value(std::uint64_t hash, double value) {
    return hash_word(hash, key_bits(value));
}

// The text's bytes and a closing 0xFF, which never occurs in UTF-8, so that the key cells
// ("a", "bc") and ("ab", "c") feed different streams.
constexpr std::uint64_t hash_value(std::uint64_t hash, std::string_view text) {
    for (const char c : text) hash = hash_byte(hash, static_cast<std::uint8_t>(c));
    return hash_byte(hash, 0xFF);
}

// Hashes for a single key column, where FNV-1a's multiplication per byte would cost more
// than all the rest of grouping: a word at a time, every input bit reaching the top bits
// that index the table.
inline constexpr std::uint64_t mix_constant = 0x9e3779b97f4a7c15;

constexpr std::uint64_t quick_hash(std::uint64_t bits) { return (bits ^ (bits >> 32)) * mix_constant; }

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

inline std::uint64_t quick_hash(std::string_view text) {
    const TextWords words(text.data(), text.size());
    std::uint64_t hash = quick_hash(text.size() ^ words.first);
    if (text.size() > covered_size) {
        for (std::size_t at = 8; at + 8 < text.size(); at += 8) {
            hash = quick_hash(hash ^ TextWords::load<std::uint64_t>(text.data() + at));
        }
    }
    return quick_hash(quick_hash(hash ^ words.middle) ^ words.last);
}

constexpr bool values_equal(std::int64_t a, std::int64_t b) { return a == b; }

// 0.0 equals -0.0 as numbers; a NaN equals only a NaN of the same bits.
constexpr bool values_equal(double a, double b) {
    return a == b || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

constexpr bool values_equal(std::string_view a, std::string_view b) { return a == b; }

// Byte equality of two texts, read as TextWords: keys are mostly short, and a call to
// memcmp would cost more than the comparison.
inline bool same_text(std::string_view a, std::string_view b) {
    const std::size_t size = a.size();
    if (size != b.size()) return false;
    const TextWords x(a.data(), size), y(b.data(), size);
    if (((x.first ^ y.first) | (x.middle ^ y.middle) | (x.last ^ y.last)) != 0) return false;
    return size <= covered_size || a == b;
}

// Two cells of one key column: both null, or both present with equal values.
template <class Cells>
bool cells_equal(const Cells& cells, std::size_t a, std::size_t b) {
    const bool present = cells.is_present(a);
    if (present != cells.is_present(b)) return false;
    return !present || values_equal(value_at(cells, a), value_at(cells, b));
}

}  // namespace quorvel::engine::group_keys
