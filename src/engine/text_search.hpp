#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::engine {

// Whether the bytes at `at` are those of `text`. The texts searched for are mostly short:
// comparing them in place costs less than a call to memcmp.
inline bool same_bytes(const char* at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (at[i] != text[i]) return false;
    }
    return true;
}

// Finds one text, the needle, in others, by bytes.
class TextFinder {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // The needle must not be empty: every text holds the empty text, which callers answer
    // without searching.
    explicit TextFinder(std::string_view needle);

    std::size_t size() const { return needle_.size(); }

    // Where the needle first begins in `haystack` at or after `from` (at most its size), or
    // npos.
    std::size_t find(std::string_view haystack, std::size_t from) const;

private:
    std::string needle_;
    // The needle's first and last bytes, each 16 times over: what a block of places is
    // compared with. Made once, since making them for each search costs more than a short
    // search.
    alignas(16) char firsts_[16];
    alignas(16) char lasts_[16];
};

}  // namespace quorvel::engine
