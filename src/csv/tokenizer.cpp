#include "csv/tokenizer.hpp"

#include <bit>
#include <cstring>
#include <string>

#include "csv/byte_words.hpp"
#include "engine/prefetch.hpp"

namespace quorvel::csv {

using engine::EngineError;
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

// The last, partial block is padded with zero bytes, which are in no class.
template <class Scan>
auto Tokenizer::scan_block(std::size_t block_start, Scan scan) const {
    // The text is read once, in order, slowly enough for memory to keep up, but the
    // hardware's own read-ahead stops at each 4 KiB page: the page ahead is asked for here.
    if (block_start + read_ahead < text_.size()) engine::prefetch(text_.data() + block_start + read_ahead);
    if (block_start + block_size <= text_.size()) return scan(text_.data() + block_start);
    char padded[block_size] = {};
    if (block_start < text_.size()) std::memcpy(padded, text_.data() + block_start, text_.size() - block_start);
    return scan(padded);
}

ByteClasses Tokenizer::classes_at(std::size_t block_start) const { return scan_block(block_start, classify_block); }

std::uint64_t Tokenizer::separators_at(std::size_t block_start) const {
    return scan_block(block_start, block_separators);
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

namespace {

// Bit i of the result is the parity of bits 0 to i.
std::uint64_t prefix_parity(std::uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    return x ^ x << 32;
}

}  // namespace

std::size_t Tokenizer::read_plain_records(FieldPositions& positions, std::size_t fields, std::size_t most) {
    // A one-field record may be a blank line, which only read_record tells apart.
    if (fields < 2) return 0;
    const std::size_t size = text_.size();
    // Separators are taken from whole blocks without a look at the text: a record is its
    // start and the ends of its fields, and an LF also starts the next record, so every
    // separator's position is written, with the one after it, and an LF keeps both. The
    // record read when something stops the loop is dropped, and read again by read_record.
    //
    // Quoted fields are followed by the parity of the quotes so far: a byte is inside quotes
    // when an odd number of them come up to it (an opening quote is inside, its closing one
    // not, a doubled quote closes and opens again), and separators inside are content. A
    // quote that neither opens a field (after a separator or a closing quote) nor closes one
    // (before a separator or another quote), an LF inside quotes (whose lines read_record
    // counts) and a CR stop the loop there, and read_record reads, or refuses, that record.
    std::size_t record_start = position_;
    std::size_t block_start = record_start & ~(block_size - 1);
    std::uint64_t from = ~std::uint64_t{0} << (record_start - block_start);
    std::size_t records = 0;
    std::size_t field = 0;
    std::uint32_t* out = positions.data_.get() + positions.size_;
    std::uint32_t* record_out = out;
    // Room for the start and two positions per byte of a block.
    const auto make_room = [&] {
        if (static_cast<std::size_t>(positions.data_.get() + positions.capacity_ - out) > 2 * block_size) return;
        const std::size_t kept = static_cast<std::size_t>(record_out - positions.data_.get());
        out = positions.grow(out, 2 * block_size + 1);
        record_out = positions.data_.get() + kept;
    };
    make_room();
    *out++ = static_cast<std::uint32_t>(record_start);
    ByteClasses classes;
    // What a block passes on to the next: inside quotes at its end (all ones or none), the
    // next block's first byte if a field may open there, and whether it ended with a closing
    // quote, which that byte must follow rightly. The record's start opens a field.
    std::uint64_t inside_before = 0;
    std::uint64_t opens_after = std::uint64_t{1} << (record_start - block_start);
    bool closing_before = false;
    for (;;) {
        make_room();
        classes = classes_at(block_start);
        const std::uint64_t quotes = classes.quotes & from;
        std::uint64_t inside = 0;
        std::uint64_t closing = 0;
        std::uint64_t stoppers = classes.carriage_returns & from;
        // Blocks with no quote in them or leading into them, most blocks of most texts, skip this.
        if ((quotes | inside_before) != 0 || closing_before) {
            inside = prefix_parity(quotes) ^ inside_before;
            const std::uint64_t opening = quotes & inside;
            closing = quotes & ~inside;
            // Where a field may open: after a separator or a closing quote; where a closing
            // quote may stand: before a separator or a quote (a CR stops the loop anyway).
            const std::uint64_t unquoted = (classes.commas | classes.line_feeds) & from & ~inside;
            const std::uint64_t may_open = (unquoted | closing) << 1 | opens_after;
            const std::uint64_t may_follow = classes.separators() | classes.quotes;
            stoppers |= (classes.line_feeds & inside & from) | (opening & ~may_open) |
                        (closing & ~(may_follow >> 1) & ~(std::uint64_t{1} << 63));
            if (closing_before && (may_follow & 1) == 0) stoppers |= 1;
        }
        const std::uint64_t record_ends = classes.line_feeds & ~inside;
        std::uint64_t separators = (classes.commas | record_ends) & from & ~inside;
        // Only the separators before the first stopper; the loop stops there.
        if (stoppers != 0) separators &= (stoppers & (0 - stoppers)) - 1;
        bool wrong_count = false;
        while (separators != 0) {
            const auto bit = static_cast<unsigned>(std::countr_zero(separators));
            separators &= separators - 1;
            const auto end = static_cast<std::uint32_t>(block_start + bit);
            const unsigned line_feed = static_cast<unsigned>(record_ends >> bit) & 1;
            out[0] = end;
            out[1] = end + 1;
            out += 1 + line_feed;
            ++field;
            if (line_feed != 0) {
                if (field != fields) {
                    wrong_count = true;
                    break;
                }
                field = 0;
                record_out = out - 1;
                record_start = end + 1;
                ++records;
            }
        }
        if (wrong_count || stoppers != 0 || records >= most || block_start + block_size >= size) break;
        inside_before = 0 - (inside >> 63);
        opens_after = ((classes.commas | record_ends) & ~inside) >> 63 | closing >> 63;
        closing_before = (closing >> 63) != 0;
        block_start += block_size;
        from = ~std::uint64_t{0};
    }
    // Back to the start of the record not finished, with the separators not yet taken.
    positions.size_ = static_cast<std::size_t>(record_out - positions.data_.get());
    position_ = record_start;
    line_ += records;
    const std::size_t record_block = record_start & ~(block_size - 1);
    const std::uint64_t separators = record_block == block_start ? classes.separators() : separators_at(record_block);
    block_start_ = record_block;
    block_mask_ = separators & (~std::uint64_t{0} << (record_start - record_block));
    return records;
}

}  // namespace quorvel::csv
