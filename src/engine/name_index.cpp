#include "engine/name_index.hpp"

#include <bit>
#include <functional>
#include <limits>
#include <string_view>

namespace quorvel::engine {
namespace {

// Below this many comparisons, comparing is cheaper than building a table.
constexpr std::size_t most_compared = 64;

// Positions in a list of names, found by name: open addressing with linear probing, at most
// half full. A slot holds a position plus one; 0 marks a free slot.
class PositionTable {
public:
    static constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

    explicit PositionTable(std::size_t count) : mask_(std::bit_ceil(2 * count + 1) - 1), slots_(mask_ + 1, 0) {}

    // The position of a name entered earlier that equals `name` (`name_at` gives the name at a
    // position), or `none`, in which case `name` is entered at `position` unless that is none.
    template <class NameAt>
    std::size_t find_or_add(std::string_view name, const NameAt& name_at, std::size_t position) {
        std::size_t slot = std::hash<std::string_view>{}(name) & mask_;
        for (; slots_[slot] != 0; slot = (slot + 1) & mask_) {
            if (name_at(slots_[slot] - 1) == name) return slots_[slot] - 1;
        }
        if (position != none) slots_[slot] = position + 1;
        return none;
    }

private:
    std::size_t mask_;
    std::vector<std::size_t> slots_;
};

}  // namespace

std::size_t first_repeated_name(const std::vector<std::string>& names) {
    if (names.size() * names.size() <= most_compared) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (names[j] == names[i]) return i;
            }
        }
        return names.size();
    }
    PositionTable table(names.size());
    const auto name_at = [&](std::size_t i) -> std::string_view { return names[i]; };
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (table.find_or_add(names[i], name_at, i) != PositionTable::none) return i;
    }
    return names.size();
}

std::vector<const Column*> find_columns(const std::vector<Column>& columns, const std::vector<std::string>& names) {
    std::vector<const Column*> found(names.size(), nullptr);
    if (names.size() * columns.size() <= most_compared) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            for (const Column& column : columns) {
                if (column.name == names[i]) found[i] = &column;
            }
        }
        return found;
    }
    PositionTable table(columns.size());
    const auto name_at = [&](std::size_t i) -> std::string_view { return columns[i].name; };
    for (std::size_t i = 0; i < columns.size(); ++i) table.find_or_add(columns[i].name, name_at, i);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t at = table.find_or_add(names[i], name_at, PositionTable::none);
        if (at != PositionTable::none) found[i] = &columns[at];
    }
    return found;
}

}  // namespace quorvel::engine
