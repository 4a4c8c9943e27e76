#pragma once

#include <cstddef>

namespace quorvel::engine {

// Sorts entries[0, count) by `before`, stably: entries neither before nor after each other
// keep their order. The sort for short runs, where it beats every other.
template <class T, class Before>
void insertion_sort(T* entries, std::size_t count, Before before) {
    for (std::size_t i = 1; i < count; ++i) {
        const T entry = entries[i];
        std::size_t j = i;
        for (; j > 0 && before(entry, entries[j - 1]); --j) entries[j] = entries[j - 1];
        entries[j] = entry;
    }
}

}  // namespace quorvel::engine
