#include "csv/column_typing.hpp"

#include <algorithm>
#include <new>

#include "csv/number_parse.hpp"
#include "engine/blocks.hpp"

namespace quorvel::csv {

using engine::Cells;
using engine::DType;
using engine::F64Cells;
using engine::I64Cells;
using engine::try_reserve;

void ColumnBuilder::add_rows(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t rows) {
    if (second_pass_) return;
    std::size_t row = 0;
    if (dtype_ == DType::i64) {
        row = add_integers(batch, column, first_row, row, rows);
        if (row == rows) return;
        widen_to_f64();
    }
    if (dtype_ == DType::f64) {
        row = add_floats(batch, column, first_row, row, rows);
        if (row == rows) return;
        widen_to_str(batch, column, first_row, row);
        if (second_pass_) return;
    }
    append_texts(batch, column, first_row, row, rows);
}

void ColumnBuilder::add_texts(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t rows) {
    append_texts(batch, column, first_row, 0, rows);
}

// The number loops write through a pointer into room made for the whole batch, and cut the
// column to what was written when a field fails: a push_back would store the column's end
// back to memory for every field.
std::size_t ColumnBuilder::add_integers(const FieldTable& batch, std::size_t column, std::size_t first_row,
                                        std::size_t begin, std::size_t end) {
    const std::size_t used = integers_.size();
    integers_.resize(used + (end - begin));
    std::int64_t* out = integers_.data() + used;
    for (std::size_t row = begin; row < end; ++row, ++out) {
        const std::string_view raw = batch.raw(row, column);
        if (raw.empty()) {
            *out = 0;
            null_rows_.push_back(static_cast<std::uint32_t>(first_row + row));
            continue;
        }
        if (!parse_i64_field(raw, batch.whole_text(), *out)) {
            integers_.resize(used + (row - begin));
            return row;
        }
        if (*out == 0 && raw.front() == '-') negative_zero_rows_.push_back(static_cast<std::uint32_t>(first_row + row));
    }
    return end;
}

std::size_t ColumnBuilder::add_floats(const FieldTable& batch, std::size_t column, std::size_t first_row,
                                      std::size_t begin, std::size_t end) {
    const std::size_t used = floats_.size();
    floats_.resize(used + (end - begin));
    double* out = floats_.data() + used;
    for (std::size_t row = begin; row < end; ++row, ++out) {
        const std::string_view raw = batch.raw(row, column);
        if (raw.empty()) {
            *out = 0;
            null_rows_.push_back(static_cast<std::uint32_t>(first_row + row));
            continue;
        }
        if (!parse_f64_field(raw, batch.whole_text(), *out)) {
            floats_.resize(used + (row - begin));
            return row;
        }
    }
    return end;
}

void ColumnBuilder::append_texts(const FieldTable& batch, std::size_t column, std::size_t first_row,
                                 std::size_t begin, std::size_t end) {
    // The texts are at most as long as the fields: room for all of them (and the slack of
    // the copies) is made at once and written through a pointer, then cut to what was
    // written.
    std::size_t most = copy_slack;
    for (std::size_t row = begin; row < end; ++row) most += batch.raw(row, column).size();
    engine::Buffer<char>& bytes = texts_.bytes;
    const std::size_t used = bytes.size();
    if (bytes.capacity() - used < most) try_reserve(bytes, std::max(used + most, 2 * bytes.capacity()));
    bytes.resize(used + most);
    engine::Buffer<std::uint64_t>& offsets = texts_.offsets;
    std::size_t cell = offsets.size();
    offsets.resize(cell + (end - begin));

    char* const start = bytes.data();
    char* out = start + used;
    for (std::size_t row = begin; row < end; ++row) {
        const std::string_view raw = batch.raw(row, column);
        if (raw.empty()) null_rows_.push_back(static_cast<std::uint32_t>(first_row + row));
        out = copy_field_text(raw, batch.text_end, out);
        offsets[cell++] = static_cast<std::uint64_t>(out - start);
    }
    bytes.resize(static_cast<std::size_t>(out - start));
}

void ColumnBuilder::widen_to_f64() {
    try_reserve(floats_, integers_.capacity());
    floats_.assign(integers_.begin(), integers_.end());
    for (const std::uint32_t row : negative_zero_rows_) floats_[row] = -0.0;
    integers_ = {};
    negative_zero_rows_ = {};
    dtype_ = DType::f64;
}

void ColumnBuilder::widen_to_str(const FieldTable& batch, std::size_t column, std::size_t first_row,
                                 std::size_t row) {
    floats_ = {};
    dtype_ = DType::str;
    if (first_row == 0) {
        // The rows read so far are all in this batch (their nulls, noted again, stay nulls).
        texts_.offsets.reserve(row + 1);
        append_texts(batch, column, first_row, 0, row);
        return;
    }
    second_pass_ = true;
    null_rows_ = {};
}

void ColumnBuilder::reserve(std::size_t rows) {
    switch (dtype_) {
        case DType::i64: try_reserve(integers_, rows); break;
        case DType::f64: try_reserve(floats_, rows); break;
        case DType::str:
            if (texts_.size() == 0) break;
            try_reserve(texts_.offsets, rows + 1);
            // Room that is never written costs only addresses, and a text that outgrows its
            // room is copied whole: the texts so far are taken as a fifth shorter than the
            // rest may be.
            try_reserve(texts_.bytes, texts_.bytes.size() * rows / texts_.size() * 5 / 4 + copy_slack);
            break;
    }
}

Cells ColumnBuilder::finish(std::size_t rows) && {
    auto with_nulls = [&](auto cells) {
        for (const std::uint32_t row : null_rows_) cells.validity.set_null(row, rows);
        return cells;
    };
    switch (dtype_) {
        case DType::i64: return with_nulls(I64Cells{std::move(integers_), {}});
        case DType::f64: return with_nulls(F64Cells{std::move(floats_), {}});
        case DType::str: break;
    }
    return with_nulls(std::move(texts_));
}

}  // namespace quorvel::csv
