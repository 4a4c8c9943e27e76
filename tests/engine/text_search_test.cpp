#include "engine/text_search.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace quorvel::engine {
namespace {

TEST(TextFinder, FindsWhereTheNeedleBegins) {
    const struct {
        std::string_view haystack, needle;
        std::size_t from, found;
    } cases[] = {
        {"abc", "abc", 0, 0},
        {"abc", "abcd", 0, TextFinder::npos},
        {"xxabxab", "ab", 0, 2},
        {"xxabxab", "ab", 3, 5},
        {"xxabxab", "ab", 6, TextFinder::npos},
        {"xxabxab", "b", 7, TextFinder::npos},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "aab", 0, 27},  // first and last bytes match everywhere
        {"0123456789abcdef0123456789abcdefX", "fX", 0, 31},  // at the very end, past a whole block
        {std::string_view("a\0b\0c", 5), std::string_view("\0c", 2), 0, 3},
        {"\xc3\xa9t\xc3\xa9", "\xa9t", 0, 1},  // bytes, not characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextFinder(c.needle).find(c.haystack, c.from), c.found) << c.haystack << " " << c.needle;
    }
}

// Against the standard library's search, over a small alphabet so that candidates abound,
// needles of every length up to beyond a block and starts on every side of a block.
TEST(TextFinder, AgreesWithStringViewFind) {
    std::mt19937_64 random(5);
    for (int round = 0; round < 3000; ++round) {
        std::string haystack(random() % 80, ' '), needle(1 + random() % 20, ' ');
        for (char& c : haystack) c = "abc"[random() % 3];
        for (char& c : needle) c = "abc"[random() % (needle.size() < 4 ? 3 : 2)];
        const std::size_t from = random() % (haystack.size() + 1);
        EXPECT_EQ(TextFinder(needle).find(haystack, from), std::string_view(haystack).find(needle, from))
            << haystack << " " << needle << " " << from;
    }
}

}  // namespace
}  // namespace quorvel::engine
