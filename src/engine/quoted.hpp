#pragma once

#include <string>
#include <string_view>

namespace quorvel::engine {

// A user's text as messages show it: between double quotes, with quotes, backslashes,
// control characters, combining marks and other invisible characters escaped, so that
// the text is never ambiguous in a message.
std::string quoted_form(std::string_view text);

}  // namespace quorvel::engine
