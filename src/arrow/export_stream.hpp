#pragma once

#include <cstddef>

#include "arrow/c_data_interface.hpp"
#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::arrow {

// Rows gathered into one batch when a frame with a row selection is exported: enough that a
// batch costs little beside its rows, few enough that one batch of a wide frame stays in the
// cache while the consumer reads it.
inline constexpr std::size_t export_batch_rows = std::size_t{1} << 16;

// Fills `out` with an Arrow stream of the frame's rows: a struct of one nullable field per
// column, i64 as int64, f64 as float64 and str as large_utf8. The stream holds a snapshot of
// the frame (its column values and row selection, never written again), so the frame may
// change or go while the stream lives, and the stream's callbacks may run on any thread.
//
// Without a row selection the stream has one batch whose arrays point at the columns' own
// cells; with one, batches of export_batch_rows rows are gathered as the consumer asks.
//
// `requested` (may be null) is the consumer's wish: it must name the frame's columns in
// order; a utf8 field for a str column whose texts fit 32-bit offsets is honoured, any other
// wish is met with the default types.
engine::Result<void> export_frame(const engine::Frame& frame, const ArrowSchema* requested, ArrowArrayStream* out);

}  // namespace quorvel::arrow
