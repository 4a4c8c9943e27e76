#include "grouping.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <type_traits>
#include <variant>

#include "group_keys.hpp"
#include "slicing.hpp"

namespace quorvel::engine {
namespace {

using namespace group_keys;

// Rows are hashed a block at a time, column by column, before any is looked up: the hash
// loop then has no branches and many rows' multiplications overlap.
constexpr std::size_t block_rows = 256;

// Open addressing on the key hash, linear probing, at most half full. A slot holds the hash
// and the group number; groups live in Grouping::first_rows, so the table never allocates
// per group and grows by doubling.
class GroupTable {
public:
    GroupTable() { reset(64); }

    // The group of the row at `physical_row`, whose key hash is `hash`: the group whose first
    // row has an equal key, or a new group (appended to `out`) when there is none.
    template <class Equal>
    std::uint32_t find_or_add(std::uint64_t hash, std::uint32_t physical_row, const Equal& equal, Grouping& out) {
        std::size_t index = hash >> shift_;
        for (;;) {
            const Slot slot = slots_[index];
            if (slot.group == empty) break;
            if (slot.hash == hash && equal(physical_row, out.first_rows[slot.group])) return slot.group;
            index = (index + 1) & mask_;
        }
        const auto group = static_cast<std::uint32_t>(out.first_rows.size());
        out.first_rows.push_back(physical_row);
        out.sizes.push_back(0);
        slots_[index] = Slot{hash, group};
        if (2 * out.first_rows.size() > slots_.size()) grow();
        return group;
    }

private:
    struct Slot {
        std::uint64_t hash;
        std::uint32_t group;
    };
    // No group number reaches this: there are fewer groups than rows, and rows are 32-bit.
    static constexpr std::uint32_t empty = std::numeric_limits<std::uint32_t>::max();

    void reset(std::size_t capacity) {
        slots_.assign(capacity, Slot{0, empty});
        mask_ = capacity - 1;
        // The top bits index the table: FNV-1a's multiplications mix them best.
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
    }

    void grow() {
        std::vector<Slot> old = std::move(slots_);
        reset(old.size() * 2);
        for (const Slot& slot : old) {
            if (slot.group == empty) continue;
            std::size_t index = slot.hash >> shift_;
            while (slots_[index].group != empty) index = (index + 1) & mask_;
            slots_[index] = slot;
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    unsigned shift_ = 0;
};

// Feeds one key column's cells at `rows` into the running hashes of those rows.
template <class Cells>
void hash_column(const Cells& cells, const std::uint32_t* rows, std::size_t count, std::uint64_t* hashes) {
    if (cells.validity.all_present()) {
        for (std::size_t i = 0; i < count; ++i) hashes[i] = hash_value(hashes[i], value_at(cells, rows[i]));
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            hashes[i] = cells.is_present(rows[i]) ? hash_value(hashes[i], value_at(cells, rows[i])) : hash_null(hashes[i]);
        }
    }
}

// Key equality of two physical rows when there is one key column (the common case, compared
// without dispatch on the dtype).
template <class Cells, bool all_present>
struct OneKeyEqual {
    const Cells& cells;
    bool operator()(std::size_t a, std::size_t b) const {
        if constexpr (all_present) {
            return values_equal(value_at(cells, a), value_at(cells, b));
        } else {
            return cells_equal(cells, a, b);
        }
    }
};

// Key equality over any number of key columns (none: every row is equal).
struct AllKeysEqual {
    const std::vector<Column>& keys;
    bool operator()(std::size_t a, std::size_t b) const {
        for (const Column& key : keys) {
            const bool equal =
                std::visit([&](const auto& cells) { return cells_equal(cells, a, b); }, key.values->cells());
            if (!equal) return false;
        }
        return true;
    }
};

// One pass over the logical rows of `keys` (the key columns with the source's selection):
// each row joins the group of the first earlier row with an equal key, or starts one.
template <class Equal>
void assign_groups(const Frame& keys, const Equal& equal, Grouping& out) {
    const std::size_t height = keys.height;
    out.group_of_row.resize(height);
    GroupTable table;
    std::uint32_t rows[block_rows];
    std::uint64_t hashes[block_rows];
    for (std::size_t start = 0; start < height; start += block_rows) {
        const std::size_t count = std::min(block_rows, height - start);
        for (std::size_t i = 0; i < count; ++i) {
            rows[i] = static_cast<std::uint32_t>(keys.physical_row(start + i));
            hashes[i] = hash_start;
        }
        for (const Column& key : keys.columns) {
            std::visit([&](const auto& cells) { hash_column(cells, rows, count, hashes); }, key.values->cells());
        }
        std::uint32_t* groups = out.group_of_row.data() + start;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t group = table.find_or_add(hashes[i], rows[i], equal, out);
            groups[i] = group;
            ++out.sizes[group];
        }
    }
}

template <class Cells>
void assign_groups_by_one_key(const Frame& keys, const Cells& cells, Grouping& out) {
    if (cells.validity.all_present()) {
        assign_groups(keys, OneKeyEqual<Cells, true>{cells}, out);
    } else {
        assign_groups(keys, OneKeyEqual<Cells, false>{cells}, out);
    }
}

}  // namespace

Result<Grouping> group(const Frame& frame, const std::vector<std::string>& names) {
    Result<Frame> keys = select(frame, names);
    if (!keys) return std::move(keys).error();
    Grouping grouping;
    grouping.frame = frame;
    grouping.keys = names;
    if (keys->columns.size() == 1) {
        std::visit([&](const auto& cells) { assign_groups_by_one_key(*keys, cells, grouping); },
                   keys->columns.front().values->cells());
    } else {
        assign_groups(*keys, AllKeysEqual{keys->columns}, grouping);
    }
    return grouping;
}

Frame key_frame(const Grouping& grouping) {
    // The names were resolved against these very columns when the grouping was made.
    Frame keys = take_rows(select(grouping.frame, grouping.keys).value(), grouping.first_rows);
    return keys.selection ? materialize(keys) : keys;
}

}  // namespace quorvel::engine
