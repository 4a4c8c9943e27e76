#pragma once

#include <cstdint>

namespace quorvel::engine {

// True for a code point that messages must write as \u{...}: Grapheme_Extend, or not
// printable (general category Cc, Cf, Cs, Co, Cn, Zl, Zp, or Zs other than U+0020).
bool needs_unicode_escape(std::uint32_t code_point);

}  // namespace quorvel::engine
