#include "engine/slicing.hpp"

#include <algorithm>

#include "engine/name_index.hpp"
#include "engine/quoted.hpp"

namespace quorvel::engine {
namespace {

// The number of rows head(n) and tail(n) keep out of `height`.
std::uint64_t kept_count(std::uint64_t height, std::int64_t n) {
    if (n >= 0) return std::min<std::uint64_t>(static_cast<std::uint64_t>(n), height);
    // -n as unsigned avoids overflow at the most negative n.
    const std::uint64_t dropped = 0 - static_cast<std::uint64_t>(n);
    return dropped < height ? height - dropped : 0;
}

// The frame's logical rows first .. first + count - 1, as a frame.
Frame slice(const Frame& frame, std::uint64_t first, std::uint64_t count) {
    if (count == frame.height) return frame;
    RowList rows(count);
    if (frame.selection) {
        const std::uint32_t* selected = frame.selection->rows.data() + first;
        for (std::uint64_t i = 0; i < count; ++i) rows[i] = selected[i];
    } else {
        for (std::uint64_t i = 0; i < count; ++i) rows[i] = static_cast<std::uint32_t>(first + i);
    }
    return take_rows(frame, std::move(rows));
}

bool is_identity(const RowList& rows, std::size_t storage_length) {
    if (rows.size() != storage_length) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] != i) return false;
    }
    return true;
}

}  // namespace

Frame take_rows(const Frame& frame, RowList rows) {
    Frame out;
    out.columns = frame.columns;
    out.height = rows.size();
    if (!is_identity(rows, frame.storage_length())) {
        auto selection = make_shared_block<RowSelection>();
        selection->rows = std::move(rows);
        out.selection = std::move(selection);
    }
    return out;
}

Frame head(const Frame& frame, std::int64_t n) { return slice(frame, 0, kept_count(frame.height, n)); }

Frame tail(const Frame& frame, std::int64_t n) {
    const std::uint64_t count = kept_count(frame.height, n);
    return slice(frame, frame.height - count, count);
}

Result<Frame> select(const Frame& frame, const std::vector<std::string>& names) {
    Frame out;
    out.selection = frame.selection;
    out.height = frame.height;
    out.columns.reserve(names.size());
    // Names are taken in order: the first that repeats an earlier one or is not a column fails.
    const std::size_t repeated = first_repeated_name(names);
    const std::vector<const Column*> found = find_columns(frame.columns, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i == repeated) return EngineError{"column " + quoted_form(names[i]) + " selected twice"};
        if (!found[i]) return find_column(frame.columns, names[i]).error();
        out.columns.push_back(*found[i]);
    }
    return out;
}

Result<Frame> rename(const Frame& frame, std::string_view old_name, std::string_view new_name) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* renamed, find_column(frame.columns, old_name));
    for (const Column& column : frame.columns) {
        if (&column != renamed && column.name == new_name) return name_taken(new_name);
    }
    Frame out = frame;
    out.columns[static_cast<std::size_t>(renamed - frame.columns.data())].name = new_name;
    return out;
}

}  // namespace quorvel::engine
