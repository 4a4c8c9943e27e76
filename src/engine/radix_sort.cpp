#include "engine/radix_sort.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/insertion_sort.hpp"

namespace quorvel::engine {
namespace {

// Below this many entries a straight insertion sort is faster than counting digits.
constexpr std::size_t largest_insertion_sort = 64;

// Keys spanning at most 16 bits are sorted digit by digit from the least significant (two
// passes), and so are keys of up to 24 bits (three passes) while the entries fit in the
// caches. Wider keys are split by their leading bits first.
constexpr unsigned widest_lsd_keys = 16;
constexpr unsigned widest_cached_lsd_keys = 24;
constexpr std::size_t largest_cached_sort = std::size_t{1} << 14;

// A split spreads entries over at most 2^11 buckets, so that the buckets being filled stay
// in the caches, and aims at buckets of about 4 entries, left to insertion sort: with 16,
// the branches of the insertion sort, which cannot be foretold, cost more than the split.
constexpr unsigned widest_split = 11;
constexpr std::size_t split_bucket_size = 4;

bool before(const KeyedRow& a, const KeyedRow& b) {
    return a.key != b.key ? a.key < b.key : a.tie_break < b.tie_break;
}

// One stable counting sort of `from` into `to` by the byte that `byte_of` picks.
template <class ByteOf>
void counting_pass(const KeyedRow* from, KeyedRow* to, std::size_t count, std::array<std::uint32_t, 256>& bucket,
                   ByteOf byte_of) {
    std::uint32_t next = 0;
    for (std::uint32_t& start : bucket) next += std::exchange(start, next);
    for (std::size_t i = 0; i < count; ++i) to[bucket[byte_of(from[i])]++] = from[i];
}

// Least significant digit first: the tie-break when tie-breaks differ, then the bytes of the
// keys reduced by `lowest` (`key_bits` wide), skipping a byte that is the same in every entry.
// Returns the buffer that holds the result.
KeyedRow* lsd_sort(KeyedRow* entries, KeyedRow* scratch, std::size_t count, std::uint64_t lowest, unsigned key_bits,
                   bool tie_breaks_differ) {
    const unsigned key_bytes = (key_bits + 7) / 8;
    std::array<std::array<std::uint32_t, 256>, 8> key_counts{};
    std::array<std::uint32_t, 256> tie_break_counts{};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = entries[i].key - lowest;
        for (unsigned b = 0; b < key_bytes; ++b) ++key_counts[b][(key >> (8 * b)) & 0xFFu];
    }
    KeyedRow* from = entries;
    KeyedRow* to = scratch;
    if (tie_breaks_differ) {
        for (std::size_t i = 0; i < count; ++i) ++tie_break_counts[entries[i].tie_break & 0xFFu];
        counting_pass(from, to, count, tie_break_counts, [](const KeyedRow& e) { return e.tie_break & 0xFFu; });
        std::swap(from, to);
    }
    for (unsigned b = 0; b < key_bytes; ++b) {
        const unsigned shift = 8 * b;
        const auto byte_of = [shift, lowest](const KeyedRow& e) {
            return static_cast<unsigned>((e.key - lowest) >> shift) & 0xFFu;
        };
        if (key_counts[b][byte_of(from[0])] == count) continue;  // the same byte everywhere
        counting_pass(from, to, count, key_counts[b], byte_of);
        std::swap(from, to);
    }
    return from;
}

KeyedRow* sort_into_either(KeyedRow* entries, KeyedRow* scratch, std::size_t count);

// Most significant digit first: one stable counting sort by the leading bits of the keys
// spreads the entries into buckets, each then sorted on its own while it is in cache.
// Returns the buffer that holds the result: the one most buckets' sorts left theirs in, the
// others copied over to it.
KeyedRow* msd_split(KeyedRow* entries, KeyedRow* scratch, std::size_t count, std::uint64_t lowest,
                    unsigned key_bits) {
    const unsigned wanted_bits = static_cast<unsigned>(std::bit_width(count / split_bucket_size));
    const unsigned split_bits = std::min({key_bits, widest_split, wanted_bits});
    const unsigned shift = key_bits - split_bits;
    std::vector<std::uint32_t> starts((std::size_t{1} << split_bits) + 1, 0);
    for (std::size_t i = 0; i < count; ++i) ++starts[((entries[i].key - lowest) >> shift) + 1];
    for (std::size_t b = 1; b < starts.size(); ++b) starts[b] += starts[b - 1];
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < count; ++i) scratch[next[(entries[i].key - lowest) >> shift]++] = entries[i];
    // Which buffer each bucket's result lies in; a bucket's other half is free once it is sorted.
    std::vector<bool> in_entries(starts.size() - 1);
    std::size_t entries_in_entries = 0;
    for (std::size_t b = 0; b + 1 < starts.size(); ++b) {
        const std::size_t size = starts[b + 1] - starts[b];
        in_entries[b] = sort_into_either(scratch + starts[b], entries + starts[b], size) == entries + starts[b];
        if (in_entries[b]) entries_in_entries += size;
    }
    const bool to_entries = 2 * entries_in_entries > count;
    KeyedRow* const result = to_entries ? entries : scratch;
    const KeyedRow* const other = to_entries ? scratch : entries;
    for (std::size_t b = 0; b + 1 < starts.size(); ++b) {
        if (in_entries[b] == to_entries) continue;
        std::memcpy(result + starts[b], other + starts[b], (starts[b + 1] - starts[b]) * sizeof(KeyedRow));
    }
    return result;
}

// Sorts entries[0, count) and returns the buffer that holds the result: `entries` or
// `scratch`.
KeyedRow* sort_into_either(KeyedRow* entries, KeyedRow* scratch, std::size_t count) {
    if (count <= largest_insertion_sort) {
        insertion_sort(entries, count, before);
        return entries;
    }
    // Two entries a step, each into bounds of its own: one chain of comparisons would wait
    // on itself at every entry.
    std::uint64_t low[2] = {entries[0].key, entries[count - 1].key};
    std::uint64_t high[2] = {low[0], low[1]};
    std::uint32_t tie_breaks_all = entries[count - 1].tie_break;
    std::uint32_t tie_breaks_any = tie_breaks_all;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        for (std::size_t j = 0; j < 2; ++j) {
            low[j] = std::min(low[j], entries[i + j].key);
            high[j] = std::max(high[j], entries[i + j].key);
        }
        tie_breaks_all &= entries[i].tie_break & entries[i + 1].tie_break;
        tie_breaks_any |= entries[i].tie_break | entries[i + 1].tie_break;
    }
    const std::uint64_t lowest = std::min(low[0], low[1]);
    const std::uint64_t highest = std::max(high[0], high[1]);
    const unsigned key_bits = static_cast<unsigned>(std::bit_width(highest - lowest));
    const bool cached = count <= largest_cached_sort;
    if (key_bits > (cached ? widest_cached_lsd_keys : widest_lsd_keys)) {
        return msd_split(entries, scratch, count, lowest, key_bits);
    }
    return lsd_sort(entries, scratch, count, lowest, key_bits, tie_breaks_all != tie_breaks_any);
}

}  // namespace

KeyedRow* radix_sort(KeyedRow* entries, KeyedRow* scratch, std::size_t count) {
    return sort_into_either(entries, scratch, count);
}

}  // namespace quorvel::engine
