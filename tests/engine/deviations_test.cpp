#include "engine/deviations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace quorvel::engine {
namespace {

__extension__ using Wide = __int128;

// Integers below 2^53 as doubles: their exact sums and products fit 128 bits, which checks
// that value + error loses nothing.
TEST(ErrorFreeTransforms, LoseNothing) {
    std::mt19937_64 random(9);
    for (int round = 0; round < 10000; ++round) {
        const auto a = static_cast<std::int64_t>(random() >> 11) - (std::int64_t{1} << 52);
        const auto b = static_cast<std::int64_t>(random() >> (11 + random() % 50));
        const WithError sum = two_sum(static_cast<double>(a), static_cast<double>(b));
        EXPECT_EQ(static_cast<Wide>(sum.value) + static_cast<Wide>(sum.error), Wide{a} + b);
        const WithError product = two_product(static_cast<double>(a), static_cast<double>(b));
        EXPECT_EQ(static_cast<Wide>(product.value) + static_cast<Wide>(product.error), Wide{a} * b);
    }
    const WithError small = two_product(1.0 + 0x1p-30, 1.0 + 0x1p-30);  // 1 + 2^-29 + 2^-60
    EXPECT_EQ(small.value, 1.0 + 0x1p-29);
    EXPECT_EQ(small.error, 0x1p-60);
    const WithError apart = two_sum(1e100, 1.0);
    EXPECT_EQ(apart.value, 1e100);
    EXPECT_EQ(apart.error, 1.0);
}

// Wherever Dekker's product is exact, a fused multiply-add gives the same pair, so the
// processor a variance runs on does not change its bits.
TEST(ErrorFreeTransforms, FusedProductMatchesDekkers) {
    std::mt19937_64 random(17);
    const auto any_double = [&] {
        const double mantissa = std::ldexp(static_cast<double>(random() >> 11), -53);  // [0, 1)
        const int exponent = static_cast<int>(random() % 900) - 450;
        return std::ldexp(random() % 2 ? mantissa : -mantissa, exponent);
    };
    for (int round = 0; round < 100000; ++round) {
        const double a = any_double(), b = round % 2 ? a : any_double();
        const WithError dekker = two_product(a, b), fused = fused_two_product(a, b);
        ASSERT_EQ(dekker.value, fused.value) << a << " * " << b;
        ASSERT_EQ(dekker.error, fused.error) << a << " * " << b;
    }
    DeviationSums plain, with_fma;
    for (int round = 0; round < 100000; ++round) {
        const double high = any_double(), low = std::ldexp(high, -60);
        plain.add(high, low);
        with_fma.add<true>(high, low);
    }
    EXPECT_EQ(plain.sum, with_fma.sum);
    EXPECT_EQ(plain.sum_low, with_fma.sum_low);
    EXPECT_EQ(plain.squares, with_fma.squares);
    EXPECT_EQ(plain.squares_low, with_fma.squares_low);
}

template <class T>
std::optional<double> variance_of(const std::vector<T>& values) {
    Deviations<T> deviations;
    for (const T x : values) deviations.add(x);
    return sample_variance(deviations.sums);
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t i64_max = std::numeric_limits<std::int64_t>::max();

// Cases whose variance is exactly known, several where the textbook formulas lose it all: a
// large offset, a first value far from the rest, integers beyond 2^53.
TEST(SampleVariance, IsExactWhereTheTextbookFormulasFail) {
    std::vector<double> outlier_first = {1e15};
    for (int i = 0; i < 999; ++i) outlier_first.push_back(0.0);
    const struct {
        std::vector<double> values;
        std::optional<double> variance;
    } floats[] = {
        {{}, std::nullopt},
        {{5.0}, std::nullopt},
        {{2.0, 2.0, 2.0}, 0.0},
        {{1e9 + 1, 1e9 + 2, 1e9 + 3}, 1.0},            // Σx² - (Σx)²/n cancels every bit
        {{1e17, 1e17 + 16, 1e17 + 32}, 256.0},
        {{0.1, 0.2, 0.3}, 0.01},                       // the exact value rounds to 0.01
        {outlier_first, 1e27},                         // 10^30 / 999 * 999 / 1000
        {{1.0, inf}, std::numeric_limits<double>::quiet_NaN()},
    };
    for (const auto& c : floats) {
        const std::optional<double> got = variance_of(c.values);
        ASSERT_EQ(got.has_value(), c.variance.has_value()) << c.values.size();
        if (!got) continue;
        if (std::isnan(*c.variance)) {
            EXPECT_TRUE(std::isnan(*got));
        } else {
            EXPECT_NEAR(*got, *c.variance, std::ldexp(*c.variance, -51)) << c.values.size();
        }
    }
    // (2^64 - 1)² / 2, and 4 on values beyond 2^62 that no double tells apart.
    EXPECT_EQ(variance_of(std::vector<std::int64_t>{i64_min, i64_max}), 1.7014118346046923e38);
    const std::int64_t big = std::int64_t{1} << 62;
    EXPECT_EQ(variance_of(std::vector<std::int64_t>{big + 1, big + 3, big + 5}), 4.0);
    EXPECT_EQ(variance_of(std::vector<std::int64_t>{7}), std::nullopt);
}

// Values whose squared deviations leave the normal floats are what ScaledDeviations is for:
// it is needed exactly then, and gives the variance and standard deviation rounded about once.
TEST(ScaledDeviations, TakesSquaresThatOverflowOrLoseBits) {
    const struct {
        std::vector<double> values;
        bool needed;
        double variance, standard_deviation;
    } cases[] = {
        {{1e308, -1e308}, true, inf, 1.4142135623730951e308},
        {{1e160, -1e160, 3e160}, true, inf, 2e160},
        {{1e-300, 2e-300}, true, 0.0, 7.071067811865475e-301},
        {{1e-160, 3e-160, -2e-161}, true, 2.613e-320, 1.616580753730952e-160},
        {{1e300, 1e300}, false, 0.0, 0.0},
        {{0.0, 0.0}, false, 0.0, 0.0},
        {{1.0, 2.0}, false, 0.5, 0.7071067811865476},
    };
    for (const auto& c : cases) {
        Deviations<double> deviations;
        ScaledDeviations scaled;
        for (const double x : c.values) deviations.add(x), scaled.add(x);
        EXPECT_EQ(ScaledDeviations::needed(deviations.sums), c.needed) << c.values[0];
        if (!c.needed) continue;
        EXPECT_EQ(scaled.variance(), c.variance) << c.values[0];
        EXPECT_EQ(scaled.standard_deviation(), c.standard_deviation) << c.values[0];
    }
}

}  // namespace
}  // namespace quorvel::engine
