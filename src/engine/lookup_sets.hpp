#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/hashing.hpp"

namespace quorvel::engine {

// Membership in a long list of 64-bit keys (integers, or the bits of floats): an
// open-addressing table with linear probing, kept at most half full.
class KeySet {
public:
    explicit KeySet(const std::vector<std::uint64_t>& keys);

    bool contains(std::uint64_t key) const {
        if (key == empty_slot) return holds_empty_slot_key_;
        for (std::size_t slot = home(key);; slot = (slot + 1) & mask_) {
            if (slots_[slot] == key) return true;
            if (slots_[slot] == empty_slot) return false;
        }
    }

private:
    // Marks a free slot; the key with these bits is tracked on its own.
    static constexpr std::uint64_t empty_slot = 0;

    std::size_t home(std::uint64_t key) const {
        return static_cast<std::size_t>((key * golden_multiplier) >> shift_);
    }

    std::vector<std::uint64_t> slots_;
    std::size_t mask_ = 0;
    unsigned shift_ = 64;
    bool holds_empty_slot_key_ = false;
};

// Membership in a long list of texts, by bytes. Views point into `texts`, which must
// outlive the set.
class TextSet {
public:
    explicit TextSet(const std::vector<std::string>& texts);

    bool contains(std::string_view text) const {
        const std::uint64_t hash = quick_hash(text);
        for (std::size_t slot = hash >> shift_;; slot = (slot + 1) & mask_) {
            const std::uint32_t entry = slots_[slot];
            if (entry == 0) return false;
            if (hashes_[slot] == hash && texts_[entry - 1] == text) return true;
        }
    }

private:
    const std::vector<std::string>& texts_;
    // Index + 1 of the text in each slot, 0 for a free slot, and the text's hash.
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint64_t> hashes_;
    std::size_t mask_ = 0;
    unsigned shift_ = 64;
};

}  // namespace quorvel::engine
