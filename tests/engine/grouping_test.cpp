#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/group_keys.hpp"
#include "engine/grouping.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

constexpr std::nullopt_t null = std::nullopt;

// Columns written as lists of optional values; nullopt is a null cell.
template <class T>
NumberCells<T> numbers(const std::vector<std::optional<T>>& cells) {
    NumberCells<T> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.values.push_back(cells[r].value_or(T{}));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

StrCells texts(const std::vector<std::optional<std::string>>& cells) {
    StrCells out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells[r].value_or(""));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) EXPECT_TRUE(add_column(frame, name, std::move(cells)).ok()) << name;
    return frame;
}

// The groups as lists of logical rows, in group order.
std::vector<std::vector<std::size_t>> groups_of(const Grouping& grouping) {
    std::vector<std::vector<std::size_t>> groups(grouping.group_count());
    for (std::size_t r = 0; r < grouping.group_of_row.size(); ++r) groups.at(grouping.group_of_row[r]).push_back(r);
    return groups;
}

using Groups = std::vector<std::vector<std::size_t>>;

const double quiet_nan = std::numeric_limits<double>::quiet_NaN();
const double other_nan = std::bit_cast<double>(std::bit_cast<std::uint64_t>(quiet_nan) | 1);

TEST(Group, RowsJoinTheGroupOfTheirKeyInOrderOfFirstAppearance) {
    const struct {
        const char* what;
        Frame frame;
        std::vector<std::string> keys;
        Groups groups;
    } cases[] = {
        {"text keys", frame_of({{"k", texts({"b", "a", "b", "c", "a"})}}), {"k"}, {{0, 2}, {1, 4}, {3}}},
        {"no rows", frame_of({{"k", texts({})}}), {"k"}, {}},
        {"no keys", frame_of({{"k", texts({"b", "a", "b"})}}), {}, {{0, 1, 2}}},
        {"no keys, no rows", frame_of({{"k", texts({})}}), {}, {}},
        {"i64 nulls form their own group", frame_of({{"k", numbers<std::int64_t>({1, null, 1, null, 0})}}), {"k"},
         {{0, 2}, {1, 3}, {4}}},
        {"a null is not the empty text", frame_of({{"k", texts({"", null, "", null})}}), {"k"}, {{0, 2}, {1, 3}}},
        {"0.0 equals -0.0", frame_of({{"k", numbers<double>({0.0, -0.0, 1.0, -0.0})}}), {"k"}, {{0, 1, 3}, {2}}},
        {"NaNs by their bits", frame_of({{"k", numbers<double>({quiet_nan, other_nan, quiet_nan, null})}}), {"k"},
         {{0, 2}, {1}, {3}}},
        {"two keys, nulls in either",
         frame_of({{"a", numbers<std::int64_t>({1, 1, null, null, 1})}, {"b", texts({"x", null, "x", null, "x"})}}),
         {"a", "b"},
         {{0, 4}, {1}, {2}, {3}}},
        {"text boundaries between key columns", frame_of({{"a", texts({"a", "ab", "a"})}, {"b", texts({"bc", "c", "bc"})}}),
         {"a", "b"},
         {{0, 2}, {1}}},
        {"0.0, -0.0 and NaN over two keys",
         frame_of({{"f", numbers<double>({0.0, -0.0, quiet_nan, other_nan, quiet_nan})},
                   {"i", numbers<std::int64_t>({7, 7, 7, 7, 7})}}),
         {"i", "f"},
         {{0, 1}, {2, 4}, {3}}},
    };
    for (const auto& c : cases) {
        const Result<Grouping> grouping = group(c.frame, c.keys);
        ASSERT_TRUE(grouping.ok()) << c.what;
        EXPECT_EQ(groups_of(*grouping), c.groups) << c.what;
        EXPECT_EQ(grouping->keys, c.keys) << c.what;
        for (std::size_t g = 0; g < c.groups.size(); ++g) {
            EXPECT_EQ(grouping->sizes[g], c.groups[g].size()) << c.what;
            EXPECT_EQ(grouping->first_rows[g], c.groups[g].front()) << c.what;
        }
    }
}

TEST(Group, ResolvesNamesAsSelectDoes) {
    const Frame frame = frame_of({{"a", texts({"x"})}, {"b", numbers<double>({1.0})}});
    const struct {
        std::vector<std::string> keys;
        std::string error;
    } cases[] = {
        {{"a", "a"}, "column \"a\" selected twice"},
        {{"a", "x"}, "no column \"x\" (the frame has \"a\", \"b\")"},
        {{"a", "x", "a"}, "no column \"x\" (the frame has \"a\", \"b\")"},
        {{"b", "A"}, "no column \"A\" (the frame has \"a\", \"b\")"},
    };
    for (const auto& c : cases) EXPECT_EQ(group(frame, c.keys).error().message, c.error);
    EXPECT_EQ(group(Frame{}, {"k"}).error().message, "no column \"k\" (the frame has none)");
}

TEST(Group, FollowsTheLogicalRowsOfASelection) {
    const Frame source = frame_of({{"k", texts({"a", "b", "a", "c"})}});
    const Result<Grouping> grouping = group(take_rows(source, {3, 2, 1, 0, 2}), {"k"});
    ASSERT_TRUE(grouping.ok());
    EXPECT_EQ(groups_of(*grouping), (Groups{{0}, {1, 3, 4}, {2}}));
    EXPECT_EQ(grouping->first_rows, (std::vector<std::uint32_t>{3, 2, 1}));
}

TEST(Group, KeepsASnapshotOfTheSource) {
    Frame source = frame_of({{"k", numbers<std::int64_t>({1, 2})}});
    const Result<Grouping> grouping = group(source, {"k"});
    ASSERT_TRUE(grouping.ok());
    ASSERT_TRUE(add_column(source, "later", numbers<std::int64_t>({5, 6})).ok());
    EXPECT_EQ(grouping->frame.columns.size(), 1u);
    EXPECT_EQ(grouping->frame.columns[0].values.get(), source.columns[0].values.get()) << "values are shared";
}

// A single key column takes a lookup of its own; adding a constant second key must not
// change the groups, since that goes through the general path. Enough distinct keys to
// make the tables grow well past their first sizes.
TEST(Group, OneKeyAndSeveralKeysAgree) {
    const std::size_t rows = 300'000;
    std::vector<std::optional<std::int64_t>> ints;
    std::vector<std::optional<double>> floats;
    std::vector<std::optional<std::string>> strings;
    std::uint64_t state = 12345;
    for (std::size_t r = 0; r < rows; ++r) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const std::uint64_t pick = (state >> 33) % 100'000;
        ints.push_back(pick % 997 == 0 ? std::nullopt : std::optional<std::int64_t>(pick * 0x100000001));
        floats.push_back(pick % 991 == 0   ? std::nullopt
                         : pick % 13 == 0  ? std::optional<double>(pick % 2 ? -0.0 : 0.0)
                         : pick % 17 == 0  ? std::optional<double>(pick % 2 ? quiet_nan : other_nan)
                                           : std::optional<double>(static_cast<double>(pick) / 8));
        strings.push_back(pick % 983 == 0 ? std::nullopt
                                          : std::optional<std::string>(std::string(pick % 41, 'k') + std::to_string(pick)));
    }
    const Frame frame = frame_of({{"i", numbers(ints)},
                                  {"f", numbers(floats)},
                                  {"s", texts(strings)},
                                  {"same", numbers<std::int64_t>(std::vector<std::optional<std::int64_t>>(rows, 0))}});
    for (const std::string key : {"i", "f", "s"}) {
        const Result<Grouping> one = group(frame, {key});
        const Result<Grouping> two = group(frame, {key, "same"});
        ASSERT_TRUE(one.ok() && two.ok());
        EXPECT_GT(one->group_count(), 10'000u) << key;
        EXPECT_EQ(one->group_of_row, two->group_of_row) << key;
        EXPECT_EQ(one->first_rows, two->first_rows) << key;
        EXPECT_EQ(one->sizes, two->sizes) << key;
    }
}

TEST(KeyFrame, HoldsTheFirstRowOfEachGroupWithoutSelection) {
    const Frame source =
        frame_of({{"k", numbers<double>({-0.0, 1.0, 0.0, 1.0})}, {"s", texts({"p", null, "q", "r"})}});
    const Frame reordered = take_rows(source, {1, 0, 2, 3});

    const Result<Grouping> by_k = group(reordered, {"k"});
    ASSERT_TRUE(by_k.ok());
    const Frame k = key_frame(*by_k);
    EXPECT_FALSE(k.selection);
    ASSERT_EQ(column_names(k), (std::vector<std::string>{"k"}));
    ASSERT_EQ(k.columns[0].values->f64().values, (std::vector<double>{1.0, -0.0}));
    EXPECT_TRUE(std::signbit(k.columns[0].values->f64().values[1])) << "the sign of the group's first row";

    const Result<Grouping> by_s_k = group(reordered, {"s", "k"});
    ASSERT_TRUE(by_s_k.ok());
    const Frame s_k = key_frame(*by_s_k);
    EXPECT_EQ(s_k.height, 4u);
    ASSERT_EQ(column_names(s_k), (std::vector<std::string>{"s", "k"}));
    EXPECT_FALSE(s_k.columns[0].values->str().is_present(0));
    EXPECT_EQ(s_k.columns[0].values->str().at(1), "p");

    const Result<Grouping> by_nothing = group(source, {});
    ASSERT_TRUE(by_nothing.ok());
    EXPECT_EQ(key_frame(*by_nothing).columns.size(), 0u);
    EXPECT_EQ(key_frame(*by_nothing).height, 1u);
}

TEST(GroupKeys, HashIsFnv1aOverTheKeyBytes) {
    using namespace group_keys;
    // Published FNV-1a 64 test vectors.
    const auto fnv = [](std::string_view bytes) {
        std::uint64_t hash = hash_start;
        for (const char c : bytes) hash = hash_byte(hash, static_cast<std::uint8_t>(c));
        return hash;
    };
    EXPECT_EQ(fnv(""), 0xcbf29ce484222325u);
    EXPECT_EQ(fnv("a"), 0xaf63dc4c8601ec8cu);
    EXPECT_EQ(fnv("foobar"), 0x85944171f73967e8u);
    // Numbers little-endian, texts closed by 0xFF, nulls one 0x00 byte.
    EXPECT_EQ(hash_value(hash_start, std::int64_t{0x6261}), fnv(std::string("ab\0\0\0\0\0\0", 8)));
    EXPECT_EQ(hash_value(hash_start, std::string_view("ab")), fnv("ab\xff"));
    EXPECT_EQ(hash_null(hash_start), fnv(std::string(1, '\0')));
    EXPECT_EQ(hash_value(hash_start, -0.0), hash_value(hash_start, 0.0));
    EXPECT_NE(hash_value(hash_start, quiet_nan), hash_value(hash_start, other_nan));
}

TEST(GroupKeys, SameTextSeesEveryByte) {
    // Texts that differ in one byte, at every position of every size around the word reads.
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

}  // namespace
}  // namespace quorvel::engine
