#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "csv/number_parse.hpp"
#include "repr/float_text.hpp"

namespace quorvel::engine {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::optional<std::int64_t> integer(std::string_view text) {
    std::int64_t value = 0;
    if (!parse_i64(text, value)) return std::nullopt;
    return value;
}

std::optional<double> number(std::string_view text) {
    double value = 0;
    if (!parse_f64(text, value)) return std::nullopt;
    return value;
}

TEST(FloatText, LaysOutShortestDigitsAsPythonRepr) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {-2.5, "-2.5"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {123456789.0, "123456789.0"},
        {123.45, "123.45"},
        {1e15, "1000000000000000.0"},
        {9007199254740992.0, "9007199254740992.0"},  // 2^53
        {1234567890123456.8, "1234567890123456.8"},
        {1e16, "1e+16"},
        {1.5e16, "1.5e+16"},
        {1e22, "1e+22"},
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {0.00001, "1e-05"},
        {2.5e-7, "2.5e-07"},
        {1e100, "1e+100"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {-1.7976931348623157e308, "-1.7976931348623157e+308"},
        {2.2250738585072014e-308, "2.2250738585072014e-308"},  // smallest normal
        {5e-324, "5e-324"},                                    // smallest subnormal
        {inf, "inf"},
        {-inf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), "nan"},
        {std::bit_cast<double>(std::uint64_t{0x7ff0000000000001}), "nan"},  // a signalling payload
    };
    for (const auto& c : cases) {
        EXPECT_EQ(float_text(c.value), c.text);
        EXPECT_LE(float_text(c.value).size(), float_text_max);
    }
}

TEST(FloatText, ReadsBackToTheSameDouble) {
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 200000; ++i) {
        const double x = std::bit_cast<double>(random());
        if (std::isnan(x)) continue;
        const std::string text = float_text(x);
        const std::optional<double> back = number(text);
        ASSERT_TRUE(back.has_value() || text == "inf") << text;
        if (back) {
            ASSERT_EQ(bits(*back), bits(x)) << text;
        }
    }
}

TEST(ParseI64, AcceptsSignedDigitsWithinRange) {
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"0", 0},
        {"-0", 0},
        {"+7", 7},
        {"007", 7},
        {"-12", -12},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"000000000000000000000000000042", 42},
        {"-0000000000000000000009223372036854775808", std::numeric_limits<std::int64_t>::min()},
    };
    for (const auto& c : cases) {
        const std::optional<std::int64_t> value = integer(c.text);
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_EQ(*value, c.value) << c.text;
    }
}

TEST(ParseI64, RefusesAnythingElse) {
    for (const char* text : {"", "+", "-", "--1", "+-1", " 1", "1 ", "1_000", "1.0", "1e3", "0x10", "١",
                             "9223372036854775808", "-9223372036854775809", "18446744073709551616",
                             "99999999999999999999"}) {
        EXPECT_FALSE(integer(text).has_value()) << text;
    }
}

TEST(ParseF64, AcceptsTheDecimalGrammarAndSignedWords) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"12", 12.0},
        {"12.", 12.0},
        {"12.5", 12.5},
        {".5", 0.5},
        {"-.5", -0.5},
        {"+3", 3.0},
        {"007.25", 7.25},
        {"2e1", 20.0},
        {"2E+1", 20.0},
        {"2.e-1", 0.2},
        {".5e1", 5.0},
        {"0.1", 0.1},
        {"123456789012345", 123456789012345.0},                 // the exact path's limit
        {"1234567890123456", 1234567890123456.0},               // past it
        {"9007199254740993", 9007199254740992.0},               // 2^53 + 1 rounds to even
        {"0.30000000000000004", 0.30000000000000004},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"1.7976931348623159e308", inf},                        // rounds past the largest double
        {"1e400", inf},
        {"-1e400", -inf},
        {"1e99999999999999999999999", inf},
        {"5e-324", 5e-324},
        {"2.4703282292062328e-324", 5e-324},                    // just above half the smallest subnormal
        {"2.4703282292062327e-324", 0.0},                       // just below: rounds to zero
        {"1e-99999999999999999999999", 0.0},
        {"0.000000000000000000000000000000000000000000000000000001e-300", 0.0},
        {"0e99999", 0.0},
        {"10000000000000000000000000000000000000000e-40", 1.0},                 // more digits than a double holds
        {"-inf", -inf},
        {"+Infinity", inf},
        {"-INFINITY", -inf},
        {"+iNf", inf},
    };
    for (const auto& c : cases) {
        const std::optional<double> value = number(c.text);
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_EQ(bits(*value), bits(c.value)) << c.text;
        EXPECT_TRUE(is_f64_text(c.text)) << c.text;
    }
    for (const char* text : {"-nan", "+NaN", "+nan"}) {
        ASSERT_TRUE(number(text).has_value()) << text;
        EXPECT_TRUE(std::isnan(*number(text))) << text;
    }
}

TEST(ParseF64, GivesNegativeZeroForEveryNegativeZeroText) {
    for (const char* text : {"-0", "-0.0", "-.0", "-0.", "-0e5", "-0.000000000000000000", "-1e-400", "-5e-325"}) {
        const std::optional<double> value = number(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_EQ(bits(*value), bits(-0.0)) << text;
    }
}

TEST(ParseF64, RefusesAnythingElse) {
    for (const char* text : {"", "+", "-", ".", "+.", "-.", "inf", "nan", "Infinity", "infinit", "+infinityy",
                             "+in", "-nana", "++1", "+-1", " 1", "1 ", "1,5", "1_0", "e5", ".e5", "1e", "1e+",
                             "1e+-5", "1.2.3", "1..", "0x1p3", "1f", "1e5.0", "- 1", "\xef\xbc\x91" /* fullwidth 1 */}) {
        EXPECT_FALSE(number(text).has_value()) << text;
        EXPECT_FALSE(is_f64_text(text)) << text;
    }
}

// The exact path (at most 15 digits, no exponent) must agree with the general conversion.
TEST(ParseF64, ExactPathAgreesWithTheGeneralConversion) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 15);
        const int point = static_cast<int>(random() % (digits + 1));
        std::string text = random() % 2 ? "-" : "";
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        double expected = 0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        const std::optional<double> value = number(text);
        ASSERT_TRUE(value.has_value()) << text;
        ASSERT_EQ(bits(*value), bits(expected)) << text;
    }
}

}  // namespace
}  // namespace quorvel::engine
