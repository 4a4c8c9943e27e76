#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/column_values.hpp"

namespace quorvel::engine {

// Reading cells in the order of a sorted or shuffled row selection jumps about memory: on
// large columns each cell costs a cache miss and a TLB miss, one after another. Asking for
// the cells some rows ahead lets those misses overlap.
inline constexpr std::size_t prefetch_ahead = 16;

// Asks for the cache line at `address`. On x86-64 the instruction is written out: g++ 12's
// dead-code pass removes __builtin_prefetch from some of these loops.
inline void prefetch(const void* address) {
#if defined(__x86_64__)
    // The address goes in a register, not a memory operand: it may be one past a column's
    // end or null for an empty column, and prefetching never faults.
    asm volatile("prefetcht0 (%0)" : : "r"(address));
#else
    __builtin_prefetch(address);
#endif
}

// Asks for one cache line in each 4 KiB page of values[begin, end), for a walk in storage
// order that will come there soon. The hardware's prefetcher follows such a walk only within
// a page and stops at its end; over memory the caches do not hold, the walk would then wait
// at every page until misses there started it again. A line asked for ahead starts it
// early; asking for every line instead competes with the walk's own reads.
template <class T>
void prefetch_pages(const T* values, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; i += 4096 / sizeof(T)) prefetch(values + i);
}

// Asks for the value that reading selected row `r + prefetch_ahead` will need.
template <class T>
void prefetch_selected(const T* values, const std::uint32_t* rows, std::size_t r, std::size_t count) {
    if (r + prefetch_ahead < count) prefetch(values + rows[r + prefetch_ahead]);
}

// Asks for what reading the text of selected row `r + prefetch_ahead` will need. A text
// needs its offset before its bytes can be asked for: the offsets are asked for twice as far
// ahead, and are there by the time the bytes are.
inline void prefetch_selected(const StrCells& texts, const std::uint32_t* rows, std::size_t r, std::size_t count) {
    const std::uint64_t* const offsets = texts.offsets.data();
    if (r + 2 * prefetch_ahead < count) prefetch(offsets + rows[r + 2 * prefetch_ahead]);
    if (r + prefetch_ahead < count) prefetch(texts.bytes.data() + offsets[rows[r + prefetch_ahead]]);
}

template <class T>
void prefetch_selected(const NumberCells<T>& cells, const std::uint32_t* rows, std::size_t r, std::size_t count) {
    prefetch_selected(cells.values.data(), rows, r, count);
}

}  // namespace quorvel::engine
