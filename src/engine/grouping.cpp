#include "engine/grouping.hpp"

#include <algorithm>
#include <type_traits>
#include <variant>

#include "engine/group_keys.hpp"
#include "engine/group_table.hpp"
#include "engine/prefetch.hpp"
#include "engine/row_cursor.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

using namespace group_keys;

// Rows of several key columns are hashed a block at a time, column after column, before any
// is looked up: the hash loops then dispatch on the dtype once a block and have no
// branches, and the multiplications of many rows overlap.
constexpr std::size_t block_rows = 256;

std::uint32_t new_group(std::uint32_t physical_row, Grouping& out) {
    const auto group = static_cast<std::uint32_t>(out.first_rows.size());
    out.first_rows.push_back(physical_row);
    return group;
}

// Puts each logical row of `keys` in the group that group_of(physical row) gives.
// Single-column keys are looked up row by row: with the hash a few instructions, working in
// blocks would only add stores.
template <class Cells, class GroupOf>
void assign_rows(const Frame& keys, const Cells& cells, Grouping& out, GroupOf&& group_of) {
    std::uint32_t* const groups = out.group_of_row.data();
    RowCursor(keys).for_each([&](std::size_t r, std::size_t p) { groups[r] = group_of(p); }, cells);
}

// The rows of each group, counted once every row has its group: counting them in the
// lookup loop would read the counts' place in memory again after every new group.
void count_sizes(Grouping& out) {
    out.sizes.assign(out.first_rows.size(), 0);
    std::uint32_t* const sizes = out.sizes.data();
    for (const std::uint32_t group : out.group_of_row) ++sizes[group];
}

// Null keys are equal to each other and to nothing else, so they form one group of their
// own, made when the first null is met.
class NullGroup {
public:
    std::uint32_t get(std::uint32_t physical_row, Grouping& out) {
        if (group_ == no_group) group_ = new_group(physical_row, out);
        return group_;
    }

private:
    std::uint32_t group_ = no_group;
};

// One key column of numbers: a key is found by its bits alone.
template <bool all_present, class T>
void group_by_number(const Frame& keys, const NumberCells<T>& cells, Grouping& out) {
    GroupTable<NumberSlot> table;
    NullGroup nulls;
    assign_rows(keys, cells, out, [&](std::uint32_t row) {
        if (!all_present && !cells.is_present(row)) return nulls.get(row, out);
        const std::uint64_t key = key_bits(cells.values[row]);
        return table.find_or_add(
            quick_hash(key), [key](const NumberSlot& slot) { return slot.bits == key; },
            [&] { return NumberSlot{key, new_group(row, out)}; });
    });
}

// One key column of texts, compared with the key of each group that shares the hash.
template <bool all_present>
void group_by_text(const Frame& keys, const StrCells& cells, Grouping& out) {
    GroupTable<TextSlot> table;
    NullGroup nulls;
    assign_rows(keys, cells, out, [&](std::uint32_t row) {
        if (!all_present && !cells.is_present(row)) return nulls.get(row, out);
        if (row % 64 == 0) prefetch_text_pages_ahead(cells, row);
        const std::string_view text = cells.at(row);
        const std::uint64_t hash = quick_hash(text);
        return table.find_or_add(
            hash, [&](const TextSlot& slot) { return slot.key_hash == hash && same_text(slot.text, text); },
            [&] { return TextSlot{hash, text, new_group(row, out)}; });
    });
}

bool keys_equal(const std::vector<Column>& keys, std::size_t a, std::size_t b) {
    for (const Column& key : keys) {
        const bool equal = std::visit([&](const auto& cells) { return cells_equal(cells, a, b); }, key.values->cells());
        if (!equal) return false;
    }
    return true;
}

// Any number of key columns of any dtypes (none: every row is equal): each row's cells are
// hashed in key order and compared with the first row of each group that shares the hash.
void group_by_columns(const Frame& keys, Grouping& out) {
    GroupTable<HashSlot> table;
    std::uint32_t rows[block_rows];
    std::uint64_t hashes[block_rows];
    std::size_t start = 0;
    std::size_t count = 0;
    RowCursor(keys).for_each_block<block_rows>([&](std::size_t, std::size_t p) { rows[count++] = p; }, [&] {
        std::fill_n(hashes, count, hash_start);
        for (const Column& key : keys.columns) {
            std::visit([&](const auto& cells) { hash_column(cells, rows, count, hashes); }, key.values->cells());
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t hash = hashes[i];
            const std::uint32_t row = rows[i];
            const std::uint32_t group = table.find_or_add(
                hash,
                [&](const HashSlot& slot) {
                    return slot.key_hash == hash && keys_equal(keys.columns, row, out.first_rows[slot.group]);
                },
                [&] { return HashSlot{hash, new_group(row, out)}; });
            out.group_of_row[start + i] = group;
        }
        start += count;
        count = 0;
    });
}

template <class Cells>
void group_by_one_column(const Frame& keys, const Cells& cells, Grouping& out) {
    const bool all_present = cells.validity.all_present();
    if constexpr (std::is_same_v<Cells, StrCells>) {
        all_present ? group_by_text<true>(keys, cells, out) : group_by_text<false>(keys, cells, out);
    } else {
        all_present ? group_by_number<true>(keys, cells, out) : group_by_number<false>(keys, cells, out);
    }
}

}  // namespace

Result<Grouping> group(const Frame& frame, const std::vector<std::string>& names) {
    QUORVEL_ASSIGN_OR_RETURN(Frame keys, select(frame, names));
    Grouping grouping;
    grouping.frame = frame;
    grouping.keys = names;
    grouping.group_of_row.resize(keys.height);
    if (keys.columns.size() == 1) {
        std::visit([&](const auto& cells) { group_by_one_column(keys, cells, grouping); },
                   keys.columns.front().values->cells());
    } else {
        group_by_columns(keys, grouping);
    }
    count_sizes(grouping);
    return grouping;
}

Frame key_frame(const Grouping& grouping) {
    Result<Frame> key_columns = select(grouping.frame, grouping.keys);
    // The names were resolved against these very columns when the grouping was made.
    QUORVEL_CHECK(key_columns.ok());
    Frame keys = take_rows(*key_columns, grouping.first_rows);
    return keys.selection ? materialize(keys) : keys;
}

Result<Frame> unique(const Frame& frame, const std::vector<std::string>& names) {
    QUORVEL_ASSIGN_OR_RETURN(Grouping grouping, group(frame, names.empty() ? column_names(frame) : names));
    return take_rows(frame, std::move(grouping.first_rows));
}

}  // namespace quorvel::engine
