#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "csv/byte_words.hpp"

namespace quorvel::csv {

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

    std::string_view whole_text() const { return {text, static_cast<std::size_t>(text_end - text)}; }

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

// Bytes that copy_field_text may write past the end of a field's text.
inline constexpr std::size_t copy_slack = 16;

// As write_field_text, with room for copy_slack more bytes at `out`: the field is copied 16
// bytes at a time (a quoted one 8 at a time, looking for quotes), each a fixed-size copy
// rather than a call, while the bytes read lie inside the text, which ends at `text_end`.
inline char* copy_field_text(std::string_view raw, const char* text_end, char* out) {
    const char* p = raw.data();
    if (!is_quoted(raw)) {
        const char* const end = p + raw.size();
        for (char* to = out; p < end; p += 16, to += 16) {
            if (text_end - p < 16) {
                std::memcpy(to, p, static_cast<std::size_t>(end - p));
                break;
            }
            std::memcpy(to, p, 16);
        }
        return out + raw.size();
    }
    // Inside the quotes every double quote is the first of a pair: it is kept, its twin
    // skipped.
    const char* const end = p + raw.size() - 1;
    ++p;
    if constexpr (byte_words) {
        while (end - p > 0 && text_end - p >= 8) {
            const std::uint64_t word = load_word(p);
            store_word(out, word);
            const auto count = static_cast<unsigned>(end - p < 8 ? end - p : 8);
            const std::uint64_t quotes = bytes_equal(word, '"') & first_bytes(count);
            if (quotes == 0) {
                p += count;
                out += count;
                continue;
            }
            const unsigned quote = first_flagged(quotes);
            p += quote + 2;
            out += quote + 1;
        }
    }
    while (p < end) {
        *out++ = *p;
        p += *p == '"' ? 2 : 1;
    }
    return out;
}

}  // namespace quorvel::csv
