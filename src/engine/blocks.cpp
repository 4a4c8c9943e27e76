#include "engine/blocks.hpp"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quorvel::engine {
namespace {

std::size_t mapped_bytes(std::size_t bytes) { return (bytes + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes; }

}  // namespace

#if defined(__linux__)

void* allocate_block(std::size_t bytes) {
    if (bytes < large_block_bytes) {
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        if (!block) throw std::bad_alloc();
        return block;
    }
    // A huge page more is mapped and the ends cut off, so that the block starts on a huge
    // page boundary and every page of it can be a huge one.
    const std::size_t size = mapped_bytes(bytes);
    if (size < bytes || size + huge_page_bytes < size) throw std::bad_alloc();
    void* mapped = mmap(nullptr, size + huge_page_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + huge_page_bytes - 1) & ~(std::uintptr_t{huge_page_bytes} - 1);
    if (const std::size_t head = aligned - start) munmap(mapped, head);
    if (const std::size_t tail = huge_page_bytes - (aligned - start)) munmap(reinterpret_cast<void*>(aligned + size), tail);
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // a hint: nothing changes if declined
#endif
    return reinterpret_cast<void*>(aligned);
}

void release_block(void* block, std::size_t bytes) noexcept {
    if (bytes < large_block_bytes) {
        std::free(block);
    } else {
        munmap(block, mapped_bytes(bytes));
    }
}

#else

void* allocate_block(std::size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (!block) throw std::bad_alloc();
    return block;
}

void release_block(void* block, std::size_t) noexcept { std::free(block); }

#endif

}  // namespace quorvel::engine
