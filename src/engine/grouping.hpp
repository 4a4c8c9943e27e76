#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame.hpp"

namespace quorvel::engine {

// A frame split by the values of key columns, groups in order of first appearance.
struct Grouping {
    // The source frame as it was when grouped: its columns (values shared) and selection.
    Frame frame;
    std::vector<std::string> keys;
    // The physical rows of every group, group after group, each in logical row order:
    // group g holds rows[group_starts[g]] up to rows[group_starts[g + 1]].
    std::vector<std::uint32_t> rows;
    std::vector<std::uint32_t> group_starts{0};

    std::size_t group_count() const { return group_starts.size() - 1; }
};

}  // namespace quorvel::engine
