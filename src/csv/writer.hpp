#pragma once

#include "../engine/frame.hpp"
#include "text_buffer.hpp"

namespace quorvel::engine {

// Writes the frame as CSV text that read_csv reads back: a header line of the column names,
// then one line per row in logical order, every line ending with LF. A field is quoted when
// it holds a comma, quote, CR or LF, is empty, or begins with white space; a str value is
// also quoted when the reader would take it for a number. Nulls are written as nothing.
TextBuffer to_csv(const Frame& frame);

}  // namespace quorvel::engine
