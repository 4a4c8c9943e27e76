#include "engine/aggregations.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
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

using aggregates::Gathered;

// With several aggregations, the rows are walked a stretch at a time and each aggregation
// takes the stretch in turn: the group numbers and cells it reads are still in cache for the
// next.
constexpr std::size_t stretch_rows = 1024;

// The groups whose f64 cell is inexact (a running sum left the range of floats) although every
// one of their values is finite: their values are added again to exact states. Other groups,
// those with an infinity or a NaN among their values included, keep their cells as they are.
// Costs one pass over the rows when some cell is inexact, and a second when some such group's
// values are all finite.
template <class Exact>
struct Redone {
    std::vector<std::uint32_t> groups;
    std::vector<Exact> states;

    template <class Aggregate, class State>
    static Redone of(const Grouping& grouping, const F64Cells& cells, const std::vector<State>& states) {
        constexpr std::uint8_t kept = 0, not_finite = 1, taken_again = 2;
        Redone redone;
        std::vector<std::uint8_t> status(states.size(), kept);
        bool any = false;
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (Aggregate::inexact(states[g])) status[g] = taken_again, any = true;
        }
        if (!any) return redone;
        const std::uint32_t* const group_of = grouping.group_of_row.data();
        const double* const values = cells.values.data();
        const RowCursor rows(grouping.frame);
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == taken_again && !std::isfinite(values[p])) status[group_of[r]] = not_finite;
        });
        std::vector<std::uint32_t> slot(states.size());
        for (std::size_t g = 0; g < states.size(); ++g) {
            if (status[g] != taken_again) continue;
            slot[g] = static_cast<std::uint32_t>(redone.groups.size());
            redone.groups.push_back(static_cast<std::uint32_t>(g));
        }
        if (redone.groups.empty()) return redone;
        redone.states.resize(redone.groups.size());
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == taken_again) redone.states[slot[group_of[r]]].add(values[p]);
        });
        return redone;
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

// The buffer behind Gathered states: one stretch per group, as long as the group has rows, in
// group order. Other states need none.
template <class State>
struct GatherBuffer {
    void lay_out(const Grouping&, std::vector<State>&) {}
};

template <class E>
struct GatherBuffer<Gathered<E>> {
    std::unique_ptr<E[]> values;

    void lay_out(const Grouping& grouping, std::vector<Gathered<E>>& states) {
        values = std::make_unique_for_overwrite<E[]>(grouping.group_of_row.size());
        E* at = values.get();
        for (std::size_t g = 0; g < states.size(); ++g) {
            states[g].begin = states[g].end = at;
            at += grouping.sizes[g];
        }
    }
};

// One aggregation of one column: fed the grouping's rows a stretch at a time, in order, then
// finished into one cell per group.
class Accumulation {
public:
    virtual ~Accumulation() = default;
    virtual void add(const RowCursor& stretch) = 0;
    // The cells, or the error of an i64 sum that overflowed.
    virtual Result<Cells> finish() = 0;
};

template <class Aggregate, class ColumnCells>
class AccumulationOf final : public Accumulation {
public:
    using State = typename Aggregate::template State<decltype(value_at(std::declval<const ColumnCells&>(), 0))>;

    AccumulationOf(const Grouping& grouping, const ColumnCells& cells, std::string_view column)
        : grouping_(grouping), cells_(cells), column_(column), states_(grouping.group_count()) {
        buffer_.lay_out(grouping, states_);
    }

    // Feeds every present cell to the state of its row's group, so each group sees its own
    // rows in order.
    void add(const RowCursor& stretch) override {
        State* const state = states_.data();
        const std::uint32_t* const groups = grouping_.group_of_row.data();
        const ColumnCells& cells = cells_;
        stretch.for_each_present(
            cells.validity,
            [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT { Aggregate::add(state[groups[r]], value_at(cells, p)); },
            cells);
    }

    Result<Cells> finish() override {
        if constexpr (requires(const State& s) { Aggregate::overflowed(s); }) {
            for (const State& state : states_) {
                if (Aggregate::overflowed(state)) {
                    return EngineError{"the sum of column " + quoted_form(column_) + " overflows i64"};
                }
            }
        }
        using Out = typename decltype(Aggregate::finish(std::declval<const State&>()))::value_type;
        CellsOf<Out> out;
        if constexpr (std::is_same_v<Out, std::string_view>) {
            out.offsets.reserve(states_.size() + 1);
        } else {
            out.values.reserve(states_.size());
        }
        for (const State& state : states_) append(out, Aggregate::finish(state), states_.size());
        if constexpr (requires(const State& s) { Aggregate::inexact(s); }) {
            const auto redone = Redone<typename Aggregate::Exact>::template of<Aggregate>(grouping_, cells_, states_);
            for (std::size_t i = 0; i < redone.groups.size(); ++i) {
                out.values[redone.groups[i]] = Aggregate::finish_exact(states_[redone.groups[i]], redone.states[i]);
            }
        }
        return Cells(std::move(out));
    }

private:
    const Grouping& grouping_;
    const ColumnCells& cells_;
    std::string_view column_;
    std::vector<State> states_;
    GatherBuffer<State> buffer_;
};

using AccumulationRef = std::unique_ptr<Accumulation>;

// The accumulation of `Aggregate` over the column `name`, or the error of the lookup or of a
// dtype that the aggregation refuses.
template <class Aggregate>
Result<AccumulationRef> accumulation_of(const Grouping& grouping, std::string_view name) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(grouping.frame.columns, name));
    return std::visit(
        [&](const auto& cells) -> Result<AccumulationRef> {
            using ColumnCells = std::decay_t<decltype(cells)>;
            if constexpr (std::is_void_v<typename Aggregate::template State<decltype(value_at(cells, 0))>>) {
                return EngineError{column_is(name, column->values->dtype()) + ": " + std::string(Aggregate::refused)};
            } else {
                return AccumulationRef(std::make_unique<AccumulationOf<Aggregate, ColumnCells>>(grouping, cells, name));
            }
        },
        column->values->cells());
}

using MakeAccumulation = Result<AccumulationRef> (*)(const Grouping&, std::string_view);

// The aggregations of the list, by their place in it.
constexpr auto by_place = []<std::size_t... i>(std::index_sequence<i...>) {
    return std::array<MakeAccumulation, sizeof...(i)>{&accumulation_of<std::tuple_element_t<i, aggregates::List>>...};
}(std::make_index_sequence<aggregates::count>{});

// Walks the grouping's rows once, handing every accumulation each stretch in turn.
void walk(const Grouping& grouping, const std::vector<Accumulation*>& accumulations) {
    const RowCursor rows(grouping.frame);
    // A single accumulation leaves nothing in cache for another: it takes all rows at once.
    const std::size_t stretch = accumulations.size() > 1 ? stretch_rows : rows.size();
    for (std::size_t begin = 0; begin < rows.size(); begin += stretch) {
        const RowCursor part = rows.stretch(begin, std::min(begin + stretch, rows.size()));
        for (Accumulation* accumulation : accumulations) accumulation->add(part);
    }
}

bool is_key(const Grouping& grouping, std::string_view name) {
    for (const std::string& key : grouping.keys) {
        if (key == name) return true;
    }
    return false;
}

EngineError key_taken(std::string_view name) { return {"column " + quoted_form(name) + " is a key of this grouping"}; }

I64Cells group_sizes(const Grouping& grouping) {
    I64Cells counts;
    counts.values.assign(grouping.sizes.begin(), grouping.sizes.end());
    return counts;
}

// "count", "sum", ... or "n_unique": the operations a spec may name.
std::string operation_names() {
    std::string names = "\"count\"";
    for (std::size_t i = 0; i < aggregates::count; ++i) {
        names += i + 1 < aggregates::count ? ", \"" : " or \"";
        names += aggregates::names[i];
        names += '"';
    }
    return names;
}

// The accumulation behind one spec (none for count, which the group sizes answer), or why
// the spec cannot be computed.
Result<AccumulationRef> spec_accumulation(const Grouping& grouping, const AggregationSpec& spec) {
    if (spec.operation == "count") {
        if (spec.column) return EngineError{"count takes no column: give (name, \"count\")"};
        return AccumulationRef();
    }
    const auto* const found = std::find(aggregates::names.begin(), aggregates::names.end(), spec.operation);
    if (found == aggregates::names.end()) {
        return EngineError{"operation " + quoted_form(spec.operation) + ": give " + operation_names()};
    }
    if (!spec.column) {
        return EngineError{spec.operation + " takes a column: give (name, \"" + spec.operation + "\", column)"};
    }
    return by_place[static_cast<std::size_t>(found - aggregates::names.begin())](grouping, *spec.column);
}

EngineError at_spec(std::size_t position, EngineError error) {
    error.message = "spec " + std::to_string(position) + ": " + error.message;
    return error;
}

}  // namespace

Result<Frame> attach(const Grouping& grouping, std::string_view name, Cells values) {
    if (is_key(grouping, name)) return key_taken(name);
    Frame out = key_frame(grouping);
    QUORVEL_RETURN_IF_ERROR(add_column(out, name, std::move(values)));
    return out;
}

Frame count_rows(const Grouping& grouping) {
    for (const std::string_view name : {"count", "len"}) {
        if (is_key(grouping, name)) continue;
        Result<Frame> counted = attach(grouping, name, group_sizes(grouping));
        if (counted) return std::move(counted).value();
    }
    return key_frame(grouping);
}

Result<Frame> aggregate(const Grouping& grouping, std::string_view name, std::size_t which) {
    QUORVEL_CHECK(which < by_place.size());
    QUORVEL_ASSIGN_OR_RETURN(const AccumulationRef accumulation, by_place[which](grouping, name));
    walk(grouping, {accumulation.get()});
    QUORVEL_ASSIGN_OR_RETURN(Cells computed, accumulation->finish());
    return attach(grouping, name, std::move(computed));
}

Result<Frame> aggregate_specs(const Grouping& grouping, const std::vector<AggregationSpec>& specs) {
    std::vector<AccumulationRef> accumulations;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        Result<AccumulationRef> made = spec_accumulation(grouping, specs[i]);
        if (!made) return at_spec(i, std::move(made).error());
        accumulations.push_back(std::move(made).value());
        const std::string& name = specs[i].name;
        if (is_key(grouping, name)) return at_spec(i, key_taken(name));
        for (std::size_t earlier = 0; earlier < i; ++earlier) {
            if (specs[earlier].name == name) return at_spec(i, {"the result has a column " + quoted_form(name) + " already"});
        }
    }
    std::vector<Accumulation*> walked;
    for (const AccumulationRef& accumulation : accumulations) {
        if (accumulation) walked.push_back(accumulation.get());
    }
    walk(grouping, walked);
    Frame out = key_frame(grouping);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        Result<Cells> computed = accumulations[i] ? accumulations[i]->finish() : Result<Cells>(group_sizes(grouping));
        if (!computed) return at_spec(i, std::move(computed).error());
        QUORVEL_RETURN_IF_ERROR(add_column(out, specs[i].name, std::move(computed).value()));
    }
    return out;
}

}  // namespace quorvel::engine
