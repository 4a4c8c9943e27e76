#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// A frame split by the values of key columns, groups numbered in order of first appearance.
//
// Group g holds the logical rows r of `frame` with group_of_row[r] == g, in logical row
// order; their physical rows come from the frame's row selection. Storing one group number
// per row (rather than a row list per group) costs the same 4 bytes a row, and lets every
// aggregation run as one forward pass over the rows while still seeing each group's rows
// in their order.
struct Grouping {
    // The source frame as it was when grouped: its columns (values shared) and selection.
    Frame frame;
    std::vector<std::string> keys;
    RowList group_of_row;
    // Per group: the physical row its key values are taken from, and its number of rows.
    RowList first_rows;
    RowList sizes;

    std::size_t group_count() const { return first_rows.size(); }
};

// Splits `frame` by the columns `names` (resolved as select resolves them). Rows go to
// groups by key equality: nulls equal nulls, 0.0 equals -0.0, a NaN equals a NaN of the
// same bits, texts compare by bytes. No key columns put every row in one group.
Result<Grouping> group(const Frame& frame, const std::vector<std::string>& names);

// The key columns with one row per group, holding each group's first row, without a row
// selection.
Frame key_frame(const Grouping& grouping);

// The first row of each distinct combination of values in the columns `names` (resolved as
// group resolves them; no names: every column), in order of first appearance, with every
// column shared. Rows are told apart as grouping tells keys apart: a null equals a null.
Result<Frame> unique(const Frame& frame, const std::vector<std::string>& names);

}  // namespace quorvel::engine
