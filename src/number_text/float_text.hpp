#pragma once

#include <cstddef>
#include <string>

namespace quorvel::number_text {

// The longest text write_float_text produces: "-1.7976931348623157e+308" and the like.
inline constexpr std::size_t float_text_max = 24;

// Writes the text of x at `out` (at most float_text_max bytes) and returns the end: the
// shortest digits that read back to x, laid out as Python's repr(float) does.
char* write_float_text(char* out, double x);

std::string float_text(double x);

}  // namespace quorvel::number_text
