#include "engine/concatenation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;

Frame three_columns(std::vector<Int> n, std::vector<Text> t, std::vector<Float> x) {
    return frame_of({{"n", int_cells(n)}, {"t", text_cells(t)}, {"x", float_cells(x)}});
}

TEST(Concat, PutsTheOtherFramesRowsAfterTheFramesRows) {
    const Frame first = three_columns({1, null, 3}, {"a", "bb", null}, {0.5, null, -1.0});
    const Frame second = three_columns({null, 5}, {"", "e"}, {2.5, 3.5});
    const struct {
        const char* what;
        Frame frame;
        Frame other;
        std::vector<Int> n;
        std::vector<Text> t;
        std::vector<Float> x;
    } cases[] = {
        {"whole frames", first, second, {1, null, 3, null, 5}, {"a", "bb", null, "", "e"}, {0.5, null, -1.0, 2.5, 3.5}},
        {"selections", take_rows(first, {2, 0}), take_rows(second, {1}), {3, 1, 5}, {null, "a", "e"}, {-1.0, 0.5, 3.5}},
        {"a frame with itself", second, second, {null, 5, null, 5}, {"", "e", "", "e"}, {2.5, 3.5, 2.5, 3.5}},
        {"no rows first", head(first, 0), second, {null, 5}, {"", "e"}, {2.5, 3.5}},
        {"no rows after", first, tail(second, 0), {1, null, 3}, {"a", "bb", null}, {0.5, null, -1.0}},
    };
    for (const auto& c : cases) {
        const Result<Frame> both = concat(c.frame, c.other);
        ASSERT_TRUE(both.ok()) << c.what;
        EXPECT_EQ(column_names(*both), (std::vector<std::string>{"n", "t", "x"})) << c.what;
        EXPECT_EQ(ints_of(*both, "n"), c.n) << c.what;
        EXPECT_EQ(texts_of(*both, "t"), c.t) << c.what;
        EXPECT_EQ(floats_of(*both, "x"), c.x) << c.what;
    }
}

TEST(Concat, SharesColumnsWhereItCan) {
    const Frame frame = three_columns({1, 2, 3, 4}, {"a", "b", "c", "d"}, {1, 2, 3, 4});
    const Frame other = three_columns({5}, {"e"}, {5});
    const Result<Frame> pieces = concat(tail(frame, 2), head(frame, 1));
    ASSERT_TRUE(pieces.ok());
    EXPECT_EQ(pieces->columns[1].values.get(), frame.columns[1].values.get()) << "slices of one frame";
    EXPECT_EQ(rows_of(*pieces), (std::vector<std::uint32_t>{2, 3, 0}));
    EXPECT_EQ(concat(frame, head(other, 0))->columns[0].values.get(), frame.columns[0].values.get());
    const Result<Frame> written = concat(frame, other);
    EXPECT_FALSE(written->selection);
    EXPECT_NE(written->columns[0].values.get(), frame.columns[0].values.get());
    const Frame no_columns = select(frame, {}).value();
    const Result<Frame> heights = concat(no_columns, select(other, {}).value());
    ASSERT_TRUE(heights.ok());
    EXPECT_EQ(heights->height, 5u) << "frames without columns still add their rows";
}

TEST(Concat, NamesTheFirstDifference) {
    const Frame frame = three_columns({1}, {"a"}, {1.0});
    const struct {
        Frame other;
        const char* message;
    } cases[] = {
        {frame_of({{"n", int_cells({1})}, {"u", text_cells({"a"})}, {"x", float_cells({1.0})}}),
         "column 1 is \"t\" in this frame and \"u\" in the other frame"},
        {frame_of({{"n", int_cells({1})}, {"t", int_cells({1})}, {"y", int_cells({1})}}),
         "column \"t\" is str in this frame and i64 in the other frame"},
        {frame_of({{"n", int_cells({1})}, {"t", text_cells({"a"})}}),
         "column 2 is \"x\" in this frame; the other frame has 2 columns"},
        {frame_of({{"n", int_cells({1})}, {"t", text_cells({"a"})}, {"x", float_cells({1.0})}, {"z", int_cells({1})}}),
         "column 3 is \"z\" in the other frame; this frame has 3 columns"},
        {frame_of({{"n", int_cells({1})}}), "column 1 is \"t\" in this frame; the other frame has 1 column"},
        {Frame{}, "column 0 is \"n\" in this frame; the other frame has 0 columns"},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = concat(frame, c.other);
        ASSERT_FALSE(result.ok()) << c.message;
        EXPECT_EQ(result.error().message, c.message);
    }
}

}  // namespace
}  // namespace quorvel::engine
