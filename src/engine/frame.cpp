#include "engine/frame.hpp"

#include <cstring>
#include <type_traits>

#include "engine/name_index.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

std::string quoted_names(const std::vector<Column>& columns) {
    if (columns.empty()) return "none";
    std::string names;
    for (const Column& column : columns) {
        if (!names.empty()) names += ", ";
        names += quoted_form(column.name);
    }
    return names;
}

// Marks the rows of `out` whose source row (walked by `rows`) is null.
void copy_nulls(const Validity& source, const RowCursor& rows, Validity& out) {
    if (source.all_present()) return;
    rows.for_each([&](std::size_t r, std::size_t p) {
        if (source.present_bit(p) == 0) out.set_null(r, rows.size());
    });
}

template <class T>
NumberCells<T> gather_numbers(const NumberCells<T>& source, const RowCursor& rows) {
    NumberCells<T> out;
    out.values.resize(rows.size());
    T* const values = out.values.data();
    const T* const from = source.values.data();
    rows.for_each([&](std::size_t r, std::size_t p) { values[r] = from[p]; }, source);
    copy_nulls(source.validity, rows, out.validity);
    return out;
}

// The texts' lengths first, so that their bytes are copied into a buffer made once.
StrCells gather_strings(const StrCells& source, const RowCursor& rows) {
    StrCells out;
    out.offsets.assign(rows.size() + 1, 0);
    std::uint64_t* const offsets = out.offsets.data();
    const std::uint64_t* const from = source.offsets.data();
    std::uint64_t total = 0;
    rows.for_each(
        [&](std::size_t r, std::size_t p) {
            total += from[p + 1] - from[p];
            offsets[r + 1] = total;
        },
        from);
    out.bytes.resize(total);
    char* const to = out.bytes.data();
    rows.for_each(
        [&](std::size_t r, std::size_t p) {
            const std::uint64_t length = from[p + 1] - from[p];
            if (length != 0) std::memcpy(to + offsets[r], source.bytes.data() + from[p], length);
        },
        source);
    copy_nulls(source.validity, rows, out.validity);
    return out;
}

EngineError duplicate_name(std::string_view name) {
    return EngineError{"the frame has a column " + quoted_form(name) + " already"};
}

// The checks of a column's length, for a frame of `height` rows that has `width` columns.
Result<void> check_length(std::size_t width, std::uint64_t height, std::string_view name, std::uint64_t count) {
    if (width != 0 && count != height) {
        return EngineError{"column " + quoted_form(name) + " has " + std::to_string(count) + " values; the frame has " +
                           std::to_string(height) + " rows"};
    }
    if (count > max_rows) {
        // Row selections address rows with 32 bits; a longer column could not be sliced,
        // filtered or sorted without silently wrapping.
        return EngineError{"column " + quoted_form(name) + " has " + std::to_string(count) +
                           " values; a frame holds at most " + std::to_string(max_rows) + " rows"};
    }
    return {};
}

}  // namespace

Result<const Column*> find_column(const std::vector<Column>& columns, std::string_view name) {
    for (const Column& column : columns) {
        if (column.name.size() == name.size() && column.name == name) return &column;
    }
    return EngineError{"no column " + quoted_form(name) + " (the frame has " + quoted_names(columns) + ")"};
}

Result<void> add_column(Frame& frame, std::string_view name, Cells cells) {
    if (frame.selection) frame = materialize(frame);
    for (const Column& column : frame.columns) {
        if (column.name == name) return duplicate_name(name);
    }
    const std::uint64_t count = std::visit([](const auto& c) { return c.size(); }, cells);
    Result<void> length = check_length(frame.columns.size(), frame.height, name, count);
    if (!length) return length;
    frame.height = count;
    frame.columns.push_back(Column{std::string(name), make_values(std::move(cells))});
    return {};
}

Result<Frame> frame_of_columns(std::vector<std::string> names, std::vector<ValuesRef> values) {
    // The columns before the first repeated name are all distinct, so checking them in order
    // below fails exactly where add_column would.
    const std::size_t repeated = first_repeated_name(names);
    Frame frame;
    frame.columns.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i == repeated) return duplicate_name(names[i]);
        const std::uint64_t count = values[i]->length();
        QUORVEL_RETURN_IF_ERROR(check_length(frame.columns.size(), frame.height, names[i], count));
        frame.height = count;
        frame.columns.push_back(Column{std::move(names[i]), std::move(values[i])});
    }
    return frame;
}

ValuesRef gather_rows(const ColumnValues& values, std::span<const std::uint32_t> rows) {
    const RowCursor cursor(rows);
    return make_values(std::visit(
        [&](const auto& cells) -> Cells {
            if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, StrCells>) {
                return gather_strings(cells, cursor);
            } else {
                return gather_numbers(cells, cursor);
            }
        },
        values.cells()));
}

ValuesRef gather(const Frame& frame, const ValuesRef& values) {
    if (!frame.selection) return values;
    return gather_rows(*values, frame.selection->rows);
}

Frame materialize(const Frame& frame) {
    Frame out;
    out.height = frame.height;
    out.columns.reserve(frame.columns.size());
    for (const Column& column : frame.columns) out.columns.push_back(Column{column.name, gather(frame, column.values)});
    return out;
}

std::string column_is(std::string_view name, DType dtype) {
    return "column " + quoted_form(name) + " is " + std::string(dtype_name(dtype));
}

Result<const ColumnValues*> find_column_of(const std::vector<Column>& columns, std::string_view name, DType wanted) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(columns, name));
    const DType dtype = column->values->dtype();
    if (dtype != wanted) return EngineError{column_is(name, dtype) + ", not " + std::string(dtype_name(wanted))};
    return column->values.get();
}

Result<ValuesRef> read_column(const Frame& frame, std::string_view name, DType wanted) {
    QUORVEL_ASSIGN_OR_RETURN(const ColumnValues* values, find_column_of(frame.columns, name, wanted));
    return gather(frame, ValuesRef(values));
}

std::vector<std::string> column_names(const Frame& frame) {
    std::vector<std::string> names;
    names.reserve(frame.columns.size());
    for (const Column& column : frame.columns) names.push_back(column.name);
    return names;
}

std::vector<std::string> column_dtypes(const Frame& frame) {
    std::vector<std::string> dtypes;
    dtypes.reserve(frame.columns.size());
    for (const Column& column : frame.columns) dtypes.emplace_back(dtype_name(column.values->dtype()));
    return dtypes;
}

}  // namespace quorvel::engine
