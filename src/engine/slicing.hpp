#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame.hpp"

namespace quorvel::engine {

// A frame holding the given physical rows of `frame`, in the given order, sharing every
// column. A list naming every stored row once in storage order gives no row selection.
Frame take_rows(const Frame& frame, RowList rows);

// The first n rows (all but the last -n when n is negative); the last n rows for tail.
Frame head(const Frame& frame, std::int64_t n);
Frame tail(const Frame& frame, std::int64_t n);

// The named columns in the given order, with the frame's rows.
Result<Frame> select(const Frame& frame, const std::vector<std::string>& names);

// The frame with its column `old_name` called `new_name`, sharing the values and the rows.
// Renaming a column to its own name changes nothing.
Result<Frame> rename(const Frame& frame, std::string_view old_name, std::string_view new_name);

}  // namespace quorvel::engine
