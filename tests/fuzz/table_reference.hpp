#pragma once

// Plain statements of what sort_by, unique and join must give, row by row, for the operations
// fuzz target to compare the engine with.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frame_checks.hpp"
#include "reference_model.hpp"

namespace quorvel::fuzz {

// Where a cell sorts among the others: present keys, then f64 NaN keys, then nulls.
inline int sort_class(const ColumnValues& values, std::uint32_t row) {
    if (!is_present(values, row)) return 2;
    return values.dtype() == DType::f64 && std::isnan(values.f64().values[row]) ? 1 : 0;
}

// The frame's rows as sort_by orders them: a stable sort comparing key by key, each as sort
// compares one column (`descending` reverses only present keys; NaNs and nulls stay last).
inline std::vector<std::uint32_t> sorted_rows_by(const Frame& frame, const std::vector<const ColumnValues*>& keys,
                                                 const std::vector<bool>& descending) {
    std::vector<std::uint32_t> rows = physical_rows(frame);
    // -1, 0 or 1 as row a sorts before, with or after row b by one key.
    const auto compare = [](const ColumnValues& values, bool down, std::uint32_t a, std::uint32_t b) {
        const int a_class = sort_class(values, a), b_class = sort_class(values, b);
        if (a_class != b_class) return a_class < b_class ? -1 : 1;
        if (a_class != 0) return 0;
        int order = 0;
        if (values.dtype() == DType::str) {
            order = values.str().at(a).compare(values.str().at(b));
        } else {
            const long double x = number_at(values, a), y = number_at(values, b);
            order = x < y ? -1 : y < x ? 1 : 0;
        }
        order = order < 0 ? -1 : order > 0 ? 1 : 0;
        return down ? -order : order;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (const int order = compare(*keys[k], descending[k], a, b)) return order < 0;
        }
        return false;
    });
    return rows;
}

// Whether two key cells of one dtype are equal as grouping finds them: both null, or 0.0
// and -0.0, a NaN and a NaN of the same bits, texts of the same bytes.
inline bool same_key_cell(const ColumnValues& a, std::uint32_t a_row, const ColumnValues& b, std::uint32_t b_row) {
    if (a.dtype() == DType::f64 && is_present(a, a_row) && is_present(b, b_row) &&
        a.f64().values[a_row] == b.f64().values[b_row]) {
        return true;
    }
    return same_cell(a, a_row, b, b_row);
}

// The first row of each distinct combination of the keys' cells, in order.
inline std::vector<std::uint32_t> unique_rows(const Frame& frame, const std::vector<const ColumnValues*>& keys) {
    std::set<std::string> seen;
    std::vector<std::uint32_t> firsts;
    for (const std::uint32_t row : physical_rows(frame)) {
        if (seen.insert(group_key(keys, row)).second) firsts.push_back(row);
    }
    return firsts;
}

// One row of a join: the physical rows of the frame and of the other frame it holds, if any.
struct JoinedRow {
    std::optional<std::uint32_t> left;
    std::optional<std::uint32_t> right;
};

// The rows of a join with a valid `how`, by a nested loop over both frames' rows: keys
// match when every key cell is present on both sides and equal.
inline std::vector<JoinedRow> joined_rows(const Frame& frame, const std::vector<const ColumnValues*>& keys,
                                          const Frame& other, const std::vector<const ColumnValues*>& other_keys,
                                          std::string_view how) {
    const auto match = [&](std::uint32_t row, std::uint32_t other_row) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (!is_present(*keys[k], row) || !is_present(*other_keys[k], other_row)) return false;
            if (!same_key_cell(*keys[k], row, *other_keys[k], other_row)) return false;
        }
        return true;
    };
    const std::vector<std::uint32_t> other_rows = physical_rows(other);
    std::vector<bool> other_matched(other_rows.size(), false);
    std::vector<JoinedRow> joined;
    for (const std::uint32_t row : physical_rows(frame)) {
        bool matched = false;
        for (std::size_t o = 0; o < other_rows.size(); ++o) {
            if (!match(row, other_rows[o])) continue;
            matched = other_matched[o] = true;
            if (how == "semi") break;
            if (how != "anti") joined.push_back({row, other_rows[o]});
        }
        // semi and anti keep the row alone; left and full keep it alone when it has no match.
        const bool alone = how == "semi" ? matched : how == "anti" ? !matched : how != "inner" && !matched;
        if (alone) joined.push_back({row, std::nullopt});
    }
    if (how == "full") {
        for (std::size_t o = 0; o < other_rows.size(); ++o) {
            if (!other_matched[o]) joined.push_back({std::nullopt, other_rows[o]});
        }
    }
    return joined;
}

}  // namespace quorvel::fuzz
