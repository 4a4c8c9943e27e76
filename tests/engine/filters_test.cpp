#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/filters.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Rows = std::vector<std::uint32_t>;
using C = CompareOp;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t two_53 = std::int64_t{1} << 53;
constexpr CompareOp every_op[] = {C::Eq, C::Ne, C::Lt, C::Le, C::Gt, C::Ge};

// The x87 extended format holds every i64 and every double exactly, so comparing in it is
// an exact reference for comparing an integer with a float.
static_assert(std::numeric_limits<long double>::digits >= 64);

template <class T>
bool reference_holds(CompareOp op, T cell, T value) {
    switch (op) {
        case C::Eq: return cell == value;
        case C::Ne: return cell != value;
        case C::Lt: return cell < value;
        case C::Le: return cell <= value;
        case C::Gt: return cell > value;
        case C::Ge: return cell >= value;
    }
    return false;
}

// The physical rows of `frame` whose cell passes `passes`, by the plain definition.
template <class Cell, class Passes>
Rows reference_rows(const Frame& frame, const std::vector<std::optional<Cell>>& cells, Passes passes) {
    Rows rows;
    for (std::size_t r = 0; r < frame.height; ++r) {
        if (cells[r] && passes(*cells[r])) rows.push_back(static_cast<std::uint32_t>(frame.physical_row(r)));
    }
    return rows;
}

Rows kept(const Result<Frame>& result) {
    EXPECT_TRUE(result.ok()) << result.error().message;
    return result.ok() ? rows_of(*result) : Rows{};
}

TEST(FilterCompare, IntegersAgainstFloatsAreExact) {
    const Frame frame = frame_of("i", int_cells({1, 2, 3, two_53 + 1, std::nullopt, i64_min, i64_max}));
    const struct {
        CompareOp op;
        double value;
        Rows rows;
    } cases[] = {
        {C::Gt, 9007199254740992.0, {3, 6}},   // 2^53 + 1 > 2^53, though it rounds to 2^53
        {C::Eq, 9007199254740992.0, {}},
        {C::Ne, 9007199254740992.0, {0, 1, 2, 3, 5, 6}},
        {C::Lt, 2.5, {0, 1, 5}},
        {C::Le, 2.5, {0, 1, 5}},
        {C::Ge, 2.5, {2, 3, 6}},
        {C::Gt, 2.5, {2, 3, 6}},
        {C::Eq, 2.5, {}},
        {C::Ne, 2.5, {0, 1, 2, 3, 5, 6}},
        {C::Eq, 2.0, {1}},
        {C::Le, 2.0, {0, 1, 5}},
        {C::Lt, -2.5, {5}},
        {C::Gt, -0.5, {0, 1, 2, 3, 6}},
        {C::Lt, inf, {0, 1, 2, 3, 5, 6}},
        {C::Gt, -inf, {0, 1, 2, 3, 5, 6}},
        {C::Eq, inf, {}},
        {C::Eq, -inf, {}},
        {C::Ge, 9223372036854775808.0, {}},  // 2^63 is above every i64
        {C::Lt, 9223372036854775808.0, {0, 1, 2, 3, 5, 6}},
        {C::Eq, -9223372036854775808.0, {5}},  // -2^63 is the least i64 itself
        {C::Lt, -9223372036854775808.0, {}},
        {C::Le, -9223372036854775808.0, {5}},
        {C::Gt, -9223372036854777856.0, {0, 1, 2, 3, 5, 6}},  // the float below -2^63
        {C::Ne, nan, {0, 1, 2, 3, 5, 6}},
        {C::Eq, nan, {}},
        {C::Lt, nan, {}},
        {C::Ge, nan, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kept(filter_compare(frame, "i", c.op, c.value)), c.rows)
            << "op " << static_cast<int>(c.op) << " value " << c.value;
    }
}

TEST(FilterCompare, FloatsFollowIeee) {
    const Frame frame = frame_of("f", float_cells({-0.0, nan, 1.5, std::nullopt, inf, -inf}));
    const struct {
        CompareOp op;
        double value;
        Rows rows;
    } cases[] = {
        {C::Eq, 0.0, {0}},
        {C::Ge, 0.0, {0, 2, 4}},
        {C::Lt, 0.0, {5}},
        {C::Ne, 1.5, {0, 1, 4, 5}},  // a NaN cell passes only Ne
        {C::Eq, inf, {4}},
        {C::Le, -inf, {5}},
        {C::Ne, nan, {0, 1, 2, 4, 5}},
        {C::Eq, nan, {}},
        {C::Le, nan, {}},
        {C::Gt, nan, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kept(filter_compare(frame, "f", c.op, c.value)), c.rows)
            << "op " << static_cast<int>(c.op) << " value " << c.value;
    }
}

// Cells around the places where a float comparison of integers goes wrong, against values
// around the same places, through every path of the row scan (with and without nulls and a
// row selection), checked against the exact reference.
TEST(FilterCompare, MatchesTheExactReferenceOnEdgeValues) {
    std::vector<Int> cells = {0,          1,          -1,         two_53 - 1, two_53,     two_53 + 1,
                              -two_53 - 1, i64_max,    i64_max - 1, i64_min,   i64_min + 1, std::int64_t{1} << 62};
    std::mt19937_64 random(7);
    for (int i = 0; i < 600; ++i) {
        const int kind = i % 3;
        const std::int64_t near = kind == 0 ? two_53 : kind == 1 ? i64_max - 2048 : i64_min + 2048;
        cells.push_back(near + (static_cast<std::int64_t>(random() % 4096) - 2048));
        if (i % 50 == 0) cells.push_back(std::nullopt);
    }
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.0, 2.5, -2.5, inf, -inf, nan, 1e300, -1e300,
                                  9007199254740992.0, 9007199254740994.0, 9007199254740990.0,
                                  9223372036854775808.0, 9223372036854774784.0, -9223372036854775808.0,
                                  -9223372036854777856.0, -9223372036854774784.0};
    for (int i = 0; i < 40; ++i) values.push_back(static_cast<double>(*cells[random() % cells.size()]));
    for (int i = 0; i < 20; ++i) values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 200) - 100) / 4);

    const Frame plain = frame_of("i", int_cells(cells));
    Rows reversed;
    for (std::size_t r = cells.size(); r-- > 0;) reversed.push_back(static_cast<std::uint32_t>(r));
    const Frame selected = take_rows(plain, RowList(reversed.begin(), reversed.end()));
    const Frame without_nulls = frame_of("i", int_cells({0, 1, two_53 + 1, i64_max, i64_min, -7}));
    for (const Frame* frame : {&plain, &selected, &without_nulls, }) {
        const std::vector<Int> column = ints_of(*frame, "i");
        for (const double value : values) {
            for (const CompareOp op : every_op) {
                const Rows expected = reference_rows(*frame, column, [&](std::int64_t cell) {
                    return reference_holds<long double>(op, static_cast<long double>(cell), value);
                });
                ASSERT_EQ(kept(filter_compare(*frame, "i", op, value)), expected)
                    << "op " << static_cast<int>(op) << " value " << value;
            }
        }
    }
}

TEST(FilterCompare, NullsNeverPass) {
    const Frame ints = frame_of("v", int_cells({std::nullopt, 0, std::nullopt}));
    const Frame floats = frame_of("v", float_cells({std::nullopt, nan, std::nullopt}));
    for (const Frame* frame : {&ints, &floats}) {
        for (const CompareOp op : every_op) {
            for (const double value : {0.0, nan, inf, -inf}) {
                for (const std::uint32_t row : kept(filter_compare(*frame, "v", op, value))) EXPECT_EQ(row, 1u);
            }
        }
        EXPECT_EQ(kept(filter_compare(*frame, "v", C::Ne, nan)), (Rows{1}));
        for (const std::uint32_t row : kept(filter_among(*frame, "v", std::vector<double>{0.0, nan}))) EXPECT_EQ(row, 1u);
    }
    const Frame texts = frame_of("s", text_cells({std::nullopt, "", std::nullopt}));
    EXPECT_EQ(kept(filter_in(texts, "s", {""})), (Rows{1})) << "a null is not the empty text";
}

// Lists longer than a handful are looked up in a table: both ways must agree with a scan.
TEST(FilterAmong, MatchesTheReferenceForShortAndLongLists) {
    std::mt19937_64 random(11);
    std::vector<Int> int_column;
    std::vector<Float> float_column;
    for (int i = 0; i < 500; ++i) {
        const std::int64_t v = static_cast<std::int64_t>(random() % 64) - 32;
        int_column.push_back(i % 37 == 0 ? Int{} : Int{v});
        float_column.push_back(i % 41 == 0 ? Float{} : i % 43 == 0 ? Float{nan} : Float{v == 0 ? -0.0 : v / 2.0});
    }
    int_column.push_back(i64_min);
    int_column.push_back(i64_max);
    const Frame ints = frame_of("v", int_cells(int_column));
    const Frame floats = frame_of("v", float_cells(float_column));
    for (const std::size_t length : {0u, 1u, 3u, 16u, 17u, 40u, 200u}) {
        std::vector<double> list;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint64_t pick = random() % 10;
            list.push_back(pick == 0 ? nan : pick == 1 ? inf : pick == 2 ? 0.0 : static_cast<double>(static_cast<std::int64_t>(random() % 80) - 40) / 2);
        }
        if (length > 2) list.push_back(-9223372036854775808.0);
        EXPECT_EQ(kept(filter_among(ints, "v", list)), reference_rows(ints, int_column, [&](std::int64_t cell) {
                      for (const double e : list) {
                          if (static_cast<long double>(cell) == static_cast<long double>(e)) return true;
                      }
                      return false;
                  })) << "i64, list of " << length;
        EXPECT_EQ(kept(filter_among(floats, "v", list)), reference_rows(floats, float_column, [&](double cell) {
                      for (const double e : list) {
                          if (cell == e) return true;
                      }
                      return false;
                  })) << "f64, list of " << length;
    }
}

TEST(FilterAmong, EntriesMatchIntegersOnlyWhenWhole) {
    const Frame ints = frame_of("i", int_cells({2, 0, 3, -1}));
    EXPECT_EQ(kept(filter_among(ints, "i", std::vector<double>{2.0, 2.5, -0.0})), (Rows{0, 1}));
    EXPECT_EQ(kept(filter_among(ints, "i", std::vector<double>{inf, -inf, nan, 3.000000000000001})), (Rows{}));
    const Frame floats = frame_of("f", float_cells({-0.0, nan, 0.5}));
    EXPECT_EQ(kept(filter_among(floats, "f", std::vector<double>{0.0})), (Rows{0}));
    EXPECT_EQ(kept(filter_among(floats, "f", std::vector<double>{nan, 0.5, 0.5})), (Rows{2}));
}

TEST(FilterIn, ComparesBytes) {
    const std::string with_nul("a\0b", 3);
    const Frame frame = frame_of("s", text_cells({"b", "B", "", with_nul, "a", "caf\xc3\xa9", std::nullopt}));
    const struct {
        std::vector<std::string> texts;
        Rows rows;
    } cases[] = {
        {{"b"}, {0}},
        {{}, {}},
        {{"a"}, {4}},
        {{std::string("a\0", 2)}, {}},
        {{with_nul, "B"}, {1, 3}},
        {{"caf\xc3\xa9"}, {5}},
        {{"cafe\xcc\x81"}, {}},  // the same word decomposed is other bytes
        {{""}, {2}},
    };
    for (const auto& c : cases) EXPECT_EQ(kept(filter_in(frame, "s", c.texts)), c.rows);

    std::vector<std::string> many;
    for (int i = 0; i < 100; ++i) many.push_back(std::to_string(i) + "t");
    many.push_back(with_nul);
    many.push_back("");
    EXPECT_EQ(kept(filter_in(frame, "s", many)), (Rows{2, 3}));
    many.push_back("b");
    EXPECT_EQ(kept(filter_in(frame, "s", many)), (Rows{0, 2, 3}));
}

TEST(FilterNull, KeepsTheNullOrThePresentCellsOfAnyDtype) {
    const Frame frame = frame_of({{"i", int_cells({1, null, 3, null})},
                                  {"f", float_cells({null, nan, 0.0, 1.0})},
                                  {"s", text_cells({"", null, "x", "y"})},
                                  {"full", int_cells({1, 2, 3, 4})}});
    const struct {
        const char* name;
        Rows nulls, present;
    } cases[] = {
        {"i", {1, 3}, {0, 2}},
        {"f", {0}, {1, 2, 3}},  // NaN is a value
        {"s", {1}, {0, 2, 3}},  // so is the empty text
        {"full", {}, {0, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kept(filter_null(frame, c.name)), c.nulls) << c.name;
        EXPECT_EQ(kept(filter_not_null(frame, c.name)), c.present) << c.name;
        // Through a selection: the rows in its order.
        const Frame reversed = take_rows(frame, {3, 2, 1, 0});
        EXPECT_EQ(kept(filter_null(reversed, c.name)), Rows(c.nulls.rbegin(), c.nulls.rend())) << c.name;
        EXPECT_EQ(kept(filter_not_null(reversed, c.name)), Rows(c.present.rbegin(), c.present.rend())) << c.name;
    }
    EXPECT_FALSE(filter_not_null(frame, "full")->selection) << "a column without nulls keeps every row as it is";
}

TEST(FilterText, ComparesBytesAtTheStartTheEndOrAnywhere) {
    const std::string with_nul("a\0b", 3);
    const Frame frame = frame_of("s", text_cells({"San Jose", "Jose", "", with_nul, null, "caf\xc3\xa9", "ab", "b"}));
    using P = TextPlace;
    const struct {
        P place;
        std::string text;
        Rows rows;
    } cases[] = {
        {P::Start, "San", {0}},
        {P::Start, "", {0, 1, 2, 3, 5, 6, 7}},  // every text holds the empty text; a null holds none
        {P::Start, "san", {}},
        {P::Start, "Jose ", {}},
        {P::End, "Jose", {0, 1}},
        {P::End, "\xa9", {5}},  // a byte inside a character counts
        {P::End, "b", {3, 6, 7}},
        {P::Anywhere, "b", {3, 6, 7}},
        {P::Anywhere, "o", {0, 1}},
        {P::Anywhere, std::string("\0", 1), {3}},
        {P::Anywhere, "eJ", {}},  // across the end of one text and the start of the next
        {P::Anywhere, "abb", {}},
        {P::Anywhere, "", {0, 1, 2, 3, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kept(filter_text(frame, "s", c.place, c.text)), c.rows) << c.text;
        const Frame reversed = take_rows(frame, {7, 6, 5, 4, 3, 2, 1, 0});
        EXPECT_EQ(kept(filter_text(reversed, "s", c.place, c.text)), Rows(c.rows.rbegin(), c.rows.rend())) << c.text;
    }
}

// Without a selection all texts are searched at once and each occurrence placed in its row;
// with one, each text on its own. Both against the plain test, on many short texts of a small
// alphabet (occurrences abound, many across two texts), with nulls and empty texts.
TEST(FilterText, ContainsAgreesWithAPlainSearchWithAndWithoutASelection) {
    std::mt19937_64 random(17);
    std::vector<Text> texts;
    for (int r = 0; r < 3000; ++r) {
        if (random() % 10 == 0) {
            texts.push_back(null);
            continue;
        }
        std::string text(random() % 12, ' ');
        for (char& c : text) c = "abc"[random() % 3];
        texts.push_back(text);
    }
    const Frame frame = frame_of("s", text_cells(texts));
    RowList backwards(frame.height);
    for (std::size_t r = 0; r < backwards.size(); ++r) backwards[r] = static_cast<std::uint32_t>(frame.height - 1 - r);
    for (const std::string needle : {"a", "ab", "cab", "abca", "aaaa", "bbbbbbbbbb"}) {
        for (const Frame& source : {frame, take_rows(frame, backwards)}) {
            const Rows expected = reference_rows(source, texts_of(source, "s"), [&](const std::string& text) {
                return text.find(needle) != std::string::npos;
            });
            EXPECT_EQ(kept(filter_text(source, "s", TextPlace::Anywhere, needle)), expected) << needle;
        }
    }
}

TEST(Filters, RefuseTheWrongDtypeAfterTheLookup) {
    Frame frame = frame_of("f", float_cells({1.0}));
    ASSERT_TRUE(add_column(frame, "i", int_cells({1})).ok());
    ASSERT_TRUE(add_column(frame, "s\"", text_cells({"x"})).ok());
    const struct {
        Result<Frame> result;
        std::string message;
    } cases[] = {
        {filter_compare(frame, "s\"", C::Eq, 1), "column \"s\\\"\" is str: compare it with where_is or where_in"},
        {filter_among(frame, "s\"", std::vector<double>{1}), "column \"s\\\"\" is str: where_in takes its strings"},
        {filter_in(frame, "f", {"1"}), "column \"f\" is f64: where_is and where_in take a str column"},
        {filter_in(frame, "i", {}), "column \"i\" is i64: where_is and where_in take a str column"},
        {filter_compare(frame, "x", C::Lt, nan), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_among(frame, "x", std::vector<double>{}), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_in(frame, "x", {}), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_null(frame, "x"), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_not_null(frame, "x"), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_text(frame, "x", TextPlace::Start, "a"), "no column \"x\" (the frame has \"f\", \"i\", \"s\\\"\")"},
        {filter_text(frame, "i", TextPlace::End, "1"),
         "column \"i\" is i64: where_starts_with, where_ends_with and where_contains take a str column"},
        {filter_text(frame, "f", TextPlace::Anywhere, ""),
         "column \"f\" is f64: where_starts_with, where_ends_with and where_contains take a str column"},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.result.ok()) << c.message;
        EXPECT_EQ(c.result.error().message, c.message);
    }
}

TEST(Filters, SeeOnlyTheRowsOfADerivedFrameAndShareItsColumns) {
    Frame source = frame_of("v", int_cells({5, 1, 4, 2, 3}));
    const Frame picked = take_rows(source, {4, 3, 0, 2});  // 3, 2, 5, 4
    const Result<Frame> big = filter_compare(picked, "v", C::Gt, 2);
    EXPECT_EQ(kept(big), (Rows{4, 0, 2}));
    EXPECT_EQ(big->columns[0].values.get(), source.columns[0].values.get());
    EXPECT_EQ(kept(filter_compare(*big, "v", C::Lt, 5)), (Rows{4, 2}));

    const Result<Frame> all = filter_compare(source, "v", C::Ge, 1);
    EXPECT_FALSE(all->selection) << "keeping every stored row in order needs no selection";
    const Result<Frame> none = filter_in(frame_of("s", text_cells({"a"})), "s", {});
    EXPECT_EQ(none->height, 0u);
    EXPECT_EQ(column_dtypes(*none), (std::vector<std::string>{"str"}));
}

// A filter of a large frame makes room for every row at once, its pages touched only as
// rows are kept; a result of a few rows must not go on holding that room.
TEST(Filters, KeepNoRoomBeyondAFewKeptRows) {
    constexpr std::size_t rows = 1 << 20;
    I64Cells numbers;
    StrCells texts;
    for (std::size_t r = 0; r < rows; ++r) {
        numbers.values.push_back(static_cast<std::int64_t>(r));
        texts.push_back(r % 100'000 == 7 ? "needle" : "hay");
    }
    const Frame frame = frame_of({{"n", std::move(numbers)}, {"s", std::move(texts)}});
    Rows needles;
    for (std::uint32_t r = 7; r < rows; r += 100'000) needles.push_back(r);
    const Result<Frame> results[] = {filter_compare(frame, "n", C::Lt, 3),
                                     filter_text(frame, "s", TextPlace::Start, "ne"),
                                     filter_text(frame, "s", TextPlace::Anywhere, "eed")};
    const Rows expected[] = {{0, 1, 2}, needles, needles};
    for (std::size_t i = 0; i < std::size(results); ++i) {
        EXPECT_EQ(kept(results[i]), expected[i]);
        EXPECT_LE(results[i]->selection->rows.capacity(), 64u) << i;
    }
    const Result<Frame> most = filter_compare(frame, "n", C::Ge, 3);
    EXPECT_EQ(most->height, rows - 3);
    EXPECT_EQ(most->selection->rows.back(), rows - 1);
}

}  // namespace
}  // namespace quorvel::engine
