#include "engine/grouping.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/group_keys.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using Groups = std::vector<std::vector<std::size_t>>;

// The groups as lists of logical rows, in group order.
Groups groups_of(const Grouping& grouping) {
    Groups groups(grouping.group_count());
    for (std::size_t r = 0; r < grouping.group_of_row.size(); ++r) groups.at(grouping.group_of_row[r]).push_back(r);
    return groups;
}

const double quiet_nan = std::numeric_limits<double>::quiet_NaN();
const double other_nan = std::bit_cast<double>(std::bit_cast<std::uint64_t>(quiet_nan) | 1);

// Null keys (which Python cannot make) and the key equality of the general path.
TEST(Group, RowsJoinTheGroupOfTheirKeyInOrderOfFirstAppearance) {
    const struct {
        const char* what;
        Frame frame;
        std::vector<std::string> keys;
        Groups groups;
    } cases[] = {
        {"i64 nulls", frame_of({{"k", int_cells({1, null, 1, null, 0})}}), {"k"}, {{0, 2}, {1, 3}, {4}}},
        {"null text, empty text", frame_of({{"k", text_cells({"", null, "", null})}}), {"k"}, {{0, 2}, {1, 3}}},
        {"f64 nulls and NaNs", frame_of({{"k", float_cells({quiet_nan, other_nan, quiet_nan, null})}}), {"k"},
         {{0, 2}, {1}, {3}}},
        {"two keys with nulls",
         frame_of({{"a", int_cells({1, 1, null, null, 1})}, {"b", text_cells({"x", null, "x", null, "x"})}}),
         {"a", "b"},
         {{0, 4}, {1}, {2}, {3}}},
        {"two keys, zeros and NaNs",
         frame_of({{"f", float_cells({0.0, -0.0, quiet_nan, other_nan, quiet_nan})},
                   {"t", text_cells({"a", "a", "a", "a", "a"})}}),
         {"t", "f"},
         {{0, 1}, {2, 4}, {3}}},
    };
    for (const auto& c : cases) {
        const Result<Grouping> grouping = group(c.frame, c.keys);
        ASSERT_TRUE(grouping.ok()) << c.what;
        EXPECT_EQ(groups_of(*grouping), c.groups) << c.what;
        for (std::size_t g = 0; g < c.groups.size(); ++g) {
            EXPECT_EQ(grouping->sizes[g], c.groups[g].size()) << c.what;
            EXPECT_EQ(grouping->first_rows[g], c.groups[g].front()) << c.what;
        }
    }
}

TEST(Group, FollowsTheLogicalRowsOfASelection) {
    const Frame source = frame_of({{"k", text_cells({"a", "b", "a", "c"})}});
    const Result<Grouping> grouping = group(take_rows(source, {3, 2, 1, 0, 2}), {"k"});
    ASSERT_TRUE(grouping.ok());
    EXPECT_EQ(groups_of(*grouping), (Groups{{0}, {1, 3, 4}, {2}}));
    EXPECT_EQ(grouping->first_rows, (RowList{3, 2, 1}));
}

// One key column has lookups of its own; a constant second key sends the same rows through
// the general path, which must give the same groups. Enough keys to make the tables grow
// through both of their load limits.
TEST(Group, OneKeyAndSeveralKeysAgree) {
    std::vector<std::optional<std::int64_t>> ints, same;
    std::vector<std::optional<double>> floats;
    std::vector<std::optional<std::string>> strings;
    std::uint64_t state = 12345;
    for (std::size_t r = 0; r < 300'000; ++r) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const std::uint64_t pick = (state >> 33) % 100'000;
        const bool is_null = pick % 991 == 0;
        ints.push_back(is_null ? null : std::optional<std::int64_t>(pick * 0x100000001));
        floats.push_back(is_null           ? null
                         : pick % 13 == 0 ? std::optional(pick % 2 ? -0.0 : 0.0)
                         : pick % 17 == 0 ? std::optional(pick % 2 ? quiet_nan : other_nan)
                                          : std::optional(static_cast<double>(pick) / 8));
        strings.push_back(is_null ? null : std::optional(std::string(pick % 41, 'k') + std::to_string(pick)));
        same.push_back(0);
    }
    const Frame frame = frame_of({{"i", int_cells(ints)}, {"f", float_cells(floats)}, {"s", text_cells(strings)}, {"same", int_cells(same)}});
    for (const std::string key : {"i", "f", "s"}) {
        const Result<Grouping> one = group(frame, {key});
        const Result<Grouping> two = group(frame, {key, "same"});
        ASSERT_TRUE(one.ok() && two.ok());
        EXPECT_GT(one->group_count(), 10'000u) << key;
        EXPECT_EQ(one->group_of_row, two->group_of_row) << key;
        EXPECT_EQ(one->first_rows, two->first_rows) << key;
    }
}

TEST(KeyFrame, HoldsEachGroupsFirstRowWithoutSelection) {
    const Frame source = frame_of({{"k", float_cells({-0.0, 1.0, 0.0, 1.0})}, {"s", text_cells({"p", null, "q", null})}});
    const Result<Grouping> grouping = group(take_rows(source, {1, 0, 2, 3}), {"s", "k"});
    ASSERT_TRUE(grouping.ok());
    const Frame keys = key_frame(*grouping);
    EXPECT_FALSE(keys.selection);
    EXPECT_EQ(column_names(keys), (std::vector<std::string>{"s", "k"}));
    EXPECT_EQ(cells_of(keys.columns[0].values->str()), (std::vector<std::optional<std::string>>{null, "p", "q"}));
    EXPECT_EQ(keys.columns[1].values->f64().values, (Buffer<double>{1.0, -0.0, 0.0}));
    EXPECT_EQ(key_frame(group(source, {}).value()).height, 1u);
}

TEST(GroupKeys, HashIsFnv1aOverTheKeyBytes) {
    using namespace group_keys;
    const auto fnv = [](std::string_view bytes) {
        std::uint64_t hash = hash_start;
        for (const char c : bytes) hash = hash_byte(hash, static_cast<std::uint8_t>(c));
        return hash;
    };
    EXPECT_EQ(fnv("foobar"), 0x85944171f73967e8u);  // a published test vector
    // Numbers little-endian, texts closed by 0xFF, a null one 0x00 byte, -0.0 as 0.0.
    EXPECT_EQ(hash_value(hash_start, std::int64_t{0x6261}), fnv(std::string("ab\0\0\0\0\0\0", 8)));
    EXPECT_EQ(hash_value(hash_start, std::string_view("ab")), fnv("ab\xff"));
    EXPECT_EQ(hash_null(hash_start), fnv(std::string(1, '\0')));
    EXPECT_EQ(hash_value(hash_start, -0.0), hash_value(hash_start, 0.0));
}

TEST(GroupKeys, SameTextSeesEveryByte) {
    for (std::size_t size = 0; size <= 40; ++size) {
        const std::string text(size, 'a');
        EXPECT_TRUE(group_keys::same_text(text, std::string(size, 'a'))) << size;
        EXPECT_FALSE(group_keys::same_text(text, text + "a")) << size;
        for (std::size_t at = 0; at < size; ++at) {
            std::string other = text;
            other[at] = 'b';
            EXPECT_FALSE(group_keys::same_text(text, other)) << size << " at " << at;
        }
    }
}

// Texts that differ in any byte or in length, short numbers among them, get different
// hashes (a table still compares the texts, but equal hashes would share a probe path),
// and the top bits, which index the tables, are spread evenly.
TEST(QuickHash, TellsTextsApartAndSpreadsTheTopBits) {
    std::unordered_set<std::string> texts;
    for (int i = 0; i < 200000; ++i) texts.insert(std::to_string(i));
    for (int i = 0; i < 65536; ++i) texts.insert({static_cast<char>(i & 0xFF), static_cast<char>(i >> 8)});
    for (std::size_t size = 3; size <= 40; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            std::string text(size, '0');
            text[at] = 'x';
            texts.insert(text);
        }
    }
    std::unordered_set<std::uint64_t> hashes;
    std::vector<std::size_t> buckets(1 << 12);
    for (const std::string& text : texts) {
        const std::uint64_t hash = quick_hash(std::string_view(text));
        EXPECT_TRUE(hashes.insert(hash).second) << "\"" << text << "\" (" << text.size() << " bytes)";
        ++buckets[hash >> 52];
    }
    const double mean = static_cast<double>(texts.size()) / static_cast<double>(buckets.size());
    EXPECT_LT(static_cast<double>(*std::max_element(buckets.begin(), buckets.end())), 1.5 * mean);
}

// The first row of each distinct key, in order of first appearance, told apart as groups.
TEST(Unique, KeepsTheFirstRowOfEachKey) {
    const Frame frame = frame_of({
        {"k", int_cells({2, null, 2, 1, null, 1})},
        {"f", float_cells({0.0, quiet_nan, -0.0, other_nan, quiet_nan, 0.0})},
        {"t", text_cells({"a", "b", "a", null, "b", null})},
    });
    const struct {
        std::vector<std::string> names;
        std::vector<std::uint32_t> rows;
    } cases[] = {
        {{"k"}, {0, 1, 3}},
        {{"f"}, {0, 1, 3}},
        {{"t"}, {0, 1, 3}},
        {{"t", "k"}, {0, 1, 3}},
        {{"k", "f"}, {0, 1, 3, 5}},
        {{}, {0, 1, 3, 5}},
    };
    for (const auto& c : cases) {
        const Result<Frame> result = unique(frame, c.names);
        ASSERT_TRUE(result.ok()) << ::testing::PrintToString(c.names);
        EXPECT_EQ(rows_of(*result), c.rows) << ::testing::PrintToString(c.names);
        EXPECT_EQ(result->columns.size(), 3u);
        EXPECT_EQ(result->columns[2].values.get(), frame.columns[2].values.get()) << "shares the columns";
    }
    EXPECT_EQ(rows_of(*unique(take_rows(frame, {5, 4, 3, 2, 1, 0}), {"k"})), (std::vector<std::uint32_t>{5, 4, 2}));
    EXPECT_EQ(unique(frame, {"t", "t"}).error().message, "column \"t\" selected twice");
    EXPECT_EQ(unique(frame, {"x"}).error().message, "no column \"x\" (the frame has \"k\", \"f\", \"t\")");
    EXPECT_EQ(unique(select(frame, {}).value(), {})->height, 1u) << "rows of no columns are all alike";
}

}  // namespace
}  // namespace quorvel::engine
