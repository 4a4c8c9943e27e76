#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/date_parts.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;

Frame dates(const std::vector<Text>& texts) { return frame_of("d", text_cells(texts)); }

// {year, month, day} of one text, or nothing when it is refused.
std::optional<std::vector<Int>> parts_of(const std::string& text) {
    Frame frame = dates({text});
    for (const char* part : {"year", "month", "day"}) {
        const Result<void> added = add_date_part(frame, part, "d", part);
        if (!added) return std::nullopt;
    }
    return std::vector<Int>{ints_of(frame, "year")[0], ints_of(frame, "month")[0], ints_of(frame, "day")[0]};
}

TEST(DateParts, AcceptsRealCalendarDaysOnly) {
    const struct {
        std::string text;
        std::vector<Int> parts;  // empty: refused
    } cases[] = {
        {"2024-02-29", {2024, 2, 29}}, {"2000-02-29", {2000, 2, 29}}, {"2023-02-29", {}}, {"1900-02-29", {}},
        {"2023-02-28", {2023, 2, 28}}, {"0000-01-01", {}},             {"0001-01-01", {1, 1, 1}},
        {"9999-12-31", {9999, 12, 31}}, {"2024-04-31", {}},            {"2024-04-30", {2024, 4, 30}},
        {"2024-13-01", {}},             {"2024-00-10", {}},            {"2024-01-00", {}},
        {"2024-01-32", {}},             {"2024-12-31", {2024, 12, 31}}, {"1600-02-29", {1600, 2, 29}},
        {"2024-1-05", {}},              {"2024/01/05", {}},            {"2024-01-05 ", {}},
        {"2024-01-05T10:00", {}},       {"", {}},                      {"+024-01-05", {}},
        {"2024-01-\xd9\xa5", {}},       {"２０２４-01-05", {}},          {"2024:01:05", {}},
    };
    for (const auto& c : cases) {
        const auto parts = parts_of(c.text);
        if (c.parts.empty()) {
            EXPECT_FALSE(parts) << c.text;
        } else {
            EXPECT_EQ(parts, c.parts) << c.text;
        }
    }
}

// Every byte value at every position of a valid date, against a plain byte-by-byte reading
// of the layout: the word-wide checks must accept exactly the same texts.
TEST(DateParts, WordChecksAgreeWithTheLayoutForEveryByte) {
    const std::string valid = "2016-12-28";
    for (std::size_t at = 0; at < valid.size(); ++at) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string text = valid;
            text[at] = static_cast<char>(byte);
            const bool dash_place = at == 4 || at == 7;
            const bool fits = dash_place ? byte == '-' : byte >= '0' && byte <= '9';
            // A digit in these places can still make a day that does not exist.
            const bool real = !(at == 5 && byte > '1') && !(at == 6 && byte > '2') && !(at == 8 && byte > '2');
            EXPECT_EQ(parts_of(text).has_value(), fits && real) << "byte " << byte << " at " << at;
        }
    }
}

TEST(DateParts, ChecksInOrderAndNamesTheFirstBadRow) {
    Frame frame = dates({"2024-01-05", "2023-02-29", "bad"});
    ASSERT_TRUE(add_column(frame, "n", int_cells({1, 2, 3})).ok());
    const struct {
        std::string name, source, part, message;
    } cases[] = {
        {"y", "nowhere", "Year", "part \"Year\": give \"year\", \"month\" or \"day\""},
        {"y", "nowhere", "", "part \"\": give \"year\", \"month\" or \"day\""},
        {"y", "nowhere", "year", "no column \"nowhere\" (the frame has \"d\", \"n\")"},
        {"y", "n", "day", "column \"n\" is i64, not str"},
        {"n", "d", "month", "column \"d\", row 1: \"2023-02-29\" is not a YYYY-MM-DD date"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(add_date_part(frame, c.name, c.source, c.part).error().message, c.message);
        EXPECT_EQ(column_names(frame), (std::vector<std::string>{"d", "n"}));
    }
    Frame floats = frame_of("f", float_cells({1.0}));
    EXPECT_EQ(add_date_part(floats, "y", "f", "year").error().message, "column \"f\" is f64, not str");

    Frame good = dates({"2024-01-05", std::nullopt});
    EXPECT_EQ(add_date_part(good, "d", "d", "day").error().message, "the frame has a column \"d\" already");
    Frame quoted = dates({"2024-01-05\n"});
    EXPECT_EQ(add_date_part(quoted, "y", "d", "year").error().message,
              "column \"d\", row 0: \"2024-01-05\\n\" is not a YYYY-MM-DD date");
}

TEST(DateParts, FollowsTheFramesRowsAndNulls) {
    const Frame source = dates({"2021-03-04", std::nullopt, "1999-12-31", "2020-02-29", "bad"});
    Frame sorted_rows = *sort(head(source, 4), "d", true);
    ASSERT_TRUE(add_date_part(sorted_rows, "m", "d", "month").ok());
    EXPECT_FALSE(sorted_rows.selection);
    EXPECT_EQ(ints_of(sorted_rows, "m"), (std::vector<Int>{3, 2, 12, std::nullopt}));
    EXPECT_EQ(column_names(source), (std::vector<std::string>{"d"}));

    Frame reversed = take_rows(source, {4, 3, 2, 1, 0});
    const SelectionRef before = reversed.selection;
    EXPECT_EQ(add_date_part(reversed, "y", "d", "year").error().message,
              "column \"d\", row 0: \"bad\" is not a YYYY-MM-DD date");
    EXPECT_EQ(reversed.selection.get(), before.get()) << "a failed add leaves the frame as it was";

    Frame empty = dates({});
    ASSERT_TRUE(add_date_part(empty, "y", "d", "year").ok());
    EXPECT_EQ(column_dtypes(empty), (std::vector<std::string>{"str", "i64"}));
    EXPECT_EQ(empty.height, 0u);
}

}  // namespace
}  // namespace quorvel::engine
