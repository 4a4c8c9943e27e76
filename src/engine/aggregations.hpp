#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One column of the result of aggregate_specs: its name, and what computes it: "count" (the
// rows of each group, without a column) or an aggregation of aggregates::List over `column`.
struct AggregationSpec {
    std::string name;
    std::string operation;
    std::optional<std::string> column;
};

// The key columns, then one column per spec, in order, all computed in one walk over the
// rows. The specs are checked in order before any row is read, and the first that fails gives
// the error, its message beginning "spec {position}: ": an operation that is not one, a
// column given to count or missing for another operation, then what the aggregation alone
// would report (no such column, a dtype it refuses), and a name that is a key or that an
// earlier spec took. An i64 sum that overflows fails after the walk, at its spec.
Result<Frame> aggregate_specs(const Grouping& grouping, const std::vector<AggregationSpec>& specs);

}  // namespace quorvel::engine
