#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/blocks.hpp"

namespace quorvel::engine {

// No group number reaches this: there are fewer groups than rows, and rows are 32-bit.
inline constexpr std::uint32_t no_group = std::numeric_limits<std::uint32_t>::max();

// The groups met so far, found by key: open addressing on a 64-bit key hash with linear
// probing, doubling as it fills. A `Slot` has a `group` (no_group while the slot is empty),
// keeps whatever recognises its group's key, and gives its key hash by hash() when the table
// grows. The table holds slots only, so it allocates nothing per group.
template <class Slot>
class GroupTable {
public:
    GroupTable() { reset(256); }

    // The group of the first slot on the probe path of `hash` for which `matches` holds, or,
    // when there is none, the group of the slot that `add()` makes for a new group.
    template <class Matches, class Add>
    std::uint32_t find_or_add(std::uint64_t hash, const Matches& matches, const Add& add) {
        std::size_t index = hash >> shift_;
        for (;;) {
            const Slot& slot = slots_[index];
            if (slot.group == no_group) break;
            if (matches(slot)) return slot.group;
            index = (index + 1) & mask_;
        }
        const Slot& made = slots_[index] = add();
        const std::uint32_t group = made.group;
        if (++used_ > max_used_) grow();
        return group;
    }

private:
    // An eighth full while the table takes at most 1 MiB, so that nearly every lookup ends
    // at its first slot (a longer probe costs a mispredicted branch); half full beyond,
    // where memory counts for more.
    static constexpr std::size_t small_capacity = std::size_t{1} << 16;

    void reset(std::size_t capacity) {
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        max_used_ = capacity < small_capacity ? capacity / 8 : capacity / 2;
        // The top bits index the table: the hashes' multiplications mix them best.
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
    }

    void grow() {
        Buffer<Slot> old = std::move(slots_);
        reset(old.size() * 2);
        for (const Slot& slot : old) {
            if (slot.group == no_group) continue;
            std::size_t index = slot.hash() >> shift_;
            while (slots_[index].group != no_group) index = (index + 1) & mask_;
            slots_[index] = slot;
        }
    }

    Buffer<Slot> slots_;
    std::size_t used_ = 0;
    std::size_t max_used_ = 0;
    std::size_t mask_ = 0;
    unsigned shift_ = 0;
};

}  // namespace quorvel::engine
