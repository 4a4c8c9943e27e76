#include "engine/lookup_sets.hpp"

#include <bit>

namespace quorvel::engine {
namespace {

// A power-of-two table with at least twice as many slots as entries.
std::size_t table_size(std::size_t entries) { return std::bit_ceil(entries * 2 + 2); }

}  // namespace

KeySet::KeySet(const std::vector<std::uint64_t>& keys) {
    const std::size_t size = table_size(keys.size());
    slots_.assign(size, empty_slot);
    mask_ = size - 1;
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(size));
    for (const std::uint64_t key : keys) {
        if (key == empty_slot) {
            holds_empty_slot_key_ = true;
            continue;
        }
        std::size_t slot = home(key);
        while (slots_[slot] != empty_slot && slots_[slot] != key) slot = (slot + 1) & mask_;
        slots_[slot] = key;
    }
}

TextSet::TextSet(const std::vector<std::string>& texts) : texts_(texts) {
    const std::size_t size = table_size(texts.size());
    slots_.assign(size, 0);
    hashes_.assign(size, 0);
    mask_ = size - 1;
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(size));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint64_t hash = quick_hash(texts[i]);
        std::size_t slot = hash >> shift_;
        while (slots_[slot] != 0 && !(hashes_[slot] == hash && texts_[slots_[slot] - 1] == texts[i])) {
            slot = (slot + 1) & mask_;
        }
        slots_[slot] = static_cast<std::uint32_t>(i + 1);
        hashes_[slot] = hash;
    }
}

}  // namespace quorvel::engine
