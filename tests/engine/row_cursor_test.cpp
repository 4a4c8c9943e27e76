#include "engine/row_cursor.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Visits = std::vector<std::pair<std::size_t, std::size_t>>;

// A column of `rows` integers 0, 1, 2, ... with a null wherever `is_null(row)` holds.
template <class IsNull>
Frame numbered(std::size_t rows, IsNull is_null) {
    std::vector<Int> cells;
    for (std::size_t r = 0; r < rows; ++r) cells.push_back(is_null(r) ? Int{} : Int{static_cast<std::int64_t>(r)});
    return frame_of("n", int_cells(cells));
}

Visits all_visits(const RowCursor& rows) {
    Visits visits;
    rows.for_each([&](std::size_t r, std::size_t p) { visits.emplace_back(r, p); });
    return visits;
}

// Every (logical, physical) row of a frame, read through its selection the plain way.
Visits expected_visits(const Frame& frame, bool present_only) {
    const I64Cells& cells = frame.columns.front().values->i64();
    Visits visits;
    for (std::size_t r = 0; r < frame.height; ++r) {
        const std::size_t p = frame.physical_row(r);
        if (!present_only || cells.is_present(p)) visits.emplace_back(r, p);
    }
    return visits;
}

TEST(RowCursor, VisitsLogicalRowsInOrderWithTheirPhysicalRows) {
    const Frame plain = numbered(5, [](std::size_t) { return false; });
    EXPECT_EQ(all_visits(RowCursor(plain)), (Visits{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    const Frame picked = take_rows(plain, {4, 0, 4});
    EXPECT_EQ(all_visits(RowCursor(picked)), (Visits{{0, 4}, {1, 0}, {2, 4}}));
    const std::vector<std::uint32_t> list = {3, 1};
    EXPECT_EQ(all_visits(RowCursor(list)), (Visits{{0, 3}, {1, 1}}));
    EXPECT_EQ(all_visits(RowCursor(Frame{})), Visits{});
}

TEST(RowCursor, AVisitThatReturnsFalseEndsTheWalk) {
    const Frame frame = numbered(10, [](std::size_t) { return false; });
    for (const Frame& walked : {frame, take_rows(frame, {9, 8, 7, 6, 5})}) {
        Visits visits;
        const bool finished = RowCursor(walked).for_each([&](std::size_t r, std::size_t p) {
            visits.emplace_back(r, p);
            return r < 2;
        });
        EXPECT_FALSE(finished);
        const Visits expected = expected_visits(walked, false);
        EXPECT_EQ(visits, Visits(expected.begin(), expected.begin() + 3));
        EXPECT_TRUE(RowCursor(walked).for_each([](std::size_t, std::uint32_t) { return true; }));
    }
}

TEST(RowCursor, BlocksEndAfterEveryBlockAndTheLastShorter) {
    const Frame frame = numbered(7, [](std::size_t) { return false; });
    for (const Frame& walked : {frame, take_rows(frame, {6, 5, 4, 3, 2, 1, 0})}) {
        Visits visits;
        std::vector<std::size_t> blocks;
        std::size_t in_block = 0;
        RowCursor(walked).for_each_block<3>(
            [&](std::size_t r, std::size_t p) {
                visits.emplace_back(r, p);
                ++in_block;
            },
            [&] { blocks.push_back(std::exchange(in_block, 0)); });
        EXPECT_EQ(visits, expected_visits(walked, false));
        EXPECT_EQ(blocks, (std::vector<std::size_t>{3, 3, 1}));
    }
}

// Present rows are read a word of flags at a time without a selection: whole words present,
// whole words null, mixed words, and a last word cut short.
TEST(RowCursor, PresentRowsSkipTheNulls) {
    const auto cases = {
        numbered(200, [](std::size_t r) { return r >= 64 && r < 128; }),
        numbered(130, [](std::size_t r) { return r % 7 == 3 || r == 129; }),
        numbered(70, [](std::size_t r) { return r == 0 || r == 63 || r == 64; }),
        numbered(3, [](std::size_t) { return false; }),
    };
    for (const Frame& frame : cases) {
        RowList reversed;
        for (std::size_t r = frame.height; r-- > 0;) reversed.push_back(static_cast<std::uint32_t>(r));
        for (const Frame& walked : {frame, take_rows(frame, reversed)}) {
            const Validity& validity = walked.columns.front().values->i64().validity;
            Visits visits;
            EXPECT_TRUE(RowCursor(walked).for_each_present(
                validity, [&](std::size_t r, std::size_t p) { visits.emplace_back(r, p); }));
            EXPECT_EQ(visits, expected_visits(walked, true)) << walked.height;
        }
    }
}

// A walk cut into stretches anywhere (inside words of flags too) visits what the whole walk
// visits, in order, with the same logical rows; every walk of a stretch stays inside it.
TEST(RowCursor, StretchesTogetherMakeTheWholeWalk) {
    const Frame frame = numbered(300, [](std::size_t r) { return r % 5 == 1 || (r >= 128 && r < 192); });
    RowList shuffled;
    for (std::size_t r = 0; r < frame.height; ++r) shuffled.push_back(static_cast<std::uint32_t>(r * 7 % 300));
    const std::vector<std::vector<std::size_t>> cuts = {{0, 300}, {0, 64, 128, 300}, {0, 1, 63, 65, 130, 299, 300}};
    for (const Frame& walked : {frame, take_rows(frame, shuffled)}) {
        const Validity& validity = walked.columns.front().values->i64().validity;
        const RowCursor whole(walked);
        for (const std::vector<std::size_t>& cut : cuts) {
            Visits all, present, blocks;
            for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
                const RowCursor part = whole.stretch(cut[i], cut[i + 1]);
                EXPECT_EQ(part.size(), walked.height);
                part.for_each([&](std::size_t r, std::size_t p) { all.emplace_back(r, p); });
                part.for_each_present(validity, [&](std::size_t r, std::size_t p) { present.emplace_back(r, p); });
                part.for_each_block<16>([&](std::size_t r, std::size_t p) { blocks.emplace_back(r, p); }, [] {});
            }
            EXPECT_EQ(all, expected_visits(walked, false)) << cut.size();
            EXPECT_EQ(present, expected_visits(walked, true)) << cut.size();
            EXPECT_EQ(blocks, all) << cut.size();
        }
    }
}

TEST(GatherRows, TakesTheListedRowsWithTheirNulls) {
    const Frame frame = frame_of("t", text_cells({"a", std::nullopt, "", "dd"}));
    const std::vector<std::uint32_t> rows = {3, 1, 3, 0, 2};
    const ValuesRef gathered = gather_rows(*frame.columns.front().values, rows);
    EXPECT_EQ(texts_of(frame_of("t", gathered->str()), "t"), (std::vector<Text>{"dd", std::nullopt, "dd", "a", ""}));
    EXPECT_EQ(gather_rows(*frame.columns.front().values, {})->length(), 0u);
}

}  // namespace
}  // namespace quorvel::engine
