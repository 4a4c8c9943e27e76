#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel::csv {

// The number tests return whether the text passes and then set `value`. (A flag and an out
// parameter rather than std::optional: the reader calls them once per field, and an
// optional returned from a call costs a stalled store and load.)

// The reader's integer test: an optional sign and one or more ASCII digits, nothing else,
// within the 64-bit range. Leading zeros are allowed.
bool parse_i64(std::string_view text, std::int64_t& value);

// The reader's float test: a decimal literal (12, 12., 12.5, .5, each with an optional
// exponent) with an optional sign, or a signed inf, infinity or nan in any case. The value
// is correctly rounded; overflow gives an infinity, underflow a zero of the text's sign.
bool parse_f64(std::string_view text, double& value);

// The same two tests for a field inside a larger text: fields are read 8 bytes at a time,
// which may reach past the field either side but not outside the text.
bool parse_i64_field(std::string_view field, std::string_view text, std::int64_t& value);
bool parse_f64_field(std::string_view field, std::string_view text, double& value);

// True when parse_f64 accepts the text, without converting it.
bool is_f64_text(std::string_view text);

}  // namespace quorvel::csv
