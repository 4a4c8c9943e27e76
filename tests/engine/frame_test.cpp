#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/frame.hpp"
#include "engine/quoted.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

I64Cells ints(const std::vector<std::int64_t>& values) { return I64Cells{{values.begin(), values.end()}, {}}; }

StrCells strings(const std::vector<std::string>& texts) {
    StrCells cells;
    for (const std::string& text : texts) cells.push_back(text);
    return cells;
}

std::vector<std::int64_t> int_values(const ValuesRef& values) {
    return {values->i64().values.begin(), values->i64().values.end()};
}

Frame frame_ab() {
    Frame frame;
    EXPECT_TRUE(add_column(frame, "a", ints({1, 2, 3})).ok());
    EXPECT_TRUE(add_column(frame, "b", strings({"x", "", "zz"})).ok());
    return frame;
}

TEST(Quoted, EscapesWhatWouldBeAmbiguousOrInvisible) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"a\"b", "\"a\\\"b\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"t\tr\rn\n", "\"t\\tr\\rn\\n\""},
        {std::string("nul\0!", 5), "\"nul\\0!\""},
        {"bell\x07", "\"bell\\u{7}\""},
        {"del\x7f", "\"del\\u{7f}\""},
        {"it's", "\"it's\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},                      // é is printable
        {"e\xcc\x81", "\"e\\u{301}\""},                           // combining acute accent
        {"zero\xe2\x80\x8bwidth", "\"zero\\u{200b}width\""},      // U+200B, Cf
        {"nb\xc2\xa0sp", "\"nb\\u{a0}sp\""},                      // U+00A0, Zs
        {"a b", "\"a b\""},                                       // the space itself stays
        {"line\xe2\x80\xa8sep", "\"line\\u{2028}sep\""},          // U+2028, Zl
        {"private\xee\x80\x80", "\"private\\u{e000}\""},          // U+E000, Co
        {"unassigned\xf4\x8f\xbf\xbf", "\"unassigned\\u{10ffff}\""},  // Cn
        {"emoji\xf0\x9f\x98\x80", "\"emoji\xf0\x9f\x98\x80\""},   // U+1F600 is printable
        {"bad\xff", "\"bad\\x{ff}\""},                            // not UTF-8 at all
        {"cut\xe2\x82", "\"cut\\x{e2}\\x{82}\""},                 // truncated sequence
    };
    for (const auto& c : cases) EXPECT_EQ(quoted_form(c.text), c.shown) << c.shown;
}

TEST(FindColumn, NamesEveryColumnWhenMissing) {
    const Frame frame = frame_ab();
    ASSERT_TRUE(find_column(frame.columns, "b").ok());
    EXPECT_EQ((*find_column(frame.columns, "b"))->name, "b");
    EXPECT_EQ(find_column(frame.columns, "x").error().message, "no column \"x\" (the frame has \"a\", \"b\")");
    EXPECT_EQ(find_column(frame.columns, "A").error().message, "no column \"A\" (the frame has \"a\", \"b\")");
    EXPECT_EQ(find_column({}, "x").error().message, "no column \"x\" (the frame has none)");
}

TEST(AddColumn, ChecksDuplicateBeforeLength) {
    Frame frame = frame_ab();
    EXPECT_EQ(add_column(frame, "a", ints({1})).error().message, "the frame has a column \"a\" already");
    EXPECT_EQ(add_column(frame, "c", ints({1})).error().message, "column \"c\" has 1 values; the frame has 3 rows");
    ASSERT_TRUE(add_column(frame, "A", ints({4, 5, 6})).ok());
    EXPECT_EQ(column_names(frame), (std::vector<std::string>{"a", "b", "A"}));
    EXPECT_EQ(column_dtypes(frame), (std::vector<std::string>{"i64", "str", "i64"}));
}

TEST(AddColumn, FirstColumnSetsHeightOfAFrameWithoutColumns) {
    Frame empty;
    ASSERT_TRUE(add_column(empty, "a", ints({})).ok());
    EXPECT_EQ(empty.height, 0u);
    EXPECT_EQ(add_column(empty, "b", F64Cells{{1.5}, {}}).error().message,
              "column \"b\" has 1 values; the frame has 0 rows");

    Frame no_columns = *select(frame_ab(), {});
    EXPECT_EQ(no_columns.height, 3u);
    ASSERT_TRUE(add_column(no_columns, "c", ints({7, 8, 9, 10, 11})).ok());
    EXPECT_EQ(no_columns.height, 5u);
    EXPECT_FALSE(no_columns.selection);
}

TEST(AddColumn, WritesOutASelectionAndLeavesTheSourceAlone) {
    const Frame source = frame_ab();
    Frame derived = take_rows(source, {2, 0});
    ASSERT_TRUE(derived.selection);
    ASSERT_TRUE(add_column(derived, "c", ints({20, 0})).ok());
    EXPECT_FALSE(derived.selection);
    EXPECT_EQ(int_values(derived.columns[0].values), (std::vector<std::int64_t>{3, 1}));
    EXPECT_EQ(derived.columns[1].values->str().at(0), "zz");
    EXPECT_EQ(source.columns.size(), 2u);
    EXPECT_EQ(int_values(source.columns[0].values), (std::vector<std::int64_t>{1, 2, 3}));
}

TEST(AddColumn, FailedAddLeavesTheFrameAsItWas) {
    Frame frame = frame_ab();
    const ValuesRef before = frame.columns[0].values;
    EXPECT_FALSE(add_column(frame, "c", ints({1, 2})).ok());
    EXPECT_EQ(frame.columns.size(), 2u);
    EXPECT_EQ(frame.height, 3u);
    EXPECT_EQ(frame.columns[0].values.get(), before.get());
}

// frame_of_columns must end where adding the columns one by one ends: the same frame, or the
// error of the first column that fails, whichever check fails first.
TEST(FrameOfColumns, EndsWhereAddingOneByOneEnds) {
    const struct {
        std::vector<std::string> names;
        std::vector<std::size_t> lengths;
    } cases[] = {
        {{}, {}},
        {{"a", "b", "c"}, {2, 2, 2}},
        {{"a", "b", "a"}, {2, 2, 2}},
        {{"a", "b", "a"}, {2, 3, 2}},  // the length of b fails before a repeats
        {{"a", "b", "a"}, {2, 2, 5}},  // the repeat is reported whatever the length
        {{"", "x", ""}, {0, 0, 0}},
        {{"b", "a", "c", "a", "b"}, {1, 1, 1, 1, 1}},
    };
    for (const auto& c : cases) {
        Frame added;
        std::string expected = "ok";
        std::vector<ValuesRef> values;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const std::vector<std::int64_t> cells(c.lengths[i], static_cast<std::int64_t>(i));
            values.push_back(make_values(ints(cells)));
            Result<void> one = add_column(added, c.names[i], ints(cells));
            if (!one && expected == "ok") expected = one.error().message;
        }
        const Result<Frame> all = frame_of_columns(c.names, std::move(values));
        ASSERT_EQ(all ? "ok" : all.error().message, expected) << ::testing::PrintToString(c.names);
        if (!all) continue;
        EXPECT_EQ(column_names(*all), c.names);
        EXPECT_EQ(all->height, added.height);
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(int_values(all->columns[i].values), int_values(added.columns[i].values));
        }
    }
}

TEST(Gather, FollowsTheSelectionWithNulls) {
    StrCells texts = strings({"p", "", "rr", "s"});
    texts.validity.set_null(1, 4);
    F64Cells numbers{{0.5, 0.0, NAN, -2.0}, {}};
    numbers.validity.set_null(1, 4);
    Frame frame;
    ASSERT_TRUE(add_column(frame, "t", std::move(texts)).ok());
    ASSERT_TRUE(add_column(frame, "n", std::move(numbers)).ok());

    const Frame picked = take_rows(frame, {3, 1, 1, 2});
    const ValuesRef t = gather(picked, picked.columns[0].values);
    ASSERT_EQ(t->length(), 4u);
    EXPECT_EQ(t->str().at(0), "s");
    EXPECT_FALSE(t->str().is_present(1));
    EXPECT_FALSE(t->str().is_present(2));
    EXPECT_EQ(t->str().at(3), "rr");
    const ValuesRef n = gather(picked, picked.columns[1].values);
    EXPECT_EQ(n->f64().values[0], -2.0);
    EXPECT_FALSE(n->f64().is_present(1));
    EXPECT_TRUE(std::isnan(n->f64().values[3]));

    const Frame written = materialize(picked);
    EXPECT_FALSE(written.selection);
    EXPECT_EQ(written.height, 4u);
    EXPECT_EQ(written.columns[0].values->str().at(3), "rr");
}

// Stretches read whole (storage order) and through lists with missing rows, of each dtype:
// the cells come out end to end, nulls where the source is null or the row is missing.
TEST(GatherStretches, PutsStretchesEndToEndWithNullsForMissingRows) {
    using namespace testing;
    const ValuesRef texts_a = make_values(text_cells({"a", null, "ccc", ""}));
    const ValuesRef texts_b = make_values(text_cells({"x", "yy", null}));
    const ValuesRef ints_a = make_values(int_cells({1, null, 3, 4}));
    const ValuesRef ints_b = make_values(int_cells({7, 8, null}));
    const ValuesRef floats_a = make_values(float_cells({0.5, null, -0.0, 2.0}));
    const ValuesRef floats_b = make_values(float_cells({1.5, 2.5, null}));
    const std::uint32_t listed[] = {2, no_row, 0, 1};
    const std::uint32_t missing[] = {no_row, no_row};
    const auto stretches = [&](const ValuesRef& a, const ValuesRef& b) {
        return std::vector<CellStretch>{{a.get(), nullptr, 3}, {b.get(), listed, 4}, {a.get(), missing, 2},
                                        {b.get(), nullptr, 0}, {a.get(), listed, 3}};
    };
    EXPECT_EQ(cells_of(gather_stretches(stretches(texts_a, texts_b))->str()),
              (std::vector<Text>{"a", null, "ccc", null, null, "x", "yy", null, null, "ccc", null, "a"}));
    EXPECT_EQ(cells_of(gather_stretches(stretches(ints_a, ints_b))->i64()),
              (std::vector<Int>{1, null, 3, null, null, 7, 8, null, null, 3, null, 1}));
    EXPECT_EQ(cells_of(gather_stretches(stretches(floats_a, floats_b))->f64()),
              (std::vector<Float>{0.5, null, -0.0, null, null, 1.5, 2.5, null, null, -0.0, null, 0.5}));
    const CellStretch whole{texts_b.get(), nullptr, 2};
    const ValuesRef no_nulls = gather_stretches({&whole, 1});
    EXPECT_TRUE(no_nulls->str().validity.all_present()) << "no null, no mask";
    EXPECT_EQ(no_nulls->str().bytes.size(), 3u);
}

TEST(ReadColumn, RefusesAnotherDtype) {
    const Frame frame = frame_ab();
    EXPECT_EQ(read_column(frame, "a", DType::f64).error().message, "column \"a\" is i64, not f64");
    EXPECT_EQ(read_column(frame, "b", DType::i64).error().message, "column \"b\" is str, not i64");
    EXPECT_EQ(read_column(frame, "q", DType::i64).error().message, "no column \"q\" (the frame has \"a\", \"b\")");
    const Result<ValuesRef> a = read_column(frame, "a", DType::i64);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ((*a).get(), frame.columns[0].values.get()) << "a frame without selection shares its values";
}

TEST(Shared, ValuesLiveAsLongAsAnyHolder) {
    Frame frame = frame_ab();
    const ValuesRef held = frame.columns[0].values;
    EXPECT_EQ(held.use_count(), 2u);
    {
        const Frame copy = head(frame, 2);
        EXPECT_EQ(held.use_count(), 3u);
    }
    frame = Frame{};
    EXPECT_EQ(held.use_count(), 1u);
    EXPECT_EQ(int_values(held), (std::vector<std::int64_t>{1, 2, 3}));
}

}  // namespace
}  // namespace quorvel::engine
