#include "engine/filters.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "engine/lookup_sets.hpp"
#include "engine/row_cursor.hpp"
#include "engine/slicing.hpp"
#include "engine/text_search.hpp"

namespace quorvel::engine {
namespace {

// Lists longer than this are looked up in a hash table; shorter ones are scanned, which is
// faster for a handful of entries.
constexpr std::size_t longest_scanned_list = 16;

constexpr double two_to_63 = 9223372036854775808.0;

template <CompareOp op, class T>
bool holds(T cell, T value) {
    if constexpr (op == CompareOp::Eq) return cell == value;
    if constexpr (op == CompareOp::Ne) return cell != value;
    if constexpr (op == CompareOp::Lt) return cell < value;
    if constexpr (op == CompareOp::Le) return cell <= value;
    if constexpr (op == CompareOp::Gt) return cell > value;
    if constexpr (op == CompareOp::Ge) return cell >= value;
}

// Calls `body` with `op` as a compile-time constant, so each operator gets its own loop.
template <class Body>
auto with_op(CompareOp op, Body&& body) {
    using C = CompareOp;
    switch (op) {
        case C::Eq: return body(std::integral_constant<C, C::Eq>{});
        case C::Ne: return body(std::integral_constant<C, C::Ne>{});
        case C::Lt: return body(std::integral_constant<C, C::Lt>{});
        case C::Le: return body(std::integral_constant<C, C::Le>{});
        case C::Gt: return body(std::integral_constant<C, C::Gt>{});
        case C::Ge: return body(std::integral_constant<C, C::Ge>{});
    }
    __builtin_unreachable();
}

// The physical rows, in logical order, whose flag in `validity` is set and that pass
// `keep(physical row)`, asking for `ahead` (the cells `keep` reads) ahead of reading them.
// This is the one pass behind every filter.
//
// Rows are written without a branch (write the row, advance by the test) into a small
// buffer that is appended block by block, so the result never holds more than the kept rows
// plus one block and no memory is zeroed in advance. The two loops (nulls or not) are
// separate so that the common case tests nothing but the cell.
template <class Keep, class... Ahead>
RowList collect_rows(const Frame& frame, const Validity& validity, Keep keep,
                                        const Ahead&... ahead) {
    constexpr std::size_t block = 512;
    std::uint32_t buffer[block];
    std::size_t kept = 0;
    RowList rows;
    reserve_at_most(rows, frame.height);
    const auto end_block = [&] {
        rows.insert(rows.end(), buffer, buffer + kept);
        kept = 0;
    };
    const RowCursor cursor(frame);
    if (validity.all_present()) {
        cursor.for_each_block<block>(
            [&](std::size_t, std::size_t p) {
                buffer[kept] = p;
                kept += keep(p);
            },
            end_block, ahead...);
    } else {
        cursor.for_each_block<block>(
            [&](std::size_t, std::size_t p) {
                buffer[kept] = p;
                kept += validity.present_bit(p) & keep(p);
            },
            end_block, ahead...);
    }
    fit_room(rows);
    return rows;
}

// The rows whose cell of `cells` is present and passes `keep(physical row)`.
template <class Cells, class Keep>
RowList passing_rows(const Frame& frame, const Cells& cells, Keep keep) {
    return collect_rows(frame, cells.validity, keep, cells);
}

// Every present row of the column, or none.
RowList present_rows(const Frame& frame, const Validity& validity, bool all) {
    if (!all) return {};
    return collect_rows(frame, validity, [](std::uint32_t) { return true; });
}

// IEEE-754 comparison decides every case: a NaN on either side is unequal to everything
// and neither less nor greater, which is exactly the rule that NaN passes only Ne.
RowList compare_floats(const Frame& frame, const F64Cells& cells, CompareOp op, double value) {
    const double* cell = cells.values.data();
    return with_op(op, [&](auto op_constant) {
        constexpr CompareOp o = decltype(op_constant)::value;
        return passing_rows(frame, cells, [cell, value](std::size_t p) { return holds<o>(cell[p], value); });
    });
}

// An integer cell against a float value, compared as exact numbers. Every case comes down to
// all rows, no rows, or one integer comparison against an integer bound, so the integer is
// never converted to a float (which would round above 2^53).
RowList compare_integers(const Frame& frame, const I64Cells& cells, CompareOp op, double value) {
    using C = CompareOp;
    const bool ne = op == C::Ne;
    if (std::isnan(value)) return present_rows(frame, cells.validity, ne);
    if (value >= two_to_63) return present_rows(frame, cells.validity, ne || op == C::Lt || op == C::Le);
    if (value < -two_to_63) return present_rows(frame, cells.validity, ne || op == C::Gt || op == C::Ge);
    const double floor = std::floor(value);
    std::int64_t bound = static_cast<std::int64_t>(floor);  // exact: floor lies in [-2^63, 2^63)
    if (floor != value) {
        // The value lies strictly between bound and bound + 1: a cell is less than it when
        // at most bound and greater when above bound, never equal.
        if (op == C::Eq || ne) return present_rows(frame, cells.validity, ne);
        op = op == C::Lt || op == C::Le ? C::Le : C::Gt;
    }
    const std::int64_t* cell = cells.values.data();
    return with_op(op, [&](auto op_constant) {
        constexpr CompareOp o = decltype(op_constant)::value;
        return passing_rows(frame, cells, [cell, bound](std::size_t p) { return holds<o>(cell[p], bound); });
    });
}

// Floats equal under IEEE-754 have equal bits once -0.0 is made 0.0 (NaN excluded).
std::uint64_t float_key(double value) { return std::bit_cast<std::uint64_t>(value + 0.0); }

RowList floats_among(const Frame& frame, const F64Cells& cells, std::span<const double> values) {
    std::vector<double> entries;
    for (const double value : values) {
        if (!std::isnan(value)) entries.push_back(value);
    }
    const double* cell = cells.values.data();
    if (entries.size() <= longest_scanned_list) {
        return passing_rows(frame, cells, [cell, &entries](std::size_t p) {
            return std::any_of(entries.begin(), entries.end(), [c = cell[p]](double e) { return c == e; });
        });
    }
    std::vector<std::uint64_t> keys;
    keys.reserve(entries.size());
    for (const double entry : entries) keys.push_back(float_key(entry));
    const KeySet set(keys);
    return passing_rows(frame, cells, [cell, &set](std::size_t p) {
        const double c = cell[p];
        return c == c && set.contains(float_key(c));
    });
}

// An entry matches an integer cell only when it is an integer in the i64 range: 3.0 matches
// 3, 3.5 and the infinities match nothing.
RowList integers_among(const Frame& frame, const I64Cells& cells, std::span<const double> values) {
    std::vector<std::int64_t> entries;
    for (const double value : values) {
        if (value >= -two_to_63 && value < two_to_63 && std::floor(value) == value) {
            entries.push_back(static_cast<std::int64_t>(value));
        }
    }
    const std::int64_t* cell = cells.values.data();
    if (entries.size() <= longest_scanned_list) {
        return passing_rows(frame, cells, [cell, &entries](std::size_t p) {
            return std::find(entries.begin(), entries.end(), cell[p]) != entries.end();
        });
    }
    std::vector<std::uint64_t> keys(entries.begin(), entries.end());
    const KeySet set(keys);
    return passing_rows(frame, cells,
                     [cell, &set](std::size_t p) { return set.contains(static_cast<std::uint64_t>(cell[p])); });
}

RowList texts_in(const Frame& frame, const StrCells& cells, const std::vector<std::string>& texts) {
    if (texts.size() <= longest_scanned_list) {
        return passing_rows(frame, cells, [&cells, &texts](std::size_t p) {
            const std::string_view cell = cells.at(p);
            return std::any_of(texts.begin(), texts.end(), [cell](const std::string& t) { return cell == t; });
        });
    }
    const TextSet set(texts);
    return passing_rows(frame, cells, [&cells, &set](std::size_t p) { return set.contains(cells.at(p)); });
}

// The first row, from `from` on, that ends after byte `at` of the texts: the row that holds
// the byte. Occurrences of a needle are often a few rows apart, so the next rows are looked at
// before the rest is searched.
std::size_t row_holding(const StrCells& cells, std::size_t from, std::uint64_t at) {
    constexpr std::size_t near = 8;
    const std::uint64_t* const offsets = cells.offsets.data();
    const std::size_t rows = cells.size();
    const std::size_t near_end = std::min(from + near, rows);
    for (std::size_t row = from; row < near_end; ++row) {
        if (offsets[row + 1] > at) return row;
    }
    return static_cast<std::size_t>(std::upper_bound(offsets + near_end + 1, offsets + rows + 1, at) - offsets) - 1;
}

// The rows, in storage order, whose text holds the needle. The texts lie end to end in one
// buffer, which is searched at once rather than text by text; each occurrence is placed in
// its row by the offsets, and counts if it ends within that row. Either way, no later
// occurrence that begins in the same row can end within it, so the search goes on from the
// next row.
RowList storage_rows_holding(const StrCells& cells, const TextFinder& finder) {
    RowList rows;
    reserve_at_most(rows, cells.size());
    const std::string_view bytes(cells.bytes.data(), cells.bytes.size());
    const std::uint64_t* const offsets = cells.offsets.data();
    std::size_t row = 0;
    for (std::size_t at = finder.find(bytes, 0); at != TextFinder::npos; at = finder.find(bytes, offsets[row])) {
        row = row_holding(cells, row, at);
        if (at + finder.size() <= offsets[row + 1] && cells.is_present(row)) rows.push_back(static_cast<std::uint32_t>(row));
        ++row;
    }
    fit_room(rows);
    return rows;
}

template <TextPlace place>
bool has_affix(std::string_view cell, std::string_view text) {
    if (cell.size() < text.size()) return false;
    return same_bytes(place == TextPlace::Start ? cell.data() : cell.data() + cell.size() - text.size(), text);
}

// The rows whose text begins (or ends) with a text of at most 8 bytes, tested a word at a
// time without a branch: where the kept rows fall at random, a branch on each text's bytes
// is mispredicted on most of them, which took four fifths of the filter's time. The word is
// read from where the text would begin (or end) in the buffer, bytes of the neighbouring
// texts included, and only the needle's bytes compared; the few texts too near an end of
// the buffer for a whole word are tested as they stand.
template <TextPlace place>
RowList texts_with_short_affix(const Frame& frame, const StrCells& cells, std::string_view text) {
    constexpr std::size_t word_bytes = sizeof(std::uint64_t);
    // The needle and its mask laid out as a word read from the texts holds them, so that
    // the byte order is the machine's either way.
    char needle_bytes[word_bytes] = {};
    char mask_bytes[word_bytes] = {};
    const std::size_t at = place == TextPlace::Start ? 0 : word_bytes - text.size();
    std::memcpy(needle_bytes + at, text.data(), text.size());
    std::memset(mask_bytes + at, 0xff, text.size());
    std::uint64_t needle = 0;
    std::uint64_t mask = 0;
    std::memcpy(&needle, needle_bytes, word_bytes);
    std::memcpy(&mask, mask_bytes, word_bytes);

    const std::uint64_t* const offsets = cells.offsets.data();
    const char* const bytes = cells.bytes.data();
    const std::uint64_t length = cells.bytes.size();
    const std::uint64_t size = text.size();
    return passing_rows(frame, cells, [=](std::size_t p) -> bool {
        const std::uint64_t begin = offsets[p];
        const std::uint64_t end = offsets[p + 1];
        const bool whole_word = place == TextPlace::Start ? begin + word_bytes <= length : end >= word_bytes;
        if (!whole_word) [[unlikely]] return has_affix<place>({bytes + begin, end - begin}, text);
        std::uint64_t word;
        std::memcpy(&word, bytes + (place == TextPlace::Start ? begin : end - word_bytes), word_bytes);
        return (end - begin >= size) & (((word ^ needle) & mask) == 0);
    });
}

template <TextPlace place>
RowList texts_with_affix(const Frame& frame, const StrCells& cells, std::string_view text) {
    if (text.size() <= sizeof(std::uint64_t)) return texts_with_short_affix<place>(frame, cells, text);
    return passing_rows(frame, cells, [&cells, text](std::size_t p) { return has_affix<place>(cells.at(p), text); });
}

RowList texts_holding(const Frame& frame, const StrCells& cells, TextPlace place, std::string_view text) {
    if (text.empty()) return present_rows(frame, cells.validity, true);
    switch (place) {
        case TextPlace::Start: return texts_with_affix<TextPlace::Start>(frame, cells, text);
        case TextPlace::End: return texts_with_affix<TextPlace::End>(frame, cells, text);
        case TextPlace::Anywhere: break;
    }
    const TextFinder finder(text);
    if (!frame.selection) return storage_rows_holding(cells, finder);
    return passing_rows(frame, cells,
                        [&cells, &finder](std::size_t p) { return finder.find(cells.at(p), 0) != TextFinder::npos; });
}

const Validity& validity_of(const ColumnValues& values) {
    return std::visit([](const auto& cells) -> const Validity& { return cells.validity; }, values.cells());
}

}  // namespace

Result<Frame> filter_compare(const Frame& frame, std::string_view name, CompareOp op, double value) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const ColumnValues& values = *column->values;
    switch (values.dtype()) {
        case DType::f64: return take_rows(frame, compare_floats(frame, values.f64(), op, value));
        case DType::i64: return take_rows(frame, compare_integers(frame, values.i64(), op, value));
        case DType::str: break;
    }
    return EngineError{column_is(name, DType::str) + ": compare it with where_is or where_in"};
}

Result<Frame> filter_among(const Frame& frame, std::string_view name, std::span<const double> values) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const ColumnValues& cells = *column->values;
    switch (cells.dtype()) {
        case DType::f64: return take_rows(frame, floats_among(frame, cells.f64(), values));
        case DType::i64: return take_rows(frame, integers_among(frame, cells.i64(), values));
        case DType::str: break;
    }
    return EngineError{column_is(name, DType::str) + ": where_in takes its strings"};
}

Result<Frame> filter_in(const Frame& frame, std::string_view name, const std::vector<std::string>& texts) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const ColumnValues& cells = *column->values;
    if (cells.dtype() != DType::str) {
        return EngineError{column_is(name, cells.dtype()) + ": where_is and where_in take a str column"};
    }
    return take_rows(frame, texts_in(frame, cells.str(), texts));
}

Result<Frame> filter_null(const Frame& frame, std::string_view name) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const Validity& validity = validity_of(*column->values);
    if (validity.all_present()) return take_rows(frame, {});
    return take_rows(frame, collect_rows(frame, Validity{}, [&validity](std::size_t p) {
                         return validity.present_bit(p) == 0;
                     }));
}

Result<Frame> filter_not_null(const Frame& frame, std::string_view name) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const Validity& validity = validity_of(*column->values);
    // Every row passes: the frame's own rows, shared.
    if (validity.all_present()) return frame;
    return take_rows(frame, present_rows(frame, validity, true));
}

Result<Frame> filter_text(const Frame& frame, std::string_view name, TextPlace place, std::string_view text) {
    QUORVEL_ASSIGN_OR_RETURN(const Column* column, find_column(frame.columns, name));
    const ColumnValues& cells = *column->values;
    if (cells.dtype() != DType::str) {
        return EngineError{column_is(name, cells.dtype()) +
                           ": where_starts_with, where_ends_with and where_contains take a str column"};
    }
    return take_rows(frame, texts_holding(frame, cells.str(), place, text));
}

}  // namespace quorvel::engine
