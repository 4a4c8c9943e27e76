#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

#include "cell_value.hpp"
#include "column_values.hpp"

// How grouping hashes and compares the key cells of a row. Equal cells always hash alike
// (-0.0 is hashed as 0.0, a NaN by its bits), so the hash only narrows the candidates and
// the comparison decides.
namespace quorvel::engine::group_keys {

// 64-bit FNV-1a, fed byte by byte; a row's hash runs over its key cells in key order.
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
    // -0.0 == 0.0 holds, so both are hashed as 0.0; a NaN compares false and keeps its bits.
    return hash_word(hash, std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value));
}

// The text's bytes and a closing 0xFF, which never occurs in UTF-8, so that the key cells
// ("a", "bc") and ("ab", "c") feed different streams.
constexpr std::uint64_t hash_value(std::uint64_t hash, std::string_view text) {
    for (const char c : text) hash = hash_byte(hash, static_cast<std::uint8_t>(c));
    return hash_byte(hash, 0xFF);
}

constexpr bool values_equal(std::int64_t a, std::int64_t b) { return a == b; }

// 0.0 equals -0.0 as numbers; a NaN equals only a NaN of the same bits.
constexpr bool values_equal(double a, double b) {
    return a == b || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

constexpr bool values_equal(std::string_view a, std::string_view b) { return a == b; }

// Two cells of one key column: both null, or both present with equal values.
template <class Cells>
bool cells_equal(const Cells& cells, std::size_t a, std::size_t b) {
    const bool present = cells.is_present(a);
    if (present != cells.is_present(b)) return false;
    return !present || values_equal(value_at(cells, a), value_at(cells, b));
}

}  // namespace quorvel::engine::group_keys
