#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "csv/writer.hpp"
#include "engine/aggregations.hpp"
#include "engine/date_parts.hpp"
#include "engine/filters.hpp"
#include "engine/grouping.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using csv::to_csv;

// Reads through a long shuffled selection ask for cells rows ahead of the one they read;
// these tests hold every such read to what the same rows give when laid out in that order,
// near the selection's end too, with nulls, empty texts and a column of empty texts only
// (whose byte buffer may have no storage at all).
constexpr std::size_t rows = 300;

struct Columns {
    std::vector<Int> n;
    std::vector<Float> x;
    std::vector<Text> city;
    std::vector<Text> blank;
    std::vector<Text> day;
};

Frame frame_of_columns(const Columns& c) {
    Frame frame;
    EXPECT_TRUE(add_column(frame, "n", int_cells(c.n)).ok());
    EXPECT_TRUE(add_column(frame, "x", float_cells(c.x)).ok());
    EXPECT_TRUE(add_column(frame, "city", text_cells(c.city)).ok());
    EXPECT_TRUE(add_column(frame, "blank", text_cells(c.blank)).ok());
    EXPECT_TRUE(add_column(frame, "day", text_cells(c.day)).ok());
    return frame;
}

// The shuffled frame, and the same rows laid out in their shuffled order.
struct Shuffled {
    Frame selected;
    Frame laid_out;
};

Shuffled shuffled() {
    std::mt19937_64 random(11);
    Columns source;
    for (std::size_t i = 0; i < rows; ++i) {
        const bool null = random() % 7 == 0;
        source.n.push_back(null ? Int{} : Int{static_cast<std::int64_t>(random() % 1000) - 500});
        source.x.push_back(random() % 9 == 0 ? Float{} : Float{static_cast<double>(random() % 1000) / 8});
        source.city.push_back(null ? Text{} : Text{i % 5 == 0 ? "" : "city" + std::to_string(random() % 12)});
        source.blank.push_back(random() % 3 == 0 ? Text{} : Text{""});
        source.day.push_back(Text{std::to_string(1990 + random() % 30) + "-0" + std::to_string(1 + random() % 9) + "-1" +
                                  std::to_string(random() % 9)});
    }
    RowList order(rows);
    for (std::uint32_t i = 0; i < rows; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);

    Columns in_order;
    for (const std::uint32_t row : order) {
        in_order.n.push_back(source.n[row]);
        in_order.x.push_back(source.x[row]);
        in_order.city.push_back(source.city[row]);
        in_order.blank.push_back(source.blank[row]);
        in_order.day.push_back(source.day[row]);
    }
    return {take_rows(frame_of_columns(source), order), frame_of_columns(in_order)};
}

std::string csv(const Frame& frame) { return std::string(to_csv(frame).view()); }

TEST(ShuffledSelection, WritesOutAndWritesTextAsLaidOut) {
    const Shuffled frames = shuffled();
    ASSERT_TRUE(frames.selected.selection);
    const Frame written = materialize(frames.selected);
    EXPECT_FALSE(written.selection);
    EXPECT_EQ(csv(written), csv(frames.laid_out));
    EXPECT_EQ(csv(frames.selected), csv(frames.laid_out));
}

TEST(ShuffledSelection, DatePartsAsLaidOut) {
    const Shuffled frames = shuffled();
    for (const DatePart part : {DatePart::year, DatePart::month, DatePart::day}) {
        const Result<I64Cells> selected = date_part_cells(frames.selected, "day", part);
        const Result<I64Cells> laid_out = date_part_cells(frames.laid_out, "day", part);
        ASSERT_TRUE(selected.ok() && laid_out.ok());
        EXPECT_EQ(selected->values, laid_out->values);
    }
}

TEST(ShuffledSelection, FiltersAndSortsAsLaidOut) {
    const Shuffled frames = shuffled();
    for (const char* column : {"n", "x"}) {
        for (const CompareOp op : {CompareOp::Lt, CompareOp::Ne}) {
            const Result<Frame> selected = filter_compare(frames.selected, column, op, 20.0);
            const Result<Frame> laid_out = filter_compare(frames.laid_out, column, op, 20.0);
            ASSERT_TRUE(selected.ok() && laid_out.ok());
            EXPECT_EQ(csv(*selected), csv(*laid_out)) << column;
        }
    }
    // Short lists are scanned, long ones looked up in a hash set.
    for (const std::vector<std::string>& texts : {std::vector<std::string>{"city3", ""},
                                                  std::vector<std::string>(30, "city7")}) {
        const Result<Frame> selected = filter_in(frames.selected, "city", texts);
        const Result<Frame> laid_out = filter_in(frames.laid_out, "city", texts);
        ASSERT_TRUE(selected.ok() && laid_out.ok());
        EXPECT_EQ(csv(*selected), csv(*laid_out));
    }
    for (const TextPlace place : {TextPlace::Start, TextPlace::End, TextPlace::Anywhere}) {
        const Result<Frame> selected = filter_text(frames.selected, "city", place, "1");
        const Result<Frame> laid_out = filter_text(frames.laid_out, "city", place, "1");
        ASSERT_TRUE(selected.ok() && laid_out.ok());
        EXPECT_EQ(csv(*selected), csv(*laid_out));
    }
    for (const char* column : {"n", "blank"}) {
        const Result<Frame> selected = filter_null(frames.selected, column);
        const Result<Frame> laid_out = filter_null(frames.laid_out, column);
        ASSERT_TRUE(selected.ok() && laid_out.ok());
        EXPECT_EQ(csv(*selected), csv(*laid_out));
    }
    const Result<Frame> among = filter_among(frames.selected, "n", std::vector<double>{-3.0, 7.0, 100.0});
    const Result<Frame> among_laid_out = filter_among(frames.laid_out, "n", std::vector<double>{-3.0, 7.0, 100.0});
    ASSERT_TRUE(among.ok() && among_laid_out.ok());
    EXPECT_EQ(csv(*among), csv(*among_laid_out));
    for (const char* column : {"n", "x", "city", "blank"}) {
        for (const bool descending : {false, true}) {
            const Result<Frame> selected = sort(frames.selected, column, descending);
            const Result<Frame> laid_out = sort(frames.laid_out, column, descending);
            ASSERT_TRUE(selected.ok() && laid_out.ok());
            EXPECT_EQ(csv(*selected), csv(*laid_out)) << column << " " << descending;
        }
    }
}

TEST(ShuffledSelection, GroupsAndAggregatesAsLaidOut) {
    const Shuffled frames = shuffled();
    for (const char* key : {"city", "blank", "n", "x"}) {
        const Result<Grouping> selected = group(frames.selected, {key});
        const Result<Grouping> laid_out = group(frames.laid_out, {key});
        ASSERT_TRUE(selected.ok() && laid_out.ok());
        EXPECT_EQ(selected->group_of_row, laid_out->group_of_row) << key;
        EXPECT_EQ(csv(key_frame(*selected)), csv(key_frame(*laid_out))) << key;
        for (std::size_t aggregation = 0; aggregation < aggregates::count; ++aggregation) {
            for (const char* column : {"n", "x", "city"}) {
                const Result<Frame> a = aggregate(*selected, column, aggregation);
                const Result<Frame> b = aggregate(*laid_out, column, aggregation);
                ASSERT_EQ(a.ok(), b.ok()) << key << " " << column;
                if (a.ok()) {
                    EXPECT_EQ(csv(*a), csv(*b)) << key << " " << column;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::engine
