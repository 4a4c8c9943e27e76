#include "engine/median.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace quorvel::engine {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double tiny = std::numeric_limits<double>::denorm_min();
constexpr double largest = std::numeric_limits<double>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t two_53 = std::int64_t{1} << 53;

// Equal bits, so that the sign of zero counts; any NaN for a NaN.
bool same(std::optional<double> got, std::optional<double> expected) {
    if (!got || !expected) return !got && !expected;
    if (std::isnan(*expected)) return std::isnan(*got);
    return std::bit_cast<std::uint64_t>(*got) == std::bit_cast<std::uint64_t>(*expected);
}

// The mean of the two middle values is rounded once, where adding them first would overflow
// or round twice.
TEST(Median, OfFloatsIsTheMiddleOrTheMeanOfTheTwoRoundedOnce) {
    const struct {
        std::vector<double> values;
        std::optional<double> median;
    } cases[] = {
        {{}, std::nullopt},
        {{3.0, 1.0, 2.0}, 2.0},
        {{4.0, 1.0, 3.0, 2.0}, 2.5},
        {{-0.0}, 0.0},  // the sign of a zero is left to no selection
        {{-0.0, -0.0, 0.0}, 0.0},
        {{1.7e308, 1e308}, 1.35e308},                // the sum overflows; the halves do not
        {{largest, largest}, largest},
        {{-largest, largest, 0.0, 1.0}, 0.5},
        {{tiny, 2 * tiny}, 2 * tiny},                // 1.5 units of the last place: ties to even
        {{tiny, 4 * tiny}, 2 * tiny},                // 2.5 units: ties to even
        {{inf, -inf}, nan},
        {{inf, inf, 1.0}, inf},
        {{1.0, nan, 2.0}, nan},
        {{nan}, nan},
    };
    for (auto c : cases) EXPECT_TRUE(same(median_of(std::span<double>(c.values)), c.median)) << c.values.size();
}

TEST(Median, OfIntegersIsRoundedOnceFromTheExactMean) {
    const struct {
        std::vector<std::int64_t> values;
        std::optional<double> median;
    } cases[] = {
        {{}, std::nullopt},
        {{5}, 5.0},
        {{1, 2}, 1.5},
        // 2^53 + 1.5: each value as a float first would give 2^53.
        {{two_53 + 1, two_53 + 2}, 9007199254740994.0},
        {{two_53 + 1}, 9007199254740992.0},
        {{i64_max, i64_max}, 9223372036854775808.0},
        {{i64_min, i64_max}, -0.5},
        {{i64_min, i64_min, 7}, -9223372036854775808.0},
        {{-3, -1, -2, -4}, -2.5},
    };
    for (auto c : cases) EXPECT_TRUE(same(median_of(std::span<std::int64_t>(c.values)), c.median)) << c.values.size();
}

// The selection against a full sort, on the shapes that trouble a partition: few distinct
// values, all equal, already ordered either way, organ pipes; and sizes about the point where
// it hands over to the standard selection.
TEST(Median, AgreesWithSortingOnEveryShapeOfInput) {
    std::mt19937_64 random(7);
    const auto shapes = {"random", "few", "equal", "ascending", "descending", "organ"};
    for (const std::string shape : shapes) {
        for (const std::size_t size : {1, 2, 31, 32, 33, 34, 100, 257, 1000, 4099, 20000}) {
            std::vector<std::int64_t> integers(size);
            for (std::size_t i = 0; i < size; ++i) {
                const auto at = static_cast<std::int64_t>(i);
                const auto n = static_cast<std::int64_t>(size);
                integers[i] = shape == "random"       ? static_cast<std::int64_t>(random() % 1000000)
                              : shape == "few"        ? static_cast<std::int64_t>(random() % 3)
                              : shape == "equal"      ? 5
                              : shape == "ascending"  ? at
                              : shape == "descending" ? n - at
                                                      : std::min(at, n - at);
            }
            std::vector<double> floats(integers.begin(), integers.end());
            for (double& x : floats) x /= 8;
            std::vector<std::int64_t> sorted = integers;
            std::sort(sorted.begin(), sorted.end());
            const double expected = (static_cast<double>(sorted[(size - 1) / 2]) + static_cast<double>(sorted[size / 2])) / 2;
            EXPECT_TRUE(same(median_of(std::span<std::int64_t>(integers)), expected)) << shape << " " << size;
            EXPECT_TRUE(same(median_of(std::span<double>(floats)), expected / 8)) << shape << " " << size;
            std::sort(integers.begin(), integers.end());
            EXPECT_EQ(integers, sorted) << "the values are reordered, none lost: " << shape << " " << size;
        }
    }
}

}  // namespace
}  // namespace quorvel::engine
