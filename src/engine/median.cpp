#include "engine/median.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace quorvel::engine {
namespace {

template <class T>
T median_of_three(T a, T b, T c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Places the k-th smallest of values[0, n) at values[k], the smaller ones before it and the
// larger after. Each pass partitions around a median of nine by a loop without branches,
// which std::nth_element's partition is not: on random values its mispredicted branches cost
// it five times as long. Equal values can make a pass shrink the range by little; a range that
// shrinks by less than an eighth is left to std::nth_element, whose worst case is bounded.
template <class T>
void select_nth(T* values, std::size_t n, std::size_t k) {
    while (n > 32) {
        const std::size_t e = n / 8;
        const T* v = values;
        const T pivot = median_of_three(median_of_three(v[0], v[e], v[2 * e]),
                                        median_of_three(v[3 * e], v[4 * e], v[5 * e]),
                                        median_of_three(v[6 * e], v[7 * e], v[n - 1]));
        // The values below the pivot are moved to the front: each value is swapped with the
        // first not below it, which is a no-op unless the value is below.
        std::size_t below = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const T x = values[i];
            values[i] = values[below];
            values[below] = x;
            below += x < pivot;
        }
        const std::size_t kept = k < below ? below : n - below;
        if (kept > n - n / 8) break;
        if (k >= below) values += below, k -= below;
        n = kept;
    }
    std::nth_element(values, values + k, values + n);
}

// The two middle values, lower first (the same one twice for an odd count), found in linear
// time: the upper one by selection, the lower one as the largest of the values before it.
template <class T>
std::pair<T, T> middle_values(std::span<T> values) {
    const std::size_t half = values.size() / 2;
    select_nth(values.data(), values.size(), half);
    const T upper = values[half];
    if (values.size() % 2 != 0) return {upper, upper};
    return {*std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half)), upper};
}

}  // namespace

std::optional<double> median_of(std::span<double> values) {
    if (values.empty()) return std::nullopt;
    // A NaN has no place in the order, and would break the selection's.
    for (const double x : values) {
        if (std::isnan(x)) return x;
    }
    const auto [lower, upper] = middle_values(values);
    // Halving the rounded sum rounds the exact mean once, unless the sum overflows; then
    // halving first is exact, and so is the sum of the halves but for its one rounding.
    const double sum = lower + upper;
    // The selection leaves 0.0 and -0.0 in no fixed order: a median whose exact value is zero
    // is 0.0, as a mean is. (A sum of two doubles that rounds to zero is zero exactly; half
    // of a tiny negative sum may round to -0.0, which keeps its sign.)
    if (sum == 0) return 0.0;
    return std::isinf(sum) && std::isfinite(lower) && std::isfinite(upper) ? lower / 2 + upper / 2 : sum / 2;
}

std::optional<double> median_of(std::span<std::int64_t> values) {
    if (values.empty()) return std::nullopt;
    const auto [lower, upper] = middle_values(values);
    // The sum of two i64 is exact in 128 bits; its conversion is the one rounding (halving a
    // double is exact).
    __extension__ using Wide = __int128;
    return static_cast<double>(static_cast<Wide>(lower) + upper) / 2;
}

}  // namespace quorvel::engine
