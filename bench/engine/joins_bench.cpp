// Joins, sorts by two keys, unique rows and concatenation on 1,000,000 rows, as the peer
// benchmark runs them (bench/workloads_joins.py): a join with a lookup table of 1,000 i64
// keys, one of unique i64 keys on both sides, one with 200 str keys; the mixed frame sorted
// by city then amount descending, made unique by city, and put end to end with another.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "city_names.hpp"
#include "engine/concatenation.hpp"
#include "engine/grouping.hpp"
#include "engine/joining.hpp"
#include "engine/sorting.hpp"

namespace quorvel::engine {
namespace {

constexpr std::size_t rows = 1'000'000;

Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) {
        if (!add_column(frame, name, std::move(cells)).ok()) std::abort();
    }
    return frame;
}

F64Cells uniform_floats(std::mt19937_64& random, std::size_t count) {
    F64Cells cells;
    for (std::size_t i = 0; i < count; ++i) cells.values.push_back(static_cast<double>(random() % 1'000'000) / 1e6);
    return cells;
}

// A frame of `rows` rows with the i64 key k drawn from 1,000 values, and the lookup table
// holding each value once.
const std::pair<Frame, Frame>& lookup_i64() {
    static const std::pair<Frame, Frame> frames = [] {
        std::mt19937_64 random(11);
        std::vector<std::int64_t> keys(1'000);
        for (std::int64_t& key : keys) key = static_cast<std::int64_t>(random() >> 2);
        I64Cells k, n, table_keys;
        for (std::size_t i = 0; i < rows; ++i) {
            k.values.push_back(keys[random() % keys.size()]);
            n.values.push_back(static_cast<std::int64_t>(random() % 2'000'000'000) - 1'000'000'000);
        }
        StrCells labels;
        for (std::size_t i = 0; i < keys.size(); ++i) labels.push_back("label-" + std::to_string(i));
        table_keys.values.assign(keys.begin(), keys.end());
        return std::pair(frame_of({{"k", std::move(k)}, {"x", uniform_floats(random, rows)}, {"n", std::move(n)}}),
                         frame_of({{"k", std::move(table_keys)},
                                   {"w", uniform_floats(random, keys.size())},
                                   {"label", std::move(labels)}}));
    }();
    return frames;
}

// Two frames of `rows` unique i64 keys each, the same keys in two random orders.
const std::pair<Frame, Frame>& unique_i64() {
    static const std::pair<Frame, Frame> frames = [] {
        std::mt19937_64 random(12);
        std::vector<std::int64_t> ids(rows);
        std::iota(ids.begin(), ids.end(), std::int64_t{0});
        for (std::int64_t& id : ids) id = id * 7 - 3 * static_cast<std::int64_t>(rows);
        std::shuffle(ids.begin(), ids.end(), random);
        I64Cells left, right, y;
        left.values.assign(ids.begin(), ids.end());
        std::shuffle(ids.begin(), ids.end(), random);
        right.values.assign(ids.begin(), ids.end());
        for (std::size_t i = 0; i < rows; ++i) y.values.push_back(static_cast<std::int64_t>(random() % 1'000'000));
        return std::pair(frame_of({{"k", std::move(left)}, {"x", uniform_floats(random, rows)}}),
                         frame_of({{"k", std::move(right)}, {"y", std::move(y)}}));
    }();
    return frames;
}

// A frame of `rows` rows keyed by 200 city names, and the table of the cities.
const std::pair<Frame, Frame>& lookup_str() {
    static const std::pair<Frame, Frame> frames = [] {
        std::mt19937_64 random(13);
        const std::vector<std::string> names = city_names(random);
        StrCells k, table_keys, countries;
        I64Cells n, population;
        for (std::size_t i = 0; i < rows; ++i) {
            k.push_back(names[random() % names.size()]);
            n.values.push_back(static_cast<std::int64_t>(random() % 2'000'000'000) - 1'000'000'000);
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            table_keys.push_back(names[i]);
            countries.push_back("country-" + std::to_string(i % 31));
            population.values.push_back(static_cast<std::int64_t>(10'000 + random() % 10'000'000));
        }
        return std::pair(frame_of({{"k", std::move(k)}, {"x", uniform_floats(random, rows)}, {"n", std::move(n)}}),
                         frame_of({{"k", std::move(table_keys)},
                                   {"country", std::move(countries)},
                                   {"population", std::move(population)}}));
    }();
    return frames;
}

// city (200 names), amount (two decimals), n, day (YYYY-MM-DD).
Frame mixed(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    const std::vector<std::string> names = city_names(random);
    StrCells city, day;
    F64Cells amount;
    I64Cells n;
    char text[16];
    for (std::size_t i = 0; i < rows; ++i) {
        city.push_back(names[random() % names.size()]);
        amount.values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 200'000) - 100'000) / 100);
        n.values.push_back(static_cast<std::int64_t>(random() % 2'000'000'000) - 1'000'000'000);
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(1990 + random() % 40),
                      static_cast<int>(1 + random() % 12), static_cast<int>(1 + random() % 28));
        day.push_back(text);
    }
    return frame_of(
        {{"city", std::move(city)}, {"amount", std::move(amount)}, {"n", std::move(n)}, {"day", std::move(day)}});
}

const Frame& mixed_frame() {
    static const Frame frame = mixed(1);
    return frame;
}

void join_bench(benchmark::State& state, const std::pair<Frame, Frame>& frames, const char* how) {
    for (auto _ : state) benchmark::DoNotOptimize(join(frames.first, frames.second, {"k"}, how));
}

void JoinLookupI64(benchmark::State& state) { join_bench(state, lookup_i64(), "inner"); }
BENCHMARK(JoinLookupI64)->Unit(benchmark::kMillisecond);

void JoinUniqueI64(benchmark::State& state) { join_bench(state, unique_i64(), "inner"); }
BENCHMARK(JoinUniqueI64)->Unit(benchmark::kMillisecond);

void JoinLookupStr(benchmark::State& state) { join_bench(state, lookup_str(), "inner"); }
BENCHMARK(JoinLookupStr)->Unit(benchmark::kMillisecond);

// Every row of the frame matches, so a left join gives the inner join's rows; a full join
// of the lookup table with the frame lists the table's rows with their many matches.
void JoinLeftLookupI64(benchmark::State& state) { join_bench(state, lookup_i64(), "left"); }
BENCHMARK(JoinLeftLookupI64)->Unit(benchmark::kMillisecond);

void JoinSemiUniqueI64(benchmark::State& state) { join_bench(state, unique_i64(), "semi"); }
BENCHMARK(JoinSemiUniqueI64)->Unit(benchmark::kMillisecond);

void JoinFullTableToFrame(benchmark::State& state) {
    const auto& [frame, table] = lookup_i64();
    for (auto _ : state) benchmark::DoNotOptimize(join(table, frame, {"k"}, "full"));
}
BENCHMARK(JoinFullTableToFrame)->Unit(benchmark::kMillisecond);

void SortByCityThenAmount(benchmark::State& state) {
    const Frame& frame = mixed_frame();
    for (auto _ : state) benchmark::DoNotOptimize(sort_by(frame, {"city", "amount"}, {{false, true}, true}));
}
BENCHMARK(SortByCityThenAmount)->Unit(benchmark::kMillisecond);

void UniqueByCity(benchmark::State& state) {
    const Frame& frame = mixed_frame();
    for (auto _ : state) benchmark::DoNotOptimize(unique(frame, {"city"}));
}
BENCHMARK(UniqueByCity)->Unit(benchmark::kMillisecond);

void ConcatTwoFrames(benchmark::State& state) {
    static const Frame second = mixed(2);
    const Frame& first = mixed_frame();
    for (auto _ : state) benchmark::DoNotOptimize(concat(first, second));
}
BENCHMARK(ConcatTwoFrames)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::engine
