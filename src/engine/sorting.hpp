#pragma once

#include <string_view>

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// The frame's rows ordered by column `name`, stably: present keys in ascending order (or
// descending), f64 NaN keys after them and null keys last, both groups in their source
// order. `descending` reverses only the comparison of present keys, so ties keep their
// source order either way. str keys order by their UTF-8 bytes.
Result<Frame> sort(const Frame& frame, std::string_view name, bool descending);

}  // namespace quorvel::engine
