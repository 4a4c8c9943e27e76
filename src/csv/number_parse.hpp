#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::engine {

// The reader's integer test: an optional sign and one or more ASCII digits, nothing else,
// within the 64-bit range. Leading zeros are allowed.
std::optional<std::int64_t> parse_i64(std::string_view text);

// The reader's float test: a decimal literal (12, 12., 12.5, .5, each with an optional
// exponent) with an optional sign, or a signed inf, infinity or nan in any case. The value
// is correctly rounded; overflow gives an infinity, underflow a zero of the text's sign.
std::optional<double> parse_f64(std::string_view text);

// True when parse_f64 accepts the text, without converting it.
bool is_f64_text(std::string_view text);

}  // namespace quorvel::engine
