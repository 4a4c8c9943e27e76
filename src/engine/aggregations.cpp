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
#include "engine/prefetch.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

using aggregates::Gathered;

// The rows are walked a stretch at a time and each aggregation takes the stretch in turn: the
// group numbers and cells it reads are still in cache for the next. The pages of the stretch
// after next are asked for first.
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

    // state_of(g) is group g's state.
    template <class Aggregate, class StateOf>
    static Redone of(const Grouping& grouping, const F64Cells& cells, StateOf&& state_of) {
        constexpr std::uint8_t kept = 0, not_finite = 1, taken_again = 2;
        Redone redone;
        std::vector<std::uint8_t> status(grouping.group_count(), kept);
        bool any = false;
        for (std::size_t g = 0; g < status.size(); ++g) {
            if (Aggregate::inexact(state_of(g))) status[g] = taken_again, any = true;
        }
        if (!any) return redone;
        const std::uint32_t* const group_of = grouping.group_of_row.data();
        const double* const values = cells.values.data();
        const RowCursor rows(grouping.frame);
        rows.for_each_present(cells.validity, [&](std::size_t r, std::size_t p) {
            if (status[group_of[r]] == taken_again && !std::isfinite(values[p])) status[group_of[r]] = not_finite;
        });
        std::vector<std::uint32_t> slot(status.size());
        for (std::size_t g = 0; g < status.size(); ++g) {
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

// The buffer behind a member's Gathered states: one stretch per group, as long as the group
// has rows, in group order. Other states need none.
template <class State>
struct GatherBuffer {
    template <class StateOf>
    void lay_out(const Grouping&, StateOf&&) {}
};

template <class E>
struct GatherBuffer<Gathered<E>> {
    std::unique_ptr<E[]> values;

    template <class StateOf>
    void lay_out(const Grouping& grouping, StateOf&& state_of) {
        values = std::make_unique_for_overwrite<E[]>(grouping.group_of_row.size());
        E* at = values.get();
        for (std::size_t g = 0; g < grouping.group_count(); ++g) {
            state_of(g).begin = state_of(g).end = at;
            at += grouping.sizes[g];
        }
    }
};

// Whether the aggregation squares values exactly (see aggregates.hpp).
template <class Aggregate>
constexpr bool squares = requires { requires Aggregate::squares; };

template <bool fused, class Aggregate, class State, class T>
[[gnu::always_inline]] inline void feed(State& state, T x) {
    if constexpr (squares<Aggregate>) {
        Aggregate::template add<fused>(state, x);
    } else {
        Aggregate::add(state, x);
    }
}

// Aggregations of one column: fed the grouping's rows a stretch at a time, in order, then
// finished into one cell per group, one aggregation at a time.
class Accumulation {
public:
    virtual ~Accumulation() = default;
    virtual void add(const RowCursor& stretch) = 0;
    // Asks for the pages of the cells of rows [begin, end), when those are read in storage order.
    virtual void ask_ahead(std::size_t begin, std::size_t end) const = 0;
    // The cells of the aggregation at place `which` of the list, one of those computed here, or
    // the error of an i64 sum that overflowed.
    virtual Result<Cells> finish(std::size_t which) = 0;
};

// Each group has a state of every aggregation, side by side, and each present cell feeds them
// all: several aggregations of one column cost one loop.
template <class ColumnCells, class... Aggregates>
class AccumulationOf final : public Accumulation {
public:
    using T = decltype(value_at(std::declval<const ColumnCells&>(), 0));
    using States = std::tuple<typename Aggregates::template State<T>...>;
    template <std::size_t i>
    using Member = std::tuple_element_t<i, std::tuple<Aggregates...>>;
    template <std::size_t i>
    using MemberState = std::tuple_element_t<i, States>;
    static constexpr auto members = std::index_sequence_for<Aggregates...>{};

    AccumulationOf(const Grouping& grouping, const ColumnCells& cells, std::string_view column)
        : grouping_(grouping), cells_(cells), column_(column), states_(grouping.group_count()) {
        [&]<std::size_t... i>(std::index_sequence<i...>) {
            (std::get<i>(buffers_).lay_out(grouping, [&](std::size_t g) -> auto& { return std::get<i>(states_[g]); }),
             ...);
        }(members);
    }

    // Feeds every present cell to the states of its row's group, so each group sees its own
    // rows in order.
    void add(const RowCursor& stretch) override {
        if constexpr ((squares<Aggregates> || ...)) {
            if (has_fused_multiply_add()) return add_fused(stretch);
        }
        add_cells<false>(stretch);
    }

#if defined(__x86_64__) || defined(__i386__)
    [[gnu::target("fma")]]
#endif
    void add_fused(const RowCursor& stretch) {
        add_cells<true>(stretch);
    }

    // Inlined, so that in add_fused it is compiled for processors with fused multiply-adds.
    template <bool fused>
    [[gnu::always_inline]] void add_cells(const RowCursor& stretch) {
        States* const state = states_.data();
        const std::uint32_t* const groups = grouping_.group_of_row.data();
        const ColumnCells& cells = cells_;
        stretch.for_each_present(
            cells.validity,
            [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT {
                States& group = state[groups[r]];
                const T x = value_at(cells, p);
                [&]<std::size_t... i>(std::index_sequence<i...>) QUORVEL_INLINE_VISIT {
                    (feed<fused, Member<i>>(std::get<i>(group), x), ...);
                }(members);
            },
            cells);
    }

    void ask_ahead(std::size_t begin, std::size_t end) const override {
        if constexpr (!std::is_same_v<ColumnCells, StrCells>) {
            if (!grouping_.frame.selection) prefetch_pages(cells_.values.data(), begin, end);
        }
    }

    Result<Cells> finish(std::size_t which) override {
        QUORVEL_CHECK(((aggregates::index_of<Aggregates> == which) || ...));
        Result<Cells> finished = EngineError{"no such aggregation in this accumulation"};
        [&]<std::size_t... i>(std::index_sequence<i...>) {
            (void)((aggregates::index_of<Member<i>> == which && (finished = finish_member<i>(), true)) || ...);
        }(members);
        return finished;
    }

private:
    template <std::size_t i>
    Result<Cells> finish_member() const {
        using Aggregate = Member<i>;
        using State = MemberState<i>;
        const auto state_of = [&](std::size_t g) -> const State& { return std::get<i>(states_[g]); };
        const std::size_t groups = states_.size();
        if constexpr (requires(const State& s) { Aggregate::overflowed(s); }) {
            for (std::size_t g = 0; g < groups; ++g) {
                if (Aggregate::overflowed(state_of(g))) {
                    return EngineError{"the sum of column " + quoted_form(column_) + " overflows i64"};
                }
            }
        }
        using Out = typename decltype(Aggregate::finish(std::declval<const State&>()))::value_type;
        CellsOf<Out> out;
        if constexpr (std::is_same_v<Out, std::string_view>) {
            out.offsets.reserve(groups + 1);
        } else {
            out.values.reserve(groups);
        }
        for (std::size_t g = 0; g < groups; ++g) append(out, Aggregate::finish(state_of(g)), groups);
        if constexpr (requires(const State& s) { Aggregate::inexact(s); }) {
            const auto redone = Redone<typename Aggregate::Exact>::template of<Aggregate>(grouping_, cells_, state_of);
            for (std::size_t k = 0; k < redone.groups.size(); ++k) {
                out.values[redone.groups[k]] = Aggregate::finish_exact(state_of(redone.groups[k]), redone.states[k]);
            }
        }
        return Cells(std::move(out));
    }

    const Grouping& grouping_;
    const ColumnCells& cells_;
    std::string_view column_;
    std::vector<States> states_;
    std::tuple<GatherBuffer<typename Aggregates::template State<T>>...> buffers_;
};

using AccumulationRef = std::unique_ptr<Accumulation>;

// Whether `Aggregate` takes a column of `dtype`.
template <class Aggregate>
constexpr bool takes(DType dtype) {
    switch (dtype) {
        case DType::f64: return !std::is_void_v<typename Aggregate::template State<double>>;
        case DType::i64: return !std::is_void_v<typename Aggregate::template State<std::int64_t>>;
        case DType::str: break;
    }
    return !std::is_void_v<typename Aggregate::template State<std::string_view>>;
}

// The column `name` if the aggregation at place `which` takes it; else the lookup error, or
// the one that refuses its dtype.
Result<const Column*> aggregated_column(const Grouping& grouping, std::size_t which, std::string_view name) {
    static constexpr auto checks = []<std::size_t... i>(std::index_sequence<i...>) {
        return std::array<bool (*)(DType), sizeof...(i)>{&takes<std::tuple_element_t<i, aggregates::List>>...};
    }(std::make_index_sequence<aggregates::count>{});
    static constexpr auto refused = []<std::size_t... i>(std::index_sequence<i...>) {
        return std::array<std::string_view, sizeof...(i)>{std::tuple_element_t<i, aggregates::List>::refused...};
    }(std::make_index_sequence<aggregates::count>{});
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(grouping.frame.columns, name));
    const DType dtype = column->values->dtype();
    if (!checks[which](dtype)) return EngineError{column_is(name, dtype) + ": " + std::string(refused[which])};
    return column;
}

// The accumulation of `Aggregates` over `column`, called `name`, whose dtype all of them take.
template <class... Aggregates>
AccumulationRef accumulation_of(const Grouping& grouping, const Column& column, std::string_view name) {
    return std::visit(
        [&](const auto& cells) -> AccumulationRef {
            using ColumnCells = std::decay_t<decltype(cells)>;
            if constexpr ((!std::is_void_v<typename Aggregates::template State<decltype(value_at(cells, 0))>> && ...)) {
                return std::make_unique<AccumulationOf<ColumnCells, Aggregates...>>(grouping, cells, name);
            } else {
                return nullptr;
            }
        },
        column.values->cells());
}

using MakeAccumulation = AccumulationRef (*)(const Grouping&, const Column&, std::string_view);

// The aggregations of the list, by their place in it.
constexpr auto by_place = []<std::size_t... i>(std::index_sequence<i...>) {
    return std::array<MakeAccumulation, sizeof...(i)>{&accumulation_of<std::tuple_element_t<i, aggregates::List>>...};
}(std::make_index_sequence<aggregates::count>{});

// The aggregations of aggregates::Fused, made together over one column.
constexpr MakeAccumulation fused = []<class... Aggregates>(std::type_identity<std::tuple<Aggregates...>>) {
    return &accumulation_of<Aggregates...>;
}(std::type_identity<aggregates::Fused>{});

// Walks the grouping's rows once, handing every accumulation each stretch in turn.
void walk(const Grouping& grouping, const std::vector<Accumulation*>& accumulations) {
    const RowCursor rows(grouping.frame);
    const std::size_t count = rows.size();
    for (std::size_t begin = 0; begin < count; begin += stretch_rows) {
        const std::size_t end = std::min(begin + stretch_rows, count);
        const std::size_t ahead = std::min(begin + 2 * stretch_rows, count);
        const std::size_t ahead_end = std::min(end + 2 * stretch_rows, count);
        prefetch_pages(grouping.group_of_row.data(), ahead, ahead_end);
        for (const Accumulation* accumulation : accumulations) accumulation->ask_ahead(ahead, ahead_end);
        const RowCursor part = rows.stretch(begin, end);
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

// What one spec computes: count (no column), or the aggregation at place `which` of the
// column `column`.
struct CheckedSpec {
    std::optional<std::size_t> which;
    const Column* column = nullptr;
};

// A spec's operation and column, or why it cannot be computed.
Result<CheckedSpec> checked(const Grouping& grouping, const AggregationSpec& spec) {
    if (spec.operation == "count") {
        if (spec.column) return EngineError{"count takes no column: give (name, \"count\")"};
        return CheckedSpec{};
    }
    const auto* const found = std::find(aggregates::names.begin(), aggregates::names.end(), spec.operation);
    if (found == aggregates::names.end()) {
        return EngineError{"operation " + quoted_form(spec.operation) + ": give " + operation_names()};
    }
    if (!spec.column) {
        return EngineError{spec.operation + " takes a column: give (name, \"" + spec.operation + "\", column)"};
    }
    const auto which = static_cast<std::size_t>(found - aggregates::names.begin());
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, aggregated_column(grouping, which, *spec.column));
    return CheckedSpec{which, column};
}

// Whether the aggregation at place `which` is one of aggregates::Fused.
constexpr bool fusable(std::size_t which) {
    return []<class... Aggregates>(std::type_identity<std::tuple<Aggregates...>>, std::size_t place) {
        return ((aggregates::index_of<Aggregates> == place) || ...);
    }(std::type_identity<aggregates::Fused>{}, which);
}

// The accumulation of each spec (none for count): the fused aggregations of a number column
// share one when two or more specs ask for them, every other spec has its own.
std::vector<Accumulation*> plan(const Grouping& grouping, const std::vector<AggregationSpec>& specs,
                                const std::vector<CheckedSpec>& checked_specs, std::vector<AccumulationRef>& made) {
    std::vector<Accumulation*> of_spec(specs.size(), nullptr);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const CheckedSpec& spec = checked_specs[i];
        if (!spec.which || of_spec[i]) continue;
        std::vector<std::size_t> sharing = {i};
        if (fusable(*spec.which) && spec.column->values->dtype() != DType::str) {
            for (std::size_t j = i + 1; j < specs.size(); ++j) {
                const CheckedSpec& other = checked_specs[j];
                if (other.which && fusable(*other.which) && other.column == spec.column) sharing.push_back(j);
            }
        }
        const std::string_view name = *specs[i].column;
        made.push_back(sharing.size() > 1 ? fused(grouping, *spec.column, name)
                                          : by_place[*spec.which](grouping, *spec.column, name));
        QUORVEL_CHECK(made.back() != nullptr);
        for (const std::size_t j : sharing) of_spec[j] = made.back().get();
    }
    return of_spec;
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
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, aggregated_column(grouping, which, name));
    const AccumulationRef accumulation = by_place[which](grouping, *column, name);
    QUORVEL_CHECK(accumulation != nullptr);
    walk(grouping, {accumulation.get()});
    QUORVEL_ASSIGN_OR_RETURN(Cells computed, accumulation->finish(which));
    return attach(grouping, name, std::move(computed));
}

Result<Frame> aggregate_specs(const Grouping& grouping, const std::vector<AggregationSpec>& specs) {
    std::vector<CheckedSpec> checked_specs;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        Result<CheckedSpec> spec = checked(grouping, specs[i]);
        if (!spec) return at_spec(i, std::move(spec).error());
        checked_specs.push_back(*spec);
        const std::string& name = specs[i].name;
        if (is_key(grouping, name)) return at_spec(i, key_taken(name));
        for (std::size_t earlier = 0; earlier < i; ++earlier) {
            if (specs[earlier].name == name) return at_spec(i, {"the result has a column " + quoted_form(name) + " already"});
        }
    }
    std::vector<AccumulationRef> made;
    const std::vector<Accumulation*> of_spec = plan(grouping, specs, checked_specs, made);
    std::vector<Accumulation*> walked;
    for (const AccumulationRef& accumulation : made) walked.push_back(accumulation.get());
    walk(grouping, walked);
    Frame out = key_frame(grouping);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        Result<Cells> computed = of_spec[i] ? of_spec[i]->finish(*checked_specs[i].which) : Result<Cells>(group_sizes(grouping));
        if (!computed) return at_spec(i, std::move(computed).error());
        QUORVEL_RETURN_IF_ERROR(add_column(out, specs[i].name, std::move(computed).value()));
    }
    return out;
}

}  // namespace quorvel::engine
