#pragma once

// Building frames with nulls and reading them back, for the engine tests: cells are written
// as lists of optionals, a nullopt (`null`) standing for a null.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/frame.hpp"

namespace quorvel::engine::testing {

constexpr std::nullopt_t null = std::nullopt;

using Int = std::optional<std::int64_t>;
using Float = std::optional<double>;
using Text = std::optional<std::string>;

inline I64Cells int_cells(const std::vector<Int>& cells) {
    I64Cells out;
    for (std::size_t i = 0; i < cells.size(); ++i) out.values.push_back(cells[i].value_or(0));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!cells[i]) out.validity.set_null(i, cells.size());
    }
    return out;
}

inline F64Cells float_cells(const std::vector<Float>& cells) {
    F64Cells out;
    for (std::size_t i = 0; i < cells.size(); ++i) out.values.push_back(cells[i].value_or(0.0));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!cells[i]) out.validity.set_null(i, cells.size());
    }
    return out;
}

inline StrCells text_cells(const std::vector<Text>& cells) {
    StrCells out;
    for (std::size_t i = 0; i < cells.size(); ++i) out.push_back(cells[i].value_or(""));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!cells[i]) out.validity.set_null(i, cells.size());
    }
    return out;
}

// A frame of one column.
inline Frame frame_of(std::string_view name, Cells cells) {
    Frame frame;
    if (!add_column(frame, name, std::move(cells)).ok()) throw std::logic_error("bad test frame");
    return frame;
}

// A frame of the named columns, in order.
inline Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) EXPECT_TRUE(add_column(frame, name, std::move(cells)).ok()) << name;
    return frame;
}

// The physical rows a frame holds, in logical order.
inline std::vector<std::uint32_t> rows_of(const Frame& frame) {
    std::vector<std::uint32_t> rows;
    for (std::size_t r = 0; r < frame.height; ++r) rows.push_back(static_cast<std::uint32_t>(frame.physical_row(r)));
    return rows;
}

// A column's cells in storage order, as optionals.
template <class T>
std::vector<std::optional<T>> cells_of(const NumberCells<T>& cells) {
    std::vector<std::optional<T>> out;
    for (std::size_t r = 0; r < cells.size(); ++r) out.push_back(cells.is_present(r) ? std::optional(cells.values[r]) : null);
    return out;
}

inline std::vector<Text> cells_of(const StrCells& cells) {
    std::vector<Text> out;
    for (std::size_t r = 0; r < cells.size(); ++r) out.push_back(cells.is_present(r) ? Text(cells.at(r)) : null);
    return out;
}

// A frame's column in logical row order, as optionals.
template <class T, class Cells>
std::vector<std::optional<T>> logical_cells(const Frame& frame, std::string_view name,
                                            const Cells& (ColumnValues::*get)() const) {
    const Column* column = *find_column(frame.columns, name);
    const Cells& cells = ((*column->values).*get)();
    std::vector<std::optional<T>> out;
    for (std::size_t r = 0; r < frame.height; ++r) {
        const std::size_t p = frame.physical_row(r);
        if (!cells.is_present(p)) {
            out.push_back(std::nullopt);
        } else if constexpr (std::is_same_v<Cells, StrCells>) {
            out.push_back(std::string(cells.at(p)));
        } else {
            out.push_back(cells.values[p]);
        }
    }
    return out;
}

// A column in logical row order, nullopt for a null.
inline std::vector<Int> ints_of(const Frame& frame, std::string_view name) {
    return logical_cells<std::int64_t>(frame, name, &ColumnValues::i64);
}
inline std::vector<Float> floats_of(const Frame& frame, std::string_view name) {
    return logical_cells<double>(frame, name, &ColumnValues::f64);
}
inline std::vector<Text> texts_of(const Frame& frame, std::string_view name) {
    return logical_cells<std::string>(frame, name, &ColumnValues::str);
}

}  // namespace quorvel::engine::testing
