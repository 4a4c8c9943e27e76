#include "engine/sorting.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/insertion_sort.hpp"
#include "engine/radix_sort.hpp"
#include "engine/row_cursor.hpp"
#include "engine/scratch_buffer.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

constexpr std::uint64_t sign_bit = std::uint64_t{1} << 63;

// Runs of equal text prefixes at most this long are finished by comparing the texts.
constexpr std::size_t largest_compared_run = 16;

// Signed integers in unsigned order: flip the sign bit.
std::uint64_t order_key(std::int64_t value) { return std::bit_cast<std::uint64_t>(value) ^ sign_bit; }

// Floats in unsigned order: negatives have every bit flipped, so that larger magnitudes come
// first, and non-negatives only the sign bit. Adding 0.0 makes -0.0 into 0.0 so that the two
// tie, as they compare equal. NaN never gets here.
std::uint64_t order_key(double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value + 0.0);
    return (bits & sign_bit) ? ~bits : bits | sign_bit;
}

template <class T>
bool is_nan(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::isnan(value);
    } else {
        return false;
    }
}

// The eight bytes of `text` from `at` as a big-endian number (missing bytes as zero), and
// how many of them the text has (0 to 8). Ordering by both is the byte order of the texts
// over those eight bytes, with a text that ends there before every longer one.
KeyedRow text_key(std::string_view text, std::size_t at, std::uint32_t row, bool descending) {
    const std::size_t left = text.size() > at ? text.size() - at : 0;
    const std::size_t taken = left < 8 ? left : 8;
    unsigned char bytes[8] = {};
    if (taken != 0) std::memcpy(bytes, text.data() + at, taken);
    std::uint64_t key = 0;
    for (const unsigned char byte : bytes) key = key << 8 | byte;
    if (descending) return KeyedRow{~key, row, static_cast<std::uint32_t>(8 - taken)};
    return KeyedRow{key, row, static_cast<std::uint32_t>(taken)};
}

// Whether the texts of an entry made by text_key may go on past its eight bytes.
bool may_continue(const KeyedRow& entry, bool descending) { return entry.tie_break == (descending ? 0u : 8u); }

bool same_key(const KeyedRow& a, const KeyedRow& b) { return a.key == b.key && a.tie_break == b.tie_break; }

// Asks for the cell that keying row `row` will read.
template <class T>
void prefetch_cell(const NumberCells<T>& cells, std::uint32_t row) {
    prefetch(cells.values.data() + row);
}
inline void prefetch_cell(const StrCells& cells, std::uint32_t row) { prefetch(cells.offsets.data() + row); }

// One sort key: a column and its direction.
struct SortKey {
    const ColumnValues* values;
    bool descending;
};

// A stretch of entries whose rows tie on every key before `key`, to be ordered by it.
struct TiedRun {
    std::size_t begin;
    std::size_t end;
    std::size_t key;
};

// A stretch of entries whose texts agree on their first 8 * depth bytes.
struct TextRun {
    std::size_t begin;
    std::size_t end;
    std::size_t depth;
};

// Orders rows by their keys, the most significant first: all rows by the first key, then
// each stretch of rows that tie on it by the second, and so on. Every step is stable, so
// rows that tie on every key keep their source order, as chained stable sorts from the last
// key to the first would leave them. Ordering the tied stretches one by one, rather than
// every row once per key, costs only what the ties need, and the stretches are mostly small
// enough to be sorted in the caches.
//
// Per key, the rows of a stretch are split as the order needs them: the present keys,
// sorted, then the rows that go after every present key in their source order (NaN keys,
// then nulls). NaN is neither less nor greater than any number, so the comparison alone
// gives it no place. It goes after every number and before the nulls in both directions:
// one fixed, documented place, where it is easy to find or cut off, and NaN rows keep their
// order.
class RowSorter {
public:
    RowSorter(std::size_t height, std::vector<SortKey> keys)
        : height_(height), buffers_{ScratchBuffer<KeyedRow>(height), ScratchBuffer<KeyedRow>(height)},
          keys_(std::move(keys)) {}

    // The frame's physical rows in key order.
    RowList sorted_rows(const Frame& frame) {
        if (!keys_.empty()) {
            std::visit([&](const auto& cells) { key_stretch(cells, 0, height_, 0, RowCursor(frame)); },
                       keys_.front().values->cells());
        } else {
            RowCursor(frame).for_each([&](std::size_t r, std::size_t p) {
                entries_[r] = KeyedRow{0, static_cast<std::uint32_t>(p), 0};
            });
        }
        while (!tied_.empty()) {
            const TiedRun run = tied_.back();
            tied_.pop_back();
            std::visit([&](const auto& cells) { key_stretch(cells, run.begin, run.end, run.key, std::nullopt); },
                       keys_[run.key].values->cells());
        }
        RowList rows(height_);
        for (std::size_t i = 0; i < height_; ++i) rows[i] = entries_[i].row;
        return rows;
    }

private:
    // Orders entries[begin, end) by key `key`, reading each row's cell (the rows of the
    // frame itself when `frame_rows` is given, the entries' rows otherwise), and notes the
    // stretches that tie on it for the next key.
    template <class Cells>
    void key_stretch(const Cells& cells, std::size_t begin, std::size_t end, std::size_t key,
                     std::optional<RowCursor> frame_rows) {
        const bool descending = keys_[key].descending;
        nans_.clear();
        nulls_.clear();
        std::size_t count = 0;
        KeyedRow* const entries = entries_ + begin;
        const bool all_present = cells.validity.all_present();
        const auto take = [&](std::uint32_t row) QUORVEL_INLINE_VISIT {
            if (!all_present && cells.validity.present_bit(row) == 0) {
                nulls_.push_back(row);
            } else if constexpr (std::is_same_v<Cells, StrCells>) {
                entries[count++] = text_key(cells.at(row), 0, row, descending);
            } else {
                const auto value = cells.values[row];
                if (is_nan(value)) {
                    nans_.push_back(row);
                } else {
                    const std::uint64_t flip = descending ? ~std::uint64_t{0} : 0;  // reverse the key order
                    entries[count++] = KeyedRow{order_key(value) ^ flip, row, 0};
                }
            }
        };
        if (frame_rows) {
            frame_rows->for_each(
                [&](std::size_t, std::size_t p) QUORVEL_INLINE_VISIT { take(static_cast<std::uint32_t>(p)); }, cells);
        } else {
            // An entry is read before any is written at its place: count never passes i.
            for (std::size_t i = begin; i < end; ++i) {
                if (i + prefetch_ahead < end) prefetch_cell(cells, entries_[i + prefetch_ahead].row);
                take(entries_[i].row);
            }
        }

        const bool ties_matter = key + 1 < keys_.size();
        if constexpr (std::is_same_v<Cells, StrCells>) {
            sort_texts(cells, begin, begin + count, descending, ties_matter ? key + 1 : 0);
        } else {
            KeyedRow* const sorted = radix_sort(entries, second_ + begin, count);
            if (sorted != entries) {
                // Sorting every row at once: the buffers trade places instead of copying.
                if (end - begin == height_) {
                    std::swap(entries_, second_);
                } else {
                    std::memcpy(entries, sorted, count * sizeof(KeyedRow));
                }
            }
            if (ties_matter) add_tied(begin, begin + count, key + 1);
        }
        std::size_t at = begin + count;
        for (const RowList* rows : {&nans_, &nulls_}) {
            for (const std::uint32_t row : *rows) entries_[at++] = KeyedRow{0, row, 0};
            if (ties_matter && rows->size() > 1) tied_.push_back({at - rows->size(), at, key + 1});
        }
    }

    // Notes each stretch of entries[begin, end) whose keys are equal, for key `next_key`.
    void add_tied(std::size_t begin, std::size_t end, std::size_t next_key) {
        std::size_t start = begin;
        for (std::size_t i = begin + 1; i <= end; ++i) {
            if (i < end && same_key(entries_[i], entries_[start])) continue;
            if (i - start > 1) tied_.push_back({start, i, next_key});
            start = i;
        }
    }

    // Texts sort by their first eight bytes; each run that ties there and goes on is sorted
    // again by its next eight bytes, and so on (a worklist, not recursion, so a long shared
    // prefix cannot exhaust the stack). Short runs are finished by direct comparison. When
    // `next_key` is not 0, each stretch of equal texts is noted for that key.
    void sort_texts(const StrCells& cells, std::size_t begin, std::size_t end, bool descending, std::size_t next_key) {
        KeyedRow* const first = entries_ + begin;
        const KeyedRow* const sorted = radix_sort(first, second_ + begin, end - begin);
        if (sorted != first) std::memcpy(first, sorted, (end - begin) * sizeof(KeyedRow));
        text_runs_.clear();
        add_text_runs(begin, end, 1, descending, next_key);
        while (!text_runs_.empty()) {
            const TextRun run = text_runs_.back();
            text_runs_.pop_back();
            KeyedRow* const entries = entries_ + run.begin;
            const std::size_t size = run.end - run.begin;
            const std::size_t at = 8 * run.depth;
            if (size <= largest_compared_run) {
                compare_run(cells, run, descending, next_key);
                continue;
            }
            for (std::size_t i = 0; i < size; ++i) {
                entries[i] = text_key(cells.at(entries[i].row), at, entries[i].row, descending);
            }
            const KeyedRow* const resorted = radix_sort(entries, second_ + run.begin, size);
            if (resorted != entries) std::memcpy(entries, resorted, size * sizeof(KeyedRow));
            add_text_runs(run.begin, run.end, run.depth + 1, descending, next_key);
        }
    }

    // Adds the runs of entries[begin, end) that tie on their key and may go on, to be
    // ordered by their next eight bytes; a run that ties and ends there holds equal texts.
    void add_text_runs(std::size_t begin, std::size_t end, std::size_t next_depth, bool descending,
                       std::size_t next_key) {
        std::size_t start = begin;
        for (std::size_t i = begin + 1; i <= end; ++i) {
            if (i < end && same_key(entries_[i], entries_[start])) continue;
            if (i - start > 1) {
                if (may_continue(entries_[start], descending)) {
                    text_runs_.push_back({start, i, next_depth});
                } else if (next_key != 0) {
                    tied_.push_back({start, i, next_key});
                }
            }
            start = i;
        }
    }

    // Sorts a short run by the texts' bytes from 8 * depth on, comparing them.
    void compare_run(const StrCells& cells, const TextRun& run, bool descending, std::size_t next_key) {
        const std::size_t at = 8 * run.depth;
        const auto rest = [&](const KeyedRow& entry) {
            const std::string_view text = cells.at(entry.row);
            return text.substr(std::min(at, text.size()));
        };
        KeyedRow* const entries = entries_ + run.begin;
        insertion_sort(entries, run.end - run.begin, [&](const KeyedRow& a, const KeyedRow& b) {
            return descending ? rest(b) < rest(a) : rest(a) < rest(b);
        });
        if (next_key == 0) return;
        std::size_t start = run.begin;
        for (std::size_t i = run.begin + 1; i <= run.end; ++i) {
            if (i < run.end && rest(entries_[i]) == rest(entries_[start])) continue;
            if (i - start > 1) tied_.push_back({start, i, next_key});
            start = i;
        }
    }

    std::size_t height_;
    // The entries, and as much room again for the radix sort; the two may trade places.
    ScratchBuffer<KeyedRow> buffers_[2];
    KeyedRow* entries_ = buffers_[0].data();
    KeyedRow* second_ = buffers_[1].data();
    std::vector<SortKey> keys_;
    std::vector<TiedRun> tied_;
    std::vector<TextRun> text_runs_;
    RowList nans_;
    RowList nulls_;
};

}  // namespace

Result<Frame> sort(const Frame& frame, std::string_view name, bool descending) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    RowSorter sorter(frame.height, {SortKey{column->values.get(), descending}});
    return take_rows(frame, sorter.sorted_rows(frame));
}

Result<Frame> sort_by(const Frame& frame, const std::vector<std::string>& names, const SortDirections& directions) {
    QUORVEL_ASSIGN_OR_RETURN(const Frame keys, select(frame, names));
    const std::size_t flags = directions.descending.size();
    if (directions.per_key ? flags != names.size() : flags != 1) {
        return EngineError{"descending has " + std::to_string(flags) + (flags == 1 ? " flag" : " flags") + " for " +
                           std::to_string(names.size()) + (names.size() == 1 ? " name" : " names")};
    }
    std::vector<SortKey> sort_keys;
    sort_keys.reserve(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        sort_keys.push_back({keys.columns[k].values.get(), directions.descending[directions.per_key ? k : 0]});
    }
    RowSorter sorter(frame.height, std::move(sort_keys));
    return take_rows(frame, sorter.sorted_rows(frame));
}

}  // namespace quorvel::engine
