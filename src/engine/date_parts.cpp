#include "engine/date_parts.hpp"

#include <cstring>
#include <string>

#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

constexpr std::size_t date_length = 10;  // YYYY-MM-DD

struct Date {
    std::int64_t year;
    std::int64_t month;
    std::int64_t day;
};

bool is_leap_year(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

std::int64_t days_in_month(std::int64_t year, std::int64_t month) {
    constexpr std::int64_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// The layout checks of the first eight bytes as word operations: bytes 0-3 and 5-6 are ASCII
// digits and bytes 4 and 7 are '-' (bytes in memory order, the word little-endian).
constexpr std::uint64_t digit_bytes = 0x00FFFF00FFFFFFFFu;
constexpr std::uint64_t dash_bytes = 0x2D00002D00000000u;

bool is_digit(unsigned char byte) { return static_cast<unsigned char>(byte - '0') <= 9; }

// The date written in `text`, when it is YYYY-MM-DD and a real calendar day.
bool parse_date(std::string_view text, Date& date) {
    if (text.size() != date_length) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    if ((word & ~digit_bytes) != dash_bytes) return false;
    // A digit is 0x30 to 0x39: high nibble 3, and adding 6 to the low nibble does not carry.
    if ((word & digit_bytes & 0xF0F0F0F0F0F0F0F0u) != (0x3030303030303030u & digit_bytes)) return false;
    if ((((word & digit_bytes & 0x0F0F0F0F0F0F0F0Fu) + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u & digit_bytes) != 0) {
        return false;
    }
    if (!is_digit(bytes[8]) || !is_digit(bytes[9])) return false;
    const auto value = [bytes](std::size_t at) { return static_cast<std::int64_t>(bytes[at] - '0'); };
    date.year = value(0) * 1000 + value(1) * 100 + value(2) * 10 + value(3);
    date.month = value(5) * 10 + value(6);
    date.day = value(8) * 10 + value(9);
    return date.year != 0 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= days_in_month(date.year, date.month);
}

}  // namespace

Result<DatePart> parse_date_part(std::string_view part) {
    if (part == "year") return DatePart::year;
    if (part == "month") return DatePart::month;
    if (part == "day") return DatePart::day;
    return EngineError{"part " + quoted_form(part) + ": give \"year\", \"month\" or \"day\""};
}

Result<I64Cells> date_part_cells(const Frame& frame, std::string_view source, DatePart part) {
    QUORVEL_ASSIGN_OR_RETURN(const ColumnValues* values, find_column_of(frame.columns, source, DType::str));
    const StrCells& texts = values->str();
    I64Cells out;
    out.values.resize(frame.height);
    std::int64_t* cell = out.values.data();
    const bool all_present = texts.validity.all_present();
    const RowCursor rows(frame);
    Date date{};
    std::size_t bad_row = 0;
    const bool all_dates = rows.for_each(
        [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT {
            if (!all_present && texts.validity.present_bit(p) == 0) {
                out.validity.set_null(r, rows.size());
                cell[r] = 0;
                return true;
            }
            if (!parse_date(texts.at(p), date)) {
                bad_row = r;
                return false;
            }
            cell[r] = part == DatePart::year ? date.year : part == DatePart::month ? date.month : date.day;
            return true;
        },
        texts);
    if (!all_dates) {
        return EngineError{"column " + quoted_form(source) + ", row " + std::to_string(bad_row) + ": " +
                           quoted_form(texts.at(frame.physical_row(bad_row))) + " is not a YYYY-MM-DD date"};
    }
    return out;
}

Result<void> add_date_part(Frame& frame, std::string_view name, std::string_view source, std::string_view part) {
    QUORVEL_ASSIGN_OR_RETURN(DatePart which, parse_date_part(part));
    QUORVEL_ASSIGN_OR_RETURN(I64Cells cells, date_part_cells(frame, source, which));
    return add_column(frame, name, std::move(cells));
}

}  // namespace quorvel::engine
