// The engine's CSV reader and writer alone, on texts shaped like bench/workloads_csv.py's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "csv/number_parse.hpp"
#include "csv/reader.hpp"
#include "csv/writer.hpp"
#include "number_text/float_text.hpp"

namespace quorvel::csv {
namespace {

using namespace engine;
using namespace number_text;

constexpr int rows = 1'000'000;

std::string numeric_csv() {
    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> unit(0, 1);
    std::string text = "id,qty,price,ratio,delta,total\n";
    char line[160];
    for (int i = 0; i < rows; ++i) {
        text += std::to_string(i);
        text += ',';
        if (random() % 50 != 0) text += std::to_string(random() % 10000);
        std::snprintf(line, sizeof line, ",%.2f,%s,", static_cast<double>(random() % 1000000) / 100,
                      float_text(unit(random)).c_str());
        text += line;
        if (random() % 20 != 0) text += float_text(static_cast<double>(static_cast<int>(random() % 20000) - 10000) / 8);
        text += ',';
        text += std::to_string(static_cast<long>(random() % 2000000) - 1000000);
        text += '\n';
    }
    return text;
}

std::string mixed_csv() {
    const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"};
    const char* notes[] = {"\"Smith, J.\"", "\"said \"\"hi\"\"\"", "ok", "\"a, b, and c\"", "pending",
                           "\"x \"\"y\"\", z\"", "", "late"};
    const char* flags[] = {"yes", "no", ""};
    std::mt19937_64 random(2);
    std::string text = "id,name,date,note,amount,flag,score\n";
    char line[200];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(line, sizeof line, "%d,%s.%s%d,%d-%02d-%02d,%s,%.2f,%s,%d\n", i, words[random() % 10],
                      words[random() % 10], static_cast<int>(random() % 100000), static_cast<int>(1990 + random() % 40),
                      static_cast<int>(1 + random() % 12),
                      static_cast<int>(1 + random() % 28), notes[random() % 8],
                      static_cast<double>(static_cast<long>(random() % 200000) - 100000) / 100, flags[random() % 3],
                      static_cast<int>(random() % 100));
        text += line;
    }
    return text;
}

const std::string& text_of(int kind) {
    static const std::string numeric = numeric_csv();
    static const std::string mixed = mixed_csv();
    return kind == 0 ? numeric : mixed;
}

void read_csv_bench(benchmark::State& state) {
    const std::string& text = text_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Result<Frame> frame = read_csv(text);
        if (!frame) state.SkipWithError(frame.error().message.c_str());
        benchmark::DoNotOptimize(frame);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void to_csv_bench(benchmark::State& state) {
    const std::string& text = text_of(static_cast<int>(state.range(0)));
    const Frame frame = read_csv(text).value();
    std::size_t size = 0;
    for (auto _ : state) {
        TextBuffer written = to_csv(frame);
        size = written.view().size();
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// The fields of one column of the numeric text, in place in it.
std::vector<std::string_view> column_fields(int column) {
    const std::string& text = text_of(0);
    std::vector<std::string_view> fields;
    std::size_t line = text.find('\n') + 1;
    while (line < text.size() && fields.size() < 100000) {
        const std::size_t end = text.find('\n', line);
        std::size_t start = line;
        for (int c = 0; c < column; ++c) start = text.find(',', start) + 1;
        const std::size_t stop = std::min(text.find(',', start), end);
        if (stop > start) fields.emplace_back(text.data() + start, stop - start);
        line = end + 1;
    }
    return fields;
}

// The number tests alone, over the fields of one column.
void parse_bench(benchmark::State& state) {
    const std::vector<std::string_view> fields = column_fields(static_cast<int>(state.range(0)));
    const bool integers = state.range(0) <= 1 || state.range(0) == 5;
    std::int64_t integer = 0;
    double number = 0;
    for (auto _ : state) {
        for (const std::string_view field : fields) {
            benchmark::DoNotOptimize(integers ? parse_i64(field, integer) : parse_f64(field, number));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(fields.size()));
}

// The field tests the reader calls, over the same fields in place in the text.
void parse_field_bench(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    const std::string& text = text_of(0);
    const std::vector<std::string_view> fields = column_fields(column);
    const bool integers = column <= 1 || column == 5;
    std::int64_t integer = 0;
    double number = 0;
    for (auto _ : state) {
        for (const std::string_view field : fields) {
            benchmark::DoNotOptimize(integers ? parse_i64_field(field, text, integer)
                                              : parse_f64_field(field, text, number));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(fields.size()));
}

void float_text_bench(benchmark::State& state) {
    const std::vector<std::string_view> fields = column_fields(static_cast<int>(state.range(0)));
    std::vector<double> values;
    for (const std::string_view field : fields) {
        double value = 0;
        parse_f64(field, value);
        values.push_back(value);
    }
    char text[float_text_max];
    for (auto _ : state) {
        for (const double value : values) benchmark::DoNotOptimize(write_float_text(text, value));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

// Doubles of every magnitude: random bit patterns, the infinities and NaNs left out.
void float_text_bits_bench(benchmark::State& state) {
    std::mt19937_64 random(3);
    std::vector<double> values;
    while (values.size() < 100000) {
        const double value = std::bit_cast<double>(random());
        if (std::isfinite(value)) values.push_back(value);
    }
    char text[float_text_max];
    for (auto _ : state) {
        for (const double value : values) benchmark::DoNotOptimize(write_float_text(text, value));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

BENCHMARK(parse_bench)->ArgName("column")->DenseRange(0, 5);
BENCHMARK(parse_field_bench)->ArgName("column")->DenseRange(0, 5);
BENCHMARK(float_text_bench)->ArgName("column")->DenseRange(2, 4);
BENCHMARK(float_text_bits_bench);
BENCHMARK(read_csv_bench)->ArgName("mixed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(to_csv_bench)->ArgName("mixed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::csv
