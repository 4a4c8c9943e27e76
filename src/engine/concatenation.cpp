#include "engine/concatenation.hpp"

#include <algorithm>
#include <string>

#include "engine/joining.hpp"
#include "engine/quoted.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

std::string columns(std::size_t count) { return std::to_string(count) + (count == 1 ? " column" : " columns"); }

// The first difference between the two frames' column lists, if any.
Result<void> check_same_columns(const Frame& frame, const Frame& other) {
    const std::size_t width = frame.columns.size();
    const std::size_t other_width = other.columns.size();
    for (std::size_t i = 0; i < std::max(width, other_width); ++i) {
        const std::string position = "column " + std::to_string(i);
        if (i == other_width) {
            return EngineError{position + " is " + quoted_form(frame.columns[i].name) +
                               " in this frame; the other frame has " + columns(other_width)};
        }
        if (i == width) {
            return EngineError{position + " is " + quoted_form(other.columns[i].name) +
                               " in the other frame; this frame has " + columns(width)};
        }
        const Column& here = frame.columns[i];
        const Column& there = other.columns[i];
        if (here.name != there.name) {
            return EngineError{position + " is " + quoted_form(here.name) + " in this frame and " +
                               quoted_form(there.name) + " in the other frame"};
        }
        if (here.values->dtype() != there.values->dtype()) {
            return dtypes_differ(here.name, here.values->dtype(), there.values->dtype());
        }
    }
    return {};
}

bool same_storage(const Frame& frame, const Frame& other) {
    if (frame.columns.empty()) return false;
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
        if (frame.columns[i].values.get() != other.columns[i].values.get()) return false;
    }
    return true;
}

// The physical rows of both frames' logical rows, the frame's first.
RowList rows_of_both(const Frame& frame, const Frame& other) {
    RowList rows;
    rows.reserve(frame.height + other.height);
    for (const Frame* part : {&frame, &other}) {
        for (std::size_t r = 0; r < part->height; ++r) {
            rows.push_back(static_cast<std::uint32_t>(part->physical_row(r)));
        }
    }
    return rows;
}

}  // namespace

Result<Frame> concat(const Frame& frame, const Frame& other) {
    QUORVEL_RETURN_IF_ERROR(check_same_columns(frame, other));
    const std::uint64_t height = frame.height + other.height;
    if (height > max_rows) {
        return EngineError{"the frames have " + std::to_string(height) + " rows together; a frame holds at most " +
                           std::to_string(max_rows)};
    }
    if (other.height == 0) return frame;
    if (frame.height == 0) return other;
    if (same_storage(frame, other)) return take_rows(frame, rows_of_both(frame, other));
    Frame out;
    out.height = height;
    out.columns.reserve(frame.columns.size());
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
        const CellStretch stretches[] = {
            {frame.columns[i].values.get(), frame.selection ? frame.selection->rows.data() : nullptr, frame.height},
            {other.columns[i].values.get(), other.selection ? other.selection->rows.data() : nullptr, other.height},
        };
        out.columns.push_back({frame.columns[i].name, gather_stretches(stretches)});
    }
    return out;
}

}  // namespace quorvel::engine
