#pragma once

#include <string_view>

#include "engine/frame.hpp"

namespace quorvel::csv {

// The encoding of U+FEFF, which the reader drops from the start of a text as a byte-order mark.
inline constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Reads CSV text (UTF-8; comma separator, double-quote quoting, LF, CR LF or CR line ends,
// an optional leading byte-order mark) into a new frame: the first non-blank line names
// the columns, blank lines are skipped, every other line must have as many fields as the
// header. Each column takes the narrowest dtype its fields allow (i64, f64, str); empty
// unquoted fields are nulls.
engine::Result<engine::Frame> read_csv(std::string_view text);

}  // namespace quorvel::csv
