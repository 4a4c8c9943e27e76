#pragma once

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// The frame's rows, then other's. Both must have the same column names in the same order,
// with the same dtypes; the first difference is the error. The columns are written out end
// to end, except where the result can share them: when one frame has no rows, or when both
// read the very same columns (slices of one frame), whose rows then make a row selection.
Result<Frame> concat(const Frame& frame, const Frame& other);

}  // namespace quorvel::engine
