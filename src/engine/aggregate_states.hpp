#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

// The running state of one group under each aggregation: add() takes the group's present
// values in row order. Each is a few bytes, so a vector of them, one per group, stays in
// cache while the rows stream past.
namespace quorvel::engine::aggregate_states {

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
struct Mean {
    Sum sum;
    std::uint64_t count = 0;

    template <class T>
    void add(T x) {
        sum.add(x);
        ++count;
    }
};

// The first value, replaced only by a strictly smaller (or greater) one: a NaN that comes
// first stays, a later NaN never wins, and of 0.0 and -0.0 the first met stays.
template <class T, bool smallest>
struct Extreme {
    T value{};
    bool present = false;

    void add(T x) {
        if (!present || (smallest ? x < value : x > value)) {
            value = x;
            present = true;
        }
    }
};

template <class T>
using Min = Extreme<T, true>;
template <class T>
using Max = Extreme<T, false>;

}  // namespace quorvel::engine::aggregate_states
