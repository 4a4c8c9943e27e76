// libFuzzer target for the CSV reader and writer: any bytes in; no crash, and every frame the
// reader makes is consistent and reads back from its own CSV text.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>

#include "csv/reader.hpp"
#include "csv/writer.hpp"

namespace {

using namespace quorvel::engine;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool starts_with_line(const std::string& message) {
    return message.starts_with("line ") &&
           (message.ends_with(": text after a closing quote") || message.ends_with(": a quoted field is never closed") ||
            message.find(" fields; the header has ") != std::string::npos);
}

bool any_present(const ColumnValues& values) {
    return std::visit(
        [](const auto& cells) {
            for (std::size_t row = 0; row < cells.size(); ++row) {
                if (cells.is_present(row)) return true;
            }
            return false;
        },
        values.cells());
}

bool has_nan_or_infinity(const ColumnValues& values) {
    if (values.dtype() != DType::f64) return false;
    const F64Cells& cells = values.f64();
    for (std::size_t row = 0; row < cells.size(); ++row) {
        const double x = cells.values[row];
        if (cells.is_present(row) && (std::isnan(x) || x == INFINITY)) return true;
    }
    return false;
}

// The cells of two columns of one dtype are equal, floats bit for bit.
bool same_cells(const ColumnValues& a, const ColumnValues& b) {
    if (a.dtype() != b.dtype() || a.length() != b.length()) return false;
    return std::visit(
        [&](const auto& cells) {
            using Cells = std::decay_t<decltype(cells)>;
            const Cells& other = std::get<Cells>(b.cells());
            for (std::size_t row = 0; row < cells.size(); ++row) {
                if (cells.is_present(row) != other.is_present(row)) return false;
                if (!cells.is_present(row)) continue;
                if constexpr (std::is_same_v<Cells, StrCells>) {
                    if (cells.at(row) != other.at(row)) return false;
                } else if (std::bit_cast<std::uint64_t>(cells.values[row]) !=
                           std::bit_cast<std::uint64_t>(other.values[row])) {
                    return false;
                }
            }
            return true;
        },
        a.cells());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Result<Frame> frame = read_csv(text);
    if (!frame) {
        const std::string& message = frame.error().message;
        require(message == "no header line" || starts_with_line(message) ||
                    message.starts_with("the frame has a column "),
                "an error message of a known form");
        return 0;
    }
    require(!frame->columns.empty(), "a frame read from text has columns");
    require(!frame->selection, "a frame read from text has no row selection");
    for (const Column& column : frame->columns) require(column.values->length() == frame->height, "one height");

    // A first name that begins with U+FEFF is taken for a byte-order mark when read back and
    // loses it, which may leave a blank header line; such frames do not read back whole.
    if (frame->columns[0].name.starts_with("\xEF\xBB\xBF")) return 0;
    const TextBuffer written = to_csv(*frame);
    const Result<Frame> back = read_csv(written.view());
    require(back.ok(), "the written text reads back");
    require(back->columns.size() == frame->columns.size(), "the same width");
    const bool single_column_with_nulls = frame->columns.size() == 1 && frame->height > 0 &&
                                          std::visit([](const auto& c) { return !c.validity.all_present(); },
                                                     frame->columns[0].values->cells());
    if (single_column_with_nulls) return 0;  // its null lines are blank, and skipped
    require(back->height == frame->height, "the same height");
    for (std::size_t i = 0; i < frame->columns.size(); ++i) {
        const Column& wrote = frame->columns[i];
        const Column& read = back->columns[i];
        require(read.name == wrote.name, "the same names");
        if (!any_present(*wrote.values)) {
            require(read.values->dtype() == DType::i64 && !any_present(*read.values), "a column of nulls");
        } else if (has_nan_or_infinity(*wrote.values)) {
            require(read.values->dtype() == DType::str, "nan and inf read back as text");
        } else {
            require(same_cells(*wrote.values, *read.values), "the same cells");
        }
    }
    return 0;
}
