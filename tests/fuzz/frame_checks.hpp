#pragma once

// What every frame must satisfy, whatever made it, and the cell-level reading that the
// fuzz targets' references use. A broken expectation ends the run with a message.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/frame.hpp"

namespace quorvel::fuzz {

using namespace quorvel::csv;
using namespace quorvel::engine;

[[noreturn]] inline void broken(const std::string& what) {
    std::fprintf(stderr, "broken: %s\n", what.c_str());
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) broken(what);
}

inline bool is_present(const ColumnValues& values, std::size_t row) {
    return std::visit([row](const auto& cells) { return cells.is_present(row); }, values.cells());
}

// One cell as a text that tells cells apart exactly: "-" for a null, else a dtype letter and
// the value (a float by its bits, so -0.0 and each NaN are told apart).
inline std::string cell_key(const ColumnValues& values, std::size_t row) {
    if (!is_present(values, row)) return "-";
    switch (values.dtype()) {
        case DType::f64: return "f" + std::to_string(std::bit_cast<std::uint64_t>(values.f64().values[row]));
        case DType::i64: return "i" + std::to_string(values.i64().values[row]);
        case DType::str: break;
    }
    const std::string_view text = values.str().at(row);
    return "s" + std::to_string(text.size()) + ":" + std::string(text);
}

// The frame's physical rows in logical order.
inline std::vector<std::uint32_t> physical_rows(const Frame& frame) {
    std::vector<std::uint32_t> rows(frame.height);
    for (std::size_t r = 0; r < frame.height; ++r) rows[r] = static_cast<std::uint32_t>(frame.physical_row(r));
    return rows;
}

// The cells of one column in logical row order, as cell keys.
inline std::vector<std::string> logical_cells(const Frame& frame, const ColumnValues& values) {
    std::vector<std::string> cells;
    cells.reserve(frame.height);
    for (std::size_t r = 0; r < frame.height; ++r) cells.push_back(cell_key(values, frame.physical_row(r)));
    return cells;
}

// Whether two cells are the same: both null, or of one dtype with the same value (floats
// by their bits).
inline bool same_cell(const ColumnValues& a, std::size_t a_row, const ColumnValues& b, std::size_t b_row) {
    const bool present = is_present(a, a_row);
    if (a.dtype() != b.dtype() || present != is_present(b, b_row)) return false;
    if (!present) return true;
    switch (a.dtype()) {
        case DType::f64:
            return std::bit_cast<std::uint64_t>(a.f64().values[a_row]) ==
                   std::bit_cast<std::uint64_t>(b.f64().values[b_row]);
        case DType::i64: return a.i64().values[a_row] == b.i64().values[b_row];
        case DType::str: break;
    }
    return a.str().at(a_row) == b.str().at(b_row);
}

// A 64-bit hash of everything a frame shows: height, names, dtypes and every cell in logical
// order. Cheap enough to take of every frame of a chain, and to take again later.
class Fingerprint {
public:
    explicit Fingerprint(const Frame& frame) {
        add(frame.height);
        for (const Column& column : frame.columns) {
            add(column.name);
            add(static_cast<std::uint64_t>(column.values->dtype()));
            const ColumnValues& values = *column.values;
            for (std::size_t r = 0; r < frame.height; ++r) {
                const std::size_t row = frame.physical_row(r);
                if (!is_present(values, row)) {
                    add(std::uint64_t{0x6E756C6C});
                } else if (values.dtype() == DType::str) {
                    add(values.str().at(row));
                } else {
                    add(values.dtype() == DType::f64 ? std::bit_cast<std::uint64_t>(values.f64().values[row])
                                                     : static_cast<std::uint64_t>(values.i64().values[row]));
                }
            }
        }
    }
    bool operator==(const Fingerprint&) const = default;

private:
    // A word at a time: multiply, then fold the high bits down so that they reach every bit.
    void add(std::uint64_t word) {
        hash_ = (hash_ ^ word) * 0x9E3779B97F4A7C15u;
        hash_ ^= hash_ >> 29;
    }
    void add(std::string_view text) {
        add(static_cast<std::uint64_t>(text.size()));
        for (std::size_t at = 0; at < text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, std::min<std::size_t>(8, text.size() - at));
            add(word);
        }
    }

    std::uint64_t hash_ = 0;
};

// The storage of one column: a null cell holds 0 or an empty text, the null mask covers
// every cell, text offsets climb to the end of the bytes.
inline void check_storage(const ColumnValues& values) {
    std::visit(
        [](const auto& cells) {
            using Cells = std::decay_t<decltype(cells)>;
            const std::size_t length = cells.size();
            if (!cells.validity.all_present()) {
                require(cells.validity.word_count() * 64 >= length, "the null mask covers every cell");
            }
            if constexpr (std::is_same_v<Cells, StrCells>) {
                require(cells.offsets.size() == length + 1 && cells.offsets.front() == 0, "one offset per cell");
                for (std::size_t r = 0; r < length; ++r) {
                    require(cells.offsets[r] <= cells.offsets[r + 1], "text offsets climb");
                    require(cells.is_present(r) || cells.at(r).empty(), "a null text is empty");
                }
                require(cells.offsets.back() == cells.bytes.size(), "the offsets end with the bytes");
            } else {
                for (std::size_t r = 0; r < length; ++r) {
                    require(cells.is_present(r) || cells.values[r] == 0, "a null number holds 0");
                }
            }
        },
        values.cells());
}

// The frame model's invariants, and gather agreeing with the row selection.
inline void check_frame(const Frame& frame) {
    std::set<std::string_view> names;
    for (const Column& column : frame.columns) {
        require(names.insert(column.name).second, "column names are distinct");
        require(column.values->length() == frame.storage_length(), "columns share one storage length");
        check_storage(*column.values);
    }
    if (!frame.columns.empty()) {
        if (frame.selection) {
            const RowList& rows = frame.selection->rows;
            require(rows.size() == frame.height, "a row selection holds one entry per row");
            bool identity = rows.size() == frame.storage_length();
            for (std::size_t r = 0; r < rows.size(); ++r) {
                require(rows[r] < frame.storage_length(), "a selected row lies in the storage");
                identity = identity && rows[r] == r;
            }
            require(!identity, "a selection of every row in storage order is dropped");
        } else {
            require(frame.height == frame.storage_length(), "without a selection the height is the storage length");
        }
    }
    for (const Column& column : frame.columns) {
        const ValuesRef gathered = gather(frame, column.values);
        require(gathered->length() == frame.height && gathered->dtype() == column.values->dtype(),
                "gather gives height cells of the column's dtype");
        for (std::size_t r = 0; r < frame.height; ++r) {
            require(same_cell(*gathered, r, *column.values, frame.physical_row(r)), "gather follows the selection");
        }
    }
}

}  // namespace quorvel::fuzz
