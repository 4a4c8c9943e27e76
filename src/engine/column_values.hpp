#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/blocks.hpp"
#include "engine/dtype.hpp"
#include "engine/shared.hpp"
#include "engine/validity.hpp"

namespace quorvel::engine {

// Cells of an f64 or i64 column: contiguous values, a null cell holds 0.
template <class T>
struct NumberCells {
    Buffer<T> values;
    Validity validity;

    std::size_t size() const { return values.size(); }
    bool is_present(std::size_t row) const { return validity.is_present(row); }
};

using F64Cells = NumberCells<double>;
using I64Cells = NumberCells<std::int64_t>;

// Cells of a str column: the texts end to end in one byte buffer, cell i spanning
// bytes[offsets[i], offsets[i + 1]). A null cell is an empty span with its flag clear.
struct StrCells {
    Buffer<std::uint64_t> offsets = Buffer<std::uint64_t>(1, 0);
    Buffer<char> bytes;
    Validity validity;

    std::size_t size() const { return offsets.size() - 1; }
    bool is_present(std::size_t row) const { return validity.is_present(row); }
    std::string_view at(std::size_t row) const {
        return {bytes.data() + offsets[row], static_cast<std::size_t>(offsets[row + 1] - offsets[row])};
    }
    void push_back(std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        offsets.push_back(bytes.size());
    }
};

// The alternatives are in DType order, so index() is the dtype.
using Cells = std::variant<F64Cells, I64Cells, StrCells>;

// The immutable, shared cells of one column.
class ColumnValues : public RefCounted {
public:
    // Counting the nulls costs a word read per 64 cells, little beside building the cells,
    // and lets an Arrow export, which must state the count, take constant time.
    explicit ColumnValues(Cells cells)
        : cells_(std::move(cells)),
          null_count_(std::visit([](const auto& c) { return c.validity.null_count(c.size()); }, cells_)) {}

    DType dtype() const { return static_cast<DType>(cells_.index()); }
    std::size_t length() const {
        return std::visit([](const auto& cells) { return cells.size(); }, cells_);
    }
    std::size_t null_count() const { return null_count_; }
    const Cells& cells() const { return cells_; }

    const F64Cells& f64() const { return std::get<F64Cells>(cells_); }
    const I64Cells& i64() const { return std::get<I64Cells>(cells_); }
    const StrCells& str() const { return std::get<StrCells>(cells_); }

private:
    Cells cells_;
    std::size_t null_count_;
};

using ValuesRef = Shared<const ColumnValues>;

inline ValuesRef make_values(Cells cells) {
    return ValuesRef(new ColumnValues(std::move(cells)));
}

}  // namespace quorvel::engine
