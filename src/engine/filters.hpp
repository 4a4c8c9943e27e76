#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// The relation that must hold between a cell (left) and the given value (right).
enum class CompareOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge };

// The rows whose cell of the f64 or i64 column `name` stands in relation `op` to `value`.
// An i64 cell is compared with the float exactly, as numbers; a NaN cell or value passes
// only Ne. Nulls never pass.
Result<Frame> filter_compare(const Frame& frame, std::string_view name, CompareOp op, double value);

// The rows whose cell of the f64 or i64 column `name` equals one of `values`.
Result<Frame> filter_among(const Frame& frame, std::string_view name, std::span<const double> values);

// The rows whose cell of the str column `name` has the same bytes as one of `texts`.
Result<Frame> filter_in(const Frame& frame, std::string_view name, const std::vector<std::string>& texts);

// The rows whose cell of the column `name`, of any dtype, is null; or is not.
Result<Frame> filter_null(const Frame& frame, std::string_view name);
Result<Frame> filter_not_null(const Frame& frame, std::string_view name);

// Where a cell must hold the given text: at its beginning, at its end, or anywhere.
enum class TextPlace : std::uint8_t { Start, End, Anywhere };

// The rows whose cell of the str column `name` holds the bytes of `text` at `place`. The empty
// text is held by every text. Nulls never pass.
Result<Frame> filter_text(const Frame& frame, std::string_view name, TextPlace place, std::string_view text);

}  // namespace quorvel::engine
