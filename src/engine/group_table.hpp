#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "engine/blocks.hpp"
#include "engine/hashing.hpp"

namespace quorvel::engine {

// No group number reaches this: there are fewer groups than rows, and rows are 32-bit.
inline constexpr std::uint32_t no_group = std::numeric_limits<std::uint32_t>::max();

// A slot that keeps a number key itself, so that a lookup reads no column.
struct NumberSlot {
    std::uint64_t bits = 0;
    std::uint32_t group = no_group;
    std::uint64_t hash() const { return quick_hash(bits); }
};

// A slot that keeps a text key's hash and a view of the text in the column, so that a
// lookup reads no offsets.
struct TextSlot {
    std::uint64_t key_hash = 0;
    std::string_view text;
    std::uint32_t group = no_group;
    std::uint64_t hash() const { return key_hash; }
};

// A slot that keeps the key's hash; the key is read from the group's first row.
struct HashSlot {
    std::uint64_t key_hash = 0;
    std::uint32_t group = no_group;
    std::uint64_t hash() const { return key_hash; }
};

// The groups met so far, found by key: open addressing on a 64-bit key hash with linear
// probing, doubling as it fills. A `Slot` has a `group` (no_group while the slot is empty),
// keeps whatever recognises its group's key, and gives its key hash by hash() when the table
// grows. The table holds slots only, so it allocates nothing per group.
template <class Slot>
class GroupTable {
public:
    GroupTable() { reset(256); }
    // Room for up to `keys` keys from the start, within 2^21 slots: a table that would grow
    // many times rewrites every slot each time, while one made large from the start, for
    // keys that turn out few, costs only the zeroing of its slots.
    explicit GroupTable(std::size_t keys) {
        const std::size_t wanted = keys * 8 <= small_capacity ? keys * 8 : keys * 2;
        reset(std::clamp<std::size_t>(std::bit_ceil(wanted), 256, std::size_t{1} << 21));
    }

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

    // The group of the first slot on the probe path of `hash` for which `matches` holds, or
    // no_group when there is none.
    template <class Matches>
    std::uint32_t find(std::uint64_t hash, const Matches& matches) const {
        for (std::size_t index = hash >> shift_;; index = (index + 1) & mask_) {
            const Slot& slot = slots_[index];
            if (slot.group == no_group || matches(slot)) return slot.group;
        }
    }

    // Where the probe path of `hash` begins, to be asked for ahead of a lookup.
    const Slot* home(std::uint64_t hash) const { return slots_.data() + (hash >> shift_); }
    // Whether the table is too large for the caches to hold it: only then is asking for
    // slots ahead worth its instructions.
    bool beyond_caches() const { return slots_.size() >= small_capacity; }

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
