#include "engine/frame.hpp"

#include <algorithm>
#include <cstring>
#include <vector>
#include <type_traits>

#include "engine/blocks.hpp"
#include "engine/name_index.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"

namespace quorvel::engine {
namespace {

// Marks the rows of `out` from `at` on whose cell in the stretch is null: a null in the
// source, or, where its listed rows may name no row, an entry no_row.
template <bool may_miss>
void copy_nulls(const Validity& source, const CellStretch& stretch, std::size_t at, std::size_t length,
                Validity& out) {
    const bool all_present = source.all_present();
    if (all_present && (!may_miss || !stretch.rows)) return;
    const RowCursor rows(stretch.rows, stretch.count);
    rows.for_each([&](std::size_t r, std::size_t p) {
        if ((may_miss && p == no_row) || (!all_present && source.present_bit(p) == 0)) out.set_null(at + r, length);
    });
}

// A column this small stays in the caches while it is read: asking for its cells ahead
// (a small table a join reads for every row, say) would only cost instructions.
constexpr std::size_t cached_bytes = std::size_t{1} << 20;

// Walks `rows` with `visit`, asking for `ahead` ahead unless the column read, of `bytes`
// bytes, stays in the caches.
template <class Visit, class Ahead>
void walk(const RowCursor& rows, std::size_t bytes, Visit&& visit, const Ahead& ahead) {
    if (bytes <= cached_bytes) {
        rows.for_each(visit);
    } else {
        rows.for_each(visit, ahead);
    }
}

template <class T>
const NumberCells<T>& cells_of(const CellStretch& stretch) {
    return std::get<NumberCells<T>>(stretch.values->cells());
}

// Stretches read whole are appended as blocks, without first filling the room they take.
template <bool may_miss, class T>
NumberCells<T> gather_numbers(std::span<const CellStretch> stretches, std::size_t length) {
    NumberCells<T> out;
    try_reserve(out.values, length);
    for (const CellStretch& stretch : stretches) {
        const NumberCells<T>& source = cells_of<T>(stretch);
        const T* const from = source.values.data();
        const RowCursor rows(stretch.rows, stretch.count);
        const std::size_t at = out.values.size();
        if (!stretch.rows) {
            out.values.insert(out.values.end(), from, from + stretch.count);
        } else {
            out.values.resize(at + stretch.count);
            T* const values = out.values.data() + at;
            walk(
                rows, source.size() * sizeof(T),
                [&](std::size_t r, std::size_t p) { values[r] = may_miss && p == no_row ? T{} : from[p]; }, source);
        }
        copy_nulls<may_miss>(source.validity, stretch, at, length, out.validity);
    }
    return out;
}

// The texts of rows listed with entries that may be no_row, for RowCursor to ask for ahead
// as it does for StrCells, but nothing for no_row, whose offset would be read past the end.
struct TextsWithMisses {
    const StrCells& cells;
};

void prefetch_selected(const TextsWithMisses& texts, const std::uint32_t* rows, std::size_t r, std::size_t count) {
    const std::uint64_t* const offsets = texts.cells.offsets.data();
    if (r + 2 * prefetch_ahead < count) prefetch(offsets + rows[r + 2 * prefetch_ahead]);
    if (r + prefetch_ahead < count && rows[r + prefetch_ahead] != no_row) {
        prefetch(texts.cells.bytes.data() + offsets[rows[r + prefetch_ahead]]);
    }
}

// Texts of up to this many bytes are copied as one fixed-size block, which compiles to two
// moves instead of a call; the block may run past the text into room that later texts, or
// the slack after the last, overwrite.
constexpr std::size_t short_text = 16;

// Appends the bytes of the texts at `rows` of `source`, whose lengths add up to `bytes`.
template <bool may_miss>
void append_text_bytes(const StrCells& source, const RowCursor& rows, std::uint64_t bytes, Buffer<char>& out) {
    const std::uint64_t* const from = source.offsets.data();
    const std::size_t start = out.size();
    out.resize(start + bytes + short_text);
    char* to = out.data() + start;
    const char* const source_bytes = source.bytes.data();
    const std::uint64_t source_size = source.bytes.size();
    const auto copy = [&](std::size_t, std::size_t p) {
        if (may_miss && p == no_row) return;
        const std::uint64_t size = from[p + 1] - from[p];
        if (size <= short_text && from[p] + short_text <= source_size) {
            std::memcpy(to, source_bytes + from[p], short_text);
        } else if (size != 0) {
            std::memcpy(to, source_bytes + from[p], size);
        }
        to += size;
    };
    const std::size_t source_bytes_read = source_size + source.offsets.size() * sizeof(std::uint64_t);
    if constexpr (may_miss) {
        walk(rows, source_bytes_read, copy, TextsWithMisses{source});
    } else {
        walk(rows, source_bytes_read, copy, source);
    }
    out.resize(start + bytes);
}

// The texts' lengths first, so that their bytes are copied into a buffer made once.
template <bool may_miss>
StrCells gather_strings(std::span<const CellStretch> stretches, std::size_t length) {
    StrCells out;
    try_reserve(out.offsets, length + 1);
    std::vector<std::uint64_t> stretch_bytes;
    for (const CellStretch& stretch : stretches) {
        const StrCells& source = std::get<StrCells>(stretch.values->cells());
        const std::uint64_t* const from = source.offsets.data();
        const std::uint64_t before = out.offsets.back();
        if (!stretch.rows) {
            // Whole: the stretch's own offsets, moved to where its bytes will start, in one
            // pass rather than a copy and then a shift.
            const std::size_t at = out.offsets.size();
            out.offsets.resize(at + stretch.count);
            std::uint64_t* const offsets = out.offsets.data() + at;
            const std::uint64_t shift = before - from[0];
            for (std::size_t i = 0; i < stretch.count; ++i) offsets[i] = from[i + 1] + shift;
        } else {
            const std::size_t at = out.offsets.size();
            out.offsets.resize(at + stretch.count);
            std::uint64_t* const offsets = out.offsets.data() + at;
            std::uint64_t total = before;
            walk(
                RowCursor(stretch.rows, stretch.count), source.offsets.size() * sizeof(std::uint64_t),
                [&](std::size_t r, std::size_t p) {
                    if (!(may_miss && p == no_row)) total += from[p + 1] - from[p];
                    offsets[r] = total;
                },
                from);
        }
        stretch_bytes.push_back(out.offsets.back() - before);
    }
    try_reserve(out.bytes, out.offsets.back() + short_text);
    std::size_t at = 0;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const CellStretch& stretch = stretches[i];
        const StrCells& source = std::get<StrCells>(stretch.values->cells());
        const RowCursor rows(stretch.rows, stretch.count);
        if (!stretch.rows) {
            const char* const first = source.bytes.data() + source.offsets[0];
            out.bytes.insert(out.bytes.end(), first, first + stretch_bytes[i]);
        } else {
            append_text_bytes<may_miss>(source, rows, stretch_bytes[i], out.bytes);
        }
        copy_nulls<may_miss>(source.validity, stretch, at, length, out.validity);
        at += stretch.count;
    }
    return out;
}

template <bool may_miss>
ValuesRef gather_cells(std::span<const CellStretch> stretches) {
    std::size_t length = 0;
    for (const CellStretch& stretch : stretches) length += stretch.count;
    return make_values(std::visit(
        [&](const auto& cells) -> Cells {
            using Kind = std::decay_t<decltype(cells)>;
            if constexpr (std::is_same_v<Kind, StrCells>) {
                return gather_strings<may_miss>(stretches, length);
            } else {
                return gather_numbers<may_miss, typename decltype(Kind::values)::value_type>(stretches, length);
            }
        },
        stretches.front().values->cells()));
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

std::string quoted_names(const std::vector<Column>& columns) {
    if (columns.empty()) return "none";
    std::string names;
    for (const Column& column : columns) {
        if (!names.empty()) names += ", ";
        names += quoted_form(column.name);
    }
    return names;
}

EngineError name_taken(std::string_view name) {
    return EngineError{"the frame has a column " + quoted_form(name) + " already"};
}

Result<const Column*> find_column(const std::vector<Column>& columns, std::string_view name) {
    for (const Column& column : columns) {
        if (column.name.size() == name.size() && column.name == name) return &column;
    }
    return EngineError{"no column " + quoted_form(name) + " (the frame has " + quoted_names(columns) + ")"};
}

Result<void> add_column(Frame& frame, std::string_view name, Cells cells) {
    if (frame.selection) frame = materialize(frame);
    for (const Column& column : frame.columns) {
        if (column.name == name) return name_taken(name);
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
        if (i == repeated) return name_taken(names[i]);
        const std::uint64_t count = values[i]->length();
        QUORVEL_RETURN_IF_ERROR(check_length(frame.columns.size(), frame.height, names[i], count));
        frame.height = count;
        frame.columns.push_back(Column{std::move(names[i]), std::move(values[i])});
    }
    return frame;
}

ValuesRef gather_rows(const ColumnValues& values, std::span<const std::uint32_t> rows) {
    const CellStretch stretch{&values, rows.data(), rows.size()};
    return gather_cells<false>({&stretch, 1});
}

ValuesRef gather_stretches(std::span<const CellStretch> stretches) { return gather_cells<true>(stretches); }

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
