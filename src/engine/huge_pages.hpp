#pragma once

#include <cstddef>

namespace quorvel::engine {

// The size of a huge page on x86-64 Linux.
inline constexpr std::size_t huge_page_bytes = std::size_t{1} << 21;

// Asks the kernel to back the 2 MB-aligned stretches of a large block with huge pages,
// where it supports that (transparent huge pages on Linux). Filling a fresh block costs one
// page fault per page; with huge pages that is 512 times fewer, which for the columns and
// texts the CSV code writes is a large part of the work. Only a hint: nothing changes when
// the kernel declines.
void advise_huge_pages(void* block, std::size_t bytes);

}  // namespace quorvel::engine
