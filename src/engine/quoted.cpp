#include "engine/quoted.hpp"

#include <cstdint>

#include "engine/unicode_tables.hpp"

namespace quorvel::engine {
namespace {

// Decodes the UTF-8 sequence at text[pos]; returns its length, or 0 when the bytes there
// are not a well-formed sequence.
std::size_t decode_utf8(std::string_view text, std::size_t pos, std::uint32_t& code_point) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    std::uint32_t min;
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code_point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code_point = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code_point = lead & 0x07u;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code_point = (code_point << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    if (code_point < min || code_point > 0x10FFFF || surrogate) return 0;
    return length;
}

void append_hex(std::string& out, std::uint32_t value) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count > 0) out.push_back(digits[--count]);
}

}  // namespace

std::string quoted_form(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::uint32_t cp = 0;
        const std::size_t length = decode_utf8(text, pos, cp);
        if (length == 0) {
            // Texts from Python are always valid UTF-8; a stray byte from elsewhere is shown
            // by its value rather than passed into the message.
            out += "\\x{";
            append_hex(out, static_cast<unsigned char>(text[pos]));
            out.push_back('}');
            ++pos;
            continue;
        }
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case 0: out += "\\0"; break;
            default:
                if (needs_unicode_escape(cp)) {
                    out += "\\u{";
                    append_hex(out, cp);
                    out.push_back('}');
                } else {
                    out.append(text.substr(pos, length));
                }
        }
        pos += length;
    }
    out.push_back('"');
    return out;
}

}  // namespace quorvel::engine
