#include "tokenizer.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel::engine {
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

EngineError line_error(std::uint64_t line, const char* what) {
    return EngineError{"line " + std::to_string(line) + ": " + what};
}

}  // namespace

Tokenizer::Tokenizer(std::string_view text) : text_(text) { load_block(0); }

void Tokenizer::load_block(std::size_t block_start) {
    block_start_ = block_start;
    if (block_start + block_size <= text_.size()) {
        block_mask_ = separator_mask(text_.data() + block_start);
        return;
    }
    // The last, partial block: padded with zero bytes, which are no separators.
    char padded[block_size] = {};
    if (block_start < text_.size()) std::memcpy(padded, text_.data() + block_start, text_.size() - block_start);
    block_mask_ = separator_mask(padded);
}

Result<void> Tokenizer::read_quoted(std::size_t start, std::size_t& end) {
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    std::size_t search = start + 1;
    for (;;) {
        // Newlines are not looked at during the search; they are counted over the stretch
        // once its quote is found.
        const void* found = search < size ? std::memchr(text + search, '"', size - search) : nullptr;
        if (!found) return line_error(record_line_, "a quoted field is never closed");
        const std::size_t quote = static_cast<std::size_t>(static_cast<const char*>(found) - text);
        line_ += static_cast<std::uint64_t>(std::count(text + search, text + quote, '\n'));
        if (quote + 1 == size) {
            end = size;
            return {};
        }
        switch (text[quote + 1]) {
            case ',':
            case '\n':
            case '\r':
                // The closing quote.
                end = quote + 1;
                return {};
            case '"':
                // A doubled quote is content; the search goes on after the pair.
                search = quote + 2;
                break;
            default:
                return line_error(line_, "text after a closing quote");
        }
    }
}

Result<void> Tokenizer::read_record(std::vector<std::uint32_t>& records) {
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    record_line_ = line_;
    std::size_t position = position_;
    const auto put = [&](std::size_t value) { records.push_back(static_cast<std::uint32_t>(value)); };
    put(position);
    for (;;) {
        std::size_t end;
        if (text[position] == '"') {
            Result<void> quoted = read_quoted(position, end);
            if (!quoted) return quoted;
        } else {
            end = find_separator(position);
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
        if (separator == '\r' && position < size && text[position] == '\n') ++position;
        break;
    }
    position_ = position;
    ++line_;
    return {};
}

}  // namespace quorvel::engine
