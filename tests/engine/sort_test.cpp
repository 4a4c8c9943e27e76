#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/cell_value.hpp"
#include "engine/filters.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Rows = std::vector<std::uint32_t>;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();

Rows sorted(const Frame& frame, bool descending, std::string_view name = "k") {
    const Result<Frame> result = sort(frame, name, descending);
    EXPECT_TRUE(result.ok());
    return result.ok() ? rows_of(*result) : Rows{};
}

// The order by its definition: present keys by the plain comparison (reversed when
// descending), NaN keys after them, nulls last; std::stable_sort keeps ties in source order.
template <class Cell>
Rows reference_order(const Frame& frame, const std::vector<std::optional<Cell>>& keys, bool descending) {
    std::vector<std::size_t> logical(frame.height);
    std::iota(logical.begin(), logical.end(), std::size_t{0});
    const auto rank = [&](std::size_t r) {
        if (!keys[r]) return 2;
        if constexpr (std::is_same_v<Cell, double>) {
            if (std::isnan(*keys[r])) return 1;
        }
        return 0;
    };
    std::stable_sort(logical.begin(), logical.end(), [&](std::size_t a, std::size_t b) {
        if (rank(a) != rank(b)) return rank(a) < rank(b);
        if (rank(a) != 0) return false;
        return descending ? *keys[b] < *keys[a] : *keys[a] < *keys[b];
    });
    Rows rows;
    for (const std::size_t r : logical) rows.push_back(static_cast<std::uint32_t>(frame.physical_row(r)));
    return rows;
}

TEST(Sort, OrdersPresentKeysThenNanThenNulls) {
    const struct {
        Frame frame;
        Rows ascending;
        Rows descending;
    } cases[] = {
        {frame_of("k", int_cells({3, 1, 2})), {1, 2, 0}, {0, 2, 1}},
        // Ties keep their source order in both directions.
        {frame_of("k", int_cells({1, 0, 1})), {1, 0, 2}, {0, 2, 1}},
        {frame_of("k", int_cells({2, std::nullopt, 1, std::nullopt})), {2, 0, 1, 3}, {0, 2, 1, 3}},
        {frame_of("k", int_cells({i64_max, -1, i64_min, 0, 1})), {2, 1, 3, 4, 0}, {0, 4, 3, 1, 2}},
        {frame_of("k", text_cells({"b", "B", "a", "ab"})), {1, 2, 3, 0}, {0, 3, 2, 1}},
        {frame_of("k", text_cells({"\xc3\xa9", "z"})), {1, 0}, {0, 1}},
        {frame_of("k", text_cells({"ab", std::string("ab\0", 3), "a", "", std::nullopt, "ab"})),
         {3, 2, 0, 5, 1, 4},
         {1, 0, 5, 2, 3, 4}},
        {frame_of("k", float_cells({0.0, -0.0})), {0, 1}, {0, 1}},
        {frame_of("k", float_cells({-0.0, 0.0})), {0, 1}, {0, 1}},
        {frame_of("k", float_cells({1.0, -inf, inf, -2.5, 1e-310})), {1, 3, 4, 0, 2}, {2, 0, 4, 3, 1}},
        // NaN keys go after the present keys and before the nulls, in source order, either way.
        {frame_of("k", float_cells({nan, 1, std::nullopt, -nan, 0})), {4, 1, 0, 3, 2}, {1, 4, 0, 3, 2}},
        {frame_of("k", float_cells({std::nullopt, nan})), {1, 0}, {1, 0}},
        {frame_of("k", int_cells({})), {}, {}},
        {frame_of("k", text_cells({"x"})), {0}, {0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sorted(c.frame, false), c.ascending) << ::testing::PrintToString(c.ascending);
        EXPECT_EQ(sorted(c.frame, true), c.descending) << ::testing::PrintToString(c.descending);
    }
}

// Keys drawn to hit what a radix sort can get wrong: few distinct keys (long runs of ties),
// keys that differ in one byte only, negative and positive, sizes on both sides of the
// switch to insertion sort, nulls and row selections.
class SortAgainstReference : public ::testing::TestWithParam<std::size_t> {
protected:
    std::mt19937_64 random{GetParam() * 7919 + 1};

    template <class Cell>
    void check(const std::vector<std::optional<Cell>>& keys, Cells cells) {
        const Frame plain = frame_of("k", std::move(cells));
        Rows some;
        for (std::uint32_t r = 0; r < keys.size(); ++r) {
            if (random() % 3 != 0) some.push_back(r);
        }
        std::shuffle(some.begin(), some.end(), random);
        const Frame selected = take_rows(plain, RowList(some.begin(), some.end()));
        for (const Frame* frame : {&plain, &selected}) {
            std::vector<std::optional<Cell>> logical_keys;
            for (std::size_t r = 0; r < frame->height; ++r) logical_keys.push_back(keys[frame->physical_row(r)]);
            for (const bool descending : {false, true}) {
                ASSERT_EQ(sorted(*frame, descending), reference_order(*frame, logical_keys, descending))
                    << (frame == &plain ? "plain" : "selected") << (descending ? ", descending" : ", ascending");
            }
        }
    }
};

TEST_P(SortAgainstReference, Integers) {
    const std::size_t size = GetParam();
    for (const std::uint64_t spread : {std::uint64_t{3}, std::uint64_t{1000}, std::uint64_t{0}}) {
        std::vector<Int> keys;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint64_t draw = random();
            if (draw % 19 == 0) {
                keys.push_back(std::nullopt);
            } else if (spread == 0) {
                keys.push_back(static_cast<std::int64_t>(draw));  // the whole range
            } else {
                keys.push_back(static_cast<std::int64_t>(draw % spread) - static_cast<std::int64_t>(spread / 2));
            }
        }
        if (size > 4) {
            keys[0] = i64_min;
            keys[1] = i64_max;
            keys[2] = std::int64_t{1} << 40;  // one byte apart from the next
            keys[3] = (std::int64_t{1} << 40) + (std::int64_t{1} << 32);
        }
        check(keys, int_cells(keys));
    }
}

// Keys already in order, or reversed, which puts the smallest key of every stretch the radix
// sort scans at its end; odd and even lengths, keys far apart and close together.
TEST_P(SortAgainstReference, RunsInOrderAndReversed) {
    for (const std::size_t size : {GetParam(), GetParam() + 1}) {
        for (const std::int64_t step : {std::int64_t{1} << 40, std::int64_t{-1} << 40, std::int64_t{3}, std::int64_t{-3}}) {
            std::vector<Int> keys;
            for (std::size_t i = 0; i < size; ++i) keys.push_back(static_cast<std::int64_t>(i) * step);
            check(keys, int_cells(keys));
        }
    }
}

TEST_P(SortAgainstReference, Floats) {
    const std::size_t size = GetParam();
    const double specials[] = {0.0, -0.0, inf, -inf, nan, 5e-324, -5e-324, 1.5, -1.5, 1e308};
    std::vector<Float> keys;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t draw = random();
        if (draw % 23 == 0) {
            keys.push_back(std::nullopt);
        } else if (draw % 3 == 0) {
            keys.push_back(specials[(draw >> 8) % std::size(specials)]);
        } else {
            keys.push_back(static_cast<double>(static_cast<std::int64_t>(draw >> 8) % 200) / 8 - 12);
        }
    }
    check(keys, float_cells(keys));
}

TEST_P(SortAgainstReference, Texts) {
    const std::size_t size = GetParam();
    const std::string pieces[] = {"a", "b", "B", std::string(1, '\0'), "\xff", "\xc3\xa9", "abcdefgh", "z"};
    const std::string long_prefix(21, 'p');
    std::vector<Text> keys;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t draw = random();
        if (draw % 17 == 0) {
            keys.push_back(std::nullopt);
            continue;
        }
        // Shared prefixes of 0, 7, 8, 16 and 21 bytes make ties at every chunk boundary.
        const std::size_t prefix[] = {0, 7, 8, 16, 21};
        std::string text = long_prefix.substr(0, prefix[(draw >> 5) % 5]);
        const std::size_t pieces_count = (draw >> 10) % 4;
        for (std::size_t p = 0; p < pieces_count; ++p) text += pieces[(draw >> (13 + 3 * p)) % std::size(pieces)];
        keys.push_back(text);
    }
    check(keys, text_cells(keys));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SortAgainstReference, ::testing::Values(0, 1, 2, 5, 31, 32, 33, 120, 2000));

TEST(Sort, LeavesTheSourceAndSortsOnlyADerivedFramesRows) {
    Frame source = frame_of("k", int_cells({4, 2, 5, 1, 3}));
    ASSERT_TRUE(add_column(source, "t", text_cells({"d", "b", "e", "a", "c"})).ok());
    const Result<Frame> once = sort(source, "k", false);
    EXPECT_EQ(rows_of(source), (Rows{0, 1, 2, 3, 4}));
    EXPECT_EQ(once->columns[1].values.get(), source.columns[1].values.get());
    EXPECT_EQ(sorted(*once, false), rows_of(*once)) << "sorting a sorted frame changes nothing";
    EXPECT_EQ(sorted(*once, false, "t"), rows_of(*once));

    const Result<Frame> big = filter_compare(source, "k", CompareOp::Gt, 1.5);
    EXPECT_EQ(sorted(*big, true), (Rows{2, 0, 4, 1}));
    EXPECT_EQ(sorted(head(source, 2), false), (Rows{1, 0}));
    EXPECT_EQ(sorted(tail(source, 2), true, "t"), (Rows{4, 3}));

    EXPECT_FALSE(sort(frame_of("k", int_cells({1, 2, 2, 3})), "k", false)->selection)
        << "rows already in order come back without a selection";
    EXPECT_EQ(sort(source, "K", false).error().message, "no column \"K\" (the frame has \"k\", \"t\")");
}

// ---- sort_by

Rows sorted_by(const Frame& frame, const std::vector<std::string>& names, const SortDirections& directions) {
    const Result<Frame> result = sort_by(frame, names, directions);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message);
    return result.ok() ? rows_of(*result) : Rows{};
}

// How cell a of a column compares with cell b (-1, 0, 1) under sort's key order: present
// values first, by value (reversed when descending), then NaN, then nulls.
int compare_cells(const ColumnValues& values, std::size_t a, std::size_t b, bool descending) {
    return std::visit(
        [&](const auto& cells) {
            const auto rank = [&](std::size_t r) {
                if (!cells.is_present(r)) return 2;
                if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, F64Cells>) {
                    if (std::isnan(cells.values[r])) return 1;
                }
                return 0;
            };
            if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
            if (rank(a) != 0) return 0;
            const auto x = value_at(cells, a);
            const auto y = value_at(cells, b);
            const int order = x < y ? -1 : (y < x ? 1 : 0);
            return descending ? -order : order;
        },
        values.cells());
}

// The order of several keys by its definition: a stable sort of the logical rows under the
// keys compared in turn.
Rows reference_order_by(const Frame& frame, const std::vector<std::string>& names,
                        const std::vector<bool>& descending) {
    std::vector<std::size_t> logical(frame.height);
    std::iota(logical.begin(), logical.end(), std::size_t{0});
    std::stable_sort(logical.begin(), logical.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            const ColumnValues& values = *(*find_column(frame.columns, names[k]))->values;
            const int order = compare_cells(values, frame.physical_row(a), frame.physical_row(b), descending[k]);
            if (order != 0) return order < 0;
        }
        return false;
    });
    Rows rows;
    for (const std::size_t r : logical) rows.push_back(static_cast<std::uint32_t>(frame.physical_row(r)));
    return rows;
}

// The same order made by stable sorts, from the last key to the first.
Rows chained_sorts(const Frame& frame, const std::vector<std::string>& names, const std::vector<bool>& descending) {
    Frame sorted_frame = frame;
    for (std::size_t k = names.size(); k-- > 0;) sorted_frame = *sort(sorted_frame, names[k], descending[k]);
    return rows_of(sorted_frame);
}

TEST(SortBy, OrdersByEachKeyInTurn) {
    const Frame frame = frame_of({
        {"a", int_cells({2, 1, 2, null, 1, 2, null})},
        {"f", float_cells({0.5, nan, -0.0, 1.0, null, 0.0, 1.0})},
        {"t", text_cells({"b", "a", "a", null, "b", "a", "a"})},
    });
    const struct {
        std::vector<std::string> names;
        SortDirections directions;
        Rows rows;
    } cases[] = {
        {{"a", "t"}, {{false}, false}, {1, 4, 2, 5, 0, 6, 3}},
        {{"a", "t"}, {{true}, false}, {0, 2, 5, 4, 1, 6, 3}},
        {{"a", "t"}, {{true, false}, true}, {2, 5, 0, 1, 4, 6, 3}},
        // -0.0 and 0.0 tie and keep their order; NaN after the numbers, nulls last, either way.
        {{"f", "a"}, {{false, true}, true}, {2, 5, 0, 3, 6, 1, 4}},
        {{"f", "a"}, {{true, false}, true}, {3, 6, 0, 2, 5, 1, 4}},
        // Rows null in the first key are still ordered by the next.
        {{"a", "f"}, {{false, false}, true}, {1, 4, 2, 5, 0, 3, 6}},
        {{"t", "f", "a"}, {{false, true, false}, true}, {6, 2, 5, 1, 0, 4, 3}},
        {{}, {{true}, false}, {0, 1, 2, 3, 4, 5, 6}},
        {{}, {{}, true}, {0, 1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        const std::string what =
            ::testing::PrintToString(c.names) + " " + ::testing::PrintToString(c.directions.descending);
        EXPECT_EQ(sorted_by(frame, c.names, c.directions), c.rows) << what;
        std::vector<bool> each(c.names.size(), !c.directions.per_key && c.directions.descending[0]);
        if (c.directions.per_key) each = c.directions.descending;
        EXPECT_EQ(reference_order_by(frame, c.names, each), c.rows) << what << " (the reference)";
    }
    EXPECT_EQ(sorted_by(frame, {"t"}, {{true}, false}), sorted(frame, true, "t")) << "one key sorts as sort does";
    EXPECT_EQ(sort_by(frame, {"a", "t"}, {{false, true}, true})->columns[2].values.get(), frame.columns[2].values.get())
        << "the result shares the columns";
}

TEST(SortBy, RefusesRepeatedAndMissingNamesAndAWrongNumberOfFlags) {
    const Frame frame = frame_of({{"a", int_cells({1})}, {"b", text_cells({"x"})}});
    const struct {
        std::vector<std::string> names;
        SortDirections directions;
        const char* message;
    } cases[] = {
        {{"a", "b", "a"}, {{false}, false}, "column \"a\" selected twice"},
        {{"a", "c", "a"}, {{false}, false}, "no column \"c\" (the frame has \"a\", \"b\")"},
        {{"a", "b"}, {{true}, true}, "descending has 1 flag for 2 names"},
        {{"a"}, {{true, false}, true}, "descending has 2 flags for 1 name"},
        {{}, {{true}, true}, "descending has 1 flag for 0 names"},
        {{"a", "b"}, {{}, true}, "descending has 0 flags for 2 names"},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = sort_by(frame, c.names, c.directions);
        ASSERT_FALSE(result.ok()) << c.message;
        EXPECT_EQ(result.error().message, c.message);
    }
}

// Random frames whose keys tie often (few distinct values, nulls, NaN, -0.0, texts sharing
// prefixes around eight bytes), sorted by one to three keys in random directions, with and
// without a shuffled row selection: the order must be the reference's and the chained sorts'.
class SortByAgainstReference : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SortByAgainstReference, MatchesTheReferenceAndChainedSorts) {
    const std::size_t size = GetParam();
    std::mt19937_64 random(size * 31 + 7);
    std::vector<Int> ints;
    std::vector<Float> floats;
    std::vector<Text> texts;
    const double specials[] = {0.0, -0.0, nan, -nan, inf, -1.5, 2.25};
    const std::string prefixes[] = {"", "abcdefg", "abcdefgh", "abcdefghijklmnop", "San "};
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t draw = random();
        ints.push_back(draw % 11 == 0 ? Int{} : Int{static_cast<std::int64_t>(draw % 5) - 2});
        floats.push_back(draw % 13 == 1 ? Float{} : Float{specials[(draw >> 8) % std::size(specials)]});
        const std::string text = prefixes[(draw >> 16) % 5] + std::string(1, static_cast<char>('a' + (draw >> 24) % 3));
        texts.push_back(draw % 17 == 2 ? Text{} : Text{text});
    }
    const Frame plain = frame_of({{"i", int_cells(ints)}, {"f", float_cells(floats)}, {"t", text_cells(texts)}});
    Rows some;
    for (std::uint32_t r = 0; r < size; ++r) {
        if (random() % 4 != 0) some.push_back(r);
    }
    std::shuffle(some.begin(), some.end(), random);
    const Frame selected = take_rows(plain, RowList(some.begin(), some.end()));
    const std::vector<std::string> columns = {"i", "f", "t"};
    for (int trial = 0; trial < 12; ++trial) {
        std::vector<std::string> names = columns;
        std::shuffle(names.begin(), names.end(), random);
        names.resize(1 + random() % 3);
        std::vector<bool> descending;
        for (std::size_t k = 0; k < names.size(); ++k) descending.push_back(random() % 2 == 0);
        const bool one_flag = trial % 3 == 0;
        if (one_flag) descending.assign(names.size(), descending[0]);
        const SortDirections directions =
            one_flag ? SortDirections{{descending[0]}, false} : SortDirections{descending, true};
        for (const Frame* frame : {&plain, &selected}) {
            const std::string what = ::testing::PrintToString(names) + ::testing::PrintToString(descending) +
                                     (frame == &plain ? " plain" : " selected");
            const Rows rows = sorted_by(*frame, names, directions);
            ASSERT_EQ(rows, reference_order_by(*frame, names, descending)) << what;
            ASSERT_EQ(rows, chained_sorts(*frame, names, descending)) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SortByAgainstReference, ::testing::Values(0, 1, 2, 17, 70, 400, 5000, 40000));

}  // namespace
}  // namespace quorvel::engine
