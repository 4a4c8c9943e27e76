#include "csv/writer.hpp"

#include <cstring>
#include <memory>
#include <vector>

#include "csv/byte_words.hpp"
#include "csv/number_parse.hpp"
#include "csv/reader.hpp"
#include "engine/prefetch.hpp"
#include "engine/row_cursor.hpp"
#include "number_text/float_text.hpp"
#include "number_text/float_text_memo.hpp"
#include "number_text/integer_text.hpp"

namespace quorvel::csv {
namespace {

using engine::Column;
using engine::ColumnValues;
using engine::DType;
using engine::Frame;
using engine::StrCells;
using engine::Validity;
using number_text::float_text_max;
using number_text::FloatTextMemo;
using number_text::integer_text_max;
using number_text::write_float_text;
using number_text::write_integer_text;

// True when the text begins with a character of the Unicode White_Space property: U+0009
// to U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F,
// U+205F or U+3000 (read from its UTF-8 bytes).
bool starts_with_white_space(std::string_view text) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned first = byte(0);
    if (first == ' ' || (first >= '\t' && first <= '\r')) return true;
    if (first < 0xC2) return false;
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

bool is_special(char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; }

// Whether any of the 8 bytes of the word is a comma, quote, LF or CR. All four are below
// 0x2D, and most words hold no byte below it (letters, digits, points, dashes): one test
// settles those.
bool has_special_byte(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    if (((word - ones * 0x2D) & ~word & highs) == 0) return false;
    const auto has_zero_byte = [](std::uint64_t v) { return ((v - ones) & ~v & highs) != 0; };
    return has_zero_byte(word ^ (ones * ',')) || has_zero_byte(word ^ (ones * '"')) ||
           has_zero_byte(word ^ (ones * '\n')) || has_zero_byte(word ^ (ones * '\r'));
}

// Writes the text between quotes with each quote doubled: 8 bytes at a time while whole
// words can be read before `readable_end`, a quote found in one written again after it.
char* write_quoted(char* out, std::string_view text, const char* readable_end) {
    *out++ = '"';
    const char* p = text.data();
    const char* const end = p + text.size();
    if constexpr (byte_words) {
        while (end - p > 0 && readable_end - p >= 8) {
            const std::uint64_t word = load_word(p);
            store_word(out, word);
            const auto count = static_cast<unsigned>(end - p < 8 ? end - p : 8);
            const std::uint64_t quotes = bytes_equal(word, '"') & first_bytes(count);
            const unsigned taken = quotes == 0 ? count : first_flagged(quotes) + 1;
            p += taken;
            out += taken;
            if (quotes != 0) *out++ = '"';
        }
    }
    for (; p != end; ++p) {
        *out++ = *p;
        if (*p == '"') *out++ = '"';
    }
    *out++ = '"';
    return out;
}

// Bytes that may be read past a text's end, and written past a field's end, by the copies
// below, which move 8 bytes at a time.
constexpr std::size_t word_slack = 8;

// Copies the text to `out` bare, 8 bytes at a time, unless a byte calls for quotes; returns
// the end, or nullptr when the text must be quoted (having written some of it). Whole words
// are read while they end before `readable_end`.
char* copy_bare(char* out, std::string_view text, const char* readable_end) {
    const char* p = text.data();
    const char* const end = p + text.size();
    char* to = out;
    for (; end - p >= 8; p += 8, to += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        std::memcpy(to, &word, 8);
        if (has_special_byte(word)) return nullptr;
    }
    if (p == end) return to;
    if (readable_end - p >= 8) {
        // The last bytes as one word too; those past the text are set to a letter first.
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        std::memcpy(to, &word, 8);
        const unsigned past = static_cast<unsigned>(8 - (end - p)) * 8;
        const std::uint64_t text_bytes = ~std::uint64_t{0} >> past;
        if (has_special_byte((word & text_bytes) | (0x6161616161616161 & ~text_bytes))) return nullptr;
        return to + (end - p);
    }
    for (; p != end; ++p) {
        if (is_special(*p)) return nullptr;
        *to++ = *p;
    }
    return to;
}

// Writes the text as one CSV field at `out` (room for 2 * size + 2 + word_slack bytes): as
// it is, or between quotes with its quotes doubled.
char* write_field(char* out, std::string_view text, const char* readable_end) {
    if (text.empty() || starts_with_white_space(text)) return write_quoted(out, text, readable_end);
    char* const bare = copy_bare(out, text, readable_end);
    return bare ? bare : write_quoted(out, text, readable_end);
}

// A str cell: a text the reader would take for a number is kept text by quotes (and then
// holds no quote that would need doubling); any other text is written as a field. Only a
// text that begins with a digit, point or sign can be a number.
char* write_text_cell(char* out, std::string_view text, const char* readable_end) {
    if (text.empty()) return write_quoted(out, text, readable_end);
    const char first = text.front();
    if (((first >= '0' && first <= '9') || first == '.' || first == '-' || first == '+') && is_f64_text(text)) {
        *out++ = '"';
        std::memcpy(out, text.data(), text.size());
        out += text.size();
        *out++ = '"';
        return out;
    }
    return write_field(out, text, readable_end);
}

// One column as the row loop reads it: its dtype and raw arrays, and its null flags, or
// none when every cell is present.
struct ColumnReader {
    DType dtype;
    const double* floats = nullptr;
    const std::int64_t* integers = nullptr;
    const StrCells* texts = nullptr;
    const std::uint64_t* null_flags = nullptr;
    const char* texts_end = nullptr;
    std::unique_ptr<FloatTextMemo> memo;

    explicit ColumnReader(const ColumnValues& values, std::size_t rows) : dtype(values.dtype()) {
        const Validity* validity = nullptr;
        switch (dtype) {
            case DType::f64:
                floats = values.f64().values.data(), validity = &values.f64().validity;
                memo = FloatTextMemo::for_rows(rows);
                break;
            case DType::i64: integers = values.i64().values.data(), validity = &values.i64().validity; break;
            case DType::str:
                texts = &values.str(), validity = &values.str().validity;
                texts_end = texts->bytes.data() + texts->bytes.size();
                break;
        }
        if (!validity->all_present()) null_flags = validity->flags();
    }

    bool is_present(std::size_t row) const { return null_flags == nullptr || Validity::bit(null_flags, row) != 0; }

    // The most bytes a cell and its separator take, but for a text's own bytes (two each
    // at most, quotes doubled).
    std::size_t most_bytes() const {
        switch (dtype) {
            case DType::f64: return float_text_max + 1;
            case DType::i64: return integer_text_max + 1;
            case DType::str: break;
        }
        return 3;
    }

    // Asks for the cell that selected row `r + prefetch_ahead` will need.
    void prefetch(const std::uint32_t* rows, std::size_t r, std::size_t count) const {
        if (floats) engine::prefetch_selected(floats, rows, r, count);
        else if (integers) engine::prefetch_selected(integers, rows, r, count);
        else engine::prefetch_selected(*texts, rows, r, count);
    }

    // Writes the cell of `row` at `out` and returns the end.
    char* write(char* out, std::size_t row) {
        if (!is_present(row)) return out;
        if (dtype == DType::f64) return memo ? memo->write(out, floats[row]) : write_float_text(out, floats[row]);
        if (dtype == DType::i64) return write_integer_text(out, integers[row]);
        return write_text_cell(out, texts->at(row), texts_end);
    }
};

// Asks for the cells of every column that selected row `r + prefetch_ahead` will need: the
// row walk's read-ahead for a whole line.
void prefetch_selected(const std::vector<ColumnReader>& columns, const std::uint32_t* rows, std::size_t r,
                       std::size_t count) {
    for (const ColumnReader& column : columns) column.prefetch(rows, r, count);
}

// The most bytes the text of the frame can take: each number at its longest, each text
// quoted with every byte doubled, a separator after every cell, and the slack of the last
// word copy.
std::size_t most_bytes(const Frame& frame) {
    std::size_t most = frame.height + 1 + word_slack;
    for (const Column& column : frame.columns) {
        most += 2 * column.name.size() + 3;
        const ColumnValues& values = *column.values;
        switch (values.dtype()) {
            case DType::f64: most += frame.height * (float_text_max + 1); break;
            case DType::i64: most += frame.height * (integer_text_max + 1); break;
            case DType::str: {
                const StrCells& texts = values.str();
                std::size_t bytes = texts.bytes.size();
                if (frame.selection) {
                    bytes = 0;
                    for (const std::uint32_t row : frame.selection->rows) bytes += texts.offsets[row + 1] - texts.offsets[row];
                }
                most += 2 * bytes + 3 * frame.height;
                break;
            }
        }
    }
    return most;
}

}  // namespace

TextBuffer to_csv(const Frame& frame) {
    TextBuffer out;
    out.reserve(most_bytes(frame));
    const std::size_t width = frame.columns.size();
    for (std::size_t column = 0; column < width; ++column) {
        const std::string_view name = frame.columns[column].name;
        char* const room = out.room(2 * name.size() + 3 + word_slack);
        // The reader would drop a U+FEFF that begins the text as a byte-order mark.
        char* to = column == 0 && name.starts_with(byte_order_mark)
                       ? write_quoted(room, name, name.data() + name.size())
                       : write_field(room, name, name.data() + name.size());
        *to++ = column + 1 == width ? '\n' : ',';
        out.commit(to);
    }
    if (width == 0) {
        // Only empty lines: the header and one per row.
        char* to = out.room(frame.height + 1);
        std::memset(to, '\n', frame.height + 1);
        out.commit(to + frame.height + 1);
        return out;
    }

    std::vector<ColumnReader> columns;
    columns.reserve(width);
    for (const Column& column : frame.columns) columns.emplace_back(*column.values, frame.height);
    // Room is made once a row: for every cell at its longest, the texts' own bytes counted
    // row by row.
    std::size_t row_most = word_slack;
    std::vector<const StrCells*> texts;
    for (const ColumnReader& column : columns) {
        row_most += column.most_bytes();
        if (column.texts) texts.push_back(column.texts);
    }
    engine::RowCursor(frame).for_each(
        [&](std::size_t, std::size_t physical) QUORVEL_INLINE_VISIT {
            std::size_t most = row_most;
            for (const StrCells* cells : texts) most += 2 * (cells->offsets[physical + 1] - cells->offsets[physical]);
            char* to = out.room(most);
            for (std::size_t column = 0; column + 1 < width; ++column) {
                to = columns[column].write(to, physical);
                *to++ = ',';
            }
            to = columns[width - 1].write(to, physical);
            *to++ = '\n';
            out.commit(to);
        },
        columns);
    return out;
}

}  // namespace quorvel::csv
