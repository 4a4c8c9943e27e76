#include "engine/joining.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

#include "engine/group_keys.hpp"
#include "engine/group_table.hpp"
#include "engine/blocks.hpp"
#include "engine/name_index.hpp"
#include "engine/quoted.hpp"
#include "engine/row_cursor.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

using namespace group_keys;

enum class JoinKind { inner, left, full, semi, anti };

Result<JoinKind> join_kind(std::string_view how) {
    if (how == "inner") return JoinKind::inner;
    if (how == "left") return JoinKind::left;
    if (how == "full") return JoinKind::full;
    if (how == "semi") return JoinKind::semi;
    if (how == "anti") return JoinKind::anti;
    return EngineError{"how " + quoted_form(how) + ": give \"inner\", \"left\", \"full\", \"semi\" or \"anti\""};
}

// An empty list of rows with room for `size`. Lists as long as the frames are advised for
// huge pages: filled through 4 KiB pages they would cost a page fault every 1,024 rows.
RowList row_list(std::size_t size) {
    RowList rows;
    try_reserve(rows, size);
    return rows;
}

// Rows are hashed a block at a time, and the table slots their hashes lead to are asked for
// before any is read: on a table larger than the caches the misses then overlap instead of
// coming one after another.
constexpr std::size_t block_rows = 256;

// One key column of numbers on each side: a key is found by its bits alone.
template <class T>
struct NumberKeys {
    using Slot = NumberSlot;
    const NumberCells<T>& cells;

    bool present(std::uint32_t row) const { return cells.is_present(row); }
    void hash_block(const std::uint32_t* rows, std::size_t count, std::uint64_t* hashes) const {
        for (std::size_t i = 0; i < count; ++i) hashes[i] = quick_hash(key_bits(cells.values[rows[i]]));
    }
    bool matches(const Slot& slot, std::uint32_t row, std::uint64_t) const {
        return slot.bits == key_bits(cells.values[row]);
    }
    Slot slot(std::uint32_t row, std::uint64_t, std::uint32_t group) const {
        return {key_bits(cells.values[row]), group};
    }
};

// One key column of texts on each side, compared with the key of each group that shares
// the hash.
struct TextKeys {
    using Slot = TextSlot;
    const StrCells& cells;

    bool present(std::uint32_t row) const { return cells.is_present(row); }
    void hash_block(const std::uint32_t* rows, std::size_t count, std::uint64_t* hashes) const {
        for (std::size_t i = 0; i < count; ++i) hashes[i] = quick_hash(cells.at(rows[i]));
    }
    bool matches(const Slot& slot, std::uint32_t row, std::uint64_t hash) const {
        return slot.key_hash == hash && same_text(slot.text, cells.at(row));
    }
    Slot slot(std::uint32_t row, std::uint64_t hash, std::uint32_t group) const { return {hash, cells.at(row), group}; }
};

// Any number of key columns (none: every row is equal), hashed in key order and compared
// with the first row of each of other's groups that shares the hash.
struct ColumnKeys {
    using Slot = HashSlot;
    const std::vector<Column>& keys;           // of the side being read
    const std::vector<Column>& other_keys;     // of the side the table is built on
    const RowList& first_rows;  // of the table's groups, in other_keys

    bool present(std::uint32_t row) const {
        return std::all_of(keys.begin(), keys.end(), [&](const Column& key) {
            return std::visit([&](const auto& cells) { return cells.is_present(row); }, key.values->cells());
        });
    }
    void hash_block(const std::uint32_t* rows, std::size_t count, std::uint64_t* hashes) const {
        std::fill_n(hashes, count, hash_start);
        for (const Column& key : keys) {
            std::visit([&](const auto& cells) { hash_column(cells, rows, count, hashes); }, key.values->cells());
        }
    }
    bool matches(const Slot& slot, std::uint32_t row, std::uint64_t hash) const {
        if (slot.key_hash != hash) return false;
        const std::uint32_t first = first_rows[slot.group];
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const bool equal = std::visit(
                [&](const auto& cells) {
                    using Cells = std::decay_t<decltype(cells)>;
                    return cells_equal(cells, row, std::get<Cells>(other_keys[k].values->cells()), first);
                },
                keys[k].values->cells());
            if (!equal) return false;
        }
        return true;
    }
    Slot slot(std::uint32_t, std::uint64_t hash, std::uint32_t group) const { return {hash, group}; }
};

// Calls visit(logical row, physical row, hash, present) for each row of `frame` in order,
// `present` when its key has no null cell, a block of rows at a time, asking for the home
// slot of each hash in a large `table` a few rows before it is looked up.
template <class Keys, class Table, class Visit>
void for_each_key(const Frame& frame, const Keys& keys, const Table& table, Visit&& visit) {
    std::uint32_t rows[block_rows];
    std::uint64_t hashes[block_rows];
    std::size_t start = 0;
    std::size_t count = 0;
    RowCursor(frame).for_each_block<block_rows>(
        [&](std::size_t, std::size_t p) { rows[count++] = static_cast<std::uint32_t>(p); },
        [&] {
            keys.hash_block(rows, count, hashes);
            if (table.beyond_caches()) {
                // A few slots asked for ahead of the one looked up, not a whole block at once:
                // the memory system takes only so many requests at a time, and the rest wait.
                for (std::size_t i = 0; i < std::min(count, prefetch_ahead); ++i) prefetch(table.home(hashes[i]));
                for (std::size_t i = 0; i < count; ++i) {
                    if (i + prefetch_ahead < count) prefetch(table.home(hashes[i + prefetch_ahead]));
                    visit(start + i, rows[i], hashes[i], keys.present(rows[i]));
                }
            } else {
                for (std::size_t i = 0; i < count; ++i) visit(start + i, rows[i], hashes[i], keys.present(rows[i]));
            }
            start += count;
            count = 0;
        });
}

// other's rows by key: each distinct present key is a group, numbered in order of first
// appearance, whose rows are listed in other's order. When each key is held by one row only
// (other's keys are unique, as a lookup table's are), a group is its first row; otherwise
// the rows of group g are rows[starts[g], starts[g + 1]).
template <class Slot>
struct KeyGroups {
    explicit KeyGroups(std::size_t rows) : table(rows) {}

    GroupTable<Slot> table;
    RowList group_of_row = {};  // per logical row of other; no_group for a null key
    RowList first_rows = {};
    bool one_row_each = false;
    bool group_is_row = false;  // one row each, and group g is row g (a table in storage order)
    RowList starts = {};
    RowList rows = {};

    std::span<const std::uint32_t> rows_of(std::uint32_t group) const {
        if (one_row_each) return {first_rows.data() + group, 1};
        return {rows.data() + starts[group], rows.data() + starts[group + 1]};
    }
};

template <class Keys>
void build_groups(const Frame& other, const Keys& keys, KeyGroups<typename Keys::Slot>& out) {
    out.group_of_row = row_list(other.height);
    RowList sizes;
    for_each_key(other, keys, out.table, [&](std::size_t, std::uint32_t row, std::uint64_t hash, bool present) {
        if (!present) {
            out.group_of_row.push_back(no_group);
            return;
        }
        const std::uint32_t group = out.table.find_or_add(
            hash, [&](const typename Keys::Slot& slot) { return keys.matches(slot, row, hash); },
            [&] {
                const auto made = static_cast<std::uint32_t>(out.first_rows.size());
                out.first_rows.push_back(row);
                sizes.push_back(0);
                return keys.slot(row, hash, made);
            });
        out.group_of_row.push_back(group);
        ++sizes[group];
    });
    out.one_row_each = std::all_of(sizes.begin(), sizes.end(), [](std::uint32_t size) { return size == 1; });
    if (out.one_row_each) {
        std::uint32_t g = 0;
        out.group_is_row =
            std::all_of(out.first_rows.begin(), out.first_rows.end(), [&](std::uint32_t row) { return row == g++; });
        return;
    }
    // Each group's rows in other's order: a counting sort of the rows by group.
    out.starts.assign(sizes.size() + 1, 0);
    for (std::size_t g = 0; g < sizes.size(); ++g) out.starts[g + 1] = out.starts[g] + sizes[g];
    out.rows.resize(out.starts.back());
    RowList next(out.starts.begin(), out.starts.end() - 1);
    RowCursor(other).for_each([&](std::size_t r, std::size_t p) {
        const std::uint32_t group = out.group_of_row[r];
        if (group != no_group) out.rows[next[group]++] = static_cast<std::uint32_t>(p);
    });
}

// Per logical row of `frame`, the group of other whose key it holds, or no_group; with
// `as_rows` (each key held by one row of other), that row itself, or no_row.
template <class Keys>
RowList probe_groups(const Frame& frame, const Keys& keys,
                                        const KeyGroups<typename Keys::Slot>& groups, bool as_rows) {
    RowList found = row_list(frame.height);
    found.resize(frame.height);
    std::uint32_t* const out = found.data();
    const std::uint32_t* const first_rows = groups.first_rows.data();
    for_each_key(frame, keys, groups.table, [&](std::size_t r, std::uint32_t row, std::uint64_t hash, bool present) {
        const auto matches = [&](const typename Keys::Slot& slot) { return keys.matches(slot, row, hash); };
        out[r] = present ? groups.table.find(hash, matches) : no_group;
    });
    // Groups become rows in a pass of their own, when they are not the rows already: read in
    // the lookup loop, each group's row would wait on the lookup, and a large table's groups
    // come in no order the caches know.
    if (as_rows && !groups.group_is_row) {
        for (std::uint32_t& group : found) group = group != no_group ? first_rows[group] : no_row;
    }
    return found;
}

// The rows of the result: row i holds the frame's physical row left[i] and other's right[i]
// (no_row where it has none). When `left_is_frame` is set, left is not listed: the result's
// rows are the frame's own storage rows, each once and in order.
struct JoinedRows {
    RowList left;
    RowList right;
    std::size_t height = 0;
    std::size_t from_frame = 0;  // rows [0, from_frame) have a row of the frame, the rest none
    bool left_is_frame = false;
    bool right_may_miss = true;  // whether right may hold no_row
};

// The rows of a join that gives each row of the frame once, in order, with other's row
// right[r] (no_row for none).
JoinedRows each_row_once(const Frame& frame, RowList right, bool right_may_miss) {
    JoinedRows out;
    out.height = out.from_frame = frame.height;
    out.left_is_frame = !frame.selection && frame.storage_length() == frame.height;
    if (!out.left_is_frame) {
        out.left = row_list(frame.height);
        RowCursor(frame).for_each(
            [&](std::size_t, std::size_t p) { out.left.push_back(static_cast<std::uint32_t>(p)); });
    }
    out.right = std::move(right);
    out.right_may_miss = right_may_miss;
    return out;
}

// An inner or left join with other's keys held by one row each: `found` holds other's rows.
JoinedRows lookup_rows(const Frame& frame, RowList found, JoinKind kind) {
    const auto misses = static_cast<std::size_t>(std::count(found.begin(), found.end(), no_row));
    if (kind == JoinKind::left || misses == 0) return each_row_once(frame, std::move(found), misses != 0);
    JoinedRows out;
    out.height = out.from_frame = frame.height - misses;
    out.left = row_list(out.height);
    out.right = row_list(out.height);
    out.right_may_miss = false;
    RowCursor(frame).for_each([&](std::size_t r, std::size_t p) {
        if (found[r] == no_row) return;
        out.left.push_back(static_cast<std::uint32_t>(p));
        out.right.push_back(found[r]);
    });
    return out;
}

template <class Slot>
Result<JoinedRows> joined_rows(const Frame& frame, const Frame& other, const KeyGroups<Slot>& groups,
                               RowList found, JoinKind kind) {
    const bool keep_unmatched = kind != JoinKind::inner;
    std::uint64_t height = 0;
    bool each_once = true;
    std::vector<bool> matched(kind == JoinKind::full ? groups.first_rows.size() : 0, false);
    for (const std::uint32_t group : found) {
        const std::size_t count = group == no_group ? (keep_unmatched ? 1 : 0) : groups.rows_of(group).size();
        height += count;
        each_once &= count == 1;
        if (kind == JoinKind::full && group != no_group) matched[group] = true;
    }
    RowList unmatched;
    if (kind == JoinKind::full) {
        reserve_at_most(unmatched, other.height);
        RowCursor(other).for_each([&](std::size_t r, std::size_t p) {
            const std::uint32_t group = groups.group_of_row[r];
            if (group == no_group || !matched[group]) unmatched.push_back(static_cast<std::uint32_t>(p));
        });
        fit_room(unmatched);
    }
    if (height + unmatched.size() > max_rows) {
        return EngineError{"the join has " + std::to_string(height + unmatched.size()) +
                           " rows; a frame holds at most " + std::to_string(max_rows)};
    }
    if (each_once && unmatched.empty()) {
        // Each row of the frame once, in order: each group found becomes its row, in place.
        bool misses = false;
        for (std::uint32_t& row : found) {
            misses |= row == no_group;
            row = row == no_group ? no_row : groups.rows_of(row).front();
        }
        return each_row_once(frame, std::move(found), misses);
    }
    JoinedRows out;
    out.from_frame = height;
    out.height = height + unmatched.size();
    out.left = row_list(out.height);
    out.right = row_list(out.height);
    out.right_may_miss = keep_unmatched;
    RowCursor(frame).for_each([&](std::size_t r, std::size_t p) {
        const std::uint32_t group = found[r];
        if (group == no_group) {
            if (!keep_unmatched) return;
            out.left.push_back(static_cast<std::uint32_t>(p));
            out.right.push_back(no_row);
            return;
        }
        for (const std::uint32_t row : groups.rows_of(group)) {
            out.left.push_back(static_cast<std::uint32_t>(p));
            out.right.push_back(row);
        }
    });
    for (const std::uint32_t row : unmatched) {
        out.left.push_back(no_row);
        out.right.push_back(row);
    }
    return out;
}

bool is_identity(const RowList& rows, std::size_t storage_length) {
    if (rows.size() != storage_length) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] != i) return false;
    }
    return true;
}

// The frame's columns, then other's columns that are not keys, through the joined rows.
// A side whose rows are its storage rows in order keeps its columns; the others are written
// out, nulls where a side has no row. In a full join the key columns of other's unmatched
// rows hold other's keys.
Frame joined_frame(const Frame& frame, const Frame& other, const std::vector<const Column*>& frame_keys,
                   const std::vector<const Column*>& other_keys, const JoinedRows& rows) {
    Frame out;
    out.height = rows.height;
    out.columns.reserve(frame.columns.size() + other.columns.size() - other_keys.size());
    const std::size_t tail = rows.height - rows.from_frame;
    for (const Column& column : frame.columns) {
        if (rows.left_is_frame) {
            out.columns.push_back(column);
            continue;
        }
        const auto key = std::find(frame_keys.begin(), frame_keys.end(), &column);
        std::vector<CellStretch> stretches{{column.values.get(), rows.left.data(), rows.from_frame}};
        if (tail != 0) {
            if (key != frame_keys.end()) {
                const Column* other_key = other_keys[static_cast<std::size_t>(key - frame_keys.begin())];
                stretches.push_back({other_key->values.get(), rows.right.data() + rows.from_frame, tail});
            } else {
                stretches.front().count = rows.height;
            }
        }
        out.columns.push_back({column.name, tail != 0 ? gather_stretches(stretches)
                                                      : gather_rows(*column.values, rows.left)});
    }
    const bool right_is_other = is_identity(rows.right, other.storage_length());
    for (const Column& column : other.columns) {
        if (std::find(other_keys.begin(), other_keys.end(), &column) != other_keys.end()) continue;
        if (right_is_other) {
            out.columns.push_back(column);
            continue;
        }
        const CellStretch all{column.values.get(), rows.right.data(), rows.height};
        out.columns.push_back({column.name, rows.right_may_miss ? gather_stretches({&all, 1})
                                                                : gather_rows(*column.values, rows.right)});
    }
    return out;
}

// Builds on other and probes with the frame, through keys of the kind `make_keys` gives for
// one side's key columns (and the groups' first rows).
template <class MakeKeys>
Result<Frame> hash_join(const Frame& frame, const Frame& other, const Frame& frame_keys, const Frame& other_keys,
                        const std::vector<const Column*>& frame_key_columns,
                        const std::vector<const Column*>& other_key_columns, JoinKind kind, MakeKeys&& make_keys) {
    using Keys = std::decay_t<decltype(make_keys(other_keys, std::declval<const RowList&>()))>;
    KeyGroups<typename Keys::Slot> groups(other.height);
    build_groups(other_keys, make_keys(other_keys, groups.first_rows), groups);
    // A lookup (each key in one row of other) finds other's rows at once, except for a full
    // join, which needs the groups to tell other's unmatched rows.
    const bool as_rows = groups.one_row_each && kind != JoinKind::full;
    RowList found =
        probe_groups(frame_keys, make_keys(frame_keys, groups.first_rows), groups, as_rows);
    if (kind == JoinKind::semi || kind == JoinKind::anti) {
        RowList kept;
        reserve_at_most(kept, frame.height);
        RowCursor(frame).for_each([&](std::size_t r, std::size_t p) {
            if ((found[r] != no_group) == (kind == JoinKind::semi)) kept.push_back(static_cast<std::uint32_t>(p));
        });
        fit_room(kept);
        return take_rows(frame, std::move(kept));
    }
    if (as_rows) {
        const JoinedRows rows = lookup_rows(frame, std::move(found), kind);
        return joined_frame(frame, other, frame_key_columns, other_key_columns, rows);
    }
    QUORVEL_ASSIGN_OR_RETURN(const JoinedRows rows, joined_rows(frame, other, groups, std::move(found), kind));
    return joined_frame(frame, other, frame_key_columns, other_key_columns, rows);
}

}  // namespace

EngineError dtypes_differ(std::string_view name, DType here, DType there) {
    return EngineError{column_is(name, here) + " in this frame and " + std::string(dtype_name(there)) +
                       " in the other frame"};
}

Result<Frame> join(const Frame& frame, const Frame& other, const std::vector<std::string>& on, std::string_view how) {
    QUORVEL_ASSIGN_OR_RETURN(const Frame frame_keys, select(frame, on));
    const std::vector<const Column*> frame_key_columns = find_columns(frame.columns, on);
    const std::vector<const Column*> other_key_columns = find_columns(other.columns, on);
    for (std::size_t k = 0; k < on.size(); ++k) {
        if (!other_key_columns[k]) {
            return EngineError{"no column " + quoted_form(on[k]) + " (the other frame has " +
                               quoted_names(other.columns) + ")"};
        }
        const DType here = frame_key_columns[k]->values->dtype();
        const DType there = other_key_columns[k]->values->dtype();
        if (here != there) return dtypes_differ(on[k], here, there);
    }
    QUORVEL_ASSIGN_OR_RETURN(const JoinKind kind, join_kind(how));
    if (kind != JoinKind::semi && kind != JoinKind::anti) {
        std::vector<std::string> added;
        for (const Column& column : other.columns) {
            if (std::find(other_key_columns.begin(), other_key_columns.end(), &column) == other_key_columns.end()) {
                added.push_back(column.name);
            }
        }
        const std::vector<const Column*> clashes = find_columns(frame.columns, added);
        for (std::size_t i = 0; i < added.size(); ++i) {
            if (clashes[i]) return name_taken(added[i]);
        }
    }
    Frame other_keys;
    other_keys.selection = other.selection;
    other_keys.height = other.height;
    for (const Column* column : other_key_columns) other_keys.columns.push_back(*column);

    const auto join_by = [&](auto make_keys) {
        return hash_join(frame, other, frame_keys, other_keys, frame_key_columns, other_key_columns, kind, make_keys);
    };
    if (on.size() == 1) {
        switch (frame_keys.columns.front().values->dtype()) {
            case DType::f64:
                return join_by([](const Frame& side, const auto&) {
                    return NumberKeys<double>{side.columns[0].values->f64()};
                });
            case DType::i64:
                return join_by([](const Frame& side, const auto&) {
                    return NumberKeys<std::int64_t>{side.columns[0].values->i64()};
                });
            case DType::str: break;
        }
        return join_by([](const Frame& side, const auto&) { return TextKeys{side.columns[0].values->str()}; });
    }
    return join_by([&](const Frame& side, const RowList& first_rows) {
        return ColumnKeys{side.columns, other_keys.columns, first_rows};
    });
}

}  // namespace quorvel::engine
