#include "engine/aggregations.hpp"

#include <cmath>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/aggregate_states.hpp"
#include "engine/cell_value.hpp"
#include "engine/exact_sum.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

using namespace aggregate_states;

// Feeds every present cell to the state of its row's group, in logical row order, so each
// group sees its own rows in order.
template <class State, class Cells>
std::vector<State> accumulate(const Grouping& grouping, const Cells& cells) {
    std::vector<State> states(grouping.group_count());
    State* const state = states.data();
    const std::uint32_t* const groups = grouping.group_of_row.data();
    RowCursor(grouping.frame)
        .for_each_present(
            cells.validity,
            [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT { state[groups[r]].add(value_at(cells, p)); },
            cells);
    return states;
}

// One cell per group from its final state; `null` marks a group that gets a null.
template <class T, class State, class Value, class Null>
NumberCells<T> number_cells(const std::vector<State>& states, Value value, Null null) {
    NumberCells<T> out;
    out.values.resize(states.size());
    for (std::size_t g = 0; g < states.size(); ++g) {
        if (null(states[g])) {
            out.validity.set_null(g, states.size());
        } else {
            out.values[g] = value(states[g]);
        }
    }
    return out;
}

constexpr auto never_null = [](const auto&) { return false; };
constexpr auto without_values = [](const auto& s) { return s.count == 0; };

// The groups whose compensated sum came out infinite or NaN although every one of their
// values is finite: their running sum left the range of floats on the way. Each is summed
// again, exactly, so that its sum or mean can be rounded once from the exact value. Other
// groups keep their compensated sums as they are. Costs one pass over the rows when some
// sum is not finite, and a second when some group overflowed.
struct ExactSums {
    std::vector<std::uint32_t> groups;
    std::vector<ExactSum> sums;

    template <class State>
    ExactSums(const Grouping& grouping, const F64Cells& cells, const std::vector<State>& states) {
        constexpr std::uint32_t kept = 0, not_finite = 1, summed_again = 2;
        std::vector<std::uint8_t> status(states.size(), kept);
        bool any = false;
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (!std::isfinite(total(states[g]))) status[g] = summed_again, any = true;
        }
        if (!any) return;
        const std::uint32_t* const group_of = grouping.group_of_row.data();
        const double* const values = cells.values.data();
        const RowCursor rows(grouping.frame);
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == summed_again && !std::isfinite(values[p])) status[group_of[r]] = not_finite;
        });
        std::vector<std::uint32_t> slot(states.size());
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (status[g] != summed_again) continue;
            slot[g] = static_cast<std::uint32_t>(groups.size());
            groups.push_back(static_cast<std::uint32_t>(g));
        }
        if (groups.empty()) return;
        sums.resize(groups.size());
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == summed_again) sums[slot[group_of[r]]].add(values[p]);
        });
    }

    static double total(const CompensatedSum& s) { return s.total(); }
    static double total(const Mean<CompensatedSum>& s) { return s.sum.total(); }
};

Cells finish(const std::vector<CompensatedSum>& states, const ExactSums& exact) {
    F64Cells out = number_cells<double>(states, [](const auto& s) { return s.total(); }, never_null);
    for (std::size_t i = 0; i < exact.groups.size(); ++i) out.values[exact.groups[i]] = exact.sums[i].rounded();
    return out;
}

Cells finish(const std::vector<CheckedSum>& states) {
    return number_cells<std::int64_t>(states, [](const auto& s) { return s.sum; }, never_null);
}

Cells finish(const std::vector<Mean<CompensatedSum>>& states, const ExactSums& exact) {
    F64Cells out = number_cells<double>(
        states, [](const auto& s) { return s.sum.total() / static_cast<double>(s.count); }, without_values);
    for (std::size_t i = 0; i < exact.groups.size(); ++i) {
        const std::uint32_t g = exact.groups[i];
        out.values[g] = exact.sums[i].rounded_quotient(states[g].count);
    }
    return out;
}

Cells finish(const std::vector<Mean<CheckedSum>>& states) {
    return number_cells<double>(
        states, [](const auto& s) { return static_cast<double>(s.sum.sum) / static_cast<double>(s.count); },
        without_values);
}

template <class T, bool smallest>
Cells finish(const std::vector<Extreme<T, smallest>>& states) {
    return number_cells<T>(states, [](const auto& s) { return s.value; }, [](const auto& s) { return !s.present; });
}

template <bool smallest>
Cells finish(const std::vector<Extreme<std::string_view, smallest>>& states) {
    StrCells out;
    out.offsets.reserve(states.size() + 1);
    for (std::size_t g = 0; g < states.size(); ++g) {
        out.push_back(states[g].value);
        if (!states[g].present) out.validity.set_null(g, states.size());
    }
    return out;
}

// Whether a group's i64 sum overflowed on the way.
bool overflowed(const CheckedSum& s) { return s.overflowed; }
bool overflowed(const Mean<CheckedSum>& s) { return s.sum.overflowed; }
template <class State>
bool overflowed(const State&) {
    return false;
}

template <class State, class ColumnCells>
Result<Cells> reduce(const Grouping& grouping, const ColumnCells& cells, std::string_view name) {
    const std::vector<State> states = accumulate<State>(grouping, cells);
    for (const State& state : states) {
        if (overflowed(state)) return EngineError{"the sum of column " + quoted_form(name) + " overflows i64"};
    }
    if constexpr (std::is_same_v<ColumnCells, F64Cells> && (std::is_same_v<State, CompensatedSum> ||
                                                            std::is_same_v<State, Mean<CompensatedSum>>)) {
        return finish(states, ExactSums(grouping, cells, states));
    } else {
        return finish(states);
    }
}

// The values of one aggregation of a column, one per group; sum and mean of text columns
// are refused before this runs.
template <class ColumnCells>
Result<Cells> values_of(const Grouping& grouping, const ColumnCells& cells, Aggregation aggregation,
                        std::string_view name) {
    using T = decltype(value_at(cells, 0));
    if constexpr (!std::is_same_v<T, std::string_view>) {
        using Sum = std::conditional_t<std::is_same_v<T, double>, CompensatedSum, CheckedSum>;
        if (aggregation == Aggregation::sum) return reduce<Sum>(grouping, cells, name);
        if (aggregation == Aggregation::mean) return reduce<Mean<Sum>>(grouping, cells, name);
    }
    if (aggregation == Aggregation::min) return reduce<Min<T>>(grouping, cells, name);
    return reduce<Max<T>>(grouping, cells, name);
}

bool is_key(const Grouping& grouping, std::string_view name) {
    for (const std::string& key : grouping.keys) {
        if (key == name) return true;
    }
    return false;
}

}  // namespace

Result<Frame> attach(const Grouping& grouping, std::string_view name, Cells values) {
    if (is_key(grouping, name)) return EngineError{"column " + quoted_form(name) + " is a key of this grouping"};
    Frame out = key_frame(grouping);
    QUORVEL_RETURN_IF_ERROR(add_column(out, name, std::move(values)));
    return out;
}

Frame count_rows(const Grouping& grouping) {
    for (const std::string_view name : {"count", "len"}) {
        if (is_key(grouping, name)) continue;
        I64Cells counts;
        counts.values.assign(grouping.sizes.begin(), grouping.sizes.end());
        Result<Frame> counted = attach(grouping, name, std::move(counts));
        if (counted) return std::move(counted).value();
    }
    return key_frame(grouping);
}

Result<Frame> aggregate(const Grouping& grouping, std::string_view name, Aggregation aggregation) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(grouping.frame.columns, name));
    const ColumnValues& values = *column->values;
    if (values.dtype() == DType::str && (aggregation == Aggregation::sum || aggregation == Aggregation::mean)) {
        return EngineError{column_is(name, DType::str) + ": it has no sum or mean"};
    }
    QUORVEL_ASSIGN_OR_RETURN(
        Cells computed,
        std::visit([&](const auto& cells) { return values_of(grouping, cells, aggregation, name); }, values.cells()));
    return attach(grouping, name, std::move(computed));
}

}  // namespace quorvel::engine
