#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quorvel::engine {

// The number of distinct keys (bit patterns) or texts (by bytes). The keys are reordered.
std::size_t distinct_count(std::span<std::uint64_t> keys);
std::size_t distinct_count(std::span<std::string_view> texts);

}  // namespace quorvel::engine
