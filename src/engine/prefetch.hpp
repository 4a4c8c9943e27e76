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
    // The address goes in a register, not a memory operand: it may be past a column's end or
    // null for an empty column, and prefetching never faults.
    asm volatile("prefetcht0 (%0)" : : "r"(address));
#else
    __builtin_prefetch(address);
#endif
}

// The pages the hardware's prefetcher works within.
inline constexpr std::size_t page_bytes = 4096;

// Asks for one cache line in each 4 KiB page of values[begin, end), for a walk in storage
// order that will come there soon. The hardware's prefetcher follows such a walk only within
// a page and stops at its end; over memory the caches do not hold, the walk would then wait
// at every page until misses there started it again. A line asked for ahead starts it
// early; asking for every line instead competes with the walk's own reads.
template <class T>
void prefetch_pages(const T* values, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; i += page_bytes / sizeof(T)) prefetch(values + i);
}

// Asks for the offsets and the bytes two pages past those of `row`, for a walk of texts in
// storage order that hashes each. Walking a column the caches do not hold, the lookups waited
// at each new page of either stream until the hardware's prefetcher, which stops at page
// ends, started again there: grouping a million texts took 8.5 to 9.1 ms after the caches
// were flushed against 6 warm, and 7.1 to 7.5 with these asks, which cost nothing measurable
// warm. Callers ask every 64 rows, a few times a page of either stream.
// The addresses are reckoned as integers: they may lie past a column's end, or start from
// the null of a column holding no bytes, where arithmetic on the pointers would be undefined.
inline void prefetch_text_pages_ahead(const StrCells& texts, std::size_t row) {
    constexpr std::size_t two_pages = 2 * page_bytes;
    const auto at = [](const void* base, std::size_t bytes) {
        return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) + bytes);
    };
    prefetch(at(texts.offsets.data() + row, two_pages));
    prefetch(at(texts.bytes.data() + texts.offsets[row], two_pages));
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
