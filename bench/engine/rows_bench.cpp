// The row filters, the sort and the date parts on 1,000,000 rows, and the plain comparison
// sort that the radix sort replaces, for reference.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "city_names.hpp"
#include "engine/date_parts.hpp"
#include "engine/filters.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"

namespace quorvel::engine {
namespace {

constexpr std::size_t rows = 1'000'000;

Frame frame_of(std::string_view name, Cells cells) {
    Frame frame;
    if (!add_column(frame, name, std::move(cells)).ok()) std::abort();
    return frame;
}

const Frame& floats() {
    static const Frame frame = [] {
        std::mt19937_64 random(1);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        F64Cells cells;
        for (std::size_t i = 0; i < rows; ++i) cells.values.push_back(uniform(random));
        return frame_of("x", std::move(cells));
    }();
    return frame;
}

const Frame& ints() {
    static const Frame frame = [] {
        std::mt19937_64 random(2);
        I64Cells cells;
        for (std::size_t i = 0; i < rows; ++i) {
            cells.values.push_back(static_cast<std::int64_t>(random() % 2'000'000'000) - 1'000'000'000);
        }
        return frame_of("n", std::move(cells));
    }();
    return frame;
}

const Frame& cities() {
    static const Frame frame = [] {
        std::mt19937_64 random(3);
        const std::vector<std::string> names = city_names(random);
        StrCells cells;
        for (std::size_t i = 0; i < rows; ++i) cells.push_back(names[random() % names.size()]);
        return frame_of("city", std::move(cells));
    }();
    return frame;
}

const Frame& dates() {
    static const Frame frame = [] {
        std::mt19937_64 random(4);
        StrCells cells;
        char text[11];
        for (std::size_t i = 0; i < rows; ++i) {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(1970 + random() % 61),
                          static_cast<int>(1 + random() % 12), static_cast<int>(1 + random() % 28));
            cells.push_back(text);
        }
        return frame_of("day", std::move(cells));
    }();
    return frame;
}

void FilterFloatsGreater(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(filter_compare(floats(), "x", CompareOp::Gt, 0.5));
}
BENCHMARK(FilterFloatsGreater)->Unit(benchmark::kMillisecond);

void FilterIntsLess(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(filter_compare(ints(), "n", CompareOp::Lt, 0.5));
}
BENCHMARK(FilterIntsLess)->Unit(benchmark::kMillisecond);

void FilterIntsAmongLongList(benchmark::State& state) {
    std::vector<double> list;
    for (int i = 0; i < 1000; ++i) list.push_back(i * 1'000'003.0);
    for (auto _ : state) benchmark::DoNotOptimize(filter_among(ints(), "n", list));
}
BENCHMARK(FilterIntsAmongLongList)->Unit(benchmark::kMillisecond);

void FilterTextsInLongList(benchmark::State& state) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < 100; ++i) list.push_back(std::string(cities().columns[0].values->str().at(i)));
    for (auto _ : state) benchmark::DoNotOptimize(filter_in(cities(), "city", list));
}
BENCHMARK(FilterTextsInLongList)->Unit(benchmark::kMillisecond);

// A needle in about one text in eight, one in none, and one whose first and last bytes are
// common; the same through a selection (the frame reversed), where texts are searched one by one.
void FilterTextsContaining(benchmark::State& state, std::string needle, bool selected) {
    RowList reversed(rows);
    std::iota(reversed.rbegin(), reversed.rend(), 0u);
    const Frame frame = selected ? take_rows(cities(), reversed) : cities();
    for (auto _ : state) benchmark::DoNotOptimize(filter_text(frame, "city", TextPlace::Anywhere, needle));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cities().columns[0].values->str().bytes.size()));
}
BENCHMARK_CAPTURE(FilterTextsContaining, Frequent, std::string("ber"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FilterTextsContaining, Absent, std::string("xyz"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FilterTextsContaining, CommonEnds, std::string("oso"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FilterTextsContaining, FrequentSelected, std::string("ber"), true)->Unit(benchmark::kMillisecond);

void FilterTextsStartingWith(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(filter_text(cities(), "city", TextPlace::Start, "San"));
}
BENCHMARK(FilterTextsStartingWith)->Unit(benchmark::kMillisecond);

void FilterNotNull(benchmark::State& state) {
    static const Frame with_nulls = [] {
        I64Cells cells = ints().columns[0].values->i64();
        for (std::size_t r = 0; r < rows; r += 10) cells.validity.set_null(r, rows);
        return frame_of("n", std::move(cells));
    }();
    for (auto _ : state) benchmark::DoNotOptimize(filter_not_null(with_nulls, "n"));
}
BENCHMARK(FilterNotNull)->Unit(benchmark::kMillisecond);

void SortInts(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sort(ints(), "n", false));
}
BENCHMARK(SortInts)->Unit(benchmark::kMillisecond);

void SortFloats(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sort(floats(), "x", false));
}
BENCHMARK(SortFloats)->Unit(benchmark::kMillisecond);

void SortTexts(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sort(cities(), "city", false));
}
BENCHMARK(SortTexts)->Unit(benchmark::kMillisecond);

void YearOfDates(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(date_part_cells(dates(), "day", DatePart::year));
}
BENCHMARK(YearOfDates)->Unit(benchmark::kMillisecond);

// The reference: std::stable_sort over row numbers, each comparison reading both cells.
template <class Less>
void comparison_sort(benchmark::State& state, Less less) {
    for (auto _ : state) {
        std::vector<std::uint32_t> order(rows);
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), less);
        benchmark::DoNotOptimize(order.data());
    }
}

void ComparisonSortInts(benchmark::State& state) {
    const I64Cells& cells = ints().columns[0].values->i64();
    comparison_sort(state, [&](std::uint32_t a, std::uint32_t b) { return cells.values[a] < cells.values[b]; });
}
BENCHMARK(ComparisonSortInts)->Unit(benchmark::kMillisecond);

void ComparisonSortFloats(benchmark::State& state) {
    const F64Cells& cells = floats().columns[0].values->f64();
    comparison_sort(state, [&](std::uint32_t a, std::uint32_t b) { return cells.values[a] < cells.values[b]; });
}
BENCHMARK(ComparisonSortFloats)->Unit(benchmark::kMillisecond);

void ComparisonSortTexts(benchmark::State& state) {
    const StrCells& cells = cities().columns[0].values->str();
    comparison_sort(state, [&](std::uint32_t a, std::uint32_t b) { return cells.at(a) < cells.at(b); });
}
BENCHMARK(ComparisonSortTexts)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::engine
