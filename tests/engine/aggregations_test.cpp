#include "engine/aggregations.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/grouping.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using aggregates::First;
using aggregates::index_of;
using aggregates::Last;
using aggregates::Max;
using aggregates::Mean;
using aggregates::Median;
using aggregates::Min;
using aggregates::NUnique;
using aggregates::Std;
using aggregates::Sum;
using aggregates::Var;

using namespace testing;
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();

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

TEST(Aggregate, TheNewAggregationsSkipNullsAndGiveTheirDtypes) {
    const Frame frame = frame_of({{"k", text_cells({"a", "b", "a", "b", "c", "a"})},
                                  {"i", int_cells({4, null, 1, null, 5, 2})},
                                  {"f", float_cells({null, 2.5, 0.5, 1.5, null, 0.5})},
                                  {"s", text_cells({"q", null, "p", "r", null, "q"})}});
    const Grouping grouping = group(frame, {"k"}).value();
    const auto values = [&](const char* name, std::size_t aggregation) {
        return aggregate(grouping, name, aggregation).value().columns.back().values;
    };
    using I = std::vector<std::optional<std::int64_t>>;
    using F = std::vector<std::optional<double>>;
    using S = std::vector<std::optional<std::string>>;
    EXPECT_EQ(cells_of(values("i", index_of<Median>)->f64()), (F{2.0, null, 5.0}));
    EXPECT_EQ(cells_of(values("f", index_of<Median>)->f64()), (F{0.5, 2.0, null}));
    EXPECT_EQ(cells_of(values("i", index_of<Var>)->f64()), (F{7.0 / 3, null, null}));
    EXPECT_EQ(cells_of(values("f", index_of<Var>)->f64()), (F{0.0, 0.5, null}));
    EXPECT_EQ(cells_of(values("f", index_of<Std>)->f64()), (F{0.0, std::sqrt(0.5), null}));
    EXPECT_EQ(cells_of(values("i", index_of<First>)->i64()), (I{4, null, 5}));
    EXPECT_EQ(cells_of(values("f", index_of<Last>)->f64()), (F{0.5, 1.5, null}));
    EXPECT_EQ(cells_of(values("s", index_of<First>)->str()), (S{"q", "r", null}));
    EXPECT_EQ(cells_of(values("s", index_of<Last>)->str()), (S{"q", "r", null}));
    EXPECT_EQ(cells_of(values("s", index_of<NUnique>)->i64()), (I{2, 1, 0}));
    EXPECT_EQ(cells_of(values("f", index_of<NUnique>)->i64()), (I{1, 2, 0}));
    EXPECT_EQ(cells_of(values("i", index_of<NUnique>)->i64()), (I{3, 0, 1}));
}

// A NaN makes the arithmetic ones NaN, is a value like any other for first and last, and is
// told apart by its bits when counting distinct values, as grouping tells keys apart; 0.0
// and -0.0 are one value, and a median whose exact value is zero is 0.0.
TEST(Aggregate, NaNAndSignedZeroFollowTheRulesOfSumsAndOfGrouping) {
    const double other_nan = std::bit_cast<double>(std::bit_cast<std::uint64_t>(nan) | 1);
    const struct {
        std::vector<std::optional<double>> x;
        std::size_t aggregation;
        double expected;
    } cases[] = {
        {{1.0, nan, 2.0}, index_of<Median>, nan},
        {{1.0, nan}, index_of<Var>, nan},
        {{inf, 1.0}, index_of<Std>, nan},
        {{nan, 1.0}, index_of<First>, nan},
        {{1.0, null, nan}, index_of<Last>, nan},
        {{-0.0, 0.0}, index_of<First>, -0.0},
        {{-0.0, -0.0, -0.0}, index_of<Median>, 0.0},
        {{-0.0, 0.0}, index_of<Median>, 0.0},
        {{-1.0, 1.0}, index_of<Median>, 0.0},
        // The exact mean, -2.5e-324, rounds to -0.0 and so keeps its sign.
        {{0.0, -5e-324}, index_of<Median>, -0.0},
        {{5e-324, 0.0}, index_of<Median>, 0.0},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(same_value(over_one_group(c.x, c.aggregation)->f64().values.at(0), c.expected)) << c.aggregation;
    }
    const ValuesRef distinct = over_one_group({nan, other_nan, nan, 0.0, -0.0, null, 1.0}, index_of<NUnique>);
    EXPECT_EQ(distinct->i64().values.at(0), 4);
}

TEST(Aggregate, NumbersOnlyAggregationsRefuseTexts) {
    const Grouping grouping = group(frame_of({{"k", int_cells({1})}, {"s", text_cells({"a"})}}), {"k"}).value();
    const struct {
        std::size_t aggregation;
        const char* message;
    } cases[] = {
        {index_of<Median>, "column \"s\" is str: it has no median"},
        {index_of<Var>, "column \"s\" is str: it has no var or std"},
        {index_of<Std>, "column \"s\" is str: it has no var or std"},
    };
    for (const auto& c : cases) EXPECT_EQ(aggregate(grouping, "s", c.aggregation).error().message, c.message);
}

// Cells with the same bits, nulls included.
bool same_cells(const ColumnValues& a, const ColumnValues& b) {
    if (a.dtype() != b.dtype() || a.length() != b.length()) return false;
    for (std::size_t r = 0; r < a.length(); ++r) {
        const bool equal = std::visit(
            [&](const auto& x) {
                using Cells = std::decay_t<decltype(x)>;
                const Cells& y = std::get<Cells>(b.cells());
                if (x.is_present(r) != y.is_present(r)) return false;
                if (!x.is_present(r)) return true;
                if constexpr (std::is_same_v<Cells, StrCells>) {
                    return x.at(r) == y.at(r);
                } else {
                    return std::memcmp(&x.values[r], &y.values[r], sizeof x.values[r]) == 0;
                }
            },
            a.cells());
        if (!equal) return false;
    }
    return true;
}

// Every aggregation of every column it takes, in one call: the columns are those of the
// single calls, over more rows than one stretch of the walk, with nulls, through a shuffled
// selection and without.
TEST(AggregateSpecs, GivesWhatEachAggregationGivesAlone) {
    std::mt19937_64 random(21);
    std::vector<Int> keys, ints;
    std::vector<Float> floats;
    std::vector<Text> texts;
    for (int r = 0; r < 5000; ++r) {
        keys.push_back(static_cast<std::int64_t>(random() % 37));
        ints.push_back(random() % 9 == 0 ? Int{} : Int{static_cast<std::int64_t>(random() % 1000) - 500});
        floats.push_back(random() % 7 == 0 ? Float{} : Float{static_cast<double>(random() % 10000) / 7});
        texts.push_back(random() % 5 == 0 ? Text{} : Text{std::string(1 + random() % 3, "xyz"[random() % 3])});
    }
    const Frame frame = frame_of({{"k", int_cells(keys)}, {"i", int_cells(ints)}, {"f", float_cells(floats)}, {"s", text_cells(texts)}});
    RowList shuffled(frame.height);
    for (std::size_t r = 0; r < shuffled.size(); ++r) shuffled[r] = static_cast<std::uint32_t>(r * 3001 % frame.height);
    for (const Frame& source : {frame, take_rows(frame, shuffled)}) {
        const Grouping grouping = group(source, {"k"}).value();
        std::vector<AggregationSpec> specs = {{"n", "count", std::nullopt}};
        std::vector<ValuesRef> alone = {count_rows(grouping).columns.back().values};
        for (const std::string column : {"i", "f", "s"}) {
            for (std::size_t which = 0; which < aggregates::count; ++which) {
                Result<Frame> single = aggregate(grouping, column, which);
                if (!single) continue;  // a str column under a numbers-only aggregation
                specs.push_back({column + std::string(aggregates::names[which]), std::string(aggregates::names[which]), column});
                alone.push_back(single->columns.back().values);
            }
        }
        ASSERT_EQ(specs.size(), 1 + 10 + 10 + 5);
        const Result<Frame> together = aggregate_specs(grouping, specs);
        ASSERT_TRUE(together.ok()) << together.error().message;
        ASSERT_EQ(together->columns.size(), 1 + specs.size());
        EXPECT_TRUE(same_cells(*together->columns[0].values, *key_frame(grouping).columns[0].values));
        for (std::size_t i = 0; i < specs.size(); ++i) {
            EXPECT_EQ(together->columns[1 + i].name, specs[i].name);
            EXPECT_TRUE(same_cells(*together->columns[1 + i].values, *alone[i])) << specs[i].name;
        }
    }
}

TEST(AggregateSpecs, TheFirstFailingSpecIsNamedByItsPosition) {
    const Frame frame = frame_of({{"k", int_cells({1, 1, 2})}, {"n", int_cells({i64_max, 1, 0})}, {"s", text_cells({"a", "b", "c"})}});
    const Grouping grouping = group(frame, {"k"}).value();
    const AggregationSpec ok = {"fine", "max", "n"};
    const struct {
        std::vector<AggregationSpec> specs;
        const char* message;
    } cases[] = {
        {{ok, {"x", "medain", "n"}},
         "spec 1: operation \"medain\": give \"count\", \"sum\", \"mean\", \"min\", \"max\", \"median\", \"var\", "
         "\"std\", \"first\", \"last\" or \"n_unique\""},
        {{{"x", "count", "n"}}, "spec 0: count takes no column: give (name, \"count\")"},
        {{ok, {"y", "min", "n"}, {"x", "sum", std::nullopt}}, "spec 2: sum takes a column: give (name, \"sum\", column)"},
        {{{"x", "min", "m"}}, "spec 0: no column \"m\" (the frame has \"k\", \"n\", \"s\")"},
        {{ok, {"x", "std", "s"}}, "spec 1: column \"s\" is str: it has no var or std"},
        {{ok, {"k", "count", std::nullopt}}, "spec 1: column \"k\" is a key of this grouping"},
        {{ok, {"y", "min", "n"}, {"fine", "sum", "n"}}, "spec 2: the result has a column \"fine\" already"},
        // An overflow is found by the walk, after every spec has been checked.
        {{{"x", "sum", "n"}, {"y", "sum", "s"}}, "spec 1: column \"s\" is str: it has no sum or mean"},
        {{ok, {"x", "mean", "n"}, {"y", "sum", "n"}}, "spec 1: the sum of column \"n\" overflows i64"},
    };
    for (const auto& c : cases) {
        const Result<Frame> made = aggregate_specs(grouping, c.specs);
        ASSERT_FALSE(made.ok()) << c.message;
        EXPECT_EQ(made.error().message, c.message);
    }
}

TEST(AggregateSpecs, NoSpecsOrNoGroupsGiveTheKeysAlone) {
    const Frame frame = frame_of({{"k", text_cells({"a", "b", "a"})}, {"x", float_cells({1.0, 2.0, 3.0})}});
    const Result<Frame> keys_only = aggregate_specs(group(frame, {"k"}).value(), {});
    ASSERT_TRUE(keys_only.ok());
    EXPECT_EQ(column_names(*keys_only), (std::vector<std::string>{"k"}));
    EXPECT_EQ(texts_of(*keys_only, "k"), (std::vector<Text>{"a", "b"}));
    const Result<Frame> empty = aggregate_specs(group(head(frame, 0), {"k"}).value(), {{"m", "median", "x"}, {"c", "count", std::nullopt}});
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(column_dtypes(*empty), (std::vector<std::string>{"str", "f64", "i64"}));
    EXPECT_EQ(empty->height, 0u);
}

}  // namespace
}  // namespace quorvel::engine
