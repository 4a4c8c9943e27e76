#include "arrow/export_stream.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/quoted.hpp"

namespace quorvel::arrow {
namespace {

using engine::ColumnValues;
using engine::DType;
using engine::ValuesRef;

static_assert(std::endian::native == std::endian::little,
              "null flags are exported as they lie in memory, which is Arrow's bit order only on little-endian machines");

// Arrow wants a real address even for a buffer of no bytes; an empty vector may have none.
alignas(64) constexpr std::uint64_t no_bytes[1] = {0};

const void* address_of(const void* data) { return data ? data : no_bytes; }

// What the stream exports, taken from the frame on the calling thread and read-only after.
struct Snapshot {
    std::vector<std::string> names;
    std::vector<ValuesRef> values;
    std::vector<bool> small_offsets;  // per column: a str column goes out as utf8
    engine::SelectionRef selection;
    std::uint64_t height = 0;
};

struct StreamState {
    Snapshot snapshot;
    std::uint64_t next_row = 0;
    bool sent_whole = false;  // without a selection: the one batch has gone out
    std::string last_error;
};

// ---- Schemas ----------------------------------------------------------------------------

const char* format_of(DType dtype, bool small_offsets) {
    switch (dtype) {
        case DType::i64: return "l";
        case DType::f64: return "g";
        case DType::str: return small_offsets ? "u" : "U";
    }
    return "n";
}

// Each field owns its name, so that a consumer may move a field out of the struct and release
// it on its own, as the interface allows.
struct FieldData {
    std::string name;
};

void release_field(ArrowSchema* field) {
    delete static_cast<FieldData*>(field->private_data);
    field->release = nullptr;
}

struct StructSchemaData {
    std::vector<ArrowSchema> fields;
    std::vector<ArrowSchema*> field_pointers;
};

void release_struct_schema(ArrowSchema* schema) {
    auto* data = static_cast<StructSchemaData*>(schema->private_data);
    for (ArrowSchema& field : data->fields) {
        if (field.release) field.release(&field);
    }
    delete data;
    schema->release = nullptr;
}

void fill_schema(const Snapshot& snapshot, ArrowSchema* out) {
    auto data = std::make_unique<StructSchemaData>();
    const std::size_t width = snapshot.names.size();
    data->fields.resize(width);
    data->field_pointers.resize(width);
    for (std::size_t i = 0; i < width; ++i) {
        auto field_data = std::make_unique<FieldData>(FieldData{snapshot.names[i]});
        ArrowSchema& field = data->fields[i];
        field = ArrowSchema{format_of(snapshot.values[i]->dtype(), snapshot.small_offsets[i]),
                            field_data->name.c_str(),
                            nullptr,
                            ARROW_FLAG_NULLABLE,
                            0,
                            nullptr,
                            nullptr,
                            release_field,
                            field_data.release()};
        data->field_pointers[i] = &field;
    }
    *out = ArrowSchema{"+s",    "", nullptr, 0, static_cast<std::int64_t>(width), data->field_pointers.data(),
                       nullptr, release_struct_schema, data.release()};
}

// ---- Arrays -----------------------------------------------------------------------------

// What one column's array points at, kept alive until the consumer releases the array.
struct ColumnArrayData {
    ValuesRef values;
    std::vector<std::int32_t> small_offsets;
    std::array<const void*, 3> buffers{};
};

void release_column_array(ArrowArray* array) {
    delete static_cast<ColumnArrayData*>(array->private_data);
    array->release = nullptr;
}

void fill_column_array(ValuesRef values, bool small_offsets, ArrowArray* out) {
    auto data = std::make_unique<ColumnArrayData>();
    const std::size_t length = values->length();
    const engine::Validity* validity = nullptr;
    std::int64_t buffer_count = 2;
    if (values->dtype() == DType::str) {
        const engine::StrCells& cells = values->str();
        validity = &cells.validity;
        if (small_offsets) {
            data->small_offsets.assign(cells.offsets.begin(), cells.offsets.end());
            data->buffers[1] = data->small_offsets.data();
        } else {
            data->buffers[1] = cells.offsets.data();
        }
        data->buffers[2] = address_of(cells.bytes.data());
        buffer_count = 3;
    } else if (values->dtype() == DType::i64) {
        validity = &values->i64().validity;
        data->buffers[1] = address_of(values->i64().values.data());
    } else {
        validity = &values->f64().validity;
        data->buffers[1] = address_of(values->f64().values.data());
    }
    const auto nulls = static_cast<std::int64_t>(values->null_count());
    data->buffers[0] = nulls != 0 ? validity->flags() : nullptr;
    data->values = std::move(values);
    *out = ArrowArray{static_cast<std::int64_t>(length), nulls, 0, buffer_count, 0, data->buffers.data(), nullptr,
                      nullptr, release_column_array, data.get()};
    data.release();
}

struct StructArrayData {
    std::vector<ArrowArray> columns;
    std::vector<ArrowArray*> column_pointers;
    std::array<const void*, 1> buffers{};
};

void release_struct_array(ArrowArray* array) {
    auto* data = static_cast<StructArrayData*>(array->private_data);
    for (ArrowArray& column : data->columns) {
        if (column.release) column.release(&column);
    }
    delete data;
    array->release = nullptr;
}

// One batch: the struct of `length` rows whose columns are `columns`.
void fill_batch(std::vector<ValuesRef> columns, const std::vector<bool>& small_offsets, std::uint64_t length,
                ArrowArray* out) {
    auto data = std::make_unique<StructArrayData>();
    const std::size_t width = columns.size();
    // Every column array starts out released, so that a failure half way releases exactly
    // the ones made.
    data->columns.assign(width, ArrowArray{});
    data->column_pointers.resize(width);
    for (std::size_t i = 0; i < width; ++i) data->column_pointers[i] = &data->columns[i];
    try {
        for (std::size_t i = 0; i < width; ++i) fill_column_array(std::move(columns[i]), small_offsets[i], &data->columns[i]);
    } catch (...) {
        for (ArrowArray& column : data->columns) {
            if (column.release) column.release(&column);
        }
        throw;
    }
    *out = ArrowArray{static_cast<std::int64_t>(length), 0, 0, 1, static_cast<std::int64_t>(width),
                      data->buffers.data(), data->column_pointers.data(), nullptr, release_struct_array, data.get()};
    data.release();
}

// ---- The stream -------------------------------------------------------------------------

// The logical rows [start, end) of the next gathered batch: export_batch_rows rows, fewer at
// the end, and fewer where a column going out with 32-bit offsets would overflow them (only
// a selection that repeats rows can reach that, since the column's own texts fit).
std::uint64_t batch_end(const Snapshot& snapshot, std::uint64_t start) {
    std::uint64_t end = std::min<std::uint64_t>(snapshot.height, start + export_batch_rows);
    const std::uint32_t* rows = snapshot.selection->rows.data();
    for (std::size_t i = 0; i < snapshot.values.size(); ++i) {
        if (!snapshot.small_offsets[i]) continue;
        const engine::Buffer<std::uint64_t>& offsets = snapshot.values[i]->str().offsets;
        std::uint64_t bytes = 0;
        for (std::uint64_t r = start; r < end; ++r) {
            bytes += offsets[rows[r] + 1] - offsets[rows[r]];
            if (bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
                end = r;
                break;
            }
        }
    }
    return end;
}

StreamState& state_of(ArrowArrayStream* stream) { return *static_cast<StreamState*>(stream->private_data); }

// Runs a callback's work; a C++ failure becomes an error code and a message, never an
// exception through the consumer's code.
template <class Work>
int guarded(ArrowArrayStream* stream, Work&& work) noexcept {
    StreamState& state = state_of(stream);
    try {
        work(state);
        return 0;
    } catch (const std::bad_alloc&) {
        state.last_error.clear();
        return ENOMEM;
    } catch (const std::exception& fault) {
        try {
            state.last_error = fault.what();
        } catch (...) {
            state.last_error.clear();
        }
        return EIO;
    } catch (...) {
        state.last_error.clear();
        return EIO;
    }
}

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
    return guarded(stream, [&](StreamState& state) { fill_schema(state.snapshot, out); });
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
    return guarded(stream, [&](StreamState& state) {
        const Snapshot& snapshot = state.snapshot;
        if (!snapshot.selection) {
            if (state.sent_whole || snapshot.height == 0) {
                out->release = nullptr;
                return;
            }
            fill_batch(snapshot.values, snapshot.small_offsets, snapshot.height, out);
            state.sent_whole = true;
            return;
        }
        const std::uint64_t start = state.next_row;
        if (start >= snapshot.height) {
            out->release = nullptr;
            return;
        }
        const std::uint64_t end = batch_end(snapshot, start);
        const std::span<const std::uint32_t> rows(snapshot.selection->rows.data() + start, end - start);
        std::vector<ValuesRef> columns;
        columns.reserve(snapshot.values.size());
        for (const ValuesRef& values : snapshot.values) columns.push_back(engine::gather_rows(*values, rows));
        fill_batch(std::move(columns), snapshot.small_offsets, end - start, out);
        state.next_row = end;
    });
}

const char* stream_get_last_error(ArrowArrayStream* stream) {
    const std::string& error = state_of(stream).last_error;
    return error.empty() ? nullptr : error.c_str();
}

void stream_release(ArrowArrayStream* stream) {
    delete static_cast<StreamState*>(stream->private_data);
    stream->release = nullptr;
}

// ---- The consumer's request ---------------------------------------------------------------

engine::Result<std::vector<bool>> read_request(const Snapshot& snapshot, const ArrowSchema* requested) {
    const std::size_t width = snapshot.names.size();
    std::vector<bool> small_offsets(width, false);
    if (!requested) return small_offsets;
    if (std::string_view(requested->format ? requested->format : "") != "+s") {
        return engine::EngineError{"the requested schema is not a struct of the frame's columns"};
    }
    if (requested->n_children != static_cast<std::int64_t>(width)) {
        return engine::EngineError{"the requested schema has " + std::to_string(requested->n_children) +
                                   " fields; the frame has " + std::to_string(width) + " columns"};
    }
    for (std::size_t i = 0; i < width; ++i) {
        const ArrowSchema* field = requested->children ? requested->children[i] : nullptr;
        const std::string_view name = field && field->name ? field->name : "";
        if (name != snapshot.names[i]) {
            return engine::EngineError{"the requested schema names field " + std::to_string(i) + " " +
                                       engine::quoted_form(name) + "; the frame's column is " +
                                       engine::quoted_form(snapshot.names[i])};
        }
        const ColumnValues& values = *snapshot.values[i];
        small_offsets[i] = values.dtype() == DType::str && field->format && std::string_view(field->format) == "u" &&
                           values.str().bytes.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    }
    return small_offsets;
}

}  // namespace

engine::Result<void> export_frame(const engine::Frame& frame, const ArrowSchema* requested, ArrowArrayStream* out) {
    auto state = std::make_unique<StreamState>();
    Snapshot& snapshot = state->snapshot;
    snapshot.names.reserve(frame.columns.size());
    snapshot.values.reserve(frame.columns.size());
    for (const engine::Column& column : frame.columns) {
        // Arrow names are C strings: a NUL would cut the name short without a word.
        if (column.name.find('\0') != std::string::npos) {
            return engine::EngineError{"column " + engine::quoted_form(column.name) +
                                       " has a NUL character in its name, which an Arrow field name cannot hold"};
        }
        snapshot.names.push_back(column.name);
        snapshot.values.push_back(column.values);
    }
    snapshot.selection = frame.selection;
    snapshot.height = frame.height;
    engine::Result<std::vector<bool>> small_offsets = read_request(snapshot, requested);
    if (!small_offsets) return std::move(small_offsets).error();
    snapshot.small_offsets = std::move(small_offsets).value();
    *out = ArrowArrayStream{stream_get_schema, stream_get_next, stream_get_last_error, stream_release, state.release()};
    return {};
}

}  // namespace quorvel::arrow
