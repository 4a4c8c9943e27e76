// Reading 10,000,000 rows through a shuffled row selection (a sorted frame's), where every
// cell is a cache miss: writing the frame out, exporting it to Arrow, a date part, a filter, sorts, grouping by a
// text key, and an aggregation.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "arrow/export_stream.hpp"
#include "engine/aggregations.hpp"
#include "engine/date_parts.hpp"
#include "engine/filters.hpp"
#include "engine/grouping.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"

namespace quorvel::engine {
namespace {

using aggregates::index_of;
using aggregates::Max;
using aggregates::Mean;
using aggregates::Min;
using aggregates::Sum;

constexpr std::size_t rows = 10'000'000;

const Frame& shuffled() {
    static const Frame frame = [] {
        std::mt19937_64 random(7);
        StrCells days;
        StrCells cities;
        F64Cells amounts;
        char text[16];
        for (std::size_t i = 0; i < rows; ++i) {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(1970 + random() % 61),
                          static_cast<int>(1 + random() % 12), static_cast<int>(1 + random() % 28));
            days.push_back(text);
            std::snprintf(text, sizeof text, "city%02d", static_cast<int>(random() % 50));
            cities.push_back(text);
            amounts.values.push_back(static_cast<double>(random() % 1'000'000) / 100);
        }
        Frame frame;
        if (!add_column(frame, "day", std::move(days)).ok() || !add_column(frame, "city", std::move(cities)).ok() ||
            !add_column(frame, "amount", std::move(amounts)).ok()) {
            std::abort();
        }
        RowList order(rows);
        std::iota(order.begin(), order.end(), 0u);
        std::shuffle(order.begin(), order.end(), random);
        return take_rows(frame, std::move(order));
    }();
    return frame;
}

void MaterializeShuffled(benchmark::State& state) {
    const Frame& frame = shuffled();  // made before the timing starts
    for (auto _ : state) benchmark::DoNotOptimize(materialize(frame));
}
BENCHMARK(MaterializeShuffled)->Unit(benchmark::kMillisecond);

// The same rows exported to Arrow and read to the end, batch by batch as a consumer would:
// at least as fast as writing the frame out whole.
void ExportShuffledToArrow(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) {
        ArrowArrayStream stream{};
        if (!arrow::export_frame(frame, nullptr, &stream).ok()) std::abort();
        for (;;) {
            ArrowArray batch{};
            if (stream.get_next(&stream, &batch) != 0) std::abort();
            if (!batch.release) break;
            benchmark::DoNotOptimize(batch.children[0]->buffers[1]);
            batch.release(&batch);
        }
        stream.release(&stream);
    }
}
BENCHMARK(ExportShuffledToArrow)->Unit(benchmark::kMillisecond);

void YearOfShuffledDates(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) benchmark::DoNotOptimize(date_part_cells(frame, "day", DatePart::year));
}
BENCHMARK(YearOfShuffledDates)->Unit(benchmark::kMillisecond);

void FilterShuffledFloats(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) benchmark::DoNotOptimize(filter_compare(frame, "amount", CompareOp::Gt, 5000.0));
}
BENCHMARK(FilterShuffledFloats)->Unit(benchmark::kMillisecond);

void SortShuffledFloats(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) benchmark::DoNotOptimize(sort(frame, "amount", false));
}
BENCHMARK(SortShuffledFloats)->Unit(benchmark::kMillisecond);

void SortShuffledTexts(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) benchmark::DoNotOptimize(sort(frame, "day", false));
}
BENCHMARK(SortShuffledTexts)->Unit(benchmark::kMillisecond);

void GroupShuffledByText(benchmark::State& state) {
    const Frame& frame = shuffled();
    for (auto _ : state) benchmark::DoNotOptimize(group(frame, {"city"}));
}
BENCHMARK(GroupShuffledByText)->Unit(benchmark::kMillisecond);

void SumOfShuffledGroups(benchmark::State& state) {
    const Result<Grouping> grouping = group(shuffled(), {"city"});
    for (auto _ : state) benchmark::DoNotOptimize(aggregate(*grouping, "amount", index_of<Sum>));
}
BENCHMARK(SumOfShuffledGroups)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::engine
