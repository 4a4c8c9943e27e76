#include "csv/tokenizer.hpp"

#include <bit>
#include <cstring>
#include <string>

#include "csv/byte_words.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::csv {

using engine::EngineError;
namespace {

// Bit i is set when byte i of the 64 bytes at `bytes` is a comma, LF or CR: the bytes that
// end an unquoted field. Finding the next one is then a count of trailing zeros instead
// of a test per byte.
std::uint64_t separator_mask(const char* bytes) {
#ifdef __SSE2__
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, comma), _mm_cmpeq_epi8(chunk, lf)),
                                          _mm_cmpeq_epi8(chunk, cr));
        mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hits))} << (16 * part);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < 64; ++i) {
        const char c = bytes[i];
        mask |= std::uint64_t{c == ',' || c == '\n' || c == '\r'} << i;
    }
    return mask;
#endif
}

}  // namespace

std::uint32_t* FieldPositions::grow(std::uint32_t* end, std::size_t count) {
    const std::size_t used = static_cast<std::size_t>(end - data_.get());
    std::size_t capacity = capacity_ < 1024 ? 1024 : 2 * capacity_;
    while (capacity - used < count) capacity *= 2;
    auto grown = std::make_unique_for_overwrite<std::uint32_t[]>(capacity);
    if (used != 0) std::memcpy(grown.get(), data_.get(), used * sizeof(std::uint32_t));
    data_ = std::move(grown);
    capacity_ = capacity;
    return data_.get() + used;
}

Tokenizer::Tokenizer(std::string_view text) : text_(text), block_mask_(separators_at(0)) {}

std::uint64_t Tokenizer::separators_at(std::size_t block_start) const {
    if (block_start + block_size <= text_.size()) return separator_mask(text_.data() + block_start);
    // The last, partial block: padded with zero bytes, which are no separators.
    char padded[block_size] = {};
    if (block_start < text_.size()) std::memcpy(padded, text_.data() + block_start, text_.size() - block_start);
    return separator_mask(padded);
}

bool Tokenizer::fail(std::uint64_t line, const char* what) {
    error_ = EngineError{"line " + std::to_string(line) + ": " + what};
    return false;
}

// The quoted-field path runs for every quoted field and is short: it is inlined into the
// record loop, where a call per field costs more than what it does.
[[gnu::always_inline]] inline std::size_t Tokenizer::find_quote(std::size_t from) const {
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    if constexpr (byte_words) {
        for (; size - from >= 8; from += 8) {
            const std::uint64_t quotes = bytes_equal(load_word(text + from), '"');
            if (quotes != 0) return from + first_flagged(quotes);
        }
    }
    while (from < size && text[from] != '"') ++from;
    return from;
}

[[gnu::always_inline]] inline std::uint64_t Tokenizer::line_feeds(std::size_t from, std::size_t to) const {
    const char* const text = text_.data();
    std::uint64_t count = 0;
    if constexpr (byte_words) {
        // Whole words while they lie inside the text, the last one cut to the stretch.
        for (; from < to && text_.size() - from >= 8; from += 8) {
            std::uint64_t found = bytes_equal(load_word(text + from), '\n');
            if (to - from < 8) found &= first_bytes(static_cast<unsigned>(to - from));
            if (found != 0) count += static_cast<std::uint64_t>(std::popcount(found));
        }
    }
    for (; from < to; ++from) count += text[from] == '\n' ? 1 : 0;
    return count;
}

[[gnu::always_inline]] inline bool Tokenizer::read_quoted(std::size_t start, std::size_t& end) {
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    std::size_t search = start + 1;
    for (;;) {
        // Newlines are not looked at during the search; they are counted over the stretch
        // once its quote is found.
        const std::size_t quote = find_quote(search);
        if (quote == size) return fail(record_line_, "a quoted field is never closed");
        line_ += line_feeds(search, quote);
        if (quote + 1 == size) {
            end = size;
            return true;
        }
        switch (text[quote + 1]) {
            case ',':
            case '\n':
            case '\r':
                // The closing quote.
                end = quote + 1;
                return true;
            case '"':
                // A doubled quote is content; the search goes on after the pair.
                search = quote + 2;
                break;
            default:
                return fail(line_, "text after a closing quote");
        }
    }
}

bool Tokenizer::read_record(FieldPositions& positions) {
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    record_line_ = line_;
    std::size_t position = position_;
    // The block of separators is followed in locals, and kept when the record is read.
    std::size_t block_start = block_start_;
    std::uint64_t block_mask = block_mask_;
    // The next separator not yet taken (the text's size when none is left), taken in order:
    // in unquoted text the next one ends the field being read.
    const auto take_separator = [&] {
        while (block_mask == 0) {
            if (block_start + block_size >= size) return size;
            block_start += block_size;
            block_mask = separators_at(block_start);
        }
        const std::size_t found = block_start + static_cast<std::size_t>(std::countr_zero(block_mask));
        block_mask &= block_mask - 1;
        return found;
    };
    // Positions are written through a local pointer, checked against the room there is,
    // which a record of many fields may outgrow.
    std::uint32_t* out = positions.data_.get() + positions.size_;
    std::uint32_t* limit = positions.data_.get() + positions.capacity_;
    const auto put = [&](std::size_t value) {
        if (out == limit) {
            out = positions.grow(out, 1);
            limit = positions.data_.get() + positions.capacity_;
        }
        *out++ = static_cast<std::uint32_t>(value);
    };
    const auto finish = [&](bool read) {
        positions.size_ = static_cast<std::size_t>(out - positions.data_.get());
        block_start_ = block_start;
        block_mask_ = block_mask;
        return read;
    };
    put(position);
    for (;;) {
        std::size_t end;
        if (text[position] == '"') {
            if (!read_quoted(position, end)) return finish(false);
            // The separators inside the quotes are content: taking resumes after the quote.
            const std::size_t resume = end < size ? end + 1 : size;
            if (resume - block_start >= block_size) {
                block_start = resume & ~(block_size - 1);
                block_mask = separators_at(block_start);
            }
            block_mask &= ~std::uint64_t{0} << (resume - block_start);
        } else {
            end = take_separator();
        }
        put(end);
        if (end == size) {
            position = size;
            break;
        }
        const char separator = text[end];
        position = end + 1;
        if (separator == ',') {
            if (position < size) continue;
            // A comma at the very end of the text still opens one last, empty field.
            put(size);
            break;
        }
        if (separator == '\r' && position < size && text[position] == '\n') {
            ++position;
            (void)take_separator();  // the LF
        }
        break;
    }
    position_ = position;
    ++line_;
    return finish(true);
}

}  // namespace quorvel::csv
