#include "engine/frame.hpp"

#include <cstring>
#include <type_traits>

#include "engine/name_index.hpp"
#include "engine/prefetch.hpp"
#include "engine/quoted.hpp"

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

template <class T>
NumberCells<T> gather_numbers(const NumberCells<T>& source, const std::vector<std::uint32_t>& rows) {
    NumberCells<T> out;
    out.values.resize(rows.size());
    T* values = out.values.data();
    const T* from = source.values.data();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        prefetch_selected(from, rows.data(), r, rows.size());
        values[r] = from[rows[r]];
    }
    if (!source.validity.all_present()) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!source.is_present(rows[r])) out.validity.set_null(r, rows.size());
        }
    }
    return out;
}

StrCells gather_strings(const StrCells& source, const std::vector<std::uint32_t>& rows) {
    StrCells out;
    out.offsets.assign(rows.size() + 1, 0);
    std::uint64_t total = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        prefetch_selected(source.offsets.data(), rows.data(), r, rows.size());
        total += source.offsets[rows[r] + 1] - source.offsets[rows[r]];
        out.offsets[r + 1] = total;
    }
    out.bytes.resize(total);
    char* to = out.bytes.data();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        prefetch_selected(source, rows.data(), r, rows.size());
        const std::uint64_t start = source.offsets[rows[r]];
        const std::uint64_t length = source.offsets[rows[r] + 1] - start;
        if (length != 0) std::memcpy(to + out.offsets[r], source.bytes.data() + start, length);
    }
    if (!source.validity.all_present()) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!source.is_present(rows[r])) out.validity.set_null(r, rows.size());
        }
    }
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
        Result<void> length = check_length(frame.columns.size(), frame.height, names[i], count);
        if (!length) return std::move(length).error();
        frame.height = count;
        frame.columns.push_back(Column{std::move(names[i]), std::move(values[i])});
    }
    return frame;
}

ValuesRef gather(const Frame& frame, const ValuesRef& values) {
    if (!frame.selection) return values;
    const std::vector<std::uint32_t>& rows = frame.selection->rows;
    return make_values(std::visit(
        [&](const auto& cells) -> Cells {
            if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, StrCells>) {
                return gather_strings(cells, rows);
            } else {
                return gather_numbers(cells, rows);
            }
        },
        values->cells()));
}

Frame materialize(const Frame& frame) {
    Frame out;
    out.height = frame.height;
    out.columns.reserve(frame.columns.size());
    for (const Column& column : frame.columns) out.columns.push_back(Column{column.name, gather(frame, column.values)});
    return out;
}

Result<ValuesRef> read_column(const Frame& frame, std::string_view name, DType wanted) {
    Result<const Column*> column = find_column(frame.columns, name);
    if (!column) return std::move(column).error();
    const DType dtype = (*column)->values->dtype();
    if (dtype != wanted) {
        return EngineError{"column " + quoted_form(name) + " is " + std::string(dtype_name(dtype)) + ", not " +
                           std::string(dtype_name(wanted))};
    }
    return gather(frame, (*column)->values);
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
