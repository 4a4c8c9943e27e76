#pragma once

#include <string_view>

#include "engine/column_values.hpp"
#include "engine/frame.hpp"
#include "engine/grouping.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

enum class Aggregation { sum, mean, min, max };

// The number of rows of every group, after the key columns, in a column named "count", or
// "len" when a key is named "count", or left out when the keys take both names.
Frame count_rows(const Grouping& grouping);

// One value per group of the column `name`, after the key columns. Nulls are skipped: a group
// without values sums to 0 and has a null mean, minimum and maximum. Errors, in this order:
// no such column, a str column under sum or mean, an i64 sum that overflows, a key column.
Result<Frame> aggregate(const Grouping& grouping, std::string_view name, Aggregation aggregation);

// The key frame with `values` (one cell per group) appended as the column `name`, unless
// `name` is a key.
Result<Frame> attach(const Grouping& grouping, std::string_view name, Cells values);

}  // namespace quorvel::engine
