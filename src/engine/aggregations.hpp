#pragma once

#include <cstddef>
#include <string_view>

#include "engine/aggregates.hpp"
#include "engine/column_values.hpp"
#include "engine/frame.hpp"
#include "engine/grouping.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// The number of rows of every group, after the key columns, in a column named "count", or
// "len" when a key is named "count", or left out when the keys take both names.
Frame count_rows(const Grouping& grouping);

// One value per group of the column `name` by the aggregation at place `which` of
// aggregates::List, after the key columns. Nulls are skipped. Errors, in this order: no such
// column, a dtype the aggregation refuses, an i64 sum that overflows, a key column.
Result<Frame> aggregate(const Grouping& grouping, std::string_view name, std::size_t which);

template <class Aggregate>
Result<Frame> aggregate(const Grouping& grouping, std::string_view name) {
    return aggregate(grouping, name, aggregates::index_of<Aggregate>);
}

// The key frame with `values` (one cell per group) appended as the column `name`, unless
// `name` is a key.
Result<Frame> attach(const Grouping& grouping, std::string_view name, Cells values);

}  // namespace quorvel::engine
