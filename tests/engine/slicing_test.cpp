#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Rows = std::vector<std::uint32_t>;

constexpr std::int64_t most_negative = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t most_positive = std::numeric_limits<std::int64_t>::max();

// Five rows holding 10 .. 14, the second one null.
Frame five_rows() {
    Frame frame = frame_of("v", int_cells({10, std::nullopt, 12, 13, 14}));
    EXPECT_TRUE(add_column(frame, "t", text_cells({"a", "b", std::nullopt, "d", "e"})).ok());
    return frame;
}

TEST(Slicing, HeadAndTailKeepTheRightRows) {
    const struct {
        bool head;
        std::int64_t n;
        Rows rows;
    } cases[] = {
        {true, 2, {0, 1}},          {true, -2, {0, 1, 2}},       {true, -5, {}},
        {true, -7, {}},             {true, 7, {0, 1, 2, 3, 4}},  {true, 0, {}},
        {true, 5, {0, 1, 2, 3, 4}}, {true, most_negative, {}},   {true, most_positive, {0, 1, 2, 3, 4}},
        {false, 2, {3, 4}},         {false, -2, {2, 3, 4}},      {false, 0, {}},
        {false, -5, {}},            {false, 5, {0, 1, 2, 3, 4}}, {false, most_negative, {}},
        {false, -1, {1, 2, 3, 4}},
    };
    const Frame frame = five_rows();
    for (const auto& c : cases) {
        const Frame sliced = c.head ? head(frame, c.n) : tail(frame, c.n);
        const std::string what = (c.head ? "head(" : "tail(") + std::to_string(c.n) + ")";
        EXPECT_EQ(rows_of(sliced), c.rows) << what;
        EXPECT_EQ(sliced.height, c.rows.size()) << what;
        EXPECT_EQ(column_names(sliced), column_names(frame)) << what;
        EXPECT_EQ(column_dtypes(sliced), column_dtypes(frame)) << what;
        EXPECT_EQ(sliced.columns[0].values.get(), frame.columns[0].values.get()) << what << " shares values";
    }
}

TEST(Slicing, SlicesComposeThroughRowSelections) {
    const Frame frame = five_rows();
    EXPECT_EQ(rows_of(tail(head(frame, 4), 2)), (Rows{2, 3}));
    EXPECT_EQ(ints_of(tail(head(frame, 4), 2), "v"), (std::vector<Int>{12, 13}));

    const Frame shuffled = take_rows(frame, {4, 1, 2, 0});
    EXPECT_EQ(rows_of(head(shuffled, 2)), (Rows{4, 1}));
    EXPECT_EQ(rows_of(tail(shuffled, -1)), (Rows{1, 2, 0}));
    EXPECT_EQ(rows_of(head(tail(shuffled, 3), -1)), (Rows{1, 2}));
    EXPECT_EQ(texts_of(tail(shuffled, 3), "t"), (std::vector<Text>{"b", std::nullopt, "a"}));
}

TEST(Slicing, WholeFrameKeepsTheSameSelection) {
    const Frame frame = five_rows();
    EXPECT_FALSE(head(frame, 5).selection);
    const Frame picked = take_rows(frame, {3, 1});
    EXPECT_EQ(head(picked, 9).selection.get(), picked.selection.get());
    EXPECT_EQ(tail(picked, 2).selection.get(), picked.selection.get());
}

TEST(TakeRows, DropsOnlyASelectionThatIsTheWholeStorageInOrder) {
    const Frame frame = five_rows();
    const struct {
        Rows rows;
        bool selected;
    } cases[] = {
        {{0, 1, 2, 3, 4}, false},
        {{0, 1, 2, 3}, true},  // the identity over fewer rows than are stored
        {{0, 1, 2, 4, 3}, true},
        {{0, 1, 2, 3, 4, 4}, true},
        {{}, true},
    };
    for (const auto& c : cases) {
        const Frame taken = take_rows(frame, RowList(c.rows.begin(), c.rows.end()));
        EXPECT_EQ(static_cast<bool>(taken.selection), c.selected) << ::testing::PrintToString(c.rows);
        EXPECT_EQ(rows_of(taken), c.rows);
    }
    // Compared with the storage, not with the source's rows: a selected frame can come back
    // without a selection, and the values read back are the same either way.
    const Frame selected = take_rows(frame, {4, 3});
    const Frame all = take_rows(selected, {0, 1, 2, 3, 4});
    EXPECT_FALSE(all.selection);
    EXPECT_EQ(ints_of(all, "v"), ints_of(frame, "v"));
    EXPECT_EQ(gather(take_rows(frame, {0, 1, 2, 3, 4}), frame.columns[1].values)->str().at(3), "d");
}

TEST(Select, NamesColumnsInTheGivenOrder) {
    Frame frame = five_rows();
    ASSERT_TRUE(add_column(frame, "c", float_cells({1, 2, 3, 4, 5})).ok());
    const Frame picked = take_rows(frame, {2, 0});

    const Result<Frame> ba = select(picked, {"t", "v"});
    ASSERT_TRUE(ba.ok());
    EXPECT_EQ(column_names(*ba), (std::vector<std::string>{"t", "v"}));
    EXPECT_EQ(ba->selection.get(), picked.selection.get());
    EXPECT_EQ(ints_of(*ba, "v"), (std::vector<Int>{12, 10}));

    const Result<Frame> none = select(picked, {});
    ASSERT_TRUE(none.ok());
    EXPECT_EQ(none->columns.size(), 0u);
    EXPECT_EQ(none->height, 2u);
}

TEST(Select, TheFirstFailingNameDecides) {
    const Frame frame = five_rows();
    const struct {
        std::vector<std::string> names;
        std::string message;
    } cases[] = {
        {{"v", "t", "v"}, "column \"v\" selected twice"},
        {{"v", "x", "v"}, "no column \"x\" (the frame has \"v\", \"t\")"},
        {{"V"}, "no column \"V\" (the frame has \"v\", \"t\")"},
        {{"t", "t", "x"}, "column \"t\" selected twice"},
    };
    for (const auto& c : cases) EXPECT_EQ(select(frame, c.names).error().message, c.message);
}

TEST(Slicing, AddingToADerivedFrameLeavesItsSourceAndSiblingsAlone) {
    const Frame source = five_rows();
    Frame first = head(source, 3);
    const Frame sibling = head(source, 3);
    ASSERT_TRUE(add_column(first, "w", int_cells({7, 8, 9})).ok());
    EXPECT_FALSE(first.selection);
    EXPECT_EQ(ints_of(first, "v"), (std::vector<Int>{10, std::nullopt, 12}));
    EXPECT_EQ(column_names(source), (std::vector<std::string>{"v", "t"}));
    EXPECT_EQ(column_names(sibling), (std::vector<std::string>{"v", "t"}));
    EXPECT_EQ(ints_of(sibling, "v"), (std::vector<Int>{10, std::nullopt, 12}));
    EXPECT_EQ(ints_of(source, "v"), (std::vector<Int>{10, std::nullopt, 12, 13, 14}));
}

TEST(Rename, GivesOneColumnANewNameAndSharesEverything) {
    const Frame frame = take_rows(five_rows(), {4, 0});
    const struct {
        const char* old_name;
        const char* new_name;
        std::vector<std::string> names;  // empty: the error below
        const char* error;
    } cases[] = {
        {"v", "w", {"w", "t"}, nullptr},
        {"t", "", {"v", ""}, nullptr},
        {"t", "t", {"v", "t"}, nullptr},
        {"v", "t", {}, "the frame has a column \"t\" already"},
        {"x", "t", {}, "no column \"x\" (the frame has \"v\", \"t\")"},
        {"x", "y", {}, "no column \"x\" (the frame has \"v\", \"t\")"},
    };
    for (const auto& c : cases) {
        const Result<Frame> renamed = rename(frame, c.old_name, c.new_name);
        if (c.error) {
            ASSERT_FALSE(renamed.ok()) << c.error;
            EXPECT_EQ(renamed.error().message, c.error);
            continue;
        }
        ASSERT_TRUE(renamed.ok()) << c.old_name;
        EXPECT_EQ(column_names(*renamed), c.names);
        EXPECT_EQ(renamed->selection.get(), frame.selection.get());
        EXPECT_EQ(renamed->columns[0].values.get(), frame.columns[0].values.get());
        EXPECT_EQ(column_names(frame), (std::vector<std::string>{"v", "t"})) << "the source keeps its names";
    }
}

}  // namespace
}  // namespace quorvel::engine
