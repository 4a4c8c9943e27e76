#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/aggregations.hpp"
#include "engine/grouping.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

constexpr std::nullopt_t null = std::nullopt;
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

template <class T>
NumberCells<T> numbers(const std::vector<std::optional<T>>& cells) {
    NumberCells<T> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.values.push_back(cells[r].value_or(T{}));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

StrCells texts(const std::vector<std::optional<std::string>>& cells) {
    StrCells out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells[r].value_or(""));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) EXPECT_TRUE(add_column(frame, name, std::move(cells)).ok()) << name;
    return frame;
}

Grouping grouped(const Frame& frame, const std::vector<std::string>& keys) { return group(frame, keys).value(); }

// A column's cells as optionals, for comparing whole columns with their nulls.
template <class T>
std::vector<std::optional<T>> cells_of(const NumberCells<T>& cells) {
    std::vector<std::optional<T>> out;
    for (std::size_t r = 0; r < cells.size(); ++r) out.push_back(cells.is_present(r) ? std::optional(cells.values[r]) : null);
    return out;
}

std::vector<std::optional<std::string>> cells_of(const StrCells& cells) {
    std::vector<std::optional<std::string>> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells.is_present(r) ? std::optional<std::string>(cells.at(r)) : null);
    }
    return out;
}

// f64 results compared by bits, so that NaN, infinities and the sign of zero count.
std::vector<std::optional<std::uint64_t>> bits_of(const F64Cells& cells) {
    std::vector<std::optional<std::uint64_t>> out;
    for (const auto& cell : cells_of(cells)) out.push_back(cell ? std::optional(std::bit_cast<std::uint64_t>(*cell)) : null);
    return out;
}

const ColumnValues& last_column(const Frame& frame) { return *frame.columns.back().values; }

// One group ("g" is the same in every row) over the given values of "x".
Grouping one_group(Cells values) {
    const std::size_t rows = std::visit([](const auto& cells) { return cells.size(); }, values);
    return grouped(frame_of({{"g", numbers<std::int64_t>(std::vector<std::optional<std::int64_t>>(rows, 1))},
                             {"x", std::move(values)}}),
                   {"g"});
}

TEST(Sum, F64IsNeumaierCompensated) {
    const struct {
        std::vector<std::optional<double>> values;
        double sum;
    } cases[] = {
        {{1e100, 1.0, -1e100}, 1.0},
        {{1.0, 1e100, 1.0, -1e100}, 2.0},
        {{0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1}, 1.0},
        {{0.1, 0.2, 0.3}, 0.6},
        {{inf, 1.0}, inf},
        {{1e308, 1e308}, inf},  // the correction is -inf and must not make it NaN
        {{-1e308, -1e308, 1.0}, -inf},
        {{inf, -inf}, nan},
        {{nan, 1.0}, nan},
        {{null, 2.5, null}, 2.5},
        {{null, null}, 0.0},
    };
    for (const auto& c : cases) {
        const Result<Frame> sum = aggregate(one_group(numbers(c.values)), "x", Aggregation::sum);
        ASSERT_TRUE(sum.ok());
        const double got = last_column(*sum).f64().values.at(0);
        EXPECT_TRUE(std::isnan(c.sum) ? std::isnan(got) : got == c.sum) << c.sum << " got " << got;
        EXPECT_TRUE(last_column(*sum).f64().is_present(0));
    }
}

TEST(Sum, I64FailsAtTheFirstOverflow) {
    const struct {
        std::vector<std::optional<std::int64_t>> values;
        std::optional<std::int64_t> sum;  // none: the overflow error
    } cases[] = {
        {{i64_max, 1, -1}, null},  // fails although the total fits
        {{i64_min, -1, 1}, null},
        {{i64_max, -1, 1}, i64_max},
        {{i64_min, i64_max}, -1},
        {{null, 3, null, 4}, 7},
        {{null}, 0},
    };
    for (const auto& c : cases) {
        for (const Aggregation aggregation : {Aggregation::sum, Aggregation::mean}) {
            const Result<Frame> result = aggregate(one_group(numbers(c.values)), "x", aggregation);
            if (!c.sum) {
                EXPECT_EQ(result.error().message, "the sum of column \"x\" overflows i64");
            } else if (aggregation == Aggregation::sum) {
                EXPECT_EQ(last_column(*result).i64().values.at(0), *c.sum);
            }
        }
    }
}

TEST(Aggregate, NullsAreSkippedAndEmptyGroupsGiveZeroOrNull) {
    const Frame frame = frame_of({{"k", texts({"a", "b", "a", "b", "c"})},
                                  {"i", numbers<std::int64_t>({1, null, 2, null, 5})},
                                  {"f", numbers<double>({null, null, 0.5, null, -1.0})},
                                  {"s", texts({"q", null, null, null, "p"})}});
    const Grouping grouping = grouped(frame, {"k"});
    using I = std::vector<std::optional<std::int64_t>>;
    using F = std::vector<std::optional<double>>;
    using S = std::vector<std::optional<std::string>>;
    const auto run = [&](const char* name, Aggregation aggregation) {
        Result<Frame> result = aggregate(grouping, name, aggregation);
        EXPECT_TRUE(result.ok()) << name;
        return std::move(result).value();
    };
    EXPECT_EQ(cells_of(last_column(run("i", Aggregation::sum)).i64()), (I{3, 0, 5}));
    EXPECT_EQ(cells_of(last_column(run("f", Aggregation::sum)).f64()), (F{0.5, 0.0, -1.0}));
    EXPECT_EQ(cells_of(last_column(run("i", Aggregation::mean)).f64()), (F{1.5, null, 5.0}));
    EXPECT_EQ(cells_of(last_column(run("f", Aggregation::mean)).f64()), (F{0.5, null, -1.0}));
    EXPECT_EQ(cells_of(last_column(run("i", Aggregation::min)).i64()), (I{1, null, 5}));
    EXPECT_EQ(cells_of(last_column(run("f", Aggregation::max)).f64()), (F{0.5, null, -1.0}));
    EXPECT_EQ(cells_of(last_column(run("s", Aggregation::min)).str()), (S{"q", null, "p"}));
    EXPECT_EQ(cells_of(count_rows(grouping).columns.back().values->i64()), (I{2, 2, 1}));
}

TEST(Aggregate, MeanDividesTheExactSumByThePresentValues) {
    const struct {
        Cells values;
        double mean;
    } cases[] = {
        {numbers<std::int64_t>({1, 2}), 1.5},
        {numbers<std::int64_t>({i64_max, -i64_max, 7, null}), 7.0 / 3.0},
        {numbers<double>({1e100, 1.0, -1e100}), 1.0 / 3.0},
        {numbers<double>({null, 4.0, null, 5.0}), 4.5},
    };
    for (const auto& c : cases) {
        const Result<Frame> mean = aggregate(one_group(c.values), "x", Aggregation::mean);
        ASSERT_TRUE(mean.ok());
        EXPECT_EQ(last_column(*mean).dtype(), DType::f64);
        EXPECT_EQ(last_column(*mean).f64().values.at(0), c.mean);
    }
}

TEST(Aggregate, MinAndMaxKeepTheFirstOfEqualsAndNeverPickALaterNaN) {
    const struct {
        std::vector<std::optional<double>> values;
        double min, max;
    } cases[] = {
        {{nan, 1.0}, nan, nan},
        {{1.0, nan}, 1.0, 1.0},
        {{2.0, nan, 1.0, 3.0}, 1.0, 3.0},
        {{0.0, -0.0}, 0.0, 0.0},
        {{-0.0, 0.0}, -0.0, -0.0},
        {{null, -inf, inf}, -inf, inf},
    };
    for (const auto& c : cases) {
        const Grouping grouping = one_group(numbers(c.values));
        const Result<Frame> min = aggregate(grouping, "x", Aggregation::min);
        const Result<Frame> max = aggregate(grouping, "x", Aggregation::max);
        ASSERT_TRUE(min.ok() && max.ok());
        const auto bits = [](double value) { return std::optional(std::bit_cast<std::uint64_t>(value)); };
        EXPECT_EQ(bits_of(last_column(*min).f64()).at(0), bits(c.min)) << c.min;
        EXPECT_EQ(bits_of(last_column(*max).f64()).at(0), bits(c.max)) << c.max;
    }
}

TEST(Aggregate, TextsCompareByUnsignedBytesWithPrefixesFirst) {
    const struct {
        std::vector<std::optional<std::string>> values;
        std::string min, max;
    } cases[] = {
        {{"ab", "b", "abc"}, "ab", "b"},
        {{"abc", "ab"}, "ab", "abc"},
        {{"z", "\xc3\xa9", "A"}, "A", "\xc3\xa9"},  // é is above every ASCII letter
        {{"", "a", null}, "", "a"},
    };
    for (const auto& c : cases) {
        const Grouping grouping = one_group(texts(c.values));
        EXPECT_EQ(last_column(*aggregate(grouping, "x", Aggregation::min)).str().at(0), c.min);
        EXPECT_EQ(last_column(*aggregate(grouping, "x", Aggregation::max)).str().at(0), c.max);
    }
}

TEST(Aggregate, ErrorsComeInTheirOrderOfPrecedence) {
    const Frame frame = frame_of({{"k", numbers<std::int64_t>({i64_max, i64_max, 1})},
                                  {"s", texts({"a", "b", "a"})},
                                  {"n", numbers<std::int64_t>({1, 2, 3})}});
    const Grouping by_k_s = grouped(frame, {"k", "s"});
    const Grouping by_s = grouped(frame, {"s"});
    const Grouping by_s_n = grouped(frame, {"s", "n"});
    const Grouping by_k = grouped(frame, {"k"});
    const struct {
        const Grouping& grouping;
        const char* name;
        Aggregation aggregation;
        std::string error;
    } cases[] = {
        {by_s, "x", Aggregation::min, "no column \"x\" (the frame has \"k\", \"s\", \"n\")"},
        {by_s, "s", Aggregation::sum, "column \"s\" is str: it has no sum or mean"},
        {by_s, "s", Aggregation::mean, "column \"s\" is str: it has no sum or mean"},
        {by_s, "k", Aggregation::sum, "the sum of column \"k\" overflows i64"},
        {by_s, "k", Aggregation::mean, "the sum of column \"k\" overflows i64"},
        {by_k_s, "k", Aggregation::min, "column \"k\" is a key of this grouping"},
        {by_k_s, "s", Aggregation::max, "column \"s\" is a key of this grouping"},
        {by_s_n, "n", Aggregation::sum, "column \"n\" is a key of this grouping"},
        // a key whose own sum overflows reports the overflow first
        {by_k, "k", Aggregation::sum, "the sum of column \"k\" overflows i64"},
    };
    for (const auto& c : cases) EXPECT_EQ(aggregate(c.grouping, c.name, c.aggregation).error().message, c.error);
}

TEST(Aggregate, ResultIsTheKeyFrameAndTheValueColumn) {
    const Frame source = frame_of({{"k", texts({"x", "y", "x", "z"})},
                                   {"j", numbers<std::int64_t>({1, 1, 1, 2})},
                                   {"v", numbers<double>({nan, 5.0, 2.0, 4.0})}});
    // Reversed through a row selection, so that values are read through physical rows and
    // each group's rows come in the new order: x's NaN now comes last and never wins.
    const Grouping grouping = grouped(take_rows(source, {3, 2, 1, 0}), {"j", "k"});
    const Result<Frame> min = aggregate(grouping, "v", Aggregation::min);
    ASSERT_TRUE(min.ok());
    EXPECT_FALSE(min->selection);
    EXPECT_EQ(min->height, 3u);
    EXPECT_EQ(column_names(*min), (std::vector<std::string>{"j", "k", "v"}));
    EXPECT_EQ(column_dtypes(*min), (std::vector<std::string>{"i64", "str", "f64"}));
    EXPECT_EQ(cells_of(min->columns[1].values->str()), (std::vector<std::optional<std::string>>{"z", "x", "y"}));
    EXPECT_EQ(cells_of(min->columns[2].values->f64()), (std::vector<std::optional<double>>{4.0, 2.0, 5.0}));
}

TEST(Aggregate, ZeroGroupsGiveEmptyColumnsOfTheResultDtype) {
    const Grouping grouping = grouped(
        frame_of({{"k", texts({})}, {"i", numbers<std::int64_t>({})}, {"s", texts({})}}), {"k"});
    const struct {
        const char* name;
        Aggregation aggregation;
        DType dtype;
    } cases[] = {
        {"i", Aggregation::sum, DType::i64},
        {"i", Aggregation::mean, DType::f64},
        {"i", Aggregation::min, DType::i64},
        {"s", Aggregation::max, DType::str},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = aggregate(grouping, c.name, c.aggregation);
        ASSERT_TRUE(result.ok()) << c.name;
        EXPECT_EQ(result->height, 0u);
        EXPECT_EQ(column_names(*result), (std::vector<std::string>{"k", c.name}));
        EXPECT_EQ(last_column(*result).dtype(), c.dtype);
    }
    EXPECT_EQ(aggregate(grouping, "s", Aggregation::sum).error().message, "column \"s\" is str: it has no sum or mean");
    EXPECT_EQ(column_names(count_rows(grouping)), (std::vector<std::string>{"k", "count"}));
}

TEST(Count, NamesItsColumnCountThenLenThenNothing) {
    const Frame frame = frame_of({{"count", texts({"a", "b", "a"})}, {"len", numbers<std::int64_t>({1, 1, 1})}});
    const struct {
        std::vector<std::string> keys;
        std::vector<std::string> names;
        std::vector<std::int64_t> counts;
    } cases[] = {
        {{}, {"count"}, {3}},
        {{"len"}, {"len", "count"}, {3}},
        {{"count"}, {"count", "len"}, {2, 1}},
        {{"len", "count"}, {"len", "count"}, {}},
    };
    for (const auto& c : cases) {
        const Frame counted = count_rows(grouped(frame, c.keys));
        EXPECT_EQ(column_names(counted), c.names);
        EXPECT_FALSE(counted.selection);
        if (!c.counts.empty()) {
            EXPECT_EQ(counted.columns.back().values->i64().values, c.counts);
        }
    }
}

}  // namespace
}  // namespace quorvel::engine
