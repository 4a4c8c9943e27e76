#include "arrow/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace quorvel::arrow {

bool is_ascii(const char* text, std::size_t size) {
    // 32 bytes a round, their high bits gathered without a branch, which the compiler turns
    // into vector instructions.
    constexpr std::uint64_t high_bits = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        std::uint64_t words[4];
        std::memcpy(words, text + i, 32);
        if ((words[0] | words[1] | words[2] | words[3]) & high_bits) return false;
    }
    unsigned char any = 0;
    for (; i < size; ++i) any |= static_cast<unsigned char>(text[i]);
    return any < 0x80;
}

bool is_valid_utf8(const char* text, std::size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < size) {
        // Most text is ASCII: eight bytes at a time while no high bit is set.
        while (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if (word & 0x8080808080808080u) break;
            i += 8;
        }
        if (i == size) break;
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range depends on the lead: it rules out overlong forms (E0, F0),
        // surrogates (ED) and code points past U+10FFFF (F4).
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (size - i < length) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace quorvel::arrow
