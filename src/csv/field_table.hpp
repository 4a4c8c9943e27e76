#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quorvel::engine {

// The fields of the accepted records, as the tokenizer lays them out: per record its start
// position, then the end position of each field, all 32-bit. Fields of a record are
// separated by exactly one comma, so field i starts one past the end of field i - 1, and
// the first at the record's start; 4 bytes per field, and no flags.
//
// A field's raw text keeps its quotes: it is quoted exactly when it begins with a double
// quote (an unquoted field cannot), and empty exactly when it is an empty unquoted field.
struct FieldTable {
    const char* text = nullptr;
    const char* text_end = nullptr;
    const std::uint32_t* records = nullptr;
    std::size_t columns = 0;

    std::string_view raw(std::size_t row, std::size_t column) const {
        const std::uint32_t* record = records + row * (columns + 1);
        const std::uint32_t start = record[column] + (column != 0 ? 1 : 0);
        return {text + start, record[column + 1] - start};
    }
};

inline bool is_quoted(std::string_view raw) { return !raw.empty() && raw.front() == '"'; }

// Writes the field's text at `out`, which has room for raw.size() bytes, and returns its
// end: the content of a quoted field with each doubled quote made single, any other field
// as it is.
inline char* write_field_text(std::string_view raw, char* out) {
    if (!is_quoted(raw)) {
        if (!raw.empty()) std::memcpy(out, raw.data(), raw.size());
        return out + raw.size();
    }
    const char* p = raw.data() + 1;
    const char* const end = raw.data() + raw.size() - 1;
    // Inside the quotes every double quote is the first of a pair.
    while (const void* quote = std::memchr(p, '"', static_cast<std::size_t>(end - p))) {
        const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(quote) + 1 - p);
        std::memcpy(out, p, length);
        out += length;
        p += length + 1;
    }
    std::memcpy(out, p, static_cast<std::size_t>(end - p));
    return out + (end - p);
}

}  // namespace quorvel::engine
