#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "engine/deviations.hpp"
#include "engine/distinct_count.hpp"
#include "engine/exact_sum.hpp"
#include "engine/group_keys.hpp"
#include "engine/median.hpp"

// The aggregations of a column of a Grouped: one struct each, every one in the same shape.
//
//   name                   the method's name
//   State<T>               one group's running state over cells of type T (double,
//                          std::int64_t or std::string_view), value-initialised at the start;
//                          void for a dtype the aggregation refuses
//   refused                the end of the message that refuses such a column
//   add(state, value)      one present value of the group, in row order (nulls are skipped)
//   finish(state)          the group's cell, or nullopt for a null; its type is the result's
//                          dtype
//
// and where they apply:
//
//   squares                true where add<fused>(state, value) squares values exactly, by
//                          fused multiply-adds when `fused` (on processors that have them)
//   overflowed(state)      an i64 sum that overflowed: the whole aggregation fails
//   inexact(state)         an f64 cell that may be wrong because a running sum left the range
//                          of floats; if all the group's values are finite, they are added
//                          again to an `Exact` state, which cannot leave it, and
//                          finish_exact(state, exact) gives the cell instead
//
// A state is a few bytes, so that one per group stays in cache while the rows stream past.
// An aggregation that needs all of a group's values at once (a median, a count of distinct
// values) has Gathered<E> as its state instead: the engine gives each group its own stretch
// of one buffer, as long as the group has rows, and add() appends to it.
namespace quorvel::engine::aggregates {

// Neumaier's variant of Kahan summation: the correction collects the low-order bits that
// each addition to the running sum loses.
struct CompensatedSum {
    double sum = 0.0;
    double correction = 0.0;

    void add(double x) {
        const double t = sum + x;
        // A NaN on either side makes the comparison false and takes the second form.
        correction += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    // An infinite sum stays itself: an infinite or NaN correction must not turn it into NaN.
    double total() const { return std::isfinite(correction) && correction != 0.0 ? sum + correction : sum; }
};

// A 64-bit sum that remembers whether any addition overflowed, even if later values would
// bring the total back into range.
struct CheckedSum {
    std::int64_t sum = 0;
    bool overflowed = false;

    void add(std::int64_t x) { overflowed |= __builtin_add_overflow(sum, x, &sum); }
};

template <class Sum>
struct SumAndCount {
    Sum sum;
    std::uint64_t count = 0;
};

// The state over f64 cells, over i64 cells, and none over texts.
template <class T, class OverF64, class OverI64>
using ForNumbers = std::conditional_t<std::is_same_v<T, double>, OverF64,
                                      std::conditional_t<std::is_same_v<T, std::int64_t>, OverI64, void>>;

// The present values added up: 0 for a group without any. Over i64 the sum is exact and an
// overflow is an error; over f64 it is compensated.
struct Sum {
    static constexpr std::string_view name = "sum";
    static constexpr std::string_view refused = "it has no sum or mean";
    template <class T>
    using State = ForNumbers<T, CompensatedSum, CheckedSum>;

    static void add(CompensatedSum& s, double x) { s.add(x); }
    static void add(CheckedSum& s, std::int64_t x) { s.add(x); }
    static std::optional<double> finish(const CompensatedSum& s) { return s.total(); }
    static std::optional<std::int64_t> finish(const CheckedSum& s) { return s.sum; }
    static bool overflowed(const CheckedSum& s) { return s.overflowed; }
    using Exact = ExactSum;
    static bool inexact(const CompensatedSum& s) { return !std::isfinite(s.total()); }
    static double finish_exact(const CompensatedSum&, const ExactSum& exact) { return exact.rounded(); }
};

// The sum (as for Sum) divided by the number of present values: an f64, null for a group
// without values.
struct Mean {
    static constexpr std::string_view name = "mean";
    static constexpr std::string_view refused = Sum::refused;
    template <class T>
    using State = ForNumbers<T, SumAndCount<CompensatedSum>, SumAndCount<CheckedSum>>;

    template <class S, class T>
    static void add(SumAndCount<S>& s, T x) {
        s.sum.add(x);
        ++s.count;
    }
    static std::optional<double> finish(const SumAndCount<CompensatedSum>& s) {
        if (s.count == 0) return std::nullopt;
        return s.sum.total() / static_cast<double>(s.count);
    }
    static std::optional<double> finish(const SumAndCount<CheckedSum>& s) {
        if (s.count == 0) return std::nullopt;
        return static_cast<double>(s.sum.sum) / static_cast<double>(s.count);
    }
    static bool overflowed(const SumAndCount<CheckedSum>& s) { return s.sum.overflowed; }
    using Exact = ExactSum;
    static bool inexact(const SumAndCount<CompensatedSum>& s) { return !std::isfinite(s.sum.total()); }
    static double finish_exact(const SumAndCount<CompensatedSum>& s, const ExactSum& exact) {
        return exact.rounded_quotient(s.count);
    }
};

template <class T>
struct Held {
    T value{};
    bool present = false;

    std::optional<T> cell() const { return present ? std::optional<T>(value) : std::nullopt; }
};

// One present value of the group, of the column's dtype: the first met, replaced by a later
// one when Rule::replaces(later, held). Null for a group without values.
template <class Rule>
struct Kept {
    static constexpr std::string_view name = Rule::name;
    static constexpr std::string_view refused = {};
    template <class T>
    using State = Held<T>;

    template <class T>
    static void add(Held<T>& s, T x) {
        if (!s.present || Rule::replaces(x, s.value)) {
            s.value = x;
            s.present = true;
        }
    }
    template <class T>
    static std::optional<T> finish(const Held<T>& s) {
        return s.cell();
    }
};

// Min and Max: replaced only by a strictly smaller or greater value, so a NaN that comes
// first stays, a later NaN never wins, and of 0.0 and -0.0 the first met stays. Texts compare
// by their bytes.
struct Smallest {
    static constexpr std::string_view name = "min";
    template <class T>
    static bool replaces(T later, T held) {
        return later < held;
    }
};

struct Largest {
    static constexpr std::string_view name = "max";
    template <class T>
    static bool replaces(T later, T held) {
        return later > held;
    }
};

// First and Last: the first or the last present value in row order.
struct Earliest {
    static constexpr std::string_view name = "first";
    template <class T>
    static bool replaces(T, T) {
        return false;
    }
};

struct Latest {
    static constexpr std::string_view name = "last";
    template <class T>
    static bool replaces(T, T) {
        return true;
    }
};

using Min = Kept<Smallest>;
using Max = Kept<Largest>;
using First = Kept<Earliest>;
using Last = Kept<Latest>;

// A group's present values, in row order, in its own stretch of a buffer that the engine lays
// out.
template <class E>
struct Gathered {
    E* begin = nullptr;
    E* end = nullptr;

    void add(E value) { *end++ = value; }
    std::span<E> values() const { return {begin, end}; }
};

// The middle present value, or the mean of the two middle ones, as an f64 rounded once: null
// for a group without values, NaN when a NaN is among them, 0.0 when its exact value is zero.
struct Median {
    static constexpr std::string_view name = "median";
    static constexpr std::string_view refused = "it has no median";
    template <class T>
    using State = ForNumbers<T, Gathered<double>, Gathered<std::int64_t>>;

    template <class T>
    static void add(Gathered<T>& s, T x) {
        s.add(x);
    }
    template <class T>
    static std::optional<double> finish(const Gathered<T>& s) {
        return median_of(s.values());
    }
};

// The sample variance (divided by n - 1) of the present values, or its square root: an f64,
// null for a group with fewer than two values, NaN when a NaN or an infinity is among them.
template <bool root>
struct Spread {
    static constexpr std::string_view name = root ? "std" : "var";
    static constexpr std::string_view refused = "it has no var or std";
    template <class T>
    using State = ForNumbers<T, Deviations<double>, Deviations<std::int64_t>>;

    // Squares each deviation exactly, by a fused multiply-add where the processor has one.
    static constexpr bool squares = true;
    template <bool fused = false, class T>
    [[gnu::always_inline]] static void add(Deviations<T>& s, T x) {
        s.template add<fused>(x);
    }
    template <class T>
    static std::optional<double> finish(const Deviations<T>& s) {
        const std::optional<double> variance = sample_variance(s.sums);
        if (!root || !variance) return variance;
        return std::sqrt(*variance);
    }
    // Deviations of f64 values whose squares overflow or lose bits below the normal floats.
    using Exact = ScaledDeviations;
    static bool inexact(const Deviations<double>& s) { return ScaledDeviations::needed(s.sums); }
    static double finish_exact(const Deviations<double>&, const ScaledDeviations& exact) {
        return root ? exact.standard_deviation() : exact.variance();
    }
};

using Var = Spread<false>;
using Std = Spread<true>;

// The number of distinct present values, an i64: values are the same when grouping would put
// them in one group (0.0 and -0.0 alike, a NaN only with a NaN of the same bits, texts by
// their bytes). Numbers are gathered as those bits.
struct NUnique {
    static constexpr std::string_view name = "n_unique";
    static constexpr std::string_view refused = {};
    template <class T>
    using State = Gathered<std::conditional_t<std::is_same_v<T, std::string_view>, std::string_view, std::uint64_t>>;

    template <class T>
    static void add(Gathered<std::uint64_t>& s, T x) {
        s.add(group_keys::key_bits(x));
    }
    static void add(Gathered<std::string_view>& s, std::string_view x) { s.add(x); }
    template <class E>
    static std::optional<std::int64_t> finish(const Gathered<E>& s) {
        return static_cast<std::int64_t>(distinct_count(s.values()));
    }
};

// The aggregations of a column, in the order of Grouped's methods. The engine and the binding
// both read this list: a new aggregation is its struct and its entry here.
using List = std::tuple<Sum, Mean, Min, Max, Median, Var, Std, First, Last, NUnique>;

inline constexpr std::size_t count = std::tuple_size_v<List>;

// Aggregations that one loop computes together when several of them are asked of one number
// column at once: their states are small and their steps short, so all of them in one loop
// cost about as much as two loops of one each.
using Fused = std::tuple<Sum, Mean, Min, Max>;

// The names of the list's aggregations, in its order.
inline constexpr auto names = []<std::size_t... i>(std::index_sequence<i...>) {
    return std::array<std::string_view, count>{std::tuple_element_t<i, List>::name...};
}(std::make_index_sequence<count>{});

// The place of `Aggregate` in the list, by which the engine is asked for it.
template <class Aggregate>
inline constexpr std::size_t index_of = []<std::size_t... i>(std::index_sequence<i...>) {
    std::size_t found = count;
    ((std::is_same_v<Aggregate, std::tuple_element_t<i, List>> ? found = i : found), ...);
    return found;
}(std::make_index_sequence<count>{});

}  // namespace quorvel::engine::aggregates
