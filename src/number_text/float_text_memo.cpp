#include "number_text/float_text_memo.hpp"

#include <bit>
#include <cstring>
#include <utility>

#include "engine/hashing.hpp"
#include "number_text/float_text.hpp"

namespace quorvel::number_text {

FloatTextMemo::FloatTextMemo() : entries_(new Entry[2 * sets]()) {}

std::unique_ptr<FloatTextMemo> FloatTextMemo::for_rows(std::size_t rows) {
    // The memo's own cost (64 KiB to clear, a trial of lookups that may find nothing)
    // is only worth taking for a long column.
    if (rows < 4 * std::size_t{trial}) return nullptr;
    return std::unique_ptr<FloatTextMemo>(new FloatTextMemo());
}

char* FloatTextMemo::write(char* out, double x) {
    if (!entries_) return write_float_text(out, x);
    if (trial_left_ != 0 && --trial_left_ == 0 && found_ < trial / 4) {
        // Too few values came back: the memo is dropped.
        entries_.reset();
        return write_float_text(out, x);
    }
    const auto bits = std::bit_cast<std::uint64_t>(x);
    // Multiplying spreads the bits that vary among nearby values into the top ones.
    Entry* const set = &entries_[2 * ((bits * engine::golden_multiplier) >> (64 - set_bits))];
    for (int way = 0; way < 2; ++way) {
        const Entry& entry = set[way];
        if (entry.length == 0 || entry.bits != bits) continue;
        // Whole texts are copied, whatever their length; the room is there.
        std::memcpy(out, entry.text, sizeof entry.text);
        ++found_;
        if (way == 1) std::swap(set[0], set[1]);
        return out + set[0].length;
    }
    char* const end = write_float_text(out, x);
    const auto length = static_cast<std::size_t>(end - out);
    set[1] = set[0];
    set[0].bits = bits;
    set[0].length = length <= sizeof set[0].text ? static_cast<std::uint8_t>(length) : 0;
    std::memcpy(set[0].text, out, sizeof set[0].text);
    return end;
}

}  // namespace quorvel::number_text
