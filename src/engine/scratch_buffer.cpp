#include "scratch_buffer.hpp"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quorvel::engine {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

}  // namespace

void* allocate_scratch(std::size_t bytes) {
    void* data = nullptr;
#if defined(MADV_HUGEPAGE)
    if (bytes >= 2 * huge_page) {
        const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        data = std::aligned_alloc(huge_page, rounded);
        // Only a hint: without huge pages the buffer works the same, only slower to fill.
        if (data) madvise(data, rounded, MADV_HUGEPAGE);
    } else {
        data = std::malloc(bytes == 0 ? 1 : bytes);
    }
#else
    data = std::malloc(bytes == 0 ? 1 : bytes);
#endif
    if (!data) throw std::bad_alloc();
    return data;
}

void release_scratch(void* data) { std::free(data); }

}  // namespace quorvel::engine
