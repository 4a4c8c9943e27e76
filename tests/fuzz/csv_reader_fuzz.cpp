// libFuzzer target for the CSV reader and writer: any bytes in, no crash; every error has a
// known form; every frame read has one height and reads back from its own CSV text.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "csv/reader.hpp"
#include "csv/writer.hpp"

namespace {

using namespace quorvel::csv;
using namespace quorvel::engine;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool known_error(const std::string& message) {
    return message == "no header line" || message.starts_with("the frame has a column ") ||
           (message.starts_with("line ") && (message.ends_with(": text after a closing quote") ||
                                             message.ends_with(": a quoted field is never closed") ||
                                             message.find(" fields; the header has ") != std::string::npos));
}

// Calls `visit(present, value)` for every cell, value a double, integer or text.
template <class Visit>
void each_cell(const ColumnValues& values, Visit&& visit) {
    std::visit(
        [&](const auto& cells) {
            for (std::size_t row = 0; row < cells.size(); ++row) {
                if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, StrCells>) {
                    visit(cells.is_present(row), cells.at(row));
                } else {
                    visit(cells.is_present(row), cells.values[row]);
                }
            }
        },
        values.cells());
}

// One cell per line: "-" for a null, else the value (floats by their bits).
std::string cells_text(const ColumnValues& values) {
    std::string text;
    each_cell(values, [&](bool present, const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if (!present) {
            text += "-\n";
        } else if constexpr (std::is_same_v<T, double>) {
            text += std::to_string(std::bit_cast<std::uint64_t>(value)) + "\n";
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
            text += std::to_string(value) + "\n";
        } else {
            text += std::to_string(value.size()) + ":" + std::string(value) + "\n";
        }
    });
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Result<Frame> frame = read_csv(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!frame) {
        require(known_error(frame.error().message), "an error message of a known form");
        return 0;
    }
    require(!frame->columns.empty() && !frame->selection, "columns and no row selection");
    bool nulls = false;
    for (const Column& column : frame->columns) {
        require(column.values->length() == frame->height, "one height");
        each_cell(*column.values, [&](bool present, const auto&) { nulls |= !present; });
    }
    // The documented exceptions to reading back the same frame: null lines of a single column
    // (blank, so skipped), nan and inf (read as text) and columns without values (read as i64).
    if (frame->columns.size() == 1 && nulls) return 0;
    const Result<Frame> back = read_csv(to_csv(*frame).view());
    require(back.ok() && back->height == frame->height, "the written text reads back");
    require(column_names(*back) == column_names(*frame), "the same names");
    for (std::size_t i = 0; i < frame->columns.size(); ++i) {
        const ColumnValues& wrote = *frame->columns[i].values;
        const ColumnValues& read = *back->columns[i].values;
        bool values = false, nan_or_inf = false;
        each_cell(wrote, [&](bool present, const auto& value) {
            values |= present;
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, double>) {
                nan_or_inf |= present && (std::isnan(value) || value == INFINITY);
            }
        });
        if (nan_or_inf) {
            require(read.dtype() == DType::str, "nan and inf read back as text");
        } else if (!values) {
            require(read.dtype() == DType::i64 && cells_text(read) == cells_text(wrote), "a column of nulls");
        } else {
            require(read.dtype() == wrote.dtype() && cells_text(read) == cells_text(wrote), "the same cells");
        }
    }
    return 0;
}
