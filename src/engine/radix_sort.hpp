#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::engine {

// A physical row with its sort key: `key` decides first (as an unsigned number), then
// `tie_break` (0 to 255). Callers map their cells to keys whose unsigned order is the wanted
// order; texts sorted eight bytes at a time break ties by how many of the eight they have.
struct KeyedRow {
    std::uint64_t key;
    std::uint32_t row;
    std::uint32_t tie_break;
};

// Sorts entries[0, count) by (key, tie_break), stably: entries equal in both keep their
// order. `scratch` has room for `count` entries; the result is in one of the two buffers, the
// one returned.
//
// A radix sort, stable by construction since every pass is a stable counting sort. Large
// inputs are first split by the leading bits of their keys into buckets that fit in the
// caches; each bucket (or a small input) is then sorted by its bytes from the least
// significant, the tie-break first. Keys are reduced by their minimum and bytes that are the
// same in every entry are skipped, so a narrow range of keys costs only the bytes it spans.
KeyedRow* radix_sort(KeyedRow* entries, KeyedRow* scratch, std::size_t count);

}  // namespace quorvel::engine
