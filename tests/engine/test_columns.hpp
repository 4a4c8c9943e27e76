#pragma once

// Columns for engine tests, written as lists of optional cells: nullopt is a null.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/frame.hpp"

namespace quorvel::engine::testing {

constexpr std::nullopt_t null = std::nullopt;

template <class T>
NumberCells<T> numbers(const std::vector<std::optional<T>>& cells) {
    NumberCells<T> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.values.push_back(cells[r].value_or(T{}));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

inline StrCells texts(const std::vector<std::optional<std::string>>& cells) {
    StrCells out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells[r].value_or(""));
        if (!cells[r]) out.validity.set_null(r, cells.size());
    }
    return out;
}

inline Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) EXPECT_TRUE(add_column(frame, name, std::move(cells)).ok()) << name;
    return frame;
}

// A column's cells read back as optionals.
template <class T>
std::vector<std::optional<T>> cells_of(const NumberCells<T>& cells) {
    std::vector<std::optional<T>> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells.is_present(r) ? std::optional(cells.values[r]) : null);
    }
    return out;
}

inline std::vector<std::optional<std::string>> cells_of(const StrCells& cells) {
    std::vector<std::optional<std::string>> out;
    for (std::size_t r = 0; r < cells.size(); ++r) {
        out.push_back(cells.is_present(r) ? std::optional<std::string>(cells.at(r)) : null);
    }
    return out;
}

}  // namespace quorvel::engine::testing
