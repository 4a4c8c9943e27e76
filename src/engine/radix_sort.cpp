#include "radix_sort.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace quorvel::engine {
namespace {

// Below this many entries a straight insertion sort is faster than counting bytes.
constexpr std::size_t largest_insertion_sort = 32;

// Digit 0 is the tail, digits 1 to 8 the key's bytes from the least significant.
constexpr std::size_t digit_count = 9;

unsigned digit(const KeyedRow& entry, std::size_t d) {
    return d == 0 ? entry.tail & 0xFFu : static_cast<unsigned>(entry.key >> (8 * (d - 1))) & 0xFFu;
}

bool before(const KeyedRow& a, const KeyedRow& b) { return a.key != b.key ? a.key < b.key : a.tail < b.tail; }

void insertion_sort(KeyedRow* entries, std::size_t count) {
    for (std::size_t i = 1; i < count; ++i) {
        const KeyedRow entry = entries[i];
        std::size_t j = i;
        for (; j > 0 && before(entry, entries[j - 1]); --j) entries[j] = entries[j - 1];
        entries[j] = entry;
    }
}

}  // namespace

void radix_sort(KeyedRow* entries, KeyedRow* scratch, std::size_t count) {
    if (count <= largest_insertion_sort) {
        insertion_sort(entries, count);
        return;
    }
    std::uint64_t lowest = entries[0].key;
    for (std::size_t i = 1; i < count; ++i) lowest = std::min(lowest, entries[i].key);

    std::array<std::array<std::uint32_t, 256>, digit_count> counts{};
    for (std::size_t i = 0; i < count; ++i) {
        KeyedRow& entry = entries[i];
        entry.key -= lowest;
        ++counts[0][entry.tail & 0xFFu];
        for (std::size_t d = 1; d < digit_count; ++d) ++counts[d][(entry.key >> (8 * (d - 1))) & 0xFFu];
    }

    KeyedRow* from = entries;
    KeyedRow* to = scratch;
    for (std::size_t d = 0; d < digit_count; ++d) {
        std::array<std::uint32_t, 256>& bucket = counts[d];
        if (bucket[digit(from[0], d)] == count) continue;  // one value in every entry: nothing to order
        std::uint32_t next = 0;
        for (std::uint32_t& start : bucket) next += std::exchange(start, next);
        for (std::size_t i = 0; i < count; ++i) to[bucket[digit(from[i], d)]++] = from[i];
        std::swap(from, to);
    }
    if (from != entries) std::memcpy(entries, from, count * sizeof(KeyedRow));
}

}  // namespace quorvel::engine
