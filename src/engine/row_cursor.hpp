#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "engine/frame.hpp"
#include "engine/prefetch.hpp"
#include "engine/validity.hpp"

// Written after the parameters of a visit whose loop is hot
// (`[&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT { ... }`): the compiler then
// always puts the visit's work inside the cursor's loops. Left to itself it may call it
// instead, a lambda being called from several loops, which costs up to half the speed of a
// short visit.
#define QUORVEL_INLINE_VISIT __attribute__((always_inline))

namespace quorvel::engine {

// The one way the engine walks rows: a frame's logical rows in order, each with its physical
// row. Without a row selection the two are the same and the walk reads nothing more. With
// one, what reading each row will need (the `ahead` arguments: cells, or anything else that
// prefetch_selected takes) is asked for prefetch_ahead rows early, so that the cache misses
// of a shuffled selection overlap instead of coming one after another.
//
// A visit takes (logical row, physical row). One that returns bool stops the walk by
// returning false, and the walk then returns false; any other visits every row.
class RowCursor {
public:
    explicit RowCursor(const Frame& frame)
        : selection_(frame.selection ? frame.selection->rows.data() : nullptr),
          end_(frame.height),
          height_(frame.height) {}
    // The physical rows of a list, walked as if they were a frame's row selection.
    explicit RowCursor(std::span<const std::uint32_t> rows)
        : selection_(rows.data()), end_(rows.size()), height_(rows.size()) {}
    // The `count` physical rows listed at `rows`, or rows 0 to count - 1 when `rows` is null.
    RowCursor(const std::uint32_t* rows, std::size_t count) : selection_(rows), end_(count), height_(count) {}

    // The logical rows [begin, end) of this walk alone, numbered as in the whole walk: for work
    // that takes the rows a stretch at a time.
    RowCursor stretch(std::size_t begin, std::size_t end) const {
        RowCursor part = *this;
        part.begin_ = begin;
        part.end_ = end;
        return part;
    }

    // The number of rows of the whole walk.
    std::size_t size() const { return height_; }

    template <class Visit, class... Ahead>
    bool for_each(Visit&& visit, const Ahead&... ahead) const {
        if (selection_) {
            for (std::size_t r = begin_; r < end_; ++r) {
                (prefetch_selected(ahead, selection_, r, height_), ...);
                if (!visit_row(visit, r, selection_[r])) return false;
            }
        } else {
            for (std::size_t r = begin_; r < end_; ++r) {
                if (!visit_row(visit, r, r)) return false;
            }
        }
        return true;
    }

    // As for_each, `block` rows at a time (the last block may be shorter), calling end_block()
    // after each: for work that collects a block of rows and then deals with it at once.
    template <std::size_t block, class Visit, class EndBlock, class... Ahead>
    void for_each_block(Visit&& visit, EndBlock&& end_block, const Ahead&... ahead) const {
        for (std::size_t start = begin_; start < end_; start += block) {
            const std::size_t end = std::min(start + block, end_);
            if (selection_) {
                for (std::size_t r = start; r < end; ++r) {
                    (prefetch_selected(ahead, selection_, r, height_), ...);
                    visit(r, selection_[r]);
                }
            } else {
                for (std::size_t r = start; r < end; ++r) visit(r, r);
            }
            end_block();
        }
    }

    // As for_each, visiting only the rows whose flag in `validity` (the flags of the cells the
    // visit reads) is set. Without a selection the flags are read a word at a time: 64 present
    // rows in a row need no test of their own, 64 nulls in a row one.
    template <class Visit, class... Ahead>
    bool for_each_present(const Validity& validity, Visit&& visit, const Ahead&... ahead) const {
        if (validity.all_present()) return for_each(visit, ahead...);
        if (selection_) {
            return for_each(
                [&](std::size_t r, std::size_t p) QUORVEL_INLINE_VISIT {
                    return validity.present_bit(p) == 0 || visit_row(visit, r, p);
                },
                ahead...);
        }
        for (std::size_t start = begin_ - begin_ % 64; start < end_; start += 64) {
            const std::size_t end = std::min(start + 64, end_);
            std::uint64_t present = validity.word(start / 64);
            if (start < begin_) present &= ~std::uint64_t{0} << (begin_ - start);
            if (present == ~std::uint64_t{0}) {
                for (std::size_t r = start; r < end; ++r) {
                    if (!visit_row(visit, r, r)) return false;
                }
                continue;
            }
            for (; present != 0; present &= present - 1) {
                const std::size_t r = start + static_cast<std::size_t>(std::countr_zero(present));
                if (r >= end) break;
                if (!visit_row(visit, r, r)) return false;
            }
        }
        return true;
    }

private:
    template <class Visit>
    [[gnu::always_inline]] static bool visit_row(Visit& visit, std::size_t logical, std::size_t physical) {
        if constexpr (std::is_same_v<std::invoke_result_t<Visit&, std::size_t, std::size_t>, bool>) {
            return visit(logical, physical);
        } else {
            visit(logical, physical);
            return true;
        }
    }

    const std::uint32_t* selection_;  // none: logical row r is physical row r
    std::size_t begin_ = 0, end_;      // the rows walked
    std::size_t height_;               // the rows of the whole walk, which may be read ahead
};

}  // namespace quorvel::engine
