#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::engine {

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
