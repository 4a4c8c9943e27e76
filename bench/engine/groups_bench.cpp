// Grouping and aggregating a million rows by one key, as bench/workloads_groups.py does
// from Python: an i64 key with 1,000 values and a str key with 200.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/aggregations.hpp"
#include "engine/grouping.hpp"

namespace quorvel::engine {
namespace {

using aggregates::index_of;
using aggregates::Max;
using aggregates::Mean;
using aggregates::Median;
using aggregates::Min;
using aggregates::NUnique;
using aggregates::Std;
using aggregates::Sum;

constexpr std::size_t rows = 1'000'000;

const Frame& sample_frame() {
    static const Frame frame = [] {
        std::mt19937_64 random(5);
        std::vector<std::int64_t> int_keys(1'000);
        for (auto& key : int_keys) key = static_cast<std::int64_t>(random() >> 1);
        std::vector<std::string> text_keys(200);
        for (std::size_t i = 0; i < text_keys.size(); ++i) {
            text_keys[i] = "station-" + std::to_string(i * 7919 % 100'003) + "-" + std::string(i % 9, 'x');
        }
        I64Cells k_int, n;
        StrCells k_str;
        F64Cells x;
        std::normal_distribution<double> normal(50.0, 20.0);
        std::uniform_int_distribution<std::int64_t> small(-1'000'000, 1'000'000);
        for (std::size_t r = 0; r < rows; ++r) {
            k_int.values.push_back(int_keys[random() % int_keys.size()]);
            k_str.push_back(text_keys[random() % text_keys.size()]);
            x.values.push_back(normal(random));
            n.values.push_back(small(random));
        }
        Frame out;
        (void)add_column(out, "k_int", std::move(k_int));
        (void)add_column(out, "k_str", std::move(k_str));
        (void)add_column(out, "x", std::move(x));
        (void)add_column(out, "n", std::move(n));
        return out;
    }();
    return frame;
}

const Grouping& grouped_by(const std::string& key) {
    static const Grouping by_int = group(sample_frame(), {"k_int"}).value();
    static const Grouping by_str = group(sample_frame(), {"k_str"}).value();
    return key == "k_int" ? by_int : by_str;
}

void GroupByIntKey(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(group(sample_frame(), {"k_int"}));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK(GroupByIntKey)->Unit(benchmark::kMillisecond);

void GroupByStrKey(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(group(sample_frame(), {"k_str"}));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK(GroupByStrKey)->Unit(benchmark::kMillisecond);

void Aggregate(benchmark::State& state, const std::string& key, const std::string& column, std::size_t aggregation) {
    const Grouping& grouping = grouped_by(key);
    for (auto _ : state) benchmark::DoNotOptimize(aggregate(grouping, column, aggregation));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK_CAPTURE(Aggregate, SumF64, std::string("k_int"), std::string("x"), index_of<Sum>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, MeanF64, std::string("k_int"), std::string("x"), index_of<Mean>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, SumI64, std::string("k_str"), std::string("n"), index_of<Sum>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, MinI64, std::string("k_str"), std::string("n"), index_of<Min>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, MaxI64, std::string("k_str"), std::string("n"), index_of<Max>)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Aggregate, MedianF64, std::string("k_str"), std::string("x"), index_of<Median>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, StdF64, std::string("k_str"), std::string("x"), index_of<Std>)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Aggregate, NUniqueI64, std::string("k_str"), std::string("n"), index_of<NUnique>)
    ->Unit(benchmark::kMillisecond);

// count, sum, mean, min and max of one column in one walk, against the five calls one by one.
void FiveInOneWalk(benchmark::State& state) {
    const Grouping& grouping = grouped_by("k_str");
    const std::vector<AggregationSpec> specs = {
        {"count", "count", std::nullopt}, {"sum", "sum", "n"}, {"mean", "mean", "n"}, {"min", "min", "n"}, {"max", "max", "n"}};
    for (auto _ : state) benchmark::DoNotOptimize(aggregate_specs(grouping, specs));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK(FiveInOneWalk)->Unit(benchmark::kMillisecond);

void FiveOneByOne(benchmark::State& state) {
    const Grouping& grouping = grouped_by("k_str");
    for (auto _ : state) {
        benchmark::DoNotOptimize(count_rows(grouping));
        for (const std::size_t which : {index_of<Sum>, index_of<Mean>, index_of<Min>, index_of<Max>}) {
            benchmark::DoNotOptimize(aggregate(grouping, "n", which));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rows));
}
BENCHMARK(FiveOneByOne)->Unit(benchmark::kMillisecond);

void Count(benchmark::State& state) {
    const Grouping& grouping = grouped_by("k_int");
    for (auto _ : state) benchmark::DoNotOptimize(count_rows(grouping));
}
BENCHMARK(Count)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::engine
