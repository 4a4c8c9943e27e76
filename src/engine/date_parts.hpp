#pragma once

#include <cstdint>
#include <string_view>

#include "engine/column_values.hpp"
#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

enum class DatePart : std::uint8_t { year = 0, month = 1, day = 2 };

// "year", "month" or "day", exactly; anything else is the part error.
Result<DatePart> parse_date_part(std::string_view part);

// The year, month or day of every YYYY-MM-DD text of the str column `source`, in logical row
// order (null for a null). The first text that is not a date of the proleptic Gregorian
// calendar fails, naming its row.
Result<I64Cells> date_part_cells(const Frame& frame, std::string_view source, DatePart part);

// Appends the i64 column `name` holding `part` of the dates in `source`. Checks the part,
// the source column, every date and then the name, in that order; on failure the frame is
// left as it was.
Result<void> add_date_part(Frame& frame, std::string_view name, std::string_view source, std::string_view part);

}  // namespace quorvel::engine
