#include "arrow/import_table.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "arrow/arrow_types.hpp"
#include "arrow/bitmaps.hpp"
#include "arrow/utf8.hpp"
#include "engine/quoted.hpp"

namespace quorvel::arrow {
namespace {

using engine::quoted_form;
using Kind = ImportFailure::Kind;

static_assert(std::endian::native == std::endian::little,
              "null flags are read as Arrow bitmaps, which share their bit order only on little-endian machines");

constexpr std::uint64_t most_signed = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Buffers may be unaligned in data that breaks the rules; a copied load is as fast as a
// plain one where they are aligned.
template <class T>
T load(const void* buffer, std::uint64_t index) {
    T value;
    std::memcpy(&value, static_cast<const char*>(buffer) + index * sizeof(T), sizeof(T));
    return value;
}

double half_to_double(std::uint16_t half) {
    const double sign = (half & 0x8000) ? -1.0 : 1.0;
    const int exponent = (half >> 10) & 0x1F;
    const int fraction = half & 0x3FF;
    if (exponent == 0) return sign * std::ldexp(fraction, -24);
    if (exponent == 31) return fraction == 0 ? sign * INFINITY : std::copysign(NAN, sign);
    return sign * std::ldexp(fraction | 0x400, exponent - 25);
}

// The index of a dictionary entry, read as its Arrow integer type; nullopt past int64's range.
std::optional<std::int64_t> load_index(ArrowType type, const void* buffer, std::uint64_t at) {
    switch (type) {
        case ArrowType::int8: return load<std::int8_t>(buffer, at);
        case ArrowType::uint8: return load<std::uint8_t>(buffer, at);
        case ArrowType::int16: return load<std::int16_t>(buffer, at);
        case ArrowType::uint16: return load<std::uint16_t>(buffer, at);
        case ArrowType::int32: return load<std::int32_t>(buffer, at);
        case ArrowType::uint32: return load<std::uint32_t>(buffer, at);
        case ArrowType::int64: return load<std::int64_t>(buffer, at);
        default: {
            const auto index = load<std::uint64_t>(buffer, at);
            if (index > most_signed) return std::nullopt;
            return static_cast<std::int64_t>(index);
        }
    }
}

// Makes room for `extra` more items at once (a large block lies on huge pages, where a fresh
// block filled through small ones costs a fault per 4 KiB, as much as the copying itself),
// and at least doubles, so that many batches cost a linear number of copies.
template <class Vector>
void make_room(Vector& vector, std::uint64_t extra) {
    if (vector.capacity() - vector.size() >= extra) return;
    engine::try_reserve(vector, std::max<std::size_t>(vector.size() + extra, 2 * vector.capacity()));
}

engine::Cells empty_cells(ArrowType type) {
    if (is_float(type)) return engine::F64Cells{};
    if (is_text(type)) return engine::StrCells{};
    return engine::I64Cells{};
}

// The null flags of the column being built: one bit per row, set when present, kept as the
// engine keeps them. Nothing is allocated until the first null.
class NullFlags {
public:
    bool any() const { return !words_.empty(); }

    bool is_null(std::uint64_t row) const {
        return (row >> 6) < words_.size() && ((words_[row >> 6] >> (row & 63)) & 1u) == 0;
    }

    void set_null(std::uint64_t row) {
        if ((row >> 6) >= words_.size()) words_.resize((row >> 6) + 1, ~std::uint64_t{0});
        words_[row >> 6] &= ~(std::uint64_t{1} << (row & 63));
    }

    // Marks row first + i null for every clear bit i of an Arrow bitmap run.
    void take_absent(const std::uint8_t* bits, std::uint64_t offset, std::uint64_t length, std::uint64_t first) {
        for_each_clear_bit(bits, offset, length, [&](std::uint64_t i) { set_null(first + i); });
    }

    // Calls `null(i)` for each null row first + i, i < length.
    template <class Null>
    void for_each_null(std::uint64_t first, std::uint64_t length, Null&& null) const {
        if (words_.empty() || first >= words_.size() * 64) return;
        const std::uint64_t covered = std::min<std::uint64_t>(length, words_.size() * 64 - first);
        for_each_clear_bit(reinterpret_cast<const std::uint8_t*>(words_.data()), first, covered, null);
    }

    engine::Validity finish(std::uint64_t rows) {
        if (words_.empty()) return {};
        words_.resize((rows + 63) / 64, ~std::uint64_t{0});
        return engine::Validity(std::move(words_));
    }

private:
    std::vector<std::uint64_t> words_;
};

}  // namespace

// One column being read: its cells so far, batch after batch.
class ColumnImport {
public:
    // `label` names the column in messages ("column \"a\""); for a dictionary-encoded column
    // `type` is the type of the dictionary's values and `index_type` that of its indices.
    ColumnImport(std::string name, std::string label, ArrowType type, std::optional<ArrowType> index_type)
        : name_(std::move(name)), label_(std::move(label)), type_(type), index_type_(index_type),
          cells_(empty_cells(type)) {}

    const std::string& name() const { return name_; }

    // Appends `length` cells of `array` from cell array.offset + start on. A row whose bit
    // parent_offset + i of `parent_bits` (the batch's own null flags; may be null) is clear
    // is null whatever the cell holds.
    bool append(const ArrowArray& array, std::uint64_t start, std::uint64_t length, const std::uint8_t* parent_bits,
                std::uint64_t parent_offset, ImportFailure& failure);

    engine::ValuesRef finish() {
        engine::Validity validity = nulls_.finish(rows_);
        std::visit([&](auto& cells) { cells.validity = std::move(validity); }, cells_);
        return engine::make_values(std::move(cells_));
    }

private:
    bool fail(ImportFailure& failure, std::string message) const {
        failure = {Kind::value, label_ + ": " + message};
        return false;
    }
    bool fail_at(ImportFailure& failure, std::uint64_t row, std::string message) const {
        failure = {Kind::value, label_ + ", row " + std::to_string(row) + ": " + message};
        return false;
    }

    bool check_buffers(const ArrowArray& array, ImportFailure& failure) const;
    bool append_numbers(const ArrowArray& array, std::uint64_t base, std::uint64_t length, ImportFailure& failure);
    template <class Offset>
    bool append_offset_texts(const ArrowArray& array, std::uint64_t base, std::uint64_t length, ImportFailure& failure);
    template <class Offset>
    bool append_text_run(const Offset* offsets, const char* data, std::uint64_t from, std::uint64_t to,
                         std::uint64_t first_row, ImportFailure& failure);
    bool append_views(const ArrowArray& array, std::uint64_t base, std::uint64_t length, ImportFailure& failure);
    bool append_dictionary(const ArrowArray& array, std::uint64_t base, std::uint64_t length, ImportFailure& failure);

    std::string name_;
    std::string label_;
    ArrowType type_;
    std::optional<ArrowType> index_type_;
    engine::Cells cells_;
    NullFlags nulls_;
    std::uint64_t rows_ = 0;
};

bool ColumnImport::check_buffers(const ArrowArray& array, ImportFailure& failure) const {
    std::int64_t wanted = 2;
    if (index_type_) {
        if (!array.dictionary) return fail(failure, "the array of a dictionary-encoded column has no dictionary");
    } else if (type_ == ArrowType::null) {
        wanted = 0;
    } else if (type_ == ArrowType::utf8_view) {
        // Validity, views, the buffers the views point into, and their sizes.
        if (array.n_buffers < 3) {
            return fail(failure, "the array has " + std::to_string(array.n_buffers) + " buffers; utf8_view has at least 3");
        }
        wanted = array.n_buffers;
    } else if (is_text(type_)) {
        wanted = 3;
    }
    if (array.n_buffers != wanted) {
        return fail(failure, "the array has " + std::to_string(array.n_buffers) + " buffers; its type has " +
                                 std::to_string(wanted));
    }
    if (wanted > 0 && !array.buffers) return fail(failure, "the array's buffers are missing");
    return true;
}

bool ColumnImport::append(const ArrowArray& array, std::uint64_t start, std::uint64_t length,
                          const std::uint8_t* parent_bits, std::uint64_t parent_offset, ImportFailure& failure) {
    if (array.length < 0 || array.offset < 0 || array.null_count < -1) {
        return fail(failure, "the array has a negative length, offset or null count");
    }
    if (static_cast<std::uint64_t>(array.length) < start + length) {
        return fail(failure, "the array has " + std::to_string(array.length) + " rows; its batch needs " +
                                 std::to_string(start + length));
    }
    if (static_cast<std::uint64_t>(array.offset) > most_signed - start - length) {
        return fail(failure, "the array's offset is out of range");
    }
    if (!check_buffers(array, failure)) return false;
    const std::uint64_t base = static_cast<std::uint64_t>(array.offset) + start;
    const std::uint64_t first = rows_;
    if (type_ == ArrowType::null && !index_type_) {
        for (std::uint64_t i = 0; i < length; ++i) nulls_.set_null(first + i);
        std::get<engine::I64Cells>(cells_).values.resize(first + length, 0);
        rows_ += length;
        return true;
    }
    const auto* bits = array.null_count != 0 ? static_cast<const std::uint8_t*>(array.buffers[0]) : nullptr;
    if (array.null_count > 0 && !bits) {
        return fail(failure, "a null count of " + std::to_string(array.null_count) + " without null flags");
    }
    nulls_.take_absent(bits, base, length, first);
    nulls_.take_absent(parent_bits, parent_offset, length, first);

    bool appended;
    if (index_type_) {
        appended = append_dictionary(array, base, length, failure);
    } else if (type_ == ArrowType::utf8) {
        appended = append_offset_texts<std::int32_t>(array, base, length, failure);
    } else if (type_ == ArrowType::large_utf8) {
        appended = append_offset_texts<std::int64_t>(array, base, length, failure);
    } else if (type_ == ArrowType::utf8_view) {
        appended = append_views(array, base, length, failure);
    } else {
        appended = append_numbers(array, base, length, failure);
    }
    rows_ += length;
    return appended;
}

namespace {

// Appends `length` values of type From from `data` at `base`, each made a To by `convert`.
template <class From, class To, class Convert>
To* append_converted(const void* data, std::uint64_t base, std::uint64_t length, engine::Buffer<To>& out,
                     Convert&& convert) {
    const std::size_t old = out.size();
    make_room(out, length);
    if constexpr (std::is_same_v<From, To>) {
        const auto* from = static_cast<const char*>(data) + base * sizeof(To);
        if (length != 0) out.insert(out.end(), reinterpret_cast<const To*>(from), reinterpret_cast<const To*>(from) + length);
    } else {
        for (std::uint64_t i = 0; i < length; ++i) out.push_back(convert(load<From>(data, base + i)));
    }
    return out.data() + old;
}

template <class From, class To>
To* append_cast(const void* data, std::uint64_t base, std::uint64_t length, engine::Buffer<To>& out) {
    return append_converted<From>(data, base, length, out, [](From value) { return static_cast<To>(value); });
}

}  // namespace

bool ColumnImport::append_numbers(const ArrowArray& array, std::uint64_t base, std::uint64_t length,
                                  ImportFailure& failure) {
    const void* data = array.buffers[1];
    if (!data && length != 0) return fail(failure, "the array's values are missing");
    const std::uint64_t first = rows_;
    if (is_float(type_)) {
        engine::Buffer<double>& out = std::get<engine::F64Cells>(cells_).values;
        double* values = type_ == ArrowType::float64   ? append_cast<double, double>(data, base, length, out)
                         : type_ == ArrowType::float32 ? append_cast<float, double>(data, base, length, out)
                                                       : append_converted<std::uint16_t>(data, base, length, out, half_to_double);
        // The engine keeps 0 in a null cell.
        nulls_.for_each_null(first, length, [&](std::uint64_t i) { values[i] = 0; });
        return true;
    }
    engine::Buffer<std::int64_t>& out = std::get<engine::I64Cells>(cells_).values;
    std::int64_t* values = nullptr;
    switch (type_) {
        case ArrowType::int8: values = append_cast<std::int8_t, std::int64_t>(data, base, length, out); break;
        case ArrowType::uint8: values = append_cast<std::uint8_t, std::int64_t>(data, base, length, out); break;
        case ArrowType::int16: values = append_cast<std::int16_t, std::int64_t>(data, base, length, out); break;
        case ArrowType::uint16: values = append_cast<std::uint16_t, std::int64_t>(data, base, length, out); break;
        case ArrowType::int32: values = append_cast<std::int32_t, std::int64_t>(data, base, length, out); break;
        case ArrowType::uint32: values = append_cast<std::uint32_t, std::int64_t>(data, base, length, out); break;
        // uint64 is copied as it lies; a value past int64's range then reads negative.
        default: values = append_cast<std::int64_t, std::int64_t>(data, base, length, out); break;
    }
    nulls_.for_each_null(first, length, [&](std::uint64_t i) { values[i] = 0; });
    if (type_ == ArrowType::uint64) {
        for (std::uint64_t i = 0; i < length; ++i) {
            if (values[i] < 0) {
                return fail_at(failure, first + i, std::to_string(static_cast<std::uint64_t>(values[i])) + " does not fit i64");
            }
        }
    }
    return true;
}

template <class Offset>
bool ColumnImport::append_offset_texts(const ArrowArray& array, std::uint64_t base, std::uint64_t length,
                                       ImportFailure& failure) {
    if (length == 0) return true;
    const auto* offsets = static_cast<const Offset*>(array.buffers[1]);
    const auto* data = static_cast<const char*>(array.buffers[2]);
    if (!offsets) return fail(failure, "the array's offsets are missing");
    const std::uint64_t first = rows_;
    // Offsets start at 0 or after and never decrease, null cells included.
    Offset previous = load<Offset>(offsets, base);
    if (previous < 0) return fail_at(failure, first, "a negative offset");
    for (std::uint64_t i = 0; i < length; ++i) {
        const Offset next = load<Offset>(offsets, base + i + 1);
        if (next < previous) return fail_at(failure, first + i, "the offsets decrease");
        previous = next;
    }
    if (!data && previous != load<Offset>(offsets, base)) return fail(failure, "the array's text bytes are missing");

    engine::StrCells& out = std::get<engine::StrCells>(cells_);
    make_room(out.offsets, length);
    make_room(out.bytes, static_cast<std::uint64_t>(previous - load<Offset>(offsets, base)));
    // Usually a null cell spans no bytes: then the cells are copied as one run. Otherwise
    // runs of present cells are, each null cell becoming an empty span.
    bool nulls_span_nothing = true;
    nulls_.for_each_null(first, length, [&](std::uint64_t i) {
        nulls_span_nothing &= load<Offset>(offsets, base + i) == load<Offset>(offsets, base + i + 1);
    });
    if (nulls_span_nothing) return append_text_run(offsets, data, base, base + length, first, failure);
    for (std::uint64_t i = 0; i < length;) {
        if (nulls_.is_null(first + i)) {
            out.offsets.push_back(out.bytes.size());
            ++i;
            continue;
        }
        std::uint64_t end = i + 1;
        while (end < length && !nulls_.is_null(first + end)) ++end;
        if (!append_text_run(offsets, data, base + i, base + end, first + i, failure)) return false;
        i = end;
    }
    return true;
}

// Copies cells [from, to) (absolute cell numbers of the array), all present or spanning no
// bytes. The bytes are checked as one text, and each cell's start as the start of a
// character: together that is each cell being UTF-8, at the cost of one pass.
template <class Offset>
bool ColumnImport::append_text_run(const Offset* offsets, const char* data, std::uint64_t from, std::uint64_t to,
                                   std::uint64_t first_row, ImportFailure& failure) {
    const auto begin = static_cast<std::uint64_t>(load<Offset>(offsets, from));
    const auto end = static_cast<std::uint64_t>(load<Offset>(offsets, to));
    const char* bytes = data + begin;
    // ASCII text, the most common, needs no more checks: no cell can start inside a character.
    if (!is_ascii(bytes, end - begin)) {
        bool valid = is_valid_utf8(bytes, end - begin);
        for (std::uint64_t k = from + 1; valid && k < to; ++k) {
            const auto at = static_cast<std::uint64_t>(load<Offset>(offsets, k));
            valid = at == end || !is_continuation_byte(data[at]);
        }
        if (!valid) {
            for (std::uint64_t k = from; k < to; ++k) {
                const auto cell = static_cast<std::uint64_t>(load<Offset>(offsets, k));
                const auto next = static_cast<std::uint64_t>(load<Offset>(offsets, k + 1));
                if (!is_valid_utf8(data + cell, next - cell)) {
                    return fail_at(failure, first_row + (k - from), "the text is not UTF-8");
                }
            }
            return fail_at(failure, first_row, "the text is not UTF-8");
        }
    }
    engine::StrCells& out = std::get<engine::StrCells>(cells_);
    const std::uint64_t shift = out.bytes.size() - begin;  // wraps, as unsigned arithmetic does, to the right sum
    const std::size_t old = out.offsets.size();
    out.offsets.resize(old + (to - from));
    std::uint64_t* rebased = out.offsets.data() + old;
    for (std::uint64_t k = 0; k < to - from; ++k) {
        rebased[k] = static_cast<std::uint64_t>(load<Offset>(offsets, from + 1 + k)) + shift;
    }
    out.bytes.insert(out.bytes.end(), bytes, bytes + (end - begin));
    return true;
}

bool ColumnImport::append_views(const ArrowArray& array, std::uint64_t base, std::uint64_t length,
                                ImportFailure& failure) {
    if (length == 0) return true;
    const auto* views = static_cast<const char*>(array.buffers[1]);
    if (!views) return fail(failure, "the array's views are missing");
    const auto data_buffers = static_cast<std::uint64_t>(array.n_buffers - 3);
    const void* sizes = array.buffers[array.n_buffers - 1];
    if (data_buffers != 0 && !sizes) return fail(failure, "the sizes of the array's text buffers are missing");
    const std::uint64_t first = rows_;
    engine::StrCells& out = std::get<engine::StrCells>(cells_);
    make_room(out.offsets, length);
    for (std::uint64_t i = 0; i < length; ++i) {
        if (nulls_.is_null(first + i)) {
            out.offsets.push_back(out.bytes.size());
            continue;
        }
        // A view: the length, then either the text itself (12 bytes at most) or a prefix, the
        // buffer's number and the offset in it.
        const char* view = views + 16 * (base + i);
        const auto size = load<std::int32_t>(view, 0);
        if (size < 0) return fail_at(failure, first + i, "a negative text length");
        const char* text = view + 4;
        if (size > 12) {
            const auto buffer = load<std::int32_t>(view + 8, 0);
            const auto offset = load<std::int32_t>(view + 12, 0);
            if (buffer < 0 || static_cast<std::uint64_t>(buffer) >= data_buffers || offset < 0 ||
                static_cast<std::int64_t>(offset) + size > load<std::int64_t>(sizes, static_cast<std::uint64_t>(buffer)) ||
                !array.buffers[2 + buffer]) {
                return fail_at(failure, first + i, "a text view points outside its buffers");
            }
            text = static_cast<const char*>(array.buffers[2 + buffer]) + offset;
        }
        if (!is_valid_utf8(text, static_cast<std::size_t>(size))) return fail_at(failure, first + i, "the text is not UTF-8");
        out.push_back(std::string_view(text, static_cast<std::size_t>(size)));
    }
    return true;
}

bool ColumnImport::append_dictionary(const ArrowArray& array, std::uint64_t base, std::uint64_t length,
                                     ImportFailure& failure) {
    const ArrowArray& dictionary = *array.dictionary;
    if (dictionary.length < 0) return fail(failure, "the dictionary has a negative length");
    // The dictionary is read, and checked, as a text column of its own.
    ColumnImport entries(name_, "the dictionary of " + label_, type_, std::nullopt);
    if (!entries.append(dictionary, 0, static_cast<std::uint64_t>(dictionary.length), nullptr, 0, failure)) return false;
    const auto& texts = std::get<engine::StrCells>(entries.cells_);
    const void* indices = array.buffers[1];
    if (!indices && length != 0) return fail(failure, "the array's indices are missing");

    const std::uint64_t first = rows_;
    engine::StrCells& out = std::get<engine::StrCells>(cells_);
    make_room(out.offsets, length);
    for (std::uint64_t i = 0; i < length; ++i) {
        if (nulls_.is_null(first + i)) {
            out.offsets.push_back(out.bytes.size());
            continue;
        }
        const std::optional<std::int64_t> index = load_index(*index_type_, indices, base + i);
        if (!index || *index < 0 || *index >= dictionary.length) {
            return fail_at(failure, first + i,
                           "a dictionary index out of range (the dictionary has " + std::to_string(dictionary.length) +
                               " values)");
        }
        const auto entry = static_cast<std::uint64_t>(*index);
        if (entries.nulls_.is_null(entry)) nulls_.set_null(first + i);
        out.push_back(texts.at(entry));
    }
    return true;
}

TableImport::TableImport() = default;
TableImport::~TableImport() = default;

bool TableImport::fail(ImportFailure::Kind kind, std::string message) {
    failure_ = {kind, std::move(message)};
    return false;
}

bool TableImport::start(const ArrowSchema& schema) {
    if (std::string_view(schema.format ? schema.format : "") != "+s" || schema.dictionary) {
        return fail(Kind::type, "Arrow data of type " + arrow_type_name(schema) + " is not a table (a struct of columns)");
    }
    if (schema.n_children < 0 || (schema.n_children > 0 && !schema.children)) {
        return fail(Kind::value, "the schema's fields are missing");
    }
    const auto width = static_cast<std::size_t>(schema.n_children);
    columns_.reserve(width);
    for (std::size_t i = 0; i < width; ++i) {
        const ArrowSchema* field = schema.children[i];
        if (!field) return fail(Kind::value, "the schema's field " + std::to_string(i) + " is missing");
        const std::string_view name = field->name ? field->name : "";
        if (!is_valid_utf8(name.data(), name.size())) {
            return fail(Kind::value, "the name of field " + std::to_string(i) + " is not UTF-8");
        }
        std::string label = "column " + quoted_form(name);
        std::optional<ArrowType> type = arrow_type_of(field->format);
        std::optional<ArrowType> index_type;
        if (field->dictionary) {
            index_type = type;
            type = arrow_type_of(field->dictionary->format);
            if (!index_type || !is_integer(*index_type) || !type || !is_text(*type) || field->dictionary->dictionary) {
                type.reset();
            }
        }
        if (!type) {
            return fail(Kind::type, label + " has Arrow type " + arrow_type_name(*field) +
                                        "; only integer, float, text and null columns convert");
        }
        columns_.push_back(std::make_unique<ColumnImport>(std::string(name), std::move(label), *type, index_type));
    }
    return true;
}

bool TableImport::append(const ArrowArray& batch) {
    if (batch.length < 0 || batch.offset < 0 || batch.null_count < -1 ||
        static_cast<std::uint64_t>(batch.offset) > most_signed - static_cast<std::uint64_t>(batch.length)) {
        return fail(Kind::value, "a batch has a negative or too large length, offset or null count");
    }
    if (batch.n_buffers != 1 || !batch.buffers) {
        return fail(Kind::value, "a batch has " + std::to_string(batch.n_buffers) + " buffers; a struct array has 1");
    }
    if (batch.n_children != static_cast<std::int64_t>(columns_.size()) || (batch.n_children > 0 && !batch.children)) {
        return fail(Kind::value, "a batch has " + std::to_string(batch.n_children) + " columns; the schema has " +
                                     std::to_string(columns_.size()));
    }
    const auto length = static_cast<std::uint64_t>(batch.length);
    if (length > engine::max_rows - rows_) {
        return fail(Kind::value, "the data has more than " + std::to_string(engine::max_rows) + " rows, more than a frame holds");
    }
    const auto* bits = batch.null_count != 0 ? static_cast<const std::uint8_t*>(batch.buffers[0]) : nullptr;
    if (batch.null_count > 0 && !bits) {
        return fail(Kind::value, "a batch has a null count of " + std::to_string(batch.null_count) + " without null flags");
    }
    const auto offset = static_cast<std::uint64_t>(batch.offset);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!batch.children[i]) return fail(Kind::value, "a batch's column " + std::to_string(i) + " is missing");
        if (!columns_[i]->append(*batch.children[i], offset, length, bits, offset, failure_)) return false;
    }
    rows_ += length;
    return true;
}

engine::Result<engine::Frame> TableImport::finish() {
    std::vector<std::string> names;
    std::vector<engine::ValuesRef> values;
    names.reserve(columns_.size());
    values.reserve(columns_.size());
    for (const auto& column : columns_) {
        names.push_back(column->name());
        values.push_back(column->finish());
    }
    engine::Result<engine::Frame> frame = engine::frame_of_columns(std::move(names), std::move(values));
    // A table of no columns still has its rows.
    if (frame && frame->columns.empty()) frame->height = rows_;
    return frame;
}

namespace {

// An Arrow struct the importer was handed, released when done with.
template <class Struct>
struct Releasing {
    Struct value{};
    Releasing() = default;
    Releasing(const Releasing&) = delete;
    Releasing& operator=(const Releasing&) = delete;
    ~Releasing() {
        if (value.release) value.release(&value);
    }
};

Imported failed(ImportFailure failure) { return Imported{std::nullopt, std::move(failure)}; }

Imported finished(TableImport& table) {
    engine::Result<engine::Frame> frame = table.finish();
    if (!frame) return failed({Kind::frame, std::move(frame).error().message});
    return Imported{std::move(frame).value(), {}};
}

// The producer's own words for a failed callback, or the error code's.
ImportFailure producer_failure(ArrowArrayStream& stream, int code) {
    const char* message = stream.get_last_error ? stream.get_last_error(&stream) : nullptr;
    return {Kind::value, "the Arrow stream failed: " + (message ? std::string(message) : std::string(std::strerror(code)))};
}

}  // namespace

Imported import_stream(ArrowArrayStream& stream) {
    if (!stream.release || !stream.get_schema || !stream.get_next) return failed({Kind::value, "the Arrow stream is released"});
    Releasing<ArrowSchema> schema;
    if (const int code = stream.get_schema(&stream, &schema.value)) return failed(producer_failure(stream, code));
    TableImport table;
    if (!table.start(schema.value)) return failed(table.failure());
    for (;;) {
        Releasing<ArrowArray> batch;
        if (const int code = stream.get_next(&stream, &batch.value)) return failed(producer_failure(stream, code));
        if (!batch.value.release) break;  // the end of the stream
        if (!table.append(batch.value)) return failed(table.failure());
    }
    return finished(table);
}

Imported import_array(const ArrowSchema& schema, const ArrowArray& array) {
    TableImport table;
    if (!table.start(schema) || !table.append(array)) return failed(table.failure());
    return finished(table);
}

}  // namespace quorvel::arrow
