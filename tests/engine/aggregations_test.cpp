#include "engine/aggregations.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/grouping.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using aggregates::index_of;
using aggregates::Max;
using aggregates::Mean;
using aggregates::Min;
using aggregates::Sum;

using namespace testing;
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

// The one value of `aggregation` over x, all rows being one group.
ValuesRef over_one_group(std::vector<std::optional<double>> x, std::size_t aggregation) {
    const std::size_t rows = x.size();
    const Frame frame = frame_of({{"g", int_cells(std::vector<Int>(rows, 1))}, {"x", float_cells(x)}});
    return aggregate(group(frame, {"g"}).value(), "x", aggregation).value().columns.back().values;
}

// Equal bits, so that the sign of zero counts; any NaN for a NaN.
bool same_value(double a, double b) {
    return std::isnan(b) ? std::isnan(a) : std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(Sum, F64IsNeumaierCompensated) {
    const struct {
        std::vector<std::optional<double>> x;
        double sum;
    } cases[] = {
        {{1e100, 1.0, -1e100}, 1.0},
        {{1.0, 1e100, 1.0, -1e100}, 2.0},
        {{0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1}, 1.0},
        {{1e308, 1e308}, inf},  // the correction is -inf and must not make it NaN
        {{inf, -inf}, nan},
        {{null, null}, 0.0},
    };
    for (const auto& c : cases) EXPECT_TRUE(same_value(over_one_group(c.x, index_of<Sum>)->f64().values.at(0), c.sum)) << c.sum;
}

// A running sum of finite values may leave the range of floats and come back: the exact sum
// and mean are then rounded once, and are infinite only when they lie beyond the largest float.
// With an infinity or a NaN among the values the sum stays what IEEE addition in row order
// gives (+inf then -inf is NaN).
TEST(Sum, F64ThatOverflowsOnTheWayIsTheExactSumRounded) {
    const double largest = std::numeric_limits<double>::max();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const struct {
        std::vector<std::optional<double>> x;
        double sum, mean;
    } cases[] = {
        {{1e308, 1e308, -1e308}, 1e308, 1e308 / 3},
        {{-1e308, null, -1e308, 1e308}, -1e308, -1e308 / 3},
        {{1e308, 1e308}, inf, 1e308},
        {{largest, largest, largest}, inf, largest},
        {{1e308, 1e308, -1e308, -1e308, tiny}, tiny, 0.0},
        {{1e308, 1e308, -1e308, -1e308, 3 * tiny, tiny}, 4 * tiny, tiny},
        {{largest, largest, -largest, 1.0}, largest, largest / 4},
        {{1e308, 1e308, inf}, inf, inf},
        {{1e308, 1e308, -inf}, nan, nan},
        {{1e308, 1e308, nan}, nan, nan},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(same_value(over_one_group(c.x, index_of<Sum>)->f64().values.at(0), c.sum)) << c.sum;
        EXPECT_TRUE(same_value(over_one_group(c.x, index_of<Mean>)->f64().values.at(0), c.mean)) << c.mean;
    }
}

TEST(MinMax, KeepTheFirstOfEqualsAndNeverALaterNaN) {
    const struct {
        std::vector<std::optional<double>> x;
        double min, max;
    } cases[] = {
        {{nan, 1.0}, nan, nan},
        {{1.0, nan, 0.5}, 0.5, 1.0},
        {{0.0, -0.0}, 0.0, 0.0},
        {{-0.0, 0.0}, -0.0, -0.0},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(same_value(over_one_group(c.x, index_of<Min>)->f64().values.at(0), c.min)) << c.min;
        EXPECT_TRUE(same_value(over_one_group(c.x, index_of<Max>)->f64().values.at(0), c.max)) << c.max;
    }
}

TEST(Aggregate, SkipsNullsAndGivesZeroOrNullForGroupsWithoutValues) {
    const Frame frame = frame_of({{"k", text_cells({"a", "b", "a", "b", "c"})},
                                  {"i", int_cells({1, null, 2, null, 5})},
                                  {"f", float_cells({null, null, 0.5, null, -1.0})},
                                  {"s", text_cells({"q", null, null, null, "p"})}});
    const Grouping grouping = group(frame, {"k"}).value();
    const auto values = [&](const char* name, std::size_t aggregation) {
        return aggregate(grouping, name, aggregation).value().columns.back().values;
    };
    using I = std::vector<std::optional<std::int64_t>>;
    using F = std::vector<std::optional<double>>;
    EXPECT_EQ(cells_of(values("i", index_of<Sum>)->i64()), (I{3, 0, 5}));
    EXPECT_EQ(cells_of(values("f", index_of<Sum>)->f64()), (F{0.5, 0.0, -1.0}));
    EXPECT_EQ(cells_of(values("i", index_of<Mean>)->f64()), (F{1.5, null, 5.0}));
    EXPECT_EQ(cells_of(values("f", index_of<Mean>)->f64()), (F{0.5, null, -1.0}));
    EXPECT_EQ(cells_of(values("i", index_of<Min>)->i64()), (I{1, null, 5}));
    EXPECT_EQ(cells_of(values("f", index_of<Max>)->f64()), (F{0.5, null, -1.0}));
    EXPECT_EQ(cells_of(values("s", index_of<Max>)->str()), (std::vector<std::optional<std::string>>{"q", null, "p"}));
    EXPECT_EQ(cells_of(count_rows(grouping).columns.back().values->i64()), (I{2, 2, 1}));
}

}  // namespace
}  // namespace quorvel::engine
