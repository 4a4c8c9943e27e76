#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "number_text/float_text.hpp"
#include "number_text/float_text_memo.hpp"

namespace quorvel::number_text {
namespace {

constexpr std::size_t long_column = std::size_t{1} << 20;

std::string memo_text(FloatTextMemo& memo, double x) {
    char text[float_text_max + 1];
    return std::string(text, memo.write(text, x));
}

TEST(FloatTextMemo, OnlyForLongColumns) {
    EXPECT_EQ(FloatTextMemo::for_rows(1000), nullptr);
    EXPECT_NE(FloatTextMemo::for_rows(long_column), nullptr);
}

// Values that repeat keep the memo past its trial, and each comes back with its own text:
// found in either entry of its set, texts of every length up to the longest (which is not
// kept), negative zero apart from zero, and the special values.
TEST(FloatTextMemo, RepeatedValuesGiveTheirOwnTexts) {
    const auto memo = FloatTextMemo::for_rows(long_column);
    std::vector<double> values = {0.0, -0.0, 1.5, -2.25, 0.1, 1e-5, 1e16, 123456.789, 0.30000000000000004,
                                  -1.7976931348623157e308, 5e-324, std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    for (int k = 0; k < 1000; ++k) values.push_back(k / 8.0 - 100.0);
    for (std::size_t round = 0; round < 50; ++round) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double value = values[(i * 7 + round) % values.size()];
            ASSERT_EQ(memo_text(*memo, value), float_text(value)) << round << ' ' << i;
        }
    }
}

// Values that do not repeat make the memo give up after its trial; texts stay right on
// either side of that moment.
TEST(FloatTextMemo, DistinctValuesAcrossTheTrial) {
    const auto memo = FloatTextMemo::for_rows(long_column);
    for (std::uint64_t i = 0; i < 200000; ++i) {
        const double value = std::ldexp(static_cast<double>(i * 2654435761u % 1000003u), -7) + 0.3;
        ASSERT_EQ(memo_text(*memo, value), float_text(value)) << i;
    }
}

}  // namespace
}  // namespace quorvel::number_text
