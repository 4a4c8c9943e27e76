#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/frame.hpp"
#include "engine/prefetch.hpp"
#include "engine/validity.hpp"

namespace quorvel::engine {

// The physical rows of `frame`'s logical rows, in logical order, whose cell is present and
// passes `keep(physical_row)`. This is the one pass behind every filter.
//
// Rows are written without a branch (write the row, advance by the test) into a small
// buffer that is appended block by block, so the result never holds more than the kept
// rows plus one block and no memory is zeroed in advance. The four loops (row selection or
// not, nulls or not) are separate so that the common case tests nothing but the cell.
//
// `ahead(rows, r, count)` is called before selected row r is read, to ask for what reading
// the rows after it will need.
template <class Keep, class Ahead>
std::vector<std::uint32_t> scan_rows(const Frame& frame, const Validity& validity, Keep keep, Ahead ahead) {
    constexpr std::size_t block = 512;
    std::uint32_t buffer[block];
    std::vector<std::uint32_t> rows;
    const std::size_t height = frame.height;
    const std::uint32_t* selected = frame.selection ? frame.selection->rows.data() : nullptr;
    const std::uint64_t* present = validity.all_present() ? nullptr : validity.words().data();
    // 1 or 0, a number rather than a bool, so that `is_present(r) & keep(r)` below is plainly
    // meant as arithmetic: both sides are evaluated and no branch is taken.
    const auto is_present = [present](std::size_t row) -> std::size_t {
        return (present[row >> 6] >> (row & 63)) & 1u;
    };

    for (std::size_t start = 0; start < height; start += block) {
        const std::size_t end = start + block < height ? start + block : height;
        std::size_t kept = 0;
        if (!selected && !present) {
            for (std::size_t r = start; r < end; ++r) {
                buffer[kept] = static_cast<std::uint32_t>(r);
                kept += keep(r);
            }
        } else if (!selected) {
            for (std::size_t r = start; r < end; ++r) {
                buffer[kept] = static_cast<std::uint32_t>(r);
                kept += is_present(r) & keep(r);
            }
        } else if (!present) {
            for (std::size_t r = start; r < end; ++r) {
                ahead(selected, r, height);
                const std::uint32_t p = selected[r];
                buffer[kept] = p;
                kept += keep(p);
            }
        } else {
            for (std::size_t r = start; r < end; ++r) {
                ahead(selected, r, height);
                const std::uint32_t p = selected[r];
                buffer[kept] = p;
                kept += is_present(p) & keep(p);
            }
        }
        rows.insert(rows.end(), buffer, buffer + kept);
    }
    return rows;
}

// The physical rows whose cell of `cells` is present and passes `keep(physical_row)`,
// asking for the cells of selected rows ahead of reading them.
template <class Cells, class Keep>
std::vector<std::uint32_t> kept_rows(const Frame& frame, const Cells& cells, Keep keep) {
    return scan_rows(frame, cells.validity, keep, [&cells](const std::uint32_t* rows, std::size_t r, std::size_t count) {
        prefetch_selected(cells, rows, r, count);
    });
}

}  // namespace quorvel::engine
