#include "writer.hpp"

#include <charconv>
#include <cstring>
#include <vector>

#include "../repr/float_text.hpp"
#include "number_parse.hpp"

namespace quorvel::engine {
namespace {

constexpr std::size_t i64_text_max = 20;  // -9223372036854775808

// True when the text begins with a character of the Unicode White_Space property: U+0009
// to U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F,
// U+205F or U+3000 (read from its UTF-8 bytes).
bool starts_with_white_space(std::string_view text) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned first = byte(0);
    if (first == ' ' || (first >= '\t' && first <= '\r')) return true;
    if (first == 0xC2) return byte(1) == 0x85 || byte(1) == 0xA0;
    if (first == 0xE1) return byte(1) == 0x9A && byte(2) == 0x80;
    if (first == 0xE2 && byte(1) == 0x80) {
        const unsigned third = byte(2);
        return (third >= 0x80 && third <= 0x8A) || third == 0xA8 || third == 0xA9 || third == 0xAF;
    }
    if (first == 0xE2) return byte(1) == 0x81 && byte(2) == 0x9F;
    if (first == 0xE3) return byte(1) == 0x80 && byte(2) == 0x80;
    return false;
}

bool needs_quotes(std::string_view text) {
    if (text.empty() || starts_with_white_space(text)) return true;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') return true;
    }
    return false;
}

void write_bare(TextBuffer& out, std::string_view text) {
    char* to = out.room(text.size());
    if (!text.empty()) std::memcpy(to, text.data(), text.size());
    out.commit(to + text.size());
}

// The text as one CSV field: as it is, or between quotes with its quotes doubled.
void write_field(TextBuffer& out, std::string_view text) {
    if (!needs_quotes(text)) {
        write_bare(out, text);
        return;
    }
    char* to = out.room(2 * text.size() + 2);
    *to++ = '"';
    for (const char c : text) {
        *to++ = c;
        if (c == '"') *to++ = '"';
    }
    *to++ = '"';
    out.commit(to);
}

void write_text_cell(TextBuffer& out, std::string_view text) {
    if (!is_f64_text(text)) {
        write_field(out, text);
        return;
    }
    // A text the reader would take for a number is kept text by its quotes. It holds no
    // quote that would need doubling.
    char* to = out.room(text.size() + 2);
    *to++ = '"';
    std::memcpy(to, text.data(), text.size());
    to += text.size();
    *to++ = '"';
    out.commit(to);
}

void write_cell(TextBuffer& out, const ColumnValues& values, std::size_t row) {
    switch (values.dtype()) {
        case DType::f64: {
            const F64Cells& cells = values.f64();
            if (!cells.is_present(row)) return;
            out.commit(write_float_text(out.room(float_text_max), cells.values[row]));
            return;
        }
        case DType::i64: {
            const I64Cells& cells = values.i64();
            if (!cells.is_present(row)) return;
            char* to = out.room(i64_text_max);
            out.commit(std::to_chars(to, to + i64_text_max, cells.values[row]).ptr);
            return;
        }
        case DType::str: {
            const StrCells& cells = values.str();
            if (cells.is_present(row)) write_text_cell(out, cells.at(row));
            return;
        }
    }
}

void write_char(TextBuffer& out, char c) {
    char* to = out.room(1);
    *to = c;
    out.commit(to + 1);
}

}  // namespace

TextBuffer to_csv(const Frame& frame) {
    TextBuffer out;
    for (std::size_t column = 0; column < frame.columns.size(); ++column) {
        if (column != 0) write_char(out, ',');
        write_field(out, frame.columns[column].name);
    }
    write_char(out, '\n');

    std::vector<const ColumnValues*> columns;
    columns.reserve(frame.columns.size());
    for (const Column& column : frame.columns) columns.push_back(column.values.get());
    for (std::size_t row = 0; row < frame.height; ++row) {
        const std::size_t physical = frame.physical_row(row);
        for (std::size_t column = 0; column < columns.size(); ++column) {
            if (column != 0) write_char(out, ',');
            write_cell(out, *columns[column], physical);
        }
        write_char(out, '\n');
    }
    return out;
}

}  // namespace quorvel::engine
