#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::engine {

// A physical row with its sort key: `key` decides first (as an unsigned number), then `tail`
// (0 to 255). Callers map their cells to keys whose unsigned order is the wanted order.
struct KeyedRow {
    std::uint64_t key;
    std::uint32_t row;
    std::uint32_t tail;
};

// Sorts entries[0, count) by (key, tail), stably: entries with equal keys and tails keep
// their order. `scratch` has room for `count` entries. Keys are left reduced by their
// minimum, which keeps their order and their equalities.
//
// Least-significant-digit radix sort over bytes, tail first: every pass is a stable
// counting sort, so the whole is stable by construction. Keys are first reduced by their
// minimum and the passes over bytes that are the same in every entry are skipped, so a
// narrow range of keys costs only the bytes it spans.
void radix_sort(KeyedRow* entries, KeyedRow* scratch, std::size_t count);

}  // namespace quorvel::engine
