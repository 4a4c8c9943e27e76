#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::engine {

// The middle value of `values`, or the mean of the two middle ones, rounded once to a double:
// null when there are none, NaN when a NaN is among them, 0.0 (never -0.0) for a zero. The
// values are reordered.
std::optional<double> median_of(std::span<double> values);
std::optional<double> median_of(std::span<std::int64_t> values);

}  // namespace quorvel::engine
