#pragma once

#include <cstddef>

namespace quorvel::arrow {

// Whether the bytes are well-formed UTF-8: no stray continuation bytes, no overlong forms,
// no surrogates, nothing past U+10FFFF.
bool is_valid_utf8(const char* text, std::size_t size);

// Whether every byte is below 0x80.
bool is_ascii(const char* text, std::size_t size);

// Whether `byte` continues a character (10xxxxxx) rather than beginning one.
inline bool is_continuation_byte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace quorvel::arrow
