#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/frame.hpp"

namespace quorvel::engine {

// Lookups of many names at once, through a hash table once the lists are long. A frame may
// have millions of columns (a wide CSV header); comparing every name with every other would
// then take hours.

// The position of the first name equal to an earlier one, or the number of names.
std::size_t first_repeated_name(const std::vector<std::string>& names);

// For each of `names`, the column of that name among `columns` (whose names are distinct), or
// nullptr.
std::vector<const Column*> find_columns(const std::vector<Column>& columns, const std::vector<std::string>& names);

}  // namespace quorvel::engine
