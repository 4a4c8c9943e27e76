#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "arrow/c_data_interface.hpp"

namespace quorvel::arrow {

// The Arrow types that convert to a dtype, as their format strings name them.
enum class ArrowType : std::uint8_t {
    int8, uint8, int16, uint16, int32, uint32, int64, uint64,  // to i64
    float16, float32, float64,                                 // to f64
    utf8, large_utf8, utf8_view,                               // to str
    null,                                                      // to an i64 column of nulls
};

// The type a format string names, when it is one that converts.
std::optional<ArrowType> arrow_type_of(const char* format);

bool is_integer(ArrowType type);
bool is_float(ArrowType type);
bool is_text(ArrowType type);

// The schema's type as people write it, for messages: "int64", "timestamp[us, tz=UTC]",
// "dictionary<values=utf8, indices=int32>".
std::string arrow_type_name(const ArrowSchema& schema);

}  // namespace quorvel::arrow
