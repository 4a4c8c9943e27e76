#pragma once

#include <cstddef>
#include <string_view>

#include "engine/column_values.hpp"

namespace quorvel::engine {

// The value of a present cell, read in place: a number, or a view of a text.
template <class T>
T value_at(const NumberCells<T>& cells, std::size_t row) {
    return cells.values[row];
}

inline std::string_view value_at(const StrCells& cells, std::size_t row) { return cells.at(row); }

}  // namespace quorvel::engine
