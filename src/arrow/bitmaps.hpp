#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quorvel::arrow {

// `count` (at most 64) bits of an Arrow bitmap from bit `start` on, as the low bits of a
// word. Reads only the bytes that hold them, so never past the bitmap's end.
inline std::uint64_t load_bits(const std::uint8_t* bits, std::uint64_t start, unsigned count) {
    const std::uint8_t* first = bits + (start >> 3);
    const unsigned shift = static_cast<unsigned>(start & 7);
    const unsigned bytes = (shift + count + 7) / 8;  // at most 9
    std::uint64_t word = 0;
    std::memcpy(&word, first, std::min(bytes, 8u));
    word >>= shift;
    if (bytes == 9) word |= std::uint64_t{first[8]} << (64 - shift);
    return count == 64 ? word : word & ((std::uint64_t{1} << count) - 1);
}

// Calls `absent(i)` for each i < length whose bit `offset + i` is clear, in order; a null
// bitmap has none clear. Runs of set bits cost one word read per 64 rows.
template <class Absent>
void for_each_clear_bit(const std::uint8_t* bits, std::uint64_t offset, std::uint64_t length, Absent&& absent) {
    if (!bits) return;
    for (std::uint64_t chunk = 0; chunk < length; chunk += 64) {
        const unsigned count = static_cast<unsigned>(std::min<std::uint64_t>(64, length - chunk));
        const std::uint64_t all = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
        for (std::uint64_t clear = ~load_bits(bits, offset + chunk, count) & all; clear != 0; clear &= clear - 1) {
            absent(chunk + static_cast<unsigned>(std::countr_zero(clear)));
        }
    }
}

}  // namespace quorvel::arrow
