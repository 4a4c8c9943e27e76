#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "csv/byte_classes.hpp"

namespace quorvel::csv {
namespace {

// Each class byte alone at every place of a block, among bytes of no class (including those
// that differ from one by a bit, and high bytes), sets its own bit and no other.
TEST(ByteClasses, EachClassAtEveryPlace) {
    const std::string fillers = std::string("a0.\x0b\x0c\x8c\xa2\xff-#+ \t\0", 15);
    for (const char c : {',', '\n', '\r', '"'}) {
        for (unsigned place = 0; place < 64; ++place) {
            std::string block(64, ' ');
            for (unsigned i = 0; i < 64; ++i) block[i] = fillers[(i + place) % fillers.size()];
            block[place] = c;
            const ByteClasses found = classify_block(block.data());
            const std::uint64_t bit = std::uint64_t{1} << place;
            EXPECT_EQ(found.commas, c == ',' ? bit : 0) << place;
            EXPECT_EQ(found.line_feeds, c == '\n' ? bit : 0) << place;
            EXPECT_EQ(found.carriage_returns, c == '\r' ? bit : 0) << place;
            EXPECT_EQ(found.quotes, c == '"' ? bit : 0) << place;
            EXPECT_EQ(block_separators(block.data()), c == '"' ? 0 : bit) << place;
        }
    }
}

TEST(ByteClasses, MixedBlock) {
    const std::string block = "a,\"b\"\r\n1,2\n" + std::string(50, 'x') + ",\"\n";
    ASSERT_EQ(block.size(), 64u);
    const ByteClasses found = classify_block(block.data());
    EXPECT_EQ(found.commas, (1ull << 1) | (1ull << 8) | (1ull << 61));
    EXPECT_EQ(found.line_feeds, (1ull << 6) | (1ull << 10) | (1ull << 63));
    EXPECT_EQ(found.carriage_returns, 1ull << 5);
    EXPECT_EQ(found.quotes, (1ull << 2) | (1ull << 4) | (1ull << 62));
    EXPECT_EQ(found.separators(), block_separators(block.data()));
}

}  // namespace
}  // namespace quorvel::csv
