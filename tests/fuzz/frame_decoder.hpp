#pragma once

// Turns fuzz input into frames, cells and the arguments of operations. Values come from
// lists of edge cases (NaN payloads, -0.0, the ends of i64, texts that look like numbers or
// dates, bytes that are not UTF-8) or straight from the input; long columns are drawn from a
// generator seeded by the input, so that a few bytes reach the sizes where the engine
// changes method (hash sets for long lists, radix sort, table growth).
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "csv/reader.hpp"
#include "engine/frame.hpp"

namespace quorvel::fuzz {

using namespace quorvel::csv;
using namespace quorvel::engine;
using namespace std::string_literals;

inline const std::vector<double> edge_floats = {
    0.0, -0.0, 1.0, -1.0, 0.5, 2.5, -2.5, 3.0, 0.1, 1e-5, 1e16, 1e100, -1e100,
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    std::bit_cast<double>(std::uint64_t{0x7FF8000000000001}), std::bit_cast<double>(std::uint64_t{0x7FF0000000000001}),
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
    std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
    9007199254740992.0, 9007199254740994.0, 9223372036854775808.0, -9223372036854775808.0,
    -9223372036854777856.0, 18446744073709551616.0};

inline const std::vector<std::int64_t> edge_ints = {
    0, 1, -1, 2, 3, 1000, -1000, 9007199254740992, 9007199254740993, -9007199254740993,
    std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max() - 1,
    std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min() + 1};

inline const std::vector<std::string> edge_texts = {
    "", " ", "a", "b", "B", "ab", "abc", "z", "\xC3\xA9", "\xFF", "\0"s, "x\0y"s,
    "2024-02-29", "2023-02-29", "1900-02-29", "2000-02-29", "0000-01-01", "0001-01-01", "9999-12-31",
    "2024-04-31", "2024-13-01", "2024-00-10", "2024-01-00", "2024-1-05", "2024-01-05 ", "2024/01/05",
    "1", "-0", "007", "1e5", "+inf", "-inf", "inf", "nan", "-NaN", ".5", "5.", ".", "-", "+",
    "a,b", "say \"hi\"", "x\ny", "\r", "\t lead", "trail ", "\xEF\xBB\xBF", "\xC2\xA0nbsp", "\xE2\x80\xA8",
    "pppppppppppppppppppp1", "pppppppppppppppppppp2", "pppppppppppppppppppp"};

inline const std::vector<std::string> edge_names = {
    "a", "b", "c", "k", "count", "len", "", "A", "x\"y\\z", "\xFF", "n\0"s, "\xEF\xBB\xBF" "a", " sp", "1", "\xC3\xA9"};

// A small, fast generator for long columns: SplitMix64.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : next() % bound; }

private:
    std::uint64_t state_;
};

// How a generated column draws its cells.
struct Recipe {
    unsigned null_in = 0;     // one cell in this many is null (0: none)
    unsigned edge_in = 0;     // one cell in this many is an edge case (0: none)
    unsigned value_bits = 64;  // numbers spread over this many low bits
    std::size_t prefix = 0;    // texts share a prefix this long
    std::size_t alphabet = 2;  // and then take a few letters out of this many
    bool dates = false;        // texts are YYYY-MM-DD, mostly valid
};

class Decoder {
public:
    explicit Decoder(FuzzedDataProvider& input) : input_(input) {}

    bool done() const { return input_.remaining_bytes() == 0; }
    bool flag() { return input_.ConsumeBool(); }
    unsigned choice(unsigned most) { return input_.ConsumeIntegralInRange<unsigned>(0, most); }

    // The frame a run starts from: CSV text read by the engine, or columns built directly.
    Frame frame() {
        if (choice(3) == 0) {
            Result<Frame> read = read_csv(input_.ConsumeRandomLengthString(256));
            return read ? std::move(read).value() : Frame{};
        }
        Frame frame;
        const std::size_t height = row_count();
        for (unsigned width = choice(4); width > 0; --width) {
            // A repeated name fails to add; the frame just has one column fewer.
            (void)add_column(frame, name(frame), cells(static_cast<DType>(choice(2)), height));
        }
        return frame;
    }

    std::size_t row_count() {
        switch (choice(3)) {
            case 0: return choice(4);
            case 1: return choice(40);
            case 2: return choice(300);
        }
        return choice(3000);
    }

    // Cells of one dtype, written out by the input cell by cell or drawn by a recipe.
    Cells cells(DType dtype, std::size_t count) {
        if (count <= 64 && flag()) return given_cells(dtype, count);
        Recipe recipe;
        recipe.null_in = choice(8);
        recipe.edge_in = choice(8);
        recipe.value_bits = 1 + choice(63);
        recipe.prefix = std::vector<std::size_t>{0, 3, 7, 8, 9, 16, 17, 30}[choice(7)];
        recipe.alphabet = 1 + choice(5);
        recipe.dates = choice(3) == 0;
        Generator generator(input_.ConsumeIntegral<std::uint64_t>());
        return drawn_cells(dtype, count, recipe, generator);
    }

    // A column name: mostly one the frame has, else an edge case or a text from the input.
    std::string name(const Frame& frame) {
        const unsigned kind = choice(7);
        if (kind < 4 && !frame.columns.empty()) return frame.columns[choice(frame.columns.size() - 1)].name;
        if (kind < 6) return edge_names[choice(edge_names.size() - 1)];
        return input_.ConsumeRandomLengthString(8);
    }

    std::vector<std::string> names(const Frame& frame, unsigned most) {
        std::vector<std::string> out(choice(most));
        for (std::string& n : out) n = name(frame);
        return out;
    }

    // A number to compare with: an edge case, a cell of `values` (or next to one), or any bits.
    double number(const ColumnValues* values, const Frame& frame) {
        switch (choice(5)) {
            case 0: return edge_floats[choice(edge_floats.size() - 1)];
            case 1: return static_cast<double>(edge_ints[choice(edge_ints.size() - 1)]);
            case 2: return std::bit_cast<double>(input_.ConsumeIntegral<std::uint64_t>());
            case 3: return static_cast<double>(input_.ConsumeIntegralInRange<std::int64_t>(-4, 4)) / 2;
        }
        if (!values || values->dtype() == DType::str || frame.height == 0) return 0.0;
        const std::size_t row = frame.physical_row(choice(frame.height - 1));
        const double cell = values->dtype() == DType::f64 ? values->f64().values[row]
                                                         : static_cast<double>(values->i64().values[row]);
        return flag() ? cell : cell + 0.5;
    }

    std::vector<double> numbers(const ColumnValues* values, const Frame& frame) {
        std::vector<double> out(choice(40));
        for (double& n : out) n = number(values, frame);
        return out;
    }

    // A text to look for: an edge case, a cell of `values`, or bytes from the input.
    std::string text(const ColumnValues* values, const Frame& frame) {
        const unsigned kind = choice(3);
        if (kind == 0) return edge_texts[choice(edge_texts.size() - 1)];
        if (kind == 1) return input_.ConsumeRandomLengthString(12);
        if (!values || values->dtype() != DType::str || frame.height == 0) return "";
        return std::string(values->str().at(frame.physical_row(choice(frame.height - 1))));
    }

    std::vector<std::string> texts(const ColumnValues* values, const Frame& frame) {
        std::vector<std::string> out(choice(40));
        for (std::string& t : out) t = text(values, frame);
        return out;
    }

    std::int64_t row_argument(std::uint64_t height) {
        const auto h = static_cast<std::int64_t>(height);
        switch (choice(4)) {
            case 0: return input_.ConsumeIntegralInRange<std::int64_t>(-3, 3);
            case 1: return h + input_.ConsumeIntegralInRange<std::int64_t>(-2, 2);
            case 2: return -h + input_.ConsumeIntegralInRange<std::int64_t>(-2, 2);
            case 3: return edge_ints[choice(edge_ints.size() - 1)];
        }
        return input_.ConsumeIntegral<std::int64_t>();
    }

    std::string part() {
        static const std::vector<std::string> parts = {"year", "month", "day", "Year", "week", ""};
        return parts[choice(parts.size() - 1)];
    }

private:
    Cells given_cells(DType dtype, std::size_t count) {
        F64Cells floats;
        I64Cells ints;
        StrCells texts;
        for (std::size_t r = 0; r < count; ++r) {
            const unsigned kind = choice(7);
            const bool null = kind == 0;
            const bool edge = kind <= 3;
            switch (dtype) {
                case DType::f64:
                    floats.values.push_back(null ? 0.0
                                            : edge ? edge_floats[choice(edge_floats.size() - 1)]
                                                   : std::bit_cast<double>(input_.ConsumeIntegral<std::uint64_t>()));
                    if (null) floats.validity.set_null(r, count);
                    break;
                case DType::i64:
                    ints.values.push_back(null ? 0
                                          : edge ? edge_ints[choice(edge_ints.size() - 1)]
                                                 : input_.ConsumeIntegral<std::int64_t>());
                    if (null) ints.validity.set_null(r, count);
                    break;
                case DType::str:
                    texts.push_back(null ? ""
                                    : edge ? edge_texts[choice(edge_texts.size() - 1)]
                                           : input_.ConsumeRandomLengthString(12));
                    if (null) texts.validity.set_null(r, count);
                    break;
            }
        }
        if (dtype == DType::f64) return floats;
        if (dtype == DType::i64) return ints;
        return texts;
    }

    static std::int64_t drawn_int(const Recipe& recipe, Generator& generator) {
        if (recipe.edge_in && generator.below(recipe.edge_in) == 0) return edge_ints[generator.below(edge_ints.size())];
        const std::uint64_t bits = generator.next();
        return static_cast<std::int64_t>(recipe.value_bits >= 64 ? bits : bits >> (64 - recipe.value_bits)) -
               (recipe.value_bits >= 64 ? 0 : std::int64_t{1} << (recipe.value_bits - 1));
    }

    static double drawn_float(const Recipe& recipe, Generator& generator) {
        if (recipe.edge_in && generator.below(recipe.edge_in) == 0) {
            return edge_floats[generator.below(edge_floats.size())];
        }
        // Integers of the given spread, often halved so that fractions and ties both occur.
        const double whole = static_cast<double>(drawn_int(recipe, generator));
        return generator.below(2) ? whole : whole / 4;
    }

    static std::string drawn_text(const Recipe& recipe, Generator& generator) {
        if (recipe.edge_in && generator.below(recipe.edge_in) == 0) return edge_texts[generator.below(edge_texts.size())];
        if (recipe.dates) {
            char date[11];
            std::snprintf(date, sizeof date, "%04u-%02u-%02u", static_cast<unsigned>(1896 + generator.below(210)),
                          static_cast<unsigned>(generator.below(14)), static_cast<unsigned>(generator.below(33)));
            return date;
        }
        std::string text(recipe.prefix, 'p');
        for (std::size_t i = generator.below(4); i > 0; --i) {
            text += static_cast<char>('a' + generator.below(recipe.alphabet));
        }
        return text;
    }

    static Cells drawn_cells(DType dtype, std::size_t count, const Recipe& recipe, Generator& generator) {
        F64Cells floats;
        I64Cells ints;
        StrCells texts;
        for (std::size_t r = 0; r < count; ++r) {
            const bool null = recipe.null_in && generator.below(recipe.null_in) == 0;
            switch (dtype) {
                case DType::f64:
                    floats.values.push_back(null ? 0.0 : drawn_float(recipe, generator));
                    if (null) floats.validity.set_null(r, count);
                    break;
                case DType::i64:
                    ints.values.push_back(null ? 0 : drawn_int(recipe, generator));
                    if (null) ints.validity.set_null(r, count);
                    break;
                case DType::str:
                    texts.push_back(null ? "" : drawn_text(recipe, generator));
                    if (null) texts.validity.set_null(r, count);
                    break;
            }
        }
        if (dtype == DType::f64) return floats;
        if (dtype == DType::i64) return ints;
        return texts;
    }

    FuzzedDataProvider& input_;
};

}  // namespace quorvel::fuzz
