#include "engine/deviations.hpp"

#include <algorithm>

namespace quorvel::engine {

bool has_fused_multiply_add() {
#if defined(__x86_64__) || defined(__i386__)
    // Initialised here, not only by a constructor: the engine may be loaded as part of a
    // module whose constructors run in an order of the loader's choosing.
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("fma"));
    return has;
#else
    return false;
#endif
}

std::optional<double> sample_variance(const DeviationSums& sums) {
    if (sums.count < 2) return std::nullopt;
    const double n = static_cast<double>(sums.count);  // exact: fewer than 2^53 rows
    // T = Σd, then T * T / n as (T / n) * T, high and low parts: T * T itself may overflow
    // where the variance does not.
    const WithError total = two_sum(sums.sum, sums.sum_low);
    const double mean = total.value / n;
    const WithError back = two_product(mean, n);
    // total.value - back.value is exact: the two are within a rounding of each other.
    const double mean_low = ((total.value - back.value) - back.error + total.error) / n;
    const WithError correction = two_product(mean, total.value);
    const double correction_low = correction.error + mean * total.error + mean_low * total.value;
    // Σd² - T * T / n, which is n - 1 times the variance.
    const WithError spread = two_sum(sums.squares, -correction.value);
    const double scatter = spread.value + ((spread.error + sums.squares_low) - correction_low);
    // Rounding may leave a tiny negative rest where the values are all but equal.
    return std::max(scatter, 0.0) / (n - 1.0);
}

}  // namespace quorvel::engine
