#include "engine/aggregations.hpp"

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "engine/cell_value.hpp"
#include "engine/exact_sum.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

// Feeds every present cell to the state of its row's group, in logical row order, so each
// group sees its own rows in order.
template <class Aggregate, class State, class Cells>
std::vector<State> accumulate(const Grouping& grouping, const Cells& cells) {
    std::vector<State> states(grouping.group_count());
    State* const state = states.data();
    const std::uint32_t* const groups = grouping.group_of_row.data();
    RowCursor(grouping.frame)
        .for_each_present(
            cells.validity,
            [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT { Aggregate::add(state[groups[r]], value_at(cells, p)); },
            cells);
    return states;
}

// The groups whose f64 sum is inexact (its running sum left the range of floats) although
// every one of their values is finite: each is summed again, exactly. Other groups, those
// with an infinity or a NaN among their values included, keep their sums as they are. Costs
// one pass over the rows when some sum is inexact, and a second when some group overflowed.
struct ExactSums {
    std::vector<std::uint32_t> groups;
    std::vector<ExactSum> sums;

    template <class Aggregate, class State>
    static ExactSums of(const Grouping& grouping, const F64Cells& cells, const std::vector<State>& states) {
        constexpr std::uint8_t kept = 0, not_finite = 1, summed_again = 2;
        ExactSums exact;
        std::vector<std::uint8_t> status(states.size(), kept);
        bool any = false;
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (Aggregate::inexact(states[g])) status[g] = summed_again, any = true;
        }
        if (!any) return exact;
        const std::uint32_t* const group_of = grouping.group_of_row.data();
        const double* const values = cells.values.data();
        const RowCursor rows(grouping.frame);
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == summed_again && !std::isfinite(values[p])) status[group_of[r]] = not_finite;
        });
        std::vector<std::uint32_t> slot(states.size());
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (status[g] != summed_again) continue;
            slot[g] = static_cast<std::uint32_t>(exact.groups.size());
            exact.groups.push_back(static_cast<std::uint32_t>(g));
        }
        if (exact.groups.empty()) return exact;
        exact.sums.resize(exact.groups.size());
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == summed_again) exact.sums[slot[group_of[r]]].add(values[p]);
        });
        return exact;
    }
};

template <class T>
void append(NumberCells<T>& out, const std::optional<T>& cell, std::size_t groups) {
    out.values.push_back(cell.value_or(T{}));
    if (!cell) out.validity.set_null(out.values.size() - 1, groups);
}

void append(StrCells& out, const std::optional<std::string_view>& cell, std::size_t groups) {
    out.push_back(cell.value_or(std::string_view{}));
    if (!cell) out.validity.set_null(out.size() - 1, groups);
}

template <class T>
using CellsOf = std::conditional_t<std::is_same_v<T, std::string_view>, StrCells, NumberCells<T>>;

// One cell per group: the aggregation's states, each finished.
template <class Aggregate, class ColumnCells>
Result<Cells> reduce(const Grouping& grouping, const ColumnCells& cells, std::string_view name) {
    using State = typename Aggregate::template State<decltype(value_at(cells, 0))>;
    const std::vector<State> states = accumulate<Aggregate, State>(grouping, cells);
    if constexpr (requires(const State& s) { Aggregate::overflowed(s); }) {
        for (const State& state : states) {
            if (Aggregate::overflowed(state)) {
                return EngineError{"the sum of column " + quoted_form(name) + " overflows i64"};
            }
        }
    }
    using Out = typename decltype(Aggregate::finish(states.front()))::value_type;
    CellsOf<Out> out;
    if constexpr (std::is_same_v<Out, std::string_view>) {
        out.offsets.reserve(states.size() + 1);
    } else {
        out.values.reserve(states.size());
    }
    for (const State& state : states) append(out, Aggregate::finish(state), states.size());
    if constexpr (requires(const State& s, const ExactSum& e) { Aggregate::finish_exact(s, e); }) {
        const ExactSums exact = ExactSums::of<Aggregate>(grouping, cells, states);
        for (std::size_t i = 0; i < exact.groups.size(); ++i) {
            out.values[exact.groups[i]] = Aggregate::finish_exact(states[exact.groups[i]], exact.sums[i]);
        }
    }
    return Cells(std::move(out));
}

template <class Aggregate>
Result<Frame> aggregate_column(const Grouping& grouping, std::string_view name) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(grouping.frame.columns, name));
    QUORVEL_ASSIGN_OR_RETURN(Cells computed, std::visit(
                                                 [&](const auto& cells) -> Result<Cells> {
                                                     using T = decltype(value_at(cells, 0));
                                                     if constexpr (std::is_void_v<typename Aggregate::template State<T>>) {
                                                         return EngineError{column_is(name, column->values->dtype()) +
                                                                            ": " + std::string(Aggregate::refused)};
                                                     } else {
                                                         return reduce<Aggregate>(grouping, cells, name);
                                                     }
                                                 },
                                                 column->values->cells()));
    return attach(grouping, name, std::move(computed));
}

using AggregateColumn = Result<Frame> (*)(const Grouping&, std::string_view);

// The aggregations of the list, by their place in it.
constexpr auto by_place = []<std::size_t... i>(std::index_sequence<i...>) {
    return std::array<AggregateColumn, sizeof...(i)>{&aggregate_column<std::tuple_element_t<i, aggregates::List>>...};
}(std::make_index_sequence<aggregates::count>{});

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

Result<Frame> aggregate(const Grouping& grouping, std::string_view name, std::size_t which) {
    QUORVEL_CHECK(which < by_place.size());
    return by_place[which](grouping, name);
}

}  // namespace quorvel::engine
