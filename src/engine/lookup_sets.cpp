#include "engine/lookup_sets.hpp"

#include <bit>
#include <cstring>

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
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint64_t hash = hash_text(texts[i]);
        std::size_t slot = hash & mask_;
        while (slots_[slot] != 0 && !(hashes_[slot] == hash && texts_[slots_[slot] - 1] == texts[i])) {
            slot = (slot + 1) & mask_;
        }
        slots_[slot] = static_cast<std::uint32_t>(i + 1);
        hashes_[slot] = hash;
    }
}

// Eight bytes at a time, each word folded in by a multiply and a shift; the length goes in
// first so that texts differing only by trailing zero bytes differ.
std::uint64_t TextSet::hash_text(std::string_view text) {
    constexpr std::uint64_t multiplier = 0x9E3779B97F4A7C15u;
    std::uint64_t hash = text.size() * multiplier;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        hash = (hash ^ word) * multiplier;
        hash ^= hash >> 29;
    }
    if (at < text.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, text.size() - at);
        hash = (hash ^ word) * multiplier;
        hash ^= hash >> 29;
    }
    hash *= multiplier;
    return hash ^ (hash >> 32);
}

}  // namespace quorvel::engine
