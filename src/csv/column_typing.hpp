#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "csv/field_table.hpp"
#include "engine/column_values.hpp"

namespace quorvel::csv {

// Types one column and builds its cells while the rows arrive, batch after batch: i64 while
// every field is an integer or empty, then f64 while every field is a float or empty, else
// str. A quoted field fails both number tests (its raw text begins with a quote), so it
// makes the column str.
//
// Widening to f64 converts the integers already read. Widening to str needs the texts of
// the rows already read: in the first batch they are at hand; later they are gone, and the
// column waits for a second reading of the text (needs_second_pass), which hands it every
// row again through add_texts.
class ColumnBuilder {
public:
    // Takes the `rows` rows of a batch, whose first is row `first_row` of the column.
    void add_rows(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t rows);

    bool needs_second_pass() const { return second_pass_; }

    // The second pass: the texts of the batch's rows.
    void add_texts(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t rows);

    // Makes room for a column of about `rows` rows, judging text sizes by the rows so far.
    void reserve(std::size_t rows);

    // The cells of the `rows` rows taken, empty unquoted fields as nulls.
    engine::Cells finish(std::size_t rows) &&;

private:
    std::size_t add_integers(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t begin,
                             std::size_t end);
    std::size_t add_floats(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t begin,
                           std::size_t end);
    void append_texts(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t begin,
                      std::size_t end);
    void widen_to_f64();
    void widen_to_str(const FieldTable& batch, std::size_t column, std::size_t first_row, std::size_t row);

    engine::DType dtype_ = engine::DType::i64;
    bool second_pass_ = false;
    engine::Buffer<std::int64_t> integers_;
    engine::Buffer<double> floats_;
    engine::StrCells texts_;
    std::vector<std::uint32_t> null_rows_;
    // Rows whose integer text is a negative zero, which becomes -0.0 when the column widens.
    std::vector<std::uint32_t> negative_zero_rows_;
};

}  // namespace quorvel::csv
