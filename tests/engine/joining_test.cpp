#include "engine/joining.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Table = std::vector<std::vector<std::string>>;

const double quiet_nan = std::numeric_limits<double>::quiet_NaN();
const double other_nan = std::bit_cast<double>(std::bit_cast<std::uint64_t>(quiet_nan) | 1);
const char* const kinds[] = {"inner", "left", "full", "semi", "anti"};

// A cell as text: "null", an integer, a float by its bits (NaNs and zeros told apart), or
// the text between quotes.
std::string cell_text(const ColumnValues& values, std::size_t row) {
    if (row == no_row) return "null";
    return std::visit(
        [&](const auto& cells) -> std::string {
            if (!cells.is_present(row)) return "null";
            using Cells = std::decay_t<decltype(cells)>;
            if constexpr (std::is_same_v<Cells, StrCells>) {
                return "'" + std::string(cells.at(row)) + "'";
            } else if constexpr (std::is_same_v<Cells, F64Cells>) {
                return "f" + std::to_string(std::bit_cast<std::uint64_t>(cells.values[row]));
            } else {
                return std::to_string(cells.values[row]);
            }
        },
        values.cells());
}

// The frame's names, then its rows in logical order as texts.
Table table_of(const Frame& frame) {
    Table table{column_names(frame)};
    for (std::size_t r = 0; r < frame.height; ++r) {
        std::vector<std::string> cells;
        for (const Column& column : frame.columns) cells.push_back(cell_text(*column.values, frame.physical_row(r)));
        table.push_back(cells);
    }
    return table;
}

const Column& column_of(const Frame& frame, const std::string& name) { return **find_column(frame.columns, name); }

// Whether two rows' keys match: every key cell present on both sides and equal (numbers
// equal or floats of the same bits, texts of the same bytes).
bool keys_match(const Frame& frame, std::size_t row, const Frame& other, std::size_t other_row,
                const std::vector<std::string>& on) {
    for (const std::string& name : on) {
        const std::string a = cell_text(*column_of(frame, name).values, row);
        const std::string b = cell_text(*column_of(other, name).values, other_row);
        if (a == "null" || b == "null") return false;
        if (a == b) continue;
        const auto* floats = std::get_if<F64Cells>(&column_of(frame, name).values->cells());
        if (!floats) return false;
        if (floats->values[row] != std::get<F64Cells>(column_of(other, name).values->cells()).values[other_row]) {
            return false;
        }
    }
    return true;
}

// The join by its definition, with nested loops over the logical rows.
Table reference_join(const Frame& frame, const Frame& other, const std::vector<std::string>& on,
                     const std::string& how) {
    const bool semi_or_anti = how == "semi" || how == "anti";
    const auto is_key = [&](const std::string& name) { return std::find(on.begin(), on.end(), name) != on.end(); };
    Table table{column_names(frame)};
    if (!semi_or_anti) {
        for (const Column& column : other.columns) {
            if (!is_key(column.name)) table[0].push_back(column.name);
        }
    }
    const auto row_of = [&](std::size_t p, std::size_t q) {
        std::vector<std::string> cells;
        for (const Column& column : frame.columns) {
            cells.push_back(p != no_row           ? cell_text(*column.values, p)
                            : is_key(column.name) ? cell_text(*column_of(other, column.name).values, q)
                                                  : "null");
        }
        if (semi_or_anti) return cells;
        for (const Column& column : other.columns) {
            if (!is_key(column.name)) cells.push_back(cell_text(*column.values, q));
        }
        return cells;
    };
    std::vector<bool> matched(other.height, false);
    for (std::size_t r = 0; r < frame.height; ++r) {
        const std::size_t p = frame.physical_row(r);
        std::size_t matches = 0;
        for (std::size_t s = 0; s < other.height; ++s) {
            const std::size_t q = other.physical_row(s);
            if (!keys_match(frame, p, other, q, on)) continue;
            ++matches;
            matched[s] = true;
            if (!semi_or_anti) table.push_back(row_of(p, q));
        }
        if ((how == "semi" && matches != 0) || (how == "anti" && matches == 0)) table.push_back(row_of(p, no_row));
        if ((how == "left" || how == "full") && matches == 0) table.push_back(row_of(p, no_row));
    }
    if (how == "full") {
        for (std::size_t s = 0; s < other.height; ++s) {
            if (!matched[s]) table.push_back(row_of(no_row, other.physical_row(s)));
        }
    }
    return table;
}

Table joined(const Frame& frame, const Frame& other, const std::vector<std::string>& on, const std::string& how) {
    const Result<Frame> result = join(frame, other, on, how);
    EXPECT_TRUE(result.ok()) << how << ": " << (result.ok() ? "" : result.error().message);
    return result.ok() ? table_of(*result) : Table{};
}

TEST(Join, EachKindKeepsItsRowsInTheFramesOrder) {
    const Frame frame = frame_of({{"k", int_cells({1, 2, 1, null, 3})}, {"v", text_cells({"a", "b", "c", "d", "e"})}});
    const Frame other = frame_of({{"w", int_cells({10, 11, 30, 40, 50})}, {"k", int_cells({1, 1, 3, 4, null})}});
    const struct {
        const char* how;
        std::vector<Int> k;
        std::vector<Text> v;
        std::vector<Int> w;
    } cases[] = {
        {"inner", {1, 1, 1, 1, 3}, {"a", "a", "c", "c", "e"}, {10, 11, 10, 11, 30}},
        {"left", {1, 1, 2, 1, 1, null, 3}, {"a", "a", "b", "c", "c", "d", "e"}, {10, 11, null, 10, 11, null, 30}},
        {"full",
         {1, 1, 2, 1, 1, null, 3, 4, null},
         {"a", "a", "b", "c", "c", "d", "e", null, null},
         {10, 11, null, 10, 11, null, 30, 40, 50}},
        {"semi", {1, 1, 3}, {"a", "c", "e"}, {}},
        {"anti", {2, null}, {"b", "d"}, {}},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = join(frame, other, {"k"}, c.how);
        ASSERT_TRUE(result.ok()) << c.how;
        EXPECT_EQ(ints_of(*result, "k"), c.k) << c.how;
        EXPECT_EQ(texts_of(*result, "v"), c.v) << c.how;
        if (c.w.empty()) {
            EXPECT_EQ(column_names(*result), (std::vector<std::string>{"k", "v"})) << c.how;
        } else {
            EXPECT_EQ(column_names(*result), (std::vector<std::string>{"k", "v", "w"})) << c.how;
            EXPECT_EQ(ints_of(*result, "w"), c.w) << c.how;
        }
    }
}

// Keys are equal as grouping finds them, but a null matches nothing, not even a null.
TEST(Join, KeysMatchAsGroupingEqualsThemAndNullsMatchNothing) {
    const struct {
        const char* what;
        Frame frame;
        Frame other;
        std::vector<std::string> on;
        std::vector<Int> matched;  // other's "row" per match, in order
    } cases[] = {
        {"0.0 and -0.0", frame_of({{"k", float_cells({0.0, -0.0})}}),
         frame_of({{"k", float_cells({-0.0})}, {"row", int_cells({0})}}), {"k"}, {0, 0}},
        {"NaNs by their bits", frame_of({{"k", float_cells({quiet_nan, other_nan, 1.0})}}),
         frame_of({{"k", float_cells({other_nan, quiet_nan})}, {"row", int_cells({0, 1})}}), {"k"}, {1, 0}},
        {"null keys", frame_of({{"k", text_cells({null, "", "a"})}}),
         frame_of({{"k", text_cells({null, "", null})}, {"row", int_cells({0, 1, 2})}}), {"k"}, {1}},
        {"texts by bytes",
         frame_of({{"k", text_cells({"a", "A", std::string("a\0", 2), "abcdefghijklmnopqrstuvwxyz"})}}),
         frame_of({{"k", text_cells({"A", std::string("a\0", 2), "abcdefghijklmnopqrstuvwxyz", "a"})},
                   {"row", int_cells({0, 1, 2, 3})}}),
         {"k"}, {3, 0, 1, 2}},
        {"two keys, one null", frame_of({{"a", int_cells({1, 1, null})}, {"b", text_cells({"x", null, "x"})}}),
         frame_of({{"b", text_cells({"x", null, "x"})}, {"a", int_cells({1, 1, null})}, {"row", int_cells({0, 1, 2})}}),
         {"a", "b"}, {0}},
        {"no keys: every row with every row", frame_of({{"k", int_cells({5, 6})}}),
         frame_of({{"row", int_cells({0, 1})}}), {}, {0, 1, 0, 1}},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = join(c.frame, c.other, c.on, "inner");
        ASSERT_TRUE(result.ok()) << c.what;
        EXPECT_EQ(ints_of(*result, "row"), c.matched) << c.what;
        EXPECT_EQ(joined(c.frame, c.other, c.on, "inner"), reference_join(c.frame, c.other, c.on, "inner")) << c.what;
    }
}

TEST(Join, RefusesBadKeysKindsAndRepeatedNames) {
    const Frame frame = frame_of({{"k", int_cells({1})}, {"t", text_cells({"x"})}, {"v", float_cells({1.0})}});
    const Frame other = frame_of({{"k", int_cells({1})}, {"t", int_cells({2})}, {"v", float_cells({2.0})}});
    const struct {
        std::vector<std::string> on;
        const char* how;
        const char* message;
    } cases[] = {
        {{"k", "k"}, "inner", "column \"k\" selected twice"},
        {{"x"}, "inner", "no column \"x\" (the frame has \"k\", \"t\", \"v\")"},
        {{"k", "t"}, "inner", "column \"t\" is str in this frame and i64 in the other frame"},
        {{"k"}, "outer", "how \"outer\": give \"inner\", \"left\", \"full\", \"semi\" or \"anti\""},
        {{"k"}, "Inner", "how \"Inner\": give \"inner\", \"left\", \"full\", \"semi\" or \"anti\""},
        // t and v are in both frames and are not keys: rename one first.
        {{"k"}, "inner", "the frame has a column \"t\" already"},
        {{"k"}, "full", "the frame has a column \"t\" already"},
        {{"t"}, "semi", "column \"t\" is str in this frame and i64 in the other frame"},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = join(frame, other, c.on, c.how);
        ASSERT_FALSE(result.ok()) << c.message;
        EXPECT_EQ(result.error().message, c.message);
    }
    const Result<Frame> missing = join(frame, select(other, {"v"}).value(), {"k"}, "inner");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().message, "no column \"k\" (the other frame has \"v\")");
    // Only the frame's columns come out of semi and anti joins, so other's names cannot clash.
    EXPECT_TRUE(join(frame, other, {"k"}, "semi").ok());
    EXPECT_TRUE(join(frame, other, {"k"}, "anti").ok());
}

TEST(Join, SharesTheColumnsOfASideWhoseRowsComeOutInStorageOrder) {
    const Frame frame = frame_of({{"k", int_cells({3, 1, 2, 1})}, {"x", float_cells({0.5, 1.5, 2.5, 3.5})}});
    const Frame table = frame_of({{"k", int_cells({1, 2, 3})}, {"name", text_cells({"one", "two", "three"})}});
    const Result<Frame> looked_up = join(frame, table, {"k"}, "inner");
    ASSERT_TRUE(looked_up.ok());
    EXPECT_FALSE(looked_up->selection);
    EXPECT_EQ(looked_up->columns[1].values.get(), frame.columns[1].values.get()) << "each row once, in order";
    EXPECT_EQ(texts_of(*looked_up, "name"), (std::vector<Text>{"three", "one", "two", "one"}));

    const Frame ids = frame_of({{"id", int_cells({4, 8, 6})}, {"t", text_cells({"a", null, "c"})}});
    const Result<Frame> self = join(ids, ids, {"id", "t"}, "inner");
    ASSERT_TRUE(self.ok());
    EXPECT_EQ(self->height, 2u) << "the null t matches nothing";
    const Frame renamed = rename(ids, "t", "u").value();
    const Result<Frame> both = join(ids, renamed, {"id"}, "left");
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(both->columns[2].values.get(), ids.columns[1].values.get()) << "other's rows in storage order too";

    const Result<Frame> some = join(take_rows(frame, {3, 0}), table, {"k"}, "inner");
    ASSERT_TRUE(some.ok());
    EXPECT_NE(some->columns[1].values.get(), frame.columns[1].values.get()) << "a selection is written out";
    EXPECT_EQ(floats_of(*some, "x"), (std::vector<Float>{3.5, 0.5}));
}

// Many distinct keys, in another order on each side, make the table grow through both of
// its load limits and the rows span many blocks.
TEST(Join, UniqueKeysInTwoOrders) {
    constexpr std::size_t rows = 150'000;
    std::mt19937_64 random(3);
    std::vector<Int> keys(rows);
    for (std::size_t i = 0; i < rows; ++i) keys[i] = static_cast<std::int64_t>(i * 7919) - 500'000;
    std::shuffle(keys.begin(), keys.end(), random);
    std::vector<Int> other_keys = keys;
    std::shuffle(other_keys.begin(), other_keys.end(), random);
    other_keys.resize(rows - 10);  // ten keys of the frame match nothing
    std::vector<Int> positions(other_keys.size());
    std::iota(positions.begin(), positions.end(), std::int64_t{0});
    const Frame frame = frame_of({{"k", int_cells(keys)}});
    const Frame other = frame_of({{"k", int_cells(other_keys)}, {"position", int_cells(positions)}});
    const Result<Frame> result = join(frame, other, {"k"}, "left");
    ASSERT_TRUE(result.ok());
    const std::vector<Int> found = ints_of(*result, "position");
    ASSERT_EQ(found.size(), rows);
    std::size_t unmatched = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (!found[i]) {
            ++unmatched;
            continue;
        }
        ASSERT_EQ(other_keys[static_cast<std::size_t>(*found[i])], keys[i]) << "row " << i;
    }
    EXPECT_EQ(unmatched, 10u);
}

// Random frames whose keys often repeat (and hold nulls, NaNs, zeros of both signs, texts
// sharing long prefixes), joined in every way on zero to two keys, with and without shuffled
// row selections, and with themselves: the result must be the nested loops'.
class JoinAgainstReference : public ::testing::TestWithParam<std::size_t> {};

Frame random_frame(std::mt19937_64& random, std::size_t size, const std::string& value_name) {
    const double floats[] = {0.0, -0.0, quiet_nan, other_nan, 1.5};
    const std::string texts[] = {"", "a", "abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstuvwxz"};
    std::vector<Int> i;
    std::vector<Float> f;
    std::vector<Text> t;
    std::vector<Int> v;
    for (std::size_t r = 0; r < size; ++r) {
        const std::uint64_t draw = random();
        i.push_back(draw % 7 == 0 ? Int{} : Int{static_cast<std::int64_t>(draw % 4)});
        f.push_back(draw % 11 == 1 ? Float{} : Float{floats[(draw >> 8) % 5]});
        t.push_back(draw % 13 == 2 ? Text{} : Text{texts[(draw >> 16) % 4]});
        v.push_back(static_cast<std::int64_t>(r));
    }
    return frame_of({{"i", int_cells(i)}, {"f", float_cells(f)}, {"t", text_cells(t)}, {value_name, int_cells(v)}});
}

Frame shuffled_part(std::mt19937_64& random, const Frame& frame) {
    RowList rows;
    for (std::uint32_t r = 0; r < frame.height; ++r) {
        if (random() % 3 != 0) rows.push_back(r);
    }
    std::shuffle(rows.begin(), rows.end(), random);
    return take_rows(frame, rows);
}

TEST_P(JoinAgainstReference, MatchesNestedLoops) {
    std::mt19937_64 random(GetParam() * 131 + 5);
    const Frame frame = random_frame(random, GetParam(), "v");
    const Frame other = random_frame(random, GetParam() / 2 + random() % 5, "w");
    const Frame frames[] = {frame, shuffled_part(random, frame)};
    const Frame others[] = {other, shuffled_part(random, other)};
    const std::vector<std::vector<std::string>> key_lists = {{"i"}, {"f"}, {"t"}, {"t", "i"}, {"f", "i"}, {}};
    for (const auto& on : key_lists) {
        for (const char* how : kinds) {
            for (const Frame& left : frames) {
                for (const Frame& right : others) {
                    const Frame keys_and_values = select(right, [&] {
                        std::vector<std::string> names = on;
                        names.push_back("w");
                        return names;
                    }()).value();
                    ASSERT_EQ(joined(left, keys_and_values, on, how), reference_join(left, keys_and_values, on, how))
                        << how << " on " << ::testing::PrintToString(on);
                }
            }
            // A frame joined with itself, every column a key.
            const std::vector<std::string> all = column_names(frame);
            ASSERT_EQ(joined(frames[1], frames[1], all, how), reference_join(frames[1], frames[1], all, how)) << how;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, JoinAgainstReference, ::testing::Values(0, 1, 3, 40, 200));

}  // namespace
}  // namespace quorvel::engine
