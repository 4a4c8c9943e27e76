#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorvel::engine {

// Memory for the engine's buffers: column values, offsets and bytes, row lists, scratch and
// output text.
//
// glibc serves a large block from its heap once blocks of that size have been freed (it
// raises its mmap threshold as it goes), and heap memory is faulted in 4 KiB pages where a
// fresh mapping gets huge ones: in a process that had read a few files, a sort ran three
// times slower than in a fresh one. So a block of large_block_bytes or more is mapped here,
// aligned to and advised for huge pages, and unmapped when freed: the same speed whatever
// the process did before, and the memory goes back to the system with the frame. Smaller
// blocks come from malloc, which serves them well. Safe on any thread.
inline constexpr std::size_t huge_page_bytes = std::size_t{1} << 21;  // on x86-64 Linux
inline constexpr std::size_t large_block_bytes = huge_page_bytes;

// Throws std::bad_alloc when the memory is not granted.
void* allocate_block(std::size_t bytes);
// Frees a block of allocate_block, given the size it was asked for.
void release_block(void* block, std::size_t bytes) noexcept;

// A standard allocator over the blocks, for vectors that may grow large.
template <class T>
struct BlockAllocator {
    using value_type = T;

    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(allocate_block(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) noexcept { release_block(block, count * sizeof(T)); }

    // An item made without a value is default-initialized, as `new U` makes it: numbers are
    // left as the memory holds them. Buffers are sized and then written through, and zeroing
    // them first would cost a pass over memory that was about to be written anyway.
    template <class U>
    void construct(U* item) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(item)) U;
    }
    template <class U, class... Args>
    void construct(U* item, Args&&... args) {
        ::new (static_cast<void*>(item)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const BlockAllocator&, const BlockAllocator&) { return true; }
};

// A vector whose storage is a block: what cells, row lists and large scratch live in. Room
// made by a count alone (resize(n), Buffer(n)) holds numbers not yet set: write them, or give
// the value to fill with.
template <class T>
using Buffer = std::vector<T, BlockAllocator<T>>;

// Makes room for `size` items when the memory is granted. For an estimate: when it is not,
// the vector grows as it fills.
template <class Vector>
void try_reserve(Vector& vector, std::size_t size) {
    try {
        vector.reserve(size);
    } catch (const std::bad_alloc&) {
    }
}

// For a vector that fills to a count not known in advance but at most `most` items: room for
// all of them at once when that makes a large block, whose pages are faulted in only as they
// are written. Grown by doubling, the vector would pass through malloc's sizes, which come as
// fresh pages or as reused ones depending on what the process did before (a text filter ran
// half again as long in a fresh process). Call fit_room after filling.
template <class Vector>
void reserve_at_most(Vector& vector, std::size_t most) {
    if (most >= large_block_bytes / sizeof(typename Vector::value_type)) try_reserve(vector, most);
}

// A vector filled after reserve_at_most that holds little is moved into a block of its
// size, so that a few items do not keep a huge page; above small_room_bytes the touched
// pages are kept.
inline constexpr std::size_t small_room_bytes = large_block_bytes / 8;
template <class Vector>
void fit_room(Vector& vector) {
    constexpr std::size_t item = sizeof(typename Vector::value_type);
    if (vector.capacity() * item >= large_block_bytes && vector.size() * item < small_room_bytes) {
        vector.shrink_to_fit();
    }
}

}  // namespace quorvel::engine
