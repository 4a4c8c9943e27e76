#pragma once

// Plain statements of what the row operations must give, written for clarity rather than
// speed, for the operations fuzz target to compare the engine with.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/filters.hpp"
#include "frame_checks.hpp"

namespace quorvel::fuzz {

// Every i64 and every double is exact in x86's 80-bit long double, so comparing there is
// comparing the exact numbers.
static_assert(std::numeric_limits<long double>::digits >= 64);

// Whether `cell op value` holds between exact numbers; NaN on either side passes only Ne.
inline bool holds(CompareOp op, long double cell, long double value) {
    if (std::isnan(cell) || std::isnan(value)) return op == CompareOp::Ne;
    switch (op) {
        case CompareOp::Eq: return cell == value;
        case CompareOp::Ne: return cell != value;
        case CompareOp::Lt: return cell < value;
        case CompareOp::Le: return cell <= value;
        case CompareOp::Gt: return cell > value;
        case CompareOp::Ge: return cell >= value;
    }
    return false;
}

inline long double number_at(const ColumnValues& values, std::size_t row) {
    return values.dtype() == DType::f64 ? static_cast<long double>(values.f64().values[row])
                                        : static_cast<long double>(values.i64().values[row]);
}

// The physical rows of the frame's logical rows whose cell passes `keep`, in order.
template <class Keep>
std::vector<std::uint32_t> rows_where(const Frame& frame, const ColumnValues& values, Keep keep) {
    std::vector<std::uint32_t> rows;
    for (const std::uint32_t row : physical_rows(frame)) {
        if (is_present(values, row) && keep(row)) rows.push_back(row);
    }
    return rows;
}

// An entry of where_among matches a cell when the two are equal as numbers.
inline bool among(const ColumnValues& values, std::size_t row, const std::vector<double>& entries) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](double e) { return holds(CompareOp::Eq, number_at(values, row), e); });
}

// Stable order by the key, present keys first (f64 NaN keys after the others), nulls last.
inline std::vector<std::uint32_t> sorted_rows(const Frame& frame, const ColumnValues& values, bool descending) {
    std::vector<std::uint32_t> keyed, nans, nulls;
    for (const std::uint32_t row : physical_rows(frame)) {
        if (!is_present(values, row)) {
            nulls.push_back(row);
        } else if (values.dtype() == DType::f64 && std::isnan(values.f64().values[row])) {
            nans.push_back(row);
        } else {
            keyed.push_back(row);
        }
    }
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        // std::string_view compares bytes as unsigned char.
        if (values.dtype() == DType::str) return values.str().at(a) < values.str().at(b);
        return number_at(values, a) < number_at(values, b);
    };
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return descending ? less(b, a) : less(a, b); });
    keyed.insert(keyed.end(), nans.begin(), nans.end());
    keyed.insert(keyed.end(), nulls.begin(), nulls.end());
    return keyed;
}

// A row's key as one text: equal keys give equal texts (-0.0 as 0.0, a NaN by its bits).
inline std::string group_key(const std::vector<const ColumnValues*>& keys, std::size_t row) {
    std::string key;
    for (const ColumnValues* values : keys) {
        if (values->dtype() == DType::f64 && is_present(*values, row) && values->f64().values[row] == 0.0) {
            key += "f0|";
        } else {
            const std::string cell = cell_key(*values, row);
            key += std::to_string(cell.size()) + ":" + cell + "|";
        }
    }
    return key;
}

// The group of each logical row, groups numbered in order of first appearance.
inline std::vector<std::uint32_t> group_numbers(const Frame& frame, const std::vector<const ColumnValues*>& keys) {
    std::map<std::string, std::uint32_t> numbers;
    std::vector<std::uint32_t> groups;
    for (const std::uint32_t row : physical_rows(frame)) {
        const auto [at, added] = numbers.try_emplace(group_key(keys, row), static_cast<std::uint32_t>(numbers.size()));
        groups.push_back(at->second);
    }
    return groups;
}

// A YYYY-MM-DD date of the proleptic Gregorian calendar, read character by character.
struct Date {
    int year, month, day;
};

inline std::optional<Date> date_of(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int digits[8];
    int count = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        if (i == 4 || i == 7) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        digits[count++] = text[i] - '0';
    }
    const Date date{digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3], digits[4] * 10 + digits[5],
                    digits[6] * 10 + digits[7]};
    const bool leap = date.year % 4 == 0 && (date.year % 100 != 0 || date.year % 400 == 0);
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year == 0 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > lengths[date.month - 1]) {
        return std::nullopt;
    }
    return date;
}

// A float sum or mean, as the compensated sum gives it: within a few units in the last place
// of the exact result, except that a running sum that overflows or meets NaN stays there.
inline void check_float_total(double got, const std::vector<double>& values, double divisor) {
    double running = 0.0;
    long double exact = 0.0L, magnitude = 0.0L;
    bool all_finite = true;
    for (const double x : values) {
        running += x;
        exact += x;
        magnitude += std::fabs(static_cast<long double>(x));
        all_finite = all_finite && std::isfinite(x);
    }
    // With an infinity or a NaN among the values, the sum is what IEEE addition gives; a running
    // sum of finite values that overflows is no such case: its exact value is rounded once.
    if (std::isnan(running)) return require(std::isnan(got), "a sum that meets NaN is NaN");
    if (std::isinf(running) && !all_finite) return require(got == running / divisor, "a sum with an infinity is one");
    if (!std::isfinite(got)) {
        return require(std::fabs(exact) >= std::numeric_limits<double>::max() * 0.99L, "a finite sum stays finite");
    }
    const long double n = static_cast<long double>(values.size()) + 2;
    const long double tolerance = std::ldexp(std::fabs(exact), -50) + n * std::ldexp(magnitude, -62) +
                                  4 * std::numeric_limits<double>::denorm_min();
    require(std::fabs(got - exact / divisor) <= tolerance / divisor, "a float sum is exact to a few bits");
}

}  // namespace quorvel::fuzz
