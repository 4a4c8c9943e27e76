#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// `frame` joined with `other` on the key columns `on`, which both frames hold with the same
// dtype. Keys are equal as grouping finds them (0.0 equals -0.0, a NaN a NaN of the same
// bits, texts by their bytes), except that a null key matches nothing; no keys at all
// match every row with every row.
//
// `how` is "inner", "left", "full", "semi" or "anti". The first three give the frame's
// columns, then other's columns that are not keys; their rows are the frame's rows in
// order, each followed by its matches in other's order. "left" keeps a row without matches
// once, with nulls in other's columns; "full" does the same and then adds other's rows that
// matched nothing, in order, with their keys and nulls elsewhere. "semi" keeps each row
// that has a match once, "anti" each row that has none, with the frame's columns only,
// sharing them.
Result<Frame> join(const Frame& frame, const Frame& other, const std::vector<std::string>& on, std::string_view how);

// "column {name} is {dtype} in this frame and {dtype} in the other frame": how an operation
// of two frames refuses columns that should have one dtype.
EngineError dtypes_differ(std::string_view name, DType here, DType there);

}  // namespace quorvel::engine
