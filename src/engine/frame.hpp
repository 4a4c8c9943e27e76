#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/column_values.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {

// Row selections hold 32-bit physical rows, so no column may be longer than this.
inline constexpr std::uint64_t max_rows = std::numeric_limits<std::uint32_t>::max();

struct Column {
    std::string name;
    ValuesRef values;
};

// A list of physical rows, as filters, sorts and groupings make them.
using RowList = Buffer<std::uint32_t>;

// A shared, immutable list of physical rows: logical row r is physical row rows[r].
struct RowSelection : RefCounted {
    RowList rows;
};

using SelectionRef = Shared<const RowSelection>;

// A table: named columns sharing one storage length, and an optional row selection that
// says which physical rows the frame holds, in which order. Without a selection the
// frame's rows are the storage itself.
struct Frame {
    std::vector<Column> columns;
    SelectionRef selection;
    std::uint64_t height = 0;

    std::size_t physical_row(std::size_t logical_row) const {
        return selection ? selection->rows[logical_row] : logical_row;
    }
    // The common length of the columns' value vectors (0 without columns).
    std::size_t storage_length() const {
        return columns.empty() ? 0 : columns.front().values->length();
    }
};

// The column called `name`, or the lookup error naming every column.
Result<const Column*> find_column(const std::vector<Column>& columns, std::string_view name);

// The names of `columns` in quoted form, joined by ", " ("none" for no columns): how the
// lookup error lists them.
std::string quoted_names(const std::vector<Column>& columns);

// "the frame has a column {name} already": the error of a name that is taken.
EngineError name_taken(std::string_view name);

// "column {name} is {dtype}": how every message about a column's dtype begins.
std::string column_is(std::string_view name, DType dtype);

// The values of the column `name` when it is of dtype `wanted`: the lookup error when there is
// no such column, else "column {name} is {dtype}, not {wanted}" when it has another dtype.
Result<const ColumnValues*> find_column_of(const std::vector<Column>& columns, std::string_view name, DType wanted);

// Appends a column in place. A frame with a row selection is first written out, so shared
// values and selections are never touched.
Result<void> add_column(Frame& frame, std::string_view name, Cells cells);

// A frame of the named columns, in order: what adding them one by one to an empty frame with
// add_column gives, errors included, but with the names checked for repeats through a hash
// table. A CSV header of millions of names would otherwise compare every name with every
// earlier one.
Result<Frame> frame_of_columns(std::vector<std::string> names, std::vector<ValuesRef> values);

// The cells of `values` at the physical rows `rows`, in that order, as a new column: how a
// frame's cells are read out through a row selection, or through any other list of rows.
ValuesRef gather_rows(const ColumnValues& values, std::span<const std::uint32_t> rows);

// The cells of `values` (a column of `frame`) in the frame's logical row order.
ValuesRef gather(const Frame& frame, const ValuesRef& values);

// Stands for no row in a list of physical rows that gather_stretches reads: a null there.
inline constexpr std::uint32_t no_row = std::numeric_limits<std::uint32_t>::max();

// A stretch of a column being written out: the cells of `values` at the `count` physical rows
// listed at `rows`, in that order (no_row giving a null), or its first `count` cells in
// storage order when `rows` is null.
struct CellStretch {
    const ColumnValues* values;
    const std::uint32_t* rows;
    std::size_t count;
};

// The cells of the stretches, one after another, as a new column: how columns of two frames
// are put end to end. Every stretch's values are of one dtype, and there is at least one.
ValuesRef gather_stretches(std::span<const CellStretch> stretches);

// The frame with every column written out in logical row order and no row selection.
Frame materialize(const Frame& frame);

// The column `name` in logical row order, checked to be of dtype `wanted`: the shared values
// themselves when the frame has no row selection, else a gathered copy.
Result<ValuesRef> read_column(const Frame& frame, std::string_view name, DType wanted);

std::vector<std::string> column_names(const Frame& frame);
std::vector<std::string> column_dtypes(const Frame& frame);

}  // namespace quorvel::engine
