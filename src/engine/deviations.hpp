#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <type_traits>

// The sums behind a sample variance, taken in one pass and kept to about twice the precision
// of a double, so that the variance comes out within an ulp or two of its exact value.
//
// Each value x of a group is taken as its deviation d = x - shift from the group's first
// value, and the pass adds up d and d * d. The variance is then (Σd² - (Σd)² / n) / (n - 1)
// for any shift. A shift that is one of the values keeps Σd² below n + 1 times Σ(x - mean)²,
// so the subtraction cancels at most log2(n + 1) bits. Deviations and their squares are taken
// exactly (each as a double and the error it rounded away) and summed with Neumaier's
// correction, which leaves errors of the order of n² 2^-106 of the result.
namespace quorvel::engine {

// A result rounded to a double and what the rounding took away: value + error is exact.
struct WithError {
    double value;
    double error;
};

// a + b (Knuth's TwoSum, whatever the sizes of a and b).
inline WithError two_sum(double a, double b) {
    const double sum = a + b;
    const double b_part = sum - a;
    return {sum, (a - (sum - b_part)) + (b - b_part)};
}

// a * b, exact unless it overflows or underflows (Dekker's product: each factor split into
// halves of 26 bits, whose products are exact). Not every x86-64 has a fused multiply-add,
// which gives the error in one instruction: fused_two_product.
inline WithError two_product(double a, double b) {
    const auto halves = [](double x) {
        const double scaled = 134217729.0 * x;  // 2^27 + 1
        const double high = scaled - (scaled - x);
        return WithError{high, x - high};
    };
    const WithError x = halves(a), y = halves(b);
    const double product = a * b;
    return {product, ((x.value * y.value - product) + x.value * y.error + x.error * y.value) + x.error * y.error};
}

// a * b by a fused multiply-add, for code compiled for processors that have one: the same
// pair as two_product wherever that one is exact, since an exact error has one value.
// Elsewhere __builtin_fma is a library call, still exact but slow.
[[gnu::always_inline]] inline WithError fused_two_product(double a, double b) {
    const double product = a * b;
    return {product, __builtin_fma(a, b, -product)};
}

// Whether this processor has fused multiply-adds (and the system keeps their registers).
bool has_fused_multiply_add();

// Σd and Σd² of one group's deviations, each as a running sum and the low-order part that it
// lost.
struct DeviationSums {
    std::uint64_t count = 0;
    double sum = 0.0, sum_low = 0.0;
    double squares = 0.0, squares_low = 0.0;
    double largest = 0.0;  // the largest deviation's magnitude

    // One deviation, given exactly as high + low; `fused`: square it by fused_two_product.
    // Always inlined, so that the fused form is compiled for its caller's processor.
    template <bool fused = false>
    [[gnu::always_inline]] void add(double high, double low) {
        ++count;
        largest = std::max(largest, std::fabs(high));
        accumulate(sum, sum_low, high);
        sum_low += low;
        const WithError square = fused ? fused_two_product(high, high) : two_product(high, high);
        accumulate(squares, squares_low, square.value);
        // low * low is below 2^-104 of the square: left out.
        squares_low += square.error + 2.0 * high * low;
    }

private:
    // Neumaier's step: `low` collects what adding x to `sum` rounds away.
    static void accumulate(double& sum, double& low, double x) {
        const double t = sum + x;
        low += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
};

// The sample variance of the values behind `sums`, rounded about once; null for fewer than
// two values. A NaN or an infinity among the values makes it NaN; values so far apart that a
// squared deviation overflows make it infinite.
std::optional<double> sample_variance(const DeviationSums& sums);

// The state of a variance over values of type T (double or std::int64_t).
template <class T>
struct Deviations {
    T shift{};
    DeviationSums sums;

    template <bool fused = false>
    [[gnu::always_inline]] void add(T x) {
        if (sums.count == 0) shift = x;
        if constexpr (std::is_same_v<T, double>) {
            const WithError d = two_sum(x, -shift);
            sums.template add<fused>(d.value, d.error);
        } else {
            __extension__ using Wide = __int128;
            const Wide d = static_cast<Wide>(x) - shift;  // exact: below 2^64 in magnitude
            constexpr Wide exact_as_double = Wide{1} << 53;
            if (d > -exact_as_double && d < exact_as_double) {
                sums.template add<fused>(static_cast<double>(static_cast<std::int64_t>(d)), 0.0);
                return;
            }
            // The double nearest d leaves a rest below 2^11, which a double holds exactly.
            const double high = static_cast<double>(d);
            sums.template add<fused>(high, static_cast<double>(d - static_cast<Wide>(high)));
        }
    }
};

// The deviations of a group of finite values whose squares left the range where a double
// holds them whole: taken again scaled down by 2^600, for squares that overflowed, and up by
// 2^600, for deviations below 2^-400, whose squares lose bits. The scaled values that stay
// finite give the result: a variance whose squared deviations overflow is at least 2^991, and
// one whose deviations are that small is below 2^-800 and has values below 2^-340 (doubles
// closer together are smaller still), so scaled, either is a normal float, and what scaling
// loses of the other values is far below its last bit.
struct ScaledDeviations {
    Deviations<double> down, up;

    void add(double x) {
        down.add(std::ldexp(x, -600));
        up.add(std::ldexp(x, 600));
    }
    // Such a group has at least two values.
    double variance() const {
        const double scaled_up = *sample_variance(up.sums);
        return std::isfinite(scaled_up) ? std::ldexp(scaled_up, -1200) : std::ldexp(*sample_variance(down.sums), 1200);
    }
    double standard_deviation() const {
        const double scaled_up = *sample_variance(up.sums);
        if (std::isfinite(scaled_up)) return std::ldexp(std::sqrt(scaled_up), -600);
        return std::ldexp(std::sqrt(*sample_variance(down.sums)), 600);
    }

    // Whether the squared deviations of `sums` left that range.
    static bool needed(const DeviationSums& sums) {
        return !std::isfinite(sums.sum + sums.squares) || (sums.largest != 0.0 && sums.largest < 0x1p-400);
    }
};

}  // namespace quorvel::engine
