#include "engine/distinct_count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::engine {
namespace {

// Short lists are sorted, long ones hashed: lengths on both sides, and the key 0, which the
// table cannot keep in a slot.
TEST(DistinctCount, CountsEachKeyOnce) {
    std::mt19937_64 random(11);
    for (const std::size_t length : {0, 1, 2, 31, 32, 33, 100, 5000}) {
        for (const std::uint64_t spread : {std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{1000}, ~std::uint64_t{0}}) {
            std::vector<std::uint64_t> keys(length);
            for (std::uint64_t& key : keys) key = spread == ~std::uint64_t{0} ? random() : random() % spread;
            const std::set<std::uint64_t> distinct(keys.begin(), keys.end());
            EXPECT_EQ(distinct_count(std::span<std::uint64_t>(keys)), distinct.size()) << length << " " << spread;
        }
    }
}

TEST(DistinctCount, TellsTextsApartByEveryByte) {
    std::mt19937_64 random(12);
    const std::vector<std::string> pool = {"", "a", "ab", "b", std::string("a\0b", 3), std::string("a\0c", 3),
                                           "a long text of forty bytes, with a tail1", "a long text of forty bytes, with a tail2",
                                           "\xc3\xa9", "e\xcc\x81"};
    for (const std::size_t length : {0, 3, 31, 40, 2000}) {
        std::vector<std::string_view> texts;
        std::set<std::string_view> distinct;
        for (std::size_t i = 0; i < length; ++i) {
            texts.push_back(pool[random() % pool.size()]);
            distinct.insert(texts.back());
        }
        EXPECT_EQ(distinct_count(std::span<std::string_view>(texts)), distinct.size()) << length;
    }
}

}  // namespace
}  // namespace quorvel::engine
