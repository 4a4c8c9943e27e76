#include "engine/median.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace quorvel::engine {
namespace {

// The two middle values, lower first (the same one twice for an odd count), found in linear
// time: the upper one by selection, the lower one as the largest of the values before it.
template <class T>
std::pair<T, T> middle_values(std::span<T> values) {
    const auto upper = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), upper, values.end());
    if (values.size() % 2 != 0) return {*upper, *upper};
    return {*std::max_element(values.begin(), upper), *upper};
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
    const double mean = std::isinf(sum) && std::isfinite(lower) && std::isfinite(upper) ? lower / 2 + upper / 2 : sum / 2;
    // The selection leaves 0.0 and -0.0 in no fixed order: a zero median is 0.0, as a mean is.
    return mean + 0.0;
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
