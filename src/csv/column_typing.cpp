#include "column_typing.hpp"

#include "number_parse.hpp"

namespace quorvel::engine {

void ColumnBuilder::add_rows(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end) {
    std::size_t row = begin;
    if (dtype_ == DType::i64) {
        row = add_integers(fields, column, row, end);
        if (row == end) return;
        widen_to_f64(fields, column);
    }
    if (dtype_ == DType::f64) {
        row = add_floats(fields, column, row, end);
        if (row == end) return;
        widen_to_str(fields, column, row);
    }
    add_texts(fields, column, row, end, true);
}

std::size_t ColumnBuilder::add_integers(const FieldTable& fields, std::size_t column, std::size_t begin,
                                        std::size_t end) {
    for (std::size_t row = begin; row < end; ++row) {
        const std::string_view raw = fields.raw(row, column);
        if (raw.empty()) {
            integers_.push_back(0);
            null_rows_.push_back(static_cast<std::uint32_t>(row));
            continue;
        }
        const std::optional<std::int64_t> value = parse_i64(raw);
        if (!value) return row;
        integers_.push_back(*value);
    }
    return end;
}

std::size_t ColumnBuilder::add_floats(const FieldTable& fields, std::size_t column, std::size_t begin,
                                      std::size_t end) {
    for (std::size_t row = begin; row < end; ++row) {
        const std::string_view raw = fields.raw(row, column);
        if (raw.empty()) {
            floats_.push_back(0);
            null_rows_.push_back(static_cast<std::uint32_t>(row));
            continue;
        }
        const std::optional<double> value = parse_f64(raw);
        if (!value) return row;
        floats_.push_back(*value);
    }
    return end;
}

void ColumnBuilder::add_texts(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end,
                              bool first_visit) {
    for (std::size_t row = begin; row < end; ++row) {
        const std::string_view raw = fields.raw(row, column);
        if (raw.empty() && first_visit) null_rows_.push_back(static_cast<std::uint32_t>(row));
        append_field_text(raw, texts_.bytes);
        texts_.offsets.push_back(texts_.bytes.size());
    }
}

void ColumnBuilder::widen_to_f64(const FieldTable& fields, std::size_t column) {
    floats_.reserve(integers_.capacity());
    for (std::size_t row = 0; row < integers_.size(); ++row) {
        double value = static_cast<double>(integers_[row]);
        // -0 is an integer 0, but as a float it is negative zero, as parse_f64 reads it.
        if (value == 0 && fields.raw(row, column).starts_with('-')) value = -0.0;
        floats_.push_back(value);
    }
    integers_ = {};
    dtype_ = DType::f64;
}

void ColumnBuilder::widen_to_str(const FieldTable& fields, std::size_t column, std::size_t rows_done) {
    floats_ = {};
    texts_.offsets.reserve(rows_done + 1);
    add_texts(fields, column, 0, rows_done, false);
    dtype_ = DType::str;
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

}  // namespace quorvel::engine
