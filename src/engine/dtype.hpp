#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel::engine {

// The numbering is part of the model: it is the index of the cell vector in ColumnValues.
enum class DType : std::uint8_t { f64 = 0, i64 = 1, str = 2 };

constexpr std::string_view dtype_name(DType dtype) {
    switch (dtype) {
        case DType::f64: return "f64";
        case DType::i64: return "i64";
        case DType::str: return "str";
    }
    return "?";
}

}  // namespace quorvel::engine
