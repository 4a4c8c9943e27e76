#pragma once

#include <cstddef>
#include <new>

namespace quorvel::engine {

// The size of a huge page on x86-64 Linux.
inline constexpr std::size_t huge_page_bytes = std::size_t{1} << 21;

// Asks the kernel to back the 2 MB-aligned stretches of a large block with huge pages,
// where it supports that (transparent huge pages on Linux). Filling a fresh block costs one
// page fault per page; with huge pages that is 512 times fewer, which for the columns and
// texts the CSV code writes is a large part of the work. Only a hint: nothing changes when
// the kernel declines.
void advise_huge_pages(void* block, std::size_t bytes);

// Makes room in a vector for `size` items, with the hint of huge pages for a large block.
// Only an estimate is asked for: when the memory is not granted, the vector grows as it
// fills. A large block gets a huge page more than asked for, so that the items filled last
// lie in a huge page wholly inside the block rather than in up to 512 small ones.
template <class Vector>
void reserve_advised(Vector& vector, std::size_t size) {
    constexpr std::size_t item_bytes = sizeof(typename Vector::value_type);
    if (size * item_bytes >= 2 * huge_page_bytes) size += huge_page_bytes / item_bytes;
    try {
        vector.reserve(size);
    } catch (const std::bad_alloc&) {
        return;
    }
    advise_huge_pages(vector.data(), vector.capacity() * item_bytes);
}

}  // namespace quorvel::engine
