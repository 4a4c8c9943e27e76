#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// The frame's rows ordered by column `name`, stably: present keys in ascending order (or
// descending), f64 NaN keys after them and null keys last, both groups in their source
// order. `descending` reverses only the comparison of present keys, so ties keep their
// source order either way. str keys order by their UTF-8 bytes.
Result<Frame> sort(const Frame& frame, std::string_view name, bool descending);

// The directions of sort_by's keys: one flag for every key (`per_key` false, one flag), or
// a list of flags, one per key.
struct SortDirections {
    std::vector<bool> descending;
    bool per_key = false;
};

// The frame's rows ordered by the columns `names` (resolved as select resolves them): the
// first decides, each next one orders the rows that tie on all before it, each as sort
// orders one column. The order is the one that stable sorts by the last key, then the one
// before it, and so on, would give. No names keep the rows as they are.
Result<Frame> sort_by(const Frame& frame, const std::vector<std::string>& names, const SortDirections& directions);

}  // namespace quorvel::engine
