// libFuzzer target for chains of table operations: a frame decoded from the input goes
// through a dozen slices, filters, sorts, groupings, added columns, date parts, CSV round
// trips, multi-key sorts, unique rows, renames, and concats and joins with a second frame.
// After every step the frame must keep the model's invariants and agree with a plain
// reference; engine errors are results too and must be the expected ones. Frames made
// earlier in the chain, second frames included, must never change, whatever is added to the
// frames made from them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "csv/reader.hpp"
#include "csv/writer.hpp"
#include "engine/aggregations.hpp"
#include "engine/date_parts.hpp"
#include "engine/filters.hpp"
#include "engine/grouping.hpp"
#include "engine/quoted.hpp"
#include "engine/slicing.hpp"
#include "engine/sorting.hpp"
#include "combining_steps.hpp"
#include "frame_checks.hpp"
#include "frame_decoder.hpp"
#include "reference_model.hpp"
#include "step_support.hpp"

namespace quorvel::fuzz {
namespace {

using engine::aggregates::First;
using engine::aggregates::index_of;
using engine::aggregates::Last;
using engine::aggregates::Max;
using engine::aggregates::Mean;
using engine::aggregates::Median;
using engine::aggregates::Min;
using engine::aggregates::NUnique;
using engine::aggregates::Std;
using engine::aggregates::Sum;
using engine::aggregates::Var;

Frame step_head_or_tail(const Frame& frame, Decoder& decode) {
    const bool from_head = decode.flag();
    const std::int64_t n = decode.row_argument(frame.height);
    const Frame made = from_head ? head(frame, n) : tail(frame, n);
    const std::vector<std::uint32_t> all = physical_rows(frame);
    const auto h = static_cast<std::int64_t>(all.size());
    const std::int64_t kept = n >= 0 ? std::min(n, h) : (n > -h ? h + n : 0);
    const auto first = all.begin() + (from_head ? 0 : h - kept);
    require_rows(made, frame, std::vector<std::uint32_t>(first, first + kept));
    if (kept == h) require(made.selection.get() == frame.selection.get(), "a whole slice keeps the selection");
    return made;
}

Frame step_select(const Frame& frame, Decoder& decode) {
    const std::vector<std::string> names = decode.names(frame, 10);
    const Result<Frame> made = select(frame, names);
    require(outcome(made) == select_outcome(frame, names), "select fails on the first bad name");
    if (!made) return frame;
    require(made->height == frame.height && made->selection.get() == frame.selection.get(), "select keeps the rows");
    for (std::size_t i = 0; i < names.size(); ++i) {
        require(made->columns[i].name == names[i], "select takes the given order");
        require(made->columns[i].values.get() == column_of(frame, names[i]), "select shares the values");
    }
    return *made;
}

Frame step_compare(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const auto op = static_cast<CompareOp>(decode.choice(5));
    const ColumnValues* values = column_of(frame, name);
    const double value = decode.number(values, frame);
    const Result<Frame> made = filter_compare(frame, name, op, value);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
    } else if (values->dtype() == DType::str) {
        require(outcome(made) == "column " + quoted_form(name) + " is str: compare it with where_is or where_in",
                "compare refuses str");
    } else {
        require(made.ok(), "compare filters numbers");
        require_rows(*made, frame, rows_where(frame, *values, [&](std::uint32_t row) {
                         return holds(op, number_at(*values, row), value);
                     }));
    }
    return made ? *made : frame;
}

Frame step_among(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const ColumnValues* values = column_of(frame, name);
    const std::vector<double> entries = decode.numbers(values, frame);
    const Result<Frame> made = filter_among(frame, name, entries);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
    } else if (values->dtype() == DType::str) {
        require(outcome(made) == "column " + quoted_form(name) + " is str: where_in takes its strings",
                "among refuses str");
    } else {
        require(made.ok(), "among filters numbers");
        require_rows(*made, frame,
                     rows_where(frame, *values, [&](std::uint32_t row) { return among(*values, row, entries); }));
    }
    return made ? *made : frame;
}

Frame step_in(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const ColumnValues* values = column_of(frame, name);
    const std::vector<std::string> texts = decode.texts(values, frame);
    const Result<Frame> made = filter_in(frame, name, texts);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
    } else if (values->dtype() != DType::str) {
        require(outcome(made) == "column " + quoted_form(name) + " is " + std::string(dtype_name(values->dtype())) +
                                     ": where_is and where_in take a str column",
                "in refuses numbers");
    } else {
        require(made.ok(), "in filters texts");
        require_rows(*made, frame, rows_where(frame, *values, [&](std::uint32_t row) {
                         return std::find(texts.begin(), texts.end(), values->str().at(row)) != texts.end();
                     }));
    }
    return made ? *made : frame;
}

Frame step_null(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const bool nulls = decode.flag();
    const ColumnValues* values = column_of(frame, name);
    const Result<Frame> made = nulls ? filter_null(frame, name) : filter_not_null(frame, name);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
        return frame;
    }
    require(made.ok(), "every dtype has nulls");
    std::vector<std::uint32_t> rows;
    for (const std::uint32_t row : physical_rows(frame)) {
        if (is_present(*values, row) != nulls) rows.push_back(row);
    }
    require_rows(*made, frame, rows);
    return *made;
}

Frame step_text(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const auto place = static_cast<TextPlace>(decode.choice(2));
    const ColumnValues* values = column_of(frame, name);
    std::string text = decode.text(values, frame);
    // A piece of a cell, so that texts are found inside others.
    if (!text.empty() && decode.flag()) text = text.substr(decode.choice(text.size() - 1), decode.choice(text.size()));
    const Result<Frame> made = filter_text(frame, name, place, text);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
    } else if (values->dtype() != DType::str) {
        require(outcome(made) == "column " + quoted_form(name) + " is " + std::string(dtype_name(values->dtype())) +
                                     ": where_starts_with, where_ends_with and where_contains take a str column",
                "text filters refuse numbers");
    } else {
        require(made.ok(), "text filters take texts");
        require_rows(*made, frame, rows_where(frame, *values, [&](std::uint32_t row) {
                         const std::string_view cell = values->str().at(row);
                         const std::size_t at = cell.find(text);
                         if (place == TextPlace::Start) return at == 0;
                         if (place == TextPlace::End) return cell.size() >= text.size() && cell.rfind(text) == cell.size() - text.size();
                         return at != std::string_view::npos;
                     }));
    }
    return made ? *made : frame;
}

Frame step_sort(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const bool descending = decode.flag();
    const ColumnValues* values = column_of(frame, name);
    const Result<Frame> made = sort(frame, name, descending);
    if (!values) {
        require(outcome(made) == lookup_error(frame, name), "a missing column is reported");
        return frame;
    }
    require(made.ok(), "every column sorts");
    require_rows(*made, frame, sorted_rows(frame, *values, descending));
    return *made;
}

// The value column of one aggregation, computed group by group from the rows in order.
struct ExpectedAggregate {
    std::string error;
    bool overflow = false;  // the error is an i64 sum's overflow, found after the rows are read
    DType dtype = DType::i64;
    std::vector<std::string> cells;                 // cell keys, where they are exact
    std::vector<std::vector<long double>> float_values;  // else each group's values, for a float check
};

ExpectedAggregate failing(std::string message) {
    ExpectedAggregate expected;
    expected.error = std::move(message);
    return expected;
}

// What the numbers-only aggregations say of a str column.
std::string refusal(std::size_t aggregation) {
    if (aggregation == index_of<Sum> || aggregation == index_of<Mean>) return "it has no sum or mean";
    if (aggregation == index_of<Median>) return "it has no median";
    if (aggregation == index_of<Var> || aggregation == index_of<Std>) return "it has no var or std";
    return "";
}

// The cells of one aggregation before the key check: its own errors, in order of precedence.
ExpectedAggregate expected_values(const Grouping& grouping, const std::vector<std::uint32_t>& groups,
                                  const std::string& name, std::size_t aggregation) {
    const Frame& frame = grouping.frame;
    const ColumnValues* values = column_of(frame, name);
    if (!values) return failing(lookup_error(frame, name));
    const bool numbers_only = !refusal(aggregation).empty();
    if (values->dtype() == DType::str && numbers_only) {
        return failing("column " + quoted_form(name) + " is str: " + refusal(aggregation));
    }
    const bool summing = aggregation == index_of<Sum> || aggregation == index_of<Mean>;
    ExpectedAggregate expected;
    expected.dtype = values->dtype();
    if (aggregation == index_of<Mean> || aggregation == index_of<Median> || aggregation == index_of<Var> ||
        aggregation == index_of<Std>) {
        expected.dtype = DType::f64;
    }
    if (aggregation == index_of<NUnique>) expected.dtype = DType::i64;
    const std::size_t count = grouping.group_count();
    const std::vector<std::uint32_t> rows = physical_rows(frame);
    // Each group's present rows, in order.
    std::vector<std::vector<std::uint32_t>> members(count);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (is_present(*values, rows[r])) members[groups[r]].push_back(rows[r]);
    }
    if (values->dtype() == DType::i64 && summing) {
        std::vector<std::int64_t> sums(count, 0);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!is_present(*values, rows[r])) continue;
            if (__builtin_add_overflow(sums[groups[r]], values->i64().values[rows[r]], &sums[groups[r]])) {
                ExpectedAggregate overflowed = failing("the sum of column " + quoted_form(name) + " overflows i64");
                overflowed.overflow = true;
                return overflowed;
            }
        }
        for (std::size_t g = 0; g < count; ++g) {
            if (aggregation == index_of<Sum>) {
                expected.cells.push_back("i" + std::to_string(sums[g]));
            } else if (members[g].empty()) {
                expected.cells.push_back("-");
            } else {
                const double mean = static_cast<double>(sums[g]) / static_cast<double>(members[g].size());
                expected.cells.push_back("f" + std::to_string(std::bit_cast<std::uint64_t>(mean)));
            }
        }
    } else if (aggregation == index_of<Min> || aggregation == index_of<Max>) {
        // The first present value, replaced only by a strictly smaller (greater) one.
        for (const std::vector<std::uint32_t>& group : members) {
            std::optional<std::uint32_t> held;
            for (const std::uint32_t row : group) {
                const auto before = [&](std::uint32_t a, std::uint32_t b) {
                    if (values->dtype() == DType::str) return values->str().at(a) < values->str().at(b);
                    return number_at(*values, a) < number_at(*values, b);
                };
                if (!held || (aggregation == index_of<Min> ? before(row, *held) : before(*held, row))) held = row;
            }
            expected.cells.push_back(held ? cell_key(*values, *held) : "-");
        }
    } else if (aggregation == index_of<First> || aggregation == index_of<Last>) {
        for (const std::vector<std::uint32_t>& group : members) {
            if (group.empty()) expected.cells.push_back("-");
            else expected.cells.push_back(cell_key(*values, aggregation == index_of<First> ? group.front() : group.back()));
        }
    } else if (aggregation == index_of<NUnique>) {
        for (const std::vector<std::uint32_t>& group : members) {
            std::set<std::string> distinct;
            for (const std::uint32_t row : group) distinct.insert(group_key({values}, row));
            expected.cells.push_back("i" + std::to_string(distinct.size()));
        }
    } else {
        // A float sum, mean, median, variance or standard deviation: checked within a tolerance.
        for (const std::vector<std::uint32_t>& group : members) {
            expected.float_values.emplace_back();
            for (const std::uint32_t row : group) expected.float_values.back().push_back(number_at(*values, row));
        }
    }
    return expected;
}

ExpectedAggregate expected_aggregate(const Grouping& grouping, const std::vector<std::uint32_t>& groups,
                                     const std::string& name, std::size_t aggregation) {
    ExpectedAggregate expected = expected_values(grouping, groups, name, aggregation);
    if (!expected.error.empty()) return expected;
    if (std::find(grouping.keys.begin(), grouping.keys.end(), name) != grouping.keys.end()) {
        return failing("column " + quoted_form(name) + " is a key of this grouping");
    }
    return expected;
}

// A variance or standard deviation: null below two values, NaN with an infinity or a NaN,
// else within a few bits of a long double reference. The reference carries 11 bits more, but
// where the values are all but equal its own rounding of the mean leaves a residue, of the
// order of 2^-64 of the squared deviations from its mean.
void check_spread(const ColumnValues& got, std::size_t g, const std::vector<long double>& values, bool root) {
    require(is_present(got, g) == (values.size() >= 2), "a spread needs two values");
    if (values.size() < 2) return;
    const double cell = got.f64().values[g];
    const long double n = static_cast<long double>(values.size());
    long double mean = 0.0L;
    for (const long double x : values) mean += x;
    if (!std::isfinite(mean)) return require(std::isnan(cell), "a spread over an infinity or a NaN is NaN");
    mean /= n;
    long double squares = 0.0L, deviations = 0.0L;
    for (const long double x : values) {
        squares += (x - mean) * (x - mean);
        deviations += x - mean;
    }
    const long double variance = (squares - deviations * deviations / n) / (n - 1);
    const long double residue = std::ldexp(squares / (n - 1), -58) + 4 * std::numeric_limits<double>::denorm_min();
    const long double expected = root ? std::sqrt(variance) : variance;
    if (expected > std::numeric_limits<double>::max()) return require(cell == INFINITY, "a spread past the floats");
    const long double tolerance = std::ldexp(expected, -44) + (root ? std::sqrt(residue) : residue);
    require(std::fabs(cell - expected) <= tolerance, "a spread within a few bits");
}

// A median: null without values, NaN when a NaN is among them, else the middle value or
// the mean of the two middle ones, rounded once (long double rounds the mean a second time,
// hence the tolerance of one bit).
void check_median(const ColumnValues& got, std::size_t g, std::vector<long double> values) {
    require(is_present(got, g) == !values.empty(), "a median of no values is null");
    if (values.empty()) return;
    const double cell = got.f64().values[g];
    const auto nan = std::find_if(values.begin(), values.end(), [](long double x) { return std::isnan(x); });
    if (nan != values.end()) return require(std::isnan(cell), "a median over a NaN is NaN");
    std::sort(values.begin(), values.end());
    const long double lower = values[(values.size() - 1) / 2], upper = values[values.size() / 2];
    const long double expected = lower / 2 + upper / 2;
    // Middle values of infinities: an infinity, or NaN for -inf and inf.
    if (!std::isfinite(expected)) return require(std::isnan(expected) ? std::isnan(cell) : cell == expected, "the median");
    require(std::fabs(cell - expected) <= std::ldexp(std::fabs(expected), -52) + std::numeric_limits<double>::denorm_min(),
            "the median");
}

// The value column of an aggregation against its expected cells.
void check_values(const ColumnValues& got, const ExpectedAggregate& expected, std::size_t aggregation) {
    require(got.dtype() == expected.dtype, "the aggregate's dtype");
    const std::size_t count = got.length();
    if (expected.float_values.empty()) {
        for (std::size_t g = 0; g < count; ++g) require(cell_key(got, g) == expected.cells[g], "the aggregate");
        return;
    }
    for (std::size_t g = 0; g < count; ++g) {
        const std::vector<long double>& members = expected.float_values[g];
        if (aggregation == index_of<Median>) {
            check_median(got, g, members);
            continue;
        }
        if (aggregation == index_of<Var> || aggregation == index_of<Std>) {
            check_spread(got, g, members, aggregation == index_of<Std>);
            continue;
        }
        const bool mean = aggregation == index_of<Mean>;
        require(is_present(got, g) == (!mean || !members.empty()), "a mean of no values is null");
        if (!is_present(got, g)) continue;
        const std::vector<double> doubles(members.begin(), members.end());  // f64 cells: exact
        check_float_total(got.f64().values[g], doubles, mean ? static_cast<double>(members.size()) : 1.0);
    }
}

// An aggregate frame: the key columns with each group's first row, then the value column
// (none when count() finds both of its names taken by keys).
void check_aggregate(const Frame& made, const Grouping& grouping, const std::optional<std::string>& value_name) {
    check_frame(made);
    require(!made.selection && made.height == grouping.group_count(), "one row per group, no selection");
    require(made.columns.size() == grouping.keys.size() + (value_name ? 1 : 0), "keys, then the value");
    for (std::size_t k = 0; k < grouping.keys.size(); ++k) {
        require(made.columns[k].name == grouping.keys[k], "the keys in their order");
        const ColumnValues* source = column_of(grouping.frame, grouping.keys[k]);
        for (std::size_t g = 0; g < made.height; ++g) {
            require(same_cell(*made.columns[k].values, g, *source, grouping.first_rows[g]),
                    "a key shows the group's first row");
        }
    }
    if (value_name) require(made.columns.back().name == *value_name, "the value column's name");
}

// The same aggregations in one call, with a count among them: the specs' errors, by position,
// or the same columns.
void check_specs(const Grouping& grouping, std::vector<AggregationSpec> specs,
                 std::vector<ExpectedAggregate> expected, Decoder& decode) {
    const std::size_t counted = decode.choice(static_cast<unsigned>(specs.size()));
    specs.insert(specs.begin() + counted, {"#", "count", std::nullopt});
    expected.insert(expected.begin() + counted, ExpectedAggregate{});
    std::string error;
    // Within a spec, as for one aggregation: its column's errors, then its name.
    for (std::size_t i = 0; i < specs.size() && error.empty(); ++i) {
        if (!expected[i].overflow) error = expected[i].error;
        if (error.empty() && std::find(grouping.keys.begin(), grouping.keys.end(), specs[i].name) != grouping.keys.end()) {
            error = "column " + quoted_form(specs[i].name) + " is a key of this grouping";
        }
        if (!error.empty()) error = "spec " + std::to_string(i) + ": " + error;
    }
    for (std::size_t i = 0; i < specs.size() && error.empty(); ++i) {
        if (expected[i].overflow) error = "spec " + std::to_string(i) + ": " + expected[i].error;
    }
    const Result<Frame> made = aggregate_specs(grouping, specs);
    require(outcome(made) == (error.empty() ? "ok" : error), "the first failing spec, checks before overflows");
    if (!made) return;
    check_frame(*made);
    require(made->columns.size() == grouping.keys.size() + specs.size(), "the keys, then a column per spec");
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const Column& column = made->columns[grouping.keys.size() + i];
        require(column.name == specs[i].name, "each spec names its column");
        if (specs[i].operation == "count") {
            for (std::size_t g = 0; g < grouping.group_count(); ++g) {
                require(column.values->i64().values[g] == grouping.sizes[g], "count gives the group sizes");
            }
            continue;
        }
        const auto which = static_cast<std::size_t>(
            std::find(aggregates::names.begin(), aggregates::names.end(), specs[i].operation) - aggregates::names.begin());
        check_values(*column.values, expected[i], which);
    }
}

Frame step_group(const Frame& frame, Decoder& decode) {
    const std::vector<std::string> keys = decode.names(frame, 2);
    const Result<Grouping> grouped = group(frame, keys);
    require(outcome(grouped) == select_outcome(frame, keys), "group resolves its keys as select does");
    if (!grouped) return frame;
    const Grouping& grouping = *grouped;
    std::vector<const ColumnValues*> key_values;
    for (const std::string& key : keys) key_values.push_back(column_of(frame, key));
    const std::vector<std::uint32_t> groups = group_numbers(frame, key_values);
    require(std::ranges::equal(grouping.group_of_row, groups), "rows join the group of their key, in order of first appearance");
    const std::size_t count = grouping.group_count();
    require(count == (groups.empty() ? 0 : *std::max_element(groups.begin(), groups.end()) + 1), "the group count");
    require(grouping.sizes.size() == count, "a size per group");
    const std::vector<std::uint32_t> rows = physical_rows(frame);
    std::vector<std::uint32_t> sizes(count, 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (sizes[groups[r]]++ == 0) require(grouping.first_rows[groups[r]] == rows[r], "a group's first row");
    }
    require(std::ranges::equal(grouping.sizes, sizes), "group sizes count their rows");

    const bool count_key = std::find(keys.begin(), keys.end(), "count") != keys.end();
    const bool len_key = std::find(keys.begin(), keys.end(), "len") != keys.end();
    std::optional<std::string> count_name;
    if (!count_key) count_name = "count";
    else if (!len_key) count_name = "len";
    const Frame counted = count_rows(grouping);
    check_aggregate(counted, grouping, count_name);
    for (std::size_t g = 0; g < count && count_name; ++g) {
        require(counted.columns.back().values->i64().values[g] == sizes[g], "count gives the group sizes");
    }
    Frame last = counted;
    std::vector<AggregationSpec> specs;
    std::vector<ExpectedAggregate> spec_values;
    for (unsigned more = decode.choice(3); more > 0; --more) {
        const std::string name = decode.name(frame);
        const auto aggregation = decode.choice(aggregates::count - 1);
        specs.push_back({"=" + std::to_string(specs.size()), std::string(aggregates::names[aggregation]), name});
        spec_values.push_back(expected_values(grouping, groups, name, aggregation));
        const ExpectedAggregate expected = expected_aggregate(grouping, groups, name, aggregation);
        const Result<Frame> made = aggregate(grouping, name, aggregation);
        if (!expected.error.empty()) {
            require(outcome(made) == expected.error, "the aggregation's error, in order of precedence");
            continue;
        }
        require(made.ok(), "the aggregation succeeds");
        check_aggregate(*made, grouping, name);
        check_values(*made->columns.back().values, expected, aggregation);
        last = *made;
    }
    check_specs(grouping, specs, spec_values, decode);
    return decode.flag() ? last : frame;
}

// Cells for a new column of about the frame's height; sometimes of another length.
Cells new_cells(const Frame& frame, Decoder& decode) {
    std::size_t count = frame.height;
    if (decode.choice(7) == 0) count = decode.flag() ? count + 1 : count - (count != 0);
    if (frame.columns.empty() && decode.flag()) count = decode.row_count();
    return decode.cells(static_cast<DType>(decode.choice(2)), count);
}

void step_add_column(Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    Cells cells = new_cells(frame, decode);
    const std::uint64_t count = std::visit([](const auto& c) { return c.size(); }, cells);
    const Frame before = frame;
    const Fingerprint shown(frame);
    const ValuesRef added = make_values(cells);
    const Result<void> done = add_column(frame, name, std::move(cells));
    std::string expected = "ok";
    if (column_of(before, name)) {
        expected = "the frame has a column " + quoted_form(name) + " already";
    } else if (!before.columns.empty() && count != before.height) {
        expected = "column " + quoted_form(name) + " has " + std::to_string(count) + " values; the frame has " +
                   std::to_string(before.height) + " rows";
    }
    require(outcome(done) == expected, "add_column checks the name, then the length");
    require(!frame.selection, "adding writes the frame out");
    if (!done) return require(Fingerprint(frame) == shown, "a failed add leaves the frame as it was");
    Frame without = frame;
    without.columns.pop_back();
    // The first column of a frame without columns sets its height.
    if (!before.columns.empty()) require(Fingerprint(without) == shown, "the old columns keep their cells and order");
    require(frame.columns.back().name == name && frame.height == count, "the new column comes last");
    for (std::size_t r = 0; r < count; ++r) {
        require(same_cell(*frame.columns.back().values, r, *added, r), "the new column's cells");
    }
}

void step_date_part(Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const std::string source = decode.name(frame);
    const std::string part = decode.part();
    const Fingerprint shown(frame);
    const ColumnValues* values = column_of(frame, source);
    std::string expected = "ok";
    std::vector<std::string> cells;
    if (part != "year" && part != "month" && part != "day") {
        expected = "part " + quoted_form(part) + ": give \"year\", \"month\" or \"day\"";
    } else if (!values) {
        expected = lookup_error(frame, source);
    } else if (values->dtype() != DType::str) {
        expected = "column " + quoted_form(source) + " is " + std::string(dtype_name(values->dtype())) + ", not str";
    } else {
        const std::vector<std::uint32_t> rows = physical_rows(frame);
        for (std::size_t r = 0; r < rows.size() && expected == "ok"; ++r) {
            if (!is_present(*values, rows[r])) {
                cells.push_back("-");
            } else if (const std::optional<Date> date = date_of(values->str().at(rows[r]))) {
                cells.push_back("i" + std::to_string(part == "year" ? date->year : part == "month" ? date->month : date->day));
            } else {
                expected = "column " + quoted_form(source) + ", row " + std::to_string(r) + ": " +
                           quoted_form(values->str().at(rows[r])) + " is not a YYYY-MM-DD date";
            }
        }
        if (expected == "ok" && column_of(frame, name)) expected = "the frame has a column " + quoted_form(name) + " already";
    }
    const Result<void> done = add_date_part(frame, name, source, part);
    require(outcome(done) == expected, "add_date_part checks part, source, dtype, dates, name in turn");
    if (!done) return require(Fingerprint(frame) == shown, "a failed add leaves the frame as it was");
    require(logical_cells(frame, *frame.columns.back().values) == cells, "the date parts");
}

// to_csv, then read_csv: the same frame, but for what the text cannot carry.
Frame step_csv_round_trip(const Frame& frame) {
    const TextBuffer text = to_csv(frame);
    const std::string_view written = text.view();
    require(!written.empty() && written.back() == '\n', "the last line ends with LF");
    const Result<Frame> back = read_csv(written);
    if (frame.columns.empty()) {
        require(outcome(back) == "no header line", "a frame without columns writes only empty lines");
        return frame;
    }
    // The reader drops a leading byte-order mark, so a first name that begins with one is quoted.
    require(!written.starts_with("\xEF\xBB\xBF"), "no byte-order mark begins the text");
    std::vector<std::string> names = column_names(frame);
    const std::vector<std::string> order = names;
    std::sort(names.begin(), names.end());
    const auto repeat = std::adjacent_find(names.begin(), names.end());
    if (repeat != names.end()) {
        require(!back.ok() && back.error().message.starts_with("the frame has a column "), "a name repeats");
        return frame;
    }
    require(back.ok(), "the written text reads back");
    require(column_names(*back) == order, "the same names");
    // A single column's null rows are blank lines, which the reader skips.
    std::vector<std::uint32_t> rows = physical_rows(frame);
    if (frame.columns.size() == 1) {
        std::erase_if(rows, [&](std::uint32_t row) { return !is_present(*frame.columns[0].values, row); });
    }
    require(back->height == rows.size(), "the same rows");
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
        const ColumnValues& wrote = *frame.columns[i].values;
        const ColumnValues& read = *back->columns[i].values;
        bool values = false, nan_or_inf = false;
        for (const std::uint32_t row : rows) {
            values |= is_present(wrote, row);
            if (wrote.dtype() == DType::f64 && is_present(wrote, row)) {
                const double x = wrote.f64().values[row];
                nan_or_inf |= std::isnan(x) || x == INFINITY;
            }
        }
        if (nan_or_inf) {
            require(read.dtype() == DType::str, "nan and inf read back as text");
            continue;
        }
        require(read.dtype() == (values ? wrote.dtype() : DType::i64), "the same dtype, i64 without values");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            require(same_cell(read, r, wrote, rows[r]) || (!values && !is_present(read, r)), "the same cells");
        }
    }
    return *back;
}

Frame step_materialize(const Frame& frame) {
    const Frame made = materialize(frame);
    require(!made.selection && Fingerprint(made) == Fingerprint(frame), "materialize keeps every cell in order");
    return made;
}

Frame step_read_column(const Frame& frame, Decoder& decode) {
    const std::string name = decode.name(frame);
    const auto wanted = static_cast<DType>(decode.choice(2));
    const ColumnValues* values = column_of(frame, name);
    const Result<ValuesRef> read = read_column(frame, name, wanted);
    if (!values) {
        require(outcome(read) == lookup_error(frame, name), "a missing column is reported");
    } else if (values->dtype() != wanted) {
        require(outcome(read) == "column " + quoted_form(name) + " is " + std::string(dtype_name(values->dtype())) +
                                     ", not " + std::string(dtype_name(wanted)),
                "reading refuses another dtype");
    } else {
        require(read.ok() && (*read)->length() == frame.height, "a column reads as height cells");
        for (std::size_t r = 0; r < frame.height; ++r) {
            require(same_cell(**read, r, *values, frame.physical_row(r)), "read in logical order");
        }
    }
    return frame;
}

}  // namespace
}  // namespace quorvel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::fuzz;
    FuzzedDataProvider input(data, size);
    Decoder decode(input);
    Frame frame = decode.frame();
    History history;
    for (int step = 0; step < 12 && !decode.done(); ++step) {
        check_frame(frame);
        history.keep(frame);
        switch (decode.choice(18)) {
            case 0: frame = step_head_or_tail(frame, decode); break;
            case 1: frame = step_select(frame, decode); break;
            case 2: frame = step_compare(frame, decode); break;
            case 3: frame = step_among(frame, decode); break;
            case 4: frame = step_in(frame, decode); break;
            case 5: frame = step_sort(frame, decode); break;
            case 6: frame = step_group(frame, decode); break;
            case 7: step_add_column(frame, decode); break;
            case 8: step_date_part(frame, decode); break;
            case 9: frame = step_csv_round_trip(frame); break;
            case 10: frame = step_materialize(frame); break;
            case 11: frame = step_read_column(frame, decode); break;
            case 12: frame = step_null(frame, decode); break;
            case 13: frame = step_text(frame, decode); break;
            case 14: frame = step_sort_by(frame, decode); break;
            case 15: frame = step_unique(frame, decode); break;
            case 16: frame = step_rename(frame, decode); break;
            case 17: frame = step_concat(frame, decode, history); break;
            case 18: frame = step_join(frame, decode, history); break;
        }
    }
    check_frame(frame);
    history.check();
    return 0;
}
