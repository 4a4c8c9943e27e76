#include "engine/aggregations.hpp"

#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/aggregate_states.hpp"
#include "engine/cell_value.hpp"
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

Cells finish(const std::vector<CompensatedSum>& states) {
    return number_cells<double>(states, [](const auto& s) { return s.total(); }, never_null);
}

Cells finish(const std::vector<CheckedSum>& states) {
    return number_cells<std::int64_t>(states, [](const auto& s) { return s.sum; }, never_null);
}

Cells finish(const std::vector<Mean<CompensatedSum>>& states) {
    return number_cells<double>(
        states, [](const auto& s) { return s.sum.total() / static_cast<double>(s.count); }, without_values);
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
    return finish(states);
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
    Result<void> added = add_column(out, name, std::move(values));
    if (!added) return std::move(added).error();
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
    Result<const Column*> column = find_column(grouping.frame.columns, name);
    if (!column) return std::move(column).error();
    const ColumnValues& values = *(*column)->values;
    if (values.dtype() == DType::str && (aggregation == Aggregation::sum || aggregation == Aggregation::mean)) {
        return EngineError{"column " + quoted_form(name) + " is str: it has no sum or mean"};
    }
    Result<Cells> computed =
        std::visit([&](const auto& cells) { return values_of(grouping, cells, aggregation, name); }, values.cells());
    if (!computed) return std::move(computed).error();
    return attach(grouping, name, std::move(computed).value());
}

}  // namespace quorvel::engine
