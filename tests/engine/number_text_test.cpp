#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "csv/number_parse.hpp"
#include "number_text/float_text.hpp"
#include "number_text/integer_text.hpp"

namespace quorvel::csv {
namespace {

using namespace number_text;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();

TEST(FloatText, LaysOutShortestDigitsAsPythonRepr) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0"}, {-0.0, "-0.0"}, {1.0, "1.0"}, {-2.5, "-2.5"}, {0.1 + 0.2, "0.30000000000000004"},
        {123.45, "123.45"}, {1e15, "1000000000000000.0"}, {9007199254740992.0, "9007199254740992.0"},
        {9007199254740994.0, "9007199254740994.0"}, {1234567890123456.8, "1234567890123456.8"}, {1e16, "1e+16"},
        {1.5e16, "1.5e+16"}, {0.0001, "0.0001"}, {0.00012345, "0.00012345"}, {0.00001, "1e-05"},
        {2.5e-7, "2.5e-07"}, {1e100, "1e+100"}, {-1.7976931348623157e308, "-1.7976931348623157e+308"},
        {5e-324, "5e-324"}, {inf, "inf"}, {-inf, "-inf"}, {nan, "nan"}, {-nan, "nan"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(float_text(value), text);
        EXPECT_LE(float_text(value).size(), float_text_max);
    }
}

// The point moves right over 0 to 15 digits, or zeros go in front of 1 to 17 digits.
TEST(FloatText, EveryPlaceOfThePoint) {
    const std::pair<double, const char*> cases[] = {
        {1.2345678901234567, "1.2345678901234567"}, {12.5, "12.5"}, {123456789012345.6, "123456789012345.6"},
        {1234567890123456.8, "1234567890123456.8"}, {-98765.4321, "-98765.4321"}, {0.5, "0.5"},
        {0.001, "0.001"}, {0.00012345678901234567, "0.00012345678901234567"}, {-0.0001, "-0.0001"},
        {0.012345678901234568, "0.012345678901234568"}, {9.1e15, "9100000000000000.0"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(float_text(value), text);
}

// Either side of where repr turns to exponent form, three-digit exponents, and whole numbers
// past 2^53, where the integer shortcut stops.
TEST(FloatText, EdgesOfTheLayouts) {
    const std::pair<double, const char*> cases[] = {
        {9999999999999998.0, "9999999999999998.0"}, {1e16, "1e+16"}, {1.0000000000000002e16, "1.0000000000000002e+16"},
        {9007199254740996.0, "9007199254740996.0"}, {18014398509481984.0, "1.8014398509481984e+16"},
        {0.0001, "0.0001"}, {9.999999999999999e-05, "9.999999999999999e-05"}, {0.00010000000000000002, "0.00010000000000000002"},
        {1e-05, "1e-05"}, {1.0000000000000003e-05, "1.0000000000000003e-05"}, {1e23, "1e+23"}, {1e-100, "1e-100"},
        {2.2250738585072014e-308, "2.2250738585072014e-308"}, {2.225073858507201e-308, "2.225073858507201e-308"},
        {1.5e-323, "1.5e-323"}, {-1.2345e-300, "-1.2345e-300"}, {123456789012345.67, "123456789012345.67"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(float_text(value), text);
}

// Decimals of up to 15 digits at every place of the point, whose digits the writer finds
// without Dragonbox, and the doubles next to some, whose digits it must leave to Dragonbox.
TEST(FloatText, ShortDecimalsAndTheirNeighbours) {
    const std::pair<double, const char*> cases[] = {
        {0.3, "0.3"}, {-0.25, "-0.25"}, {99999999999999.9, "99999999999999.9"}, {12345678901234.5, "12345678901234.5"},
        {1.00000000000001, "1.00000000000001"}, {0.999999999999999, "0.999999999999999"}, {12345678.9, "12345678.9"},
        {0.0001234, "0.0001234"}, {0.000123456789012345, "0.000123456789012345"}, {0.00999, "0.00999"},
        {std::nextafter(0.1, 1.0), "0.10000000000000002"}, {std::nextafter(1234.56, 0.0), "1234.5599999999997"},
        {std::nextafter(99999999999999.9, 1e15), "99999999999999.92"}, {1.2e-7, "1.2e-07"}, {5e-5, "5e-05"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(float_text(value), text);
}

std::string integer_text(std::int64_t value) {
    char text[integer_text_max];
    return std::string(text, write_integer_text(text, value));
}

// Digits are counted without a loop and written eight at a time, a value of more than eight
// digits in two or three words: each count of digits, each side of a power of ten, and
// the largest values of 32 bits and of 64.
TEST(IntegerText, EveryLength) {
    std::int64_t power = 1;
    for (int digits = 1; digits <= 19; ++digits) {
        for (const std::int64_t value : {power - 1, power, power + 1, 2 * power - 1}) {
            EXPECT_EQ(integer_text(value), std::to_string(value));
            EXPECT_EQ(integer_text(-value), std::to_string(-value));
        }
        if (digits < 19) power *= 10;
    }
    for (const std::int64_t value : {std::int64_t{0}, std::int64_t{4294967295}, std::int64_t{4294967296},
                                     std::int64_t{100000007}, INT64_MAX, i64_min}) {
        EXPECT_EQ(integer_text(value), std::to_string(value));
    }
}

std::optional<std::int64_t> integer(std::string_view text) {
    std::int64_t value = 0;
    return parse_i64(text, value) ? std::optional(value) : std::nullopt;
}

TEST(ParseI64, SignedDigitsWithinRangeAndNothingElse) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"0", 0}, {"-0", 0}, {"+7", 7}, {"007", 7}, {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", i64_min}, {"000000000000000000000000000042", 42},
        {"9223372036854775808", {}}, {"-9223372036854775809", {}}, {"18446744073709551616", {}},
        {"", {}}, {"+", {}}, {"-", {}}, {"+-1", {}}, {" 1", {}}, {"1 ", {}}, {"1_000", {}}, {"1.0", {}},
        {"1e3", {}}, {"0x10", {}},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(integer(text), value) << text;
}

TEST(ParseF64, TheDecimalGrammarCorrectlyRounded) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"12", 12.0}, {"12.", 12.0}, {"-.5", -0.5}, {"+3", 3.0}, {"2E+1", 20.0}, {"2.e-1", 0.2},
        {"123456789012345", 123456789012345.0}, {"9007199254740993", 9007199254740992.0},  // ties to even
        {"93804564427171.17", 93804564427171.17},  // 16 digits: rounding twice would miss it
        {"1.7976931348623159e308", inf}, {"-1e400", -inf}, {"1e99999999999999999999999", inf},
        {"2.4703282292062328e-324", 5e-324}, {"2.4703282292062327e-324", 0.0}, {"1e-99999999999999999999", 0.0},
        {"-0", -0.0}, {"-0.0", -0.0}, {"-0e5", -0.0}, {"-1e-400", -0.0},
        {"-inf", -inf}, {"+Infinity", inf}, {"-INFINITY", -inf},
        {"", {}}, {"+", {}}, {".", {}}, {"-.", {}}, {"inf", {}}, {"nan", {}}, {"Infinity", {}}, {"+infinit", {}},
        {"++1", {}}, {"+-1", {}}, {" 1", {}}, {"1 ", {}}, {"1,5", {}}, {"e5", {}}, {".e5", {}}, {"1e", {}},
        {"1e+-5", {}}, {"1.2.3", {}}, {"0x1p3", {}}, {"1f", {}},
    };
    for (const auto& [text, expected] : cases) {
        double value = 0;
        ASSERT_EQ(parse_f64(text, value), expected.has_value()) << text;
        EXPECT_EQ(is_f64_text(text), expected.has_value()) << text;
        if (expected) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(*expected)) << text;
        }
    }
    double value = 0;
    ASSERT_TRUE(parse_f64("-NaN", value));
    EXPECT_TRUE(std::isnan(value));
}

// The text of w * 10^q, as "w" "e" "q".
std::string decimal_text(std::uint64_t w, int q) { return std::to_string(w) + "e" + std::to_string(q); }

// What the standard library's correctly rounded conversion gives, with the reader's rule for
// values out of range: infinity above, zero below.
double standard_value(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Out of range: the exponent's sign tells the direction for these texts.
        return text.find("e-") == std::string::npos ? inf : 0.0;
    }
    return value;
}

void expect_standard(const std::string& text) {
    double value = 0;
    ASSERT_TRUE(parse_f64(text, value)) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(standard_value(text))) << text;
}

// The reader's own conversions (exact integers and divisions by powers of ten, fields read a
// word at a time) must round as the standard's correctly rounded one does, on every kind of
// input where one could go wrong: any double in 17 to 19 digits and in its shortest, any
// digits at any power of ten, ties between two doubles and a unit of the 19th digit about them.
TEST(ParseF64, ShortDecimalsRoundAsTheStandardConversion) {
    std::mt19937_64 random(19);
    for (int i = 0; i < 300'000; ++i) {
        // Any double in 17, 18 and 19 significant digits, and in its shortest digits.
        double x;
        do {
            x = std::bit_cast<double>(random());
        } while (!std::isfinite(x));
        char text[64];
        for (const int digits : {16, 17, 18}) {
            std::snprintf(text, sizeof text, "%.*e", digits, x);
            expect_standard(text);
        }
        const auto [end, error] = std::to_chars(text, text + sizeof text, x);
        expect_standard(std::string(text, end));
        // Any 1 to 19 digits at any power of ten, subnormals and overflow included.
        const std::uint64_t w = random() >> (random() % 64);
        expect_standard(decimal_text(w == 0 ? 1 : w % 10'000'000'000'000'000'000u, static_cast<int>(random() % 700) - 360));
    }
    // Halfway between two doubles, and a unit of the 19th digit either side: odd integers
    // between 2^53 and 2^64 at the powers of ten where such ties can be written in 19 digits.
    for (int i = 0; i < 100'000; ++i) {
        const std::uint64_t odd = ((random() >> (random() % 11)) | (std::uint64_t{1} << 53)) | 1;
        for (const int q : {0, 1, 2, 3, -1, -2, -3, -4}) {
            for (const std::uint64_t w : {odd - 1, odd, odd + 1}) expect_standard(decimal_text(w, q));
        }
    }
    for (const char* text : {"9007199254740993", "9007199254740995", "18014398509481983", "1e22", "1e23",
                             "8.988465674311579e307", "1.7976931348623157e308", "2.2250738585072011e-308",
                             "2.2250738585072014e-308", "4.9406564584124654e-324", "7e-10", "9999999999999999999e-20"}) {
        expect_standard(text);
    }
}

// The field tests read fields a word at a time, reaching past them either side: they must
// agree with the plain tests whatever precedes and follows the field (digits, a point, a
// sign, bytes that are not ASCII), at every length around 8 characters after the sign, at
// the lengths of a double's repr with the point anywhere, and where the text begins or ends
// too near the field for whole words (the general path).
TEST(ParseField, AgreesWithThePlainTestsWhateverSurroundsIt) {
    const char* const fields[] = {"0", "-0", "+7", "12", "-1234567", "12345678", "-12345678", "+12345678", "123456789", "-123456789",
                                  "1.5", "-0.0", ".5", "5.", "-.5", "+.5", ".", "-.", "-", "+", "1.2345678",
                                  "-1.234567", "12.345678", "1234567.8", "1..2", "1.2.3", "1e5", "12a", "a12",
                                  "1 ", " 1", "99999999", "9.9999999", "-9999.875", "1/2", "1:2", "\xC3\xA9",
                                  "0.8444218515250481", "-0.7579544029403025", "0.42048723185566106", "0.0012345678901234567",
                                  "12345678.5", "1234567890123456.7", "1234567890123456789.", "-.1234567890123456789",
                                  "0.12345678901234567890", "99999999999999999.99", "9999999999999999999", "1.23456789012345678e5",
                                  "0.123456789.12345678", "0.1234567890123456x8", "0.12345678901234 567", "0..123456789012345",
                                  "123456789012345.6.", "1234567890123456.-7", "0.\xC3\xA9" "1234567890123", "+0.25000000000000000"};
    const char* const heads[] = {"", "9", ",", "99999999999999999999999999999.", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"};
    const char* const tails[] = {"",           ",",          "9",          ",,,,,,,,,,", "9999999999",
                                 ".5.5.5.5.5", ".555555555", "-1.0-1.0-1", "e5\n\n\n\n\n\n\n\n", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"};
    for (const char* field : fields) {
        const std::string_view text(field);
        std::int64_t integer = 0;
        double number = 0;
        const bool is_integer = parse_i64(text, integer);
        const bool is_number = parse_f64(text, number);
        for (const char* head : heads) {
            for (const char* tail : tails) {
                const std::string whole = std::string(head) + std::string(text) + tail;
                const std::string_view in_text(whole.data() + std::strlen(head), text.size());
                std::int64_t field_integer = -1;
                double field_number = -1;
                ASSERT_EQ(parse_i64_field(in_text, whole, field_integer), is_integer) << head << field << tail;
                if (is_integer) {
                    EXPECT_EQ(field_integer, integer) << head << field << tail;
                }
                ASSERT_EQ(parse_f64_field(in_text, whole, field_number), is_number) << head << field << tail;
                if (is_number) {
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(field_number), std::bit_cast<std::uint64_t>(number))
                        << head << field << tail;
                }
            }
        }
    }
}

// Decimals with a point and 9 to 20 digits, as fields in a line, against the standard
// conversion: random digits with the point anywhere, and ties between two doubles (an odd
// integer above 2^53 halved up to four times, so that its decimal ends in 5) with a unit of
// the last digit either side.
TEST(ParseField, LongDecimalsRoundAsTheStandardConversion) {
    std::mt19937_64 random(23);
    const auto expect_field = [](const std::string& digits) {
        const std::string line = "12345678901234567890123456," + digits + ",1234567890\n";
        double value = 0;
        ASSERT_TRUE(parse_f64_field(std::string_view(line).substr(27, digits.size()), line, value)) << digits;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(standard_value(digits))) << digits;
    };
    for (int i = 0; i < 300'000; ++i) {
        const int length = 9 + static_cast<int>(random() % 12);
        std::string digits;
        for (int d = 0; d < length; ++d) digits += static_cast<char>('0' + random() % 10);
        digits.insert(random() % (digits.size() + 1), ".");
        if (random() % 2 == 0) digits.insert(0, "-");
        expect_field(digits);
    }
    for (int i = 0; i < 100'000; ++i) {
        const std::uint64_t odd = ((random() >> (random() % 11)) | (std::uint64_t{1} << 53)) | 1;
        for (std::uint64_t halves = 1, fives = 1; halves <= 4; ++halves) {
            fives *= 5;
            // odd / 2^halves = odd * 5^halves / 10^halves
            for (const std::uint64_t scaled : {odd * fives - 1, odd * fives, odd * fives + 1}) {
                std::string digits = std::to_string(scaled);
                digits.insert(digits.size() - halves, ".");
                expect_field(digits);
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::csv
