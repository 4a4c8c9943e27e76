#include "engine/distinct_count.hpp"

#include <bit>
#include <vector>

#include "engine/hashing.hpp"
#include "engine/insertion_sort.hpp"

namespace quorvel::engine {
namespace {

// Fewer keys than this are sorted and their runs counted, which beats making a table.
constexpr std::size_t longest_sorted = 32;

template <class T>
std::size_t distinct_sorted(std::span<T> values) {
    insertion_sort(values.data(), values.size(), [](const T& a, const T& b) { return a < b; });
    std::size_t distinct = values.empty() ? 0 : 1;
    for (std::size_t i = 1; i < values.size(); ++i) distinct += values[i] != values[i - 1];
    return distinct;
}

// Slots for `count` entries, at most half full: a power of two, and the shift that takes the
// top bits of a hash to a slot.
struct TableShape {
    std::size_t size;
    unsigned shift;

    explicit TableShape(std::size_t count)
        : size(std::bit_ceil(2 * count)), shift(64 - static_cast<unsigned>(std::countr_zero(size))) {}
};

}  // namespace

std::size_t distinct_count(std::span<std::uint64_t> keys) {
    if (keys.size() < longest_sorted) return distinct_sorted(keys);
    // Open addressing with linear probing; slot value 0 marks a free slot, so the key 0 is
    // counted on its own.
    const TableShape shape(keys.size());
    std::vector<std::uint64_t> slots(shape.size, 0);
    const std::size_t mask = shape.size - 1;
    bool zero = false;
    std::size_t distinct = 0;
    for (const std::uint64_t key : keys) {
        if (key == 0) {
            distinct += !zero;
            zero = true;
            continue;
        }
        std::size_t slot = quick_hash(key) >> shape.shift;
        while (slots[slot] != 0 && slots[slot] != key) slot = (slot + 1) & mask;
        distinct += slots[slot] == 0;
        slots[slot] = key;
    }
    return distinct;
}

std::size_t distinct_count(std::span<std::string_view> texts) {
    if (texts.size() < longest_sorted) return distinct_sorted(texts);
    // Each slot holds a text's index + 1 (0 when free) beside its hash, which is compared
    // before the bytes.
    const TableShape shape(texts.size());
    std::vector<std::uint32_t> slots(shape.size, 0);
    std::vector<std::uint64_t> hashes(shape.size);
    const std::size_t mask = shape.size - 1;
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint64_t hash = quick_hash(texts[i]);
        std::size_t slot = hash >> shape.shift;
        for (; slots[slot] != 0; slot = (slot + 1) & mask) {
            if (hashes[slot] == hash && texts[slots[slot] - 1] == texts[i]) break;
        }
        if (slots[slot] != 0) continue;
        slots[slot] = static_cast<std::uint32_t>(i + 1);
        hashes[slot] = hash;
        ++distinct;
    }
    return distinct;
}

}  // namespace quorvel::engine
