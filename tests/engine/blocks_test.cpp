// Blocks: large ones lie on huge page boundaries, whatever size was asked for, and a buffer
// keeps its contents as it grows from malloc's blocks into mapped ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/blocks.hpp"

namespace quorvel::engine {
namespace {

TEST(Blocks, LargeOnesStartOnAHugePageAndEveryByteIsTheirs) {
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{1}, large_block_bytes - 1, large_block_bytes,
                                    large_block_bytes + 1, 5 * large_block_bytes + 12345}) {
        auto* block = static_cast<unsigned char*>(allocate_block(bytes));
        if (bytes >= large_block_bytes) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % huge_page_bytes, 0u) << bytes;
        }
        std::memset(block, 0xA5, bytes);
        if (bytes != 0) {
            EXPECT_EQ(block[bytes - 1], 0xA5);
        }
        release_block(block, bytes);
    }
}

TEST(Blocks, ABufferKeepsItsContentsAsItGrowsIntoMappedBlocks) {
    Buffer<std::uint64_t> values;
    const std::size_t count = 3 * large_block_bytes / sizeof(std::uint64_t);
    for (std::uint64_t i = 0; i < count; ++i) values.push_back(i * 2654435761u);
    for (std::uint64_t i = 0; i < count; ++i) ASSERT_EQ(values[i], i * 2654435761u) << i;
    Buffer<std::uint64_t> moved = std::move(values);
    EXPECT_EQ(moved.back(), (count - 1) * 2654435761u);
}

}  // namespace
}  // namespace quorvel::engine
