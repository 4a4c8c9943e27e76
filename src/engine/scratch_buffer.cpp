#include "engine/scratch_buffer.hpp"

#include <cstdlib>

#include "engine/huge_pages.hpp"

namespace quorvel::engine {

void* allocate_scratch(std::size_t bytes) {
    constexpr std::size_t huge_page = huge_page_bytes;
    void* data = nullptr;
    if (bytes >= 2 * huge_page) {
        // Aligned and whole, so that every page of the buffer can be a huge one.
        const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        data = std::aligned_alloc(huge_page, rounded);
        if (data) advise_huge_pages(data, rounded);
    } else {
        data = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (!data) throw std::bad_alloc();
    return data;
}

void release_scratch(void* data) { std::free(data); }

}  // namespace quorvel::engine
