#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../engine/column_values.hpp"
#include "field_table.hpp"

namespace quorvel::engine {

// Types one column and builds its cells while the rows arrive, batch after batch: i64 while
// every field is an integer or empty, then f64 while every field is a float or empty, else
// str. Widening to f64 converts the integers already read; widening to str rebuilds the
// texts of the rows already read from their fields. A quoted field fails both number tests
// (its raw text begins with a quote), so it makes the column str.
class ColumnBuilder {
public:
    // Takes rows [begin, end) of the column; every earlier row has been taken.
    void add_rows(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end);

    // The cells of the `rows` rows taken, empty unquoted fields as nulls.
    Cells finish(std::size_t rows) &&;

private:
    std::size_t add_integers(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end);
    std::size_t add_floats(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end);
    void add_texts(const FieldTable& fields, std::size_t column, std::size_t begin, std::size_t end,
                   bool first_visit);
    void widen_to_f64(const FieldTable& fields, std::size_t column);
    void widen_to_str(const FieldTable& fields, std::size_t column, std::size_t rows_done);

    DType dtype_ = DType::i64;
    std::vector<std::int64_t> integers_;
    std::vector<double> floats_;
    StrCells texts_;
    std::vector<std::uint32_t> null_rows_;
};

}  // namespace quorvel::engine
