#pragma once

#include "csv/text_buffer.hpp"
#include "engine/frame.hpp"

namespace quorvel::csv {

// Writes the frame as CSV text that read_csv reads back: a header line of the column names,
// then one line per row in logical order, every line ending with LF. A field is quoted when
// it holds a comma, quote, CR or LF, is empty, or begins with white space; a str value is
// also quoted when the reader would take it for a number. Nulls are written as nothing.
TextBuffer to_csv(const engine::Frame& frame);

}  // namespace quorvel::csv
