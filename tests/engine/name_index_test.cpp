#include "engine/name_index.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::engine {
namespace {

// Lists of every length around the point where comparing gives way to a hash table.
std::vector<std::string> distinct_names(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back("n" + std::to_string(i));
    return names;
}

TEST(NameIndex, FindsTheFirstRepeatedName) {
    for (const std::size_t count : {0, 1, 2, 7, 8, 9, 64, 65, 1000}) {
        std::vector<std::string> names = distinct_names(count);
        EXPECT_EQ(first_repeated_name(names), count) << count;
        if (count == 0) continue;
        names.push_back(names[count / 2]);  // repeats an earlier name at the end
        names.push_back(names[0]);
        EXPECT_EQ(first_repeated_name(names), count) << count;
        names.insert(names.begin() + 1, "");
        names.insert(names.begin() + 2, "");
        EXPECT_EQ(first_repeated_name(names), 2u) << count;
    }
}

TEST(NameIndex, FindsColumnsByName) {
    for (const std::size_t width : {0, 1, 8, 9, 100}) {
        std::vector<Column> columns;
        for (const std::string& name : distinct_names(width)) columns.push_back(Column{name, {}});
        std::vector<std::string> wanted = {"x", ""};
        for (std::size_t i = width; i > 0; i -= 1 + i / 3) wanted.push_back("n" + std::to_string(i - 1));
        const std::vector<const Column*> found = find_columns(columns, wanted);
        ASSERT_EQ(found.size(), wanted.size());
        EXPECT_EQ(found[0], nullptr);
        EXPECT_EQ(found[1], nullptr);
        for (std::size_t i = 2; i < wanted.size(); ++i) {
            ASSERT_NE(found[i], nullptr) << wanted[i];
            EXPECT_EQ(found[i]->name, wanted[i]);
        }
    }
}

}  // namespace
}  // namespace quorvel::engine
