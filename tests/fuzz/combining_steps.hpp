#pragma once

// The operations fuzz target's steps for sort_by, unique, rename, concat and join. The
// operations of two frames take the chain's frame and a second one: the frame itself, some
// of its rows or columns, a frame like it with cells of its own, or one decoded anew.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/concatenation.hpp"
#include "engine/grouping.hpp"
#include "engine/joining.hpp"
#include "engine/quoted.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "frame_decoder.hpp"
#include "step_support.hpp"
#include "table_reference.hpp"

namespace quorvel::fuzz {

inline std::vector<const ColumnValues*> columns_named(const Frame& frame, const std::vector<std::string>& names) {
    std::vector<const ColumnValues*> columns;
    for (const std::string& name : names) columns.push_back(column_of(frame, name));
    return columns;
}

// A frame with the frame's names and (mostly) dtypes but cells of its own.
inline Frame frame_like(const Frame& frame, Decoder& decode) {
    Frame like;
    const std::size_t height = decode.row_count();
    for (const Column& column : frame.columns) {
        const DType dtype = decode.choice(15) == 0 ? static_cast<DType>(decode.choice(2)) : column.values->dtype();
        require(add_column(like, column.name, decode.cells(dtype, height)).ok(), "names of a frame are distinct");
    }
    return like;
}

inline Frame second_frame(const Frame& frame, Decoder& decode) {
    switch (decode.choice(5)) {
        case 0: return frame;
        case 1: {
            const std::int64_t n = decode.row_argument(frame.height);
            return decode.flag() ? head(frame, n) : tail(frame, n);
        }
        case 2: {
            // Rows of the frame in any order, some of them repeated.
            if (frame.height == 0) return frame;
            RowList rows(decode.choice(64));
            for (std::uint32_t& row : rows) {
                row = static_cast<std::uint32_t>(frame.physical_row(decode.choice(frame.height - 1)));
            }
            return take_rows(frame, std::move(rows));
        }
        case 3: {
            const Result<Frame> some = select(frame, decode.names(frame, 4));
            return some ? *some : frame;
        }
        case 4: return frame_like(frame, decode);
    }
    return decode.frame();
}

inline std::string count_of(std::size_t count, std::string_view one) {
    return std::to_string(count) + " " + std::string(one) + (count == 1 ? "" : "s");
}

inline std::string dtypes_differ_message(std::string_view name, DType here, DType there) {
    return "column " + quoted_form(name) + " is " + std::string(dtype_name(here)) + " in this frame and " +
           std::string(dtype_name(there)) + " in the other frame";
}

inline Frame step_sort_by(const Frame& frame, Decoder& decode) {
    const std::vector<std::string> names = decode.names(frame, 4);
    const bool per_key = decode.flag();
    std::size_t flags = per_key ? names.size() : 1;
    if (decode.choice(7) == 0) flags = decode.flag() ? flags + 1 : flags - (flags != 0);
    SortDirections directions{{}, per_key};
    for (std::size_t i = 0; i < flags; ++i) directions.descending.push_back(decode.flag());
    std::string expected = select_outcome(frame, names);
    if (expected == "ok" && flags != (per_key ? names.size() : 1)) {
        expected = "descending has " + count_of(flags, "flag") + " for " + count_of(names.size(), "name");
    }
    const Result<Frame> made = sort_by(frame, names, directions);
    require(outcome(made) == expected, "sort_by resolves its names, then counts its flags");
    if (!made) return frame;
    std::vector<bool> descending;
    for (std::size_t k = 0; k < names.size(); ++k) descending.push_back(directions.descending[per_key ? k : 0]);
    require_rows(*made, frame, sorted_rows_by(frame, columns_named(frame, names), descending));
    return *made;
}

inline Frame step_unique(const Frame& frame, Decoder& decode) {
    const std::vector<std::string> names = decode.names(frame, 3);
    const Result<Frame> made = unique(frame, names);
    require(outcome(made) == select_outcome(frame, names), "unique resolves its names as select does");
    if (!made) return frame;
    require_rows(*made, frame, unique_rows(frame, columns_named(frame, names.empty() ? column_names(frame) : names)));
    return *made;
}

inline Frame step_rename(const Frame& frame, Decoder& decode) {
    const std::string old_name = decode.name(frame);
    const std::string new_name = decode.name(frame);
    const Result<Frame> made = rename(frame, old_name, new_name);
    std::string expected = "ok";
    if (!column_of(frame, old_name)) {
        expected = lookup_error(frame, old_name);
    } else if (old_name != new_name && column_of(frame, new_name)) {
        expected = "the frame has a column " + quoted_form(new_name) + " already";
    }
    require(outcome(made) == expected, "rename finds the old name, then refuses a taken new one");
    if (!made) return frame;
    require(made->height == frame.height && made->selection.get() == frame.selection.get(), "rename keeps the rows");
    require(made->columns.size() == frame.columns.size(), "rename keeps the columns");
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
        const std::string& name = frame.columns[i].name;
        require(made->columns[i].name == (name == old_name ? new_name : name), "only the old name changes");
        require(made->columns[i].values.get() == frame.columns[i].values.get(), "rename shares the values");
    }
    return *made;
}

// What concat must say of two frames' columns: the first position where they differ.
inline std::string concat_outcome(const Frame& frame, const Frame& other) {
    const std::size_t width = frame.columns.size(), other_width = other.columns.size();
    for (std::size_t i = 0; i < std::max(width, other_width); ++i) {
        const std::string position = "column " + std::to_string(i) + " is ";
        if (i == other_width) {
            return position + quoted_form(frame.columns[i].name) + " in this frame; the other frame has " +
                   count_of(other_width, "column");
        }
        if (i == width) {
            return position + quoted_form(other.columns[i].name) + " in the other frame; this frame has " +
                   count_of(width, "column");
        }
        const Column& here = frame.columns[i];
        const Column& there = other.columns[i];
        if (here.name != there.name) {
            return position + quoted_form(here.name) + " in this frame and " + quoted_form(there.name) +
                   " in the other frame";
        }
        if (here.values->dtype() != there.values->dtype()) {
            return dtypes_differ_message(here.name, here.values->dtype(), there.values->dtype());
        }
    }
    return "ok";
}

inline Frame step_concat(const Frame& frame, Decoder& decode, History& history) {
    Frame other = second_frame(frame, decode);
    // A frame concatenated with itself doubles; a chain of them must stay small.
    constexpr std::uint64_t most_rows = 1 << 14;
    if (frame.height + other.height > most_rows) other = head(other, most_rows - std::min(most_rows, frame.height));
    history.keep(other);
    const bool other_first = decode.flag();
    const Frame& first = other_first ? other : frame;
    const Frame& second = other_first ? frame : other;
    const Result<Frame> made = concat(first, second);
    require(outcome(made) == concat_outcome(first, second), "concat names the first column that differs");
    if (!made) return frame;
    check_frame(*made);
    require(made->height == first.height + second.height, "the rows of both");
    require(column_names(*made) == column_names(first), "the columns of both");
    for (std::size_t i = 0; i < first.columns.size(); ++i) {
        const ColumnValues& values = *made->columns[i].values;
        for (std::size_t r = 0; r < made->height; ++r) {
            const bool from_first = r < first.height;
            const Frame& part = from_first ? first : second;
            const std::size_t row = part.physical_row(from_first ? r : r - first.height);
            require(same_cell(values, made->physical_row(r), *part.columns[i].values, row),
                    "the first frame's rows, then the second's");
        }
    }
    return *made;
}

// The other frame with its columns that are not keys and that the frame also has renamed,
// so that more joins get past the name check.
inline Frame without_clashes(const Frame& other, const Frame& frame, const std::vector<std::string>& on) {
    Frame renamed = other;
    for (Column& column : renamed.columns) {
        if (std::find(on.begin(), on.end(), column.name) != on.end() || !column_of(frame, column.name)) continue;
        const auto taken = [&](const std::string& name) {
            const auto named = [&](const Column& c) { return &c != &column && c.name == name; };
            return column_of(frame, name) || std::any_of(renamed.columns.begin(), renamed.columns.end(), named);
        };
        while (taken(column.name)) column.name += "~";
    }
    return renamed;
}

// What join must say before it matches rows: the frame's keys as select finds them, then
// other's keys and their dtypes, then `how`, then the names other would add.
inline std::string join_outcome(const Frame& frame, const Frame& other, const std::vector<std::string>& on,
                                std::string_view how) {
    if (const std::string selected = select_outcome(frame, on); selected != "ok") return selected;
    for (const std::string& key : on) {
        const ColumnValues* there = column_of(other, key);
        if (!there) {
            std::string names;
            for (const Column& column : other.columns) names += (names.empty() ? "" : ", ") + quoted_form(column.name);
            return "no column " + quoted_form(key) + " (the other frame has " + (names.empty() ? "none" : names) + ")";
        }
        const DType here = column_of(frame, key)->dtype();
        if (here != there->dtype()) return dtypes_differ_message(key, here, there->dtype());
    }
    if (how != "inner" && how != "left" && how != "full" && how != "semi" && how != "anti") {
        return "how " + quoted_form(how) + ": give \"inner\", \"left\", \"full\", \"semi\" or \"anti\"";
    }
    if (how == "semi" || how == "anti") return "ok";
    for (const Column& column : other.columns) {
        if (std::find(on.begin(), on.end(), column.name) == on.end() && column_of(frame, column.name)) {
            return "the frame has a column " + quoted_form(column.name) + " already";
        }
    }
    return "ok";
}

// A joined frame against the reference's rows: the frame's columns, then other's that are
// not keys; a row without a frame row takes its keys from other, nulls elsewhere.
inline void check_joined(const Frame& made, const Frame& frame, const Frame& other, const std::vector<std::string>& on,
                         const std::vector<JoinedRow>& rows) {
    check_frame(made);
    require(made.height == rows.size(), "the rows of the reference");
    std::vector<const Column*> expected;
    for (const Column& column : frame.columns) expected.push_back(&column);
    for (const Column& column : other.columns) {
        if (std::find(on.begin(), on.end(), column.name) == on.end()) expected.push_back(&column);
    }
    require(made.columns.size() == expected.size(), "the frame's columns, then other's that are not keys");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ColumnValues& values = *made.columns[i].values;
        const ColumnValues& source = *expected[i]->values;
        require(made.columns[i].name == expected[i]->name && values.dtype() == source.dtype(), "names and dtypes kept");
        const bool from_frame = i < frame.columns.size();
        const bool is_key = std::find(on.begin(), on.end(), expected[i]->name) != on.end();
        const ColumnValues* other_key = from_frame && is_key ? column_of(other, expected[i]->name) : nullptr;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::size_t row = made.physical_row(r);
            const std::optional<std::uint32_t> taken = from_frame ? rows[r].left : rows[r].right;
            if (taken) {
                require(same_cell(values, row, source, *taken), "a cell of the joined rows");
            } else if (other_key && rows[r].right) {
                require(same_cell(values, row, *other_key, *rows[r].right), "an unmatched row of other keeps its keys");
            } else {
                require(!is_present(values, row), "a side without a row gives nulls");
            }
        }
    }
}

inline Frame step_join(const Frame& frame, Decoder& decode, History& history) {
    static const std::vector<std::string> hows = {"inner", "left", "full", "semi", "anti", "outer", "", "Inner"};
    const std::vector<std::string> on = decode.names(frame, 3);
    const std::string how = hows[decode.choice(decode.flag() ? 4 : hows.size() - 1)];
    Frame other = second_frame(frame, decode);
    if (decode.flag()) other = without_clashes(other, frame, on);
    // The reference compares every pair of rows, and the join may give as many.
    constexpr std::uint64_t most_pairs = 1 << 15;
    if (frame.height * other.height > most_pairs) {
        other = head(other, std::max<std::uint64_t>(1, most_pairs / frame.height));
    }
    history.keep(other);
    const Result<Frame> made = join(frame, other, on, how);
    require(outcome(made) == join_outcome(frame, other, on, how), "join checks keys, dtypes, how and names in turn");
    if (!made) return frame;
    const std::vector<JoinedRow> rows =
        joined_rows(frame, columns_named(frame, on), other, columns_named(other, on), how);
    if (how == "semi" || how == "anti") {
        std::vector<std::uint32_t> kept;
        for (const JoinedRow& row : rows) kept.push_back(*row.left);
        require_rows(*made, frame, kept);
    } else {
        check_joined(*made, frame, other, on, rows);
    }
    return *made;
}

}  // namespace quorvel::fuzz
