#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/cell_value.hpp"
#include "engine/column_values.hpp"
#include "engine/hashing.hpp"

// How grouping hashes and compares the key cells of a row. Equal cells always hash alike
// (-0.0 is hashed as 0.0, a NaN by its bits), so the hash only narrows the candidates and
// the comparison decides: which hash is used never changes the groups or their order.
namespace quorvel::engine::group_keys {

// The bits that identify a number key: equal keys have equal bits once -0.0 is read as 0.0
// (-0.0 == 0.0 holds, and a NaN compares false and keeps its bits).
constexpr std::uint64_t key_bits(std::int64_t value) { return static_cast<std::uint64_t>(value); }
constexpr std::uint64_t key_bits(double value) { return std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value); }

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

// Cell `a` of one key column and cell `b` of another of the same dtype (or of the same
// column): both null, or both present with equal values.
template <class Cells>
bool cells_equal(const Cells& cells_a, std::size_t a, const Cells& cells_b, std::size_t b) {
    const bool present = cells_a.is_present(a);
    if (present != cells_b.is_present(b)) return false;
    return !present || values_equal(value_at(cells_a, a), value_at(cells_b, b));
}

template <class Cells>
bool cells_equal(const Cells& cells, std::size_t a, std::size_t b) {
    return cells_equal(cells, a, cells, b);
}

// Feeds one key column's cells at `rows` into the running FNV-1a hashes of those rows.
template <class Cells>
void hash_column(const Cells& cells, const std::uint32_t* rows, std::size_t count, std::uint64_t* hashes) {
    for (std::size_t i = 0; i < count; ++i) {
        hashes[i] = cells.is_present(rows[i]) ? hash_value(hashes[i], value_at(cells, rows[i])) : hash_null(hashes[i]);
    }
}

}  // namespace quorvel::engine::group_keys
