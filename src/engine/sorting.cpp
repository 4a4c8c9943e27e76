#include "engine/sorting.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
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

// The rows to sort, split as the order needs them: keyed entries for the present keys, then
// the rows that go after every present key in their source order (NaN keys, then nulls).
//
// NaN is neither less nor greater than any number, so the comparison alone gives it no
// place. It goes after every number and before the nulls in both directions: one fixed,
// documented place, where it is easy to find or cut off, and NaN rows keep their order.
struct SortInput {
    explicit SortInput(std::size_t height) : entries(height) {}

    ScratchBuffer<KeyedRow> entries;
    std::size_t count = 0;
    RowList nans;
    RowList nulls;
};

// Signed integers in unsigned order: flip the sign bit.
std::uint64_t order_key(std::int64_t value) { return std::bit_cast<std::uint64_t>(value) ^ sign_bit; }

// Floats in unsigned order: negatives have every bit flipped, so that larger magnitudes come
// first, and non-negatives only the sign bit. Adding 0.0 makes -0.0 into 0.0 so that the two
// tie, as they compare equal. NaN never gets here.
std::uint64_t order_key(double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value + 0.0);
    return (bits & sign_bit) ? ~bits : bits | sign_bit;
}

// The rows in order: the sorted entries, then the NaN rows, then the null rows.
RowList sorted_rows(const KeyedRow* sorted, const SortInput& input) {
    RowList rows;
    rows.reserve(input.count + input.nans.size() + input.nulls.size());
    for (std::size_t i = 0; i < input.count; ++i) rows.push_back(sorted[i].row);
    rows.insert(rows.end(), input.nans.begin(), input.nans.end());
    rows.insert(rows.end(), input.nulls.begin(), input.nulls.end());
    return rows;
}

template <class T>
bool is_nan(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::isnan(value);
    } else {
        return false;
    }
}

template <class T>
RowList sorted_number_rows(const Frame& frame, const NumberCells<T>& cells, bool descending) {
    SortInput input(frame.height);
    KeyedRow* entries = input.entries.data();
    std::size_t count = 0;
    const std::uint64_t flip = descending ? ~std::uint64_t{0} : 0;  // descending: reverse the key order
    const T* values = cells.values.data();
    const bool all_present = cells.validity.all_present();
    RowCursor(frame).for_each(
        [&](std::size_t, std::size_t row) {
            const T value = values[row];
            if (!all_present && cells.validity.present_bit(row) == 0) {
                input.nulls.push_back(row);
            } else if (is_nan(value)) {
                input.nans.push_back(row);
            } else {
                entries[count++] = KeyedRow{order_key(value) ^ flip, static_cast<std::uint32_t>(row), 0};
            }
        },
        cells);
    input.count = count;
    ScratchBuffer<KeyedRow> scratch(count);
    return sorted_rows(radix_sort(entries, scratch.data(), count), input);
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

// A run of entries whose texts agree on their first 8 * depth bytes.
struct TextRun {
    std::size_t begin;
    std::size_t end;
    std::size_t depth;
};

// Adds the runs of entries[begin, end) that tie on their key and may go on, to be ordered
// by their next eight bytes.
void add_tied_runs(const KeyedRow* entries, std::size_t begin, std::size_t end, std::size_t next_depth,
                   bool descending, std::vector<TextRun>& runs) {
    std::size_t start = begin;
    for (std::size_t i = begin + 1; i <= end; ++i) {
        if (i < end && entries[i].key == entries[start].key && entries[i].tie_break == entries[start].tie_break) continue;
        if (i - start > 1 && may_continue(entries[start], descending)) runs.push_back({start, i, next_depth});
        start = i;
    }
}

// Sorts a short run by the texts' bytes from `at` on, comparing them.
void compare_run(KeyedRow* entries, std::size_t count, const StrCells& cells, std::size_t at, bool descending) {
    const auto rest = [&](const KeyedRow& entry) {
        const std::string_view text = cells.at(entry.row);
        return text.substr(std::min(at, text.size()));
    };
    insertion_sort(entries, count, [&](const KeyedRow& a, const KeyedRow& b) {
        return descending ? rest(b) < rest(a) : rest(a) < rest(b);
    });
}

// Texts sort by their first eight bytes; each run that ties there and goes on is sorted
// again by its next eight bytes, and so on (a worklist, not recursion, so a long shared
// prefix cannot exhaust the stack). Short runs are finished by direct comparison.
RowList sorted_text_rows(const Frame& frame, const StrCells& cells, bool descending) {
    SortInput input(frame.height);
    KeyedRow* entries = input.entries.data();
    std::size_t count = 0;
    const bool all_present = cells.validity.all_present();
    RowCursor(frame).for_each(
        [&](std::size_t, std::size_t row) {
            if (!all_present && cells.validity.present_bit(row) == 0) {
                input.nulls.push_back(row);
            } else {
                entries[count++] = text_key(cells.at(row), 0, row, descending);
            }
        },
        cells);
    input.count = count;

    ScratchBuffer<KeyedRow> scratch(count);
    const KeyedRow* sorted = radix_sort(entries, scratch.data(), count);
    if (sorted != entries) std::memcpy(entries, sorted, count * sizeof(KeyedRow));
    std::vector<TextRun> runs;
    add_tied_runs(entries, 0, count, 1, descending, runs);
    while (!runs.empty()) {
        const TextRun run = runs.back();
        runs.pop_back();
        KeyedRow* first = entries + run.begin;
        const std::size_t size = run.end - run.begin;
        const std::size_t at = 8 * run.depth;
        if (size <= largest_compared_run) {
            compare_run(first, size, cells, at, descending);
            continue;
        }
        for (std::size_t i = 0; i < size; ++i) first[i] = text_key(cells.at(first[i].row), at, first[i].row, descending);
        sorted = radix_sort(first, scratch.data(), size);
        if (sorted != first) std::memcpy(first, sorted, size * sizeof(KeyedRow));
        add_tied_runs(entries, run.begin, run.end, run.depth + 1, descending, runs);
    }
    return sorted_rows(entries, input);
}

}  // namespace

Result<Frame> sort(const Frame& frame, std::string_view name, bool descending) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const ColumnValues& values = *column->values;
    switch (values.dtype()) {
        case DType::f64: return take_rows(frame, sorted_number_rows(frame, values.f64(), descending));
        case DType::i64: return take_rows(frame, sorted_number_rows(frame, values.i64(), descending));
        case DType::str: break;
    }
    return take_rows(frame, sorted_text_rows(frame, values.str(), descending));
}

}  // namespace quorvel::engine
