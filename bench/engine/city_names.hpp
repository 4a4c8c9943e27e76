#pragma once

// The names of the benchmarks' city columns: 200 of them, of two to four syllables, a fifth
// beginning with "San ", so that many share long prefixes as real names do.

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quorvel::engine {

inline std::vector<std::string> city_names(std::mt19937_64& random) {
    const char* syllables[] = {"san", "ta", "ber", "lin", "os", "lo", "li", "ma", "por", "to", "new", "york"};
    std::vector<std::string> names;
    while (names.size() < 200) {
        std::string name = random() % 5 == 0 ? "San " : "";
        for (std::uint64_t s = 0, count = 2 + random() % 3; s < count; ++s) name += syllables[random() % 12];
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

}  // namespace quorvel::engine
