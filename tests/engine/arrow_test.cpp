// Frames through the Arrow C data interface and back: what goes out is what the columns hold,
// every release frees once whatever the order, and malformed arrays are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <string>

#include "arrow/export_stream.hpp"
#include "arrow/import_table.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::arrow {
namespace {

using engine::Frame;
using namespace engine::testing;

Frame sample() {
    Frame frame = frame_of("n", int_cells({1, std::nullopt, -3}));
    EXPECT_TRUE(engine::add_column(frame, "t", text_cells({"a", "", std::nullopt})).ok());
    EXPECT_TRUE(engine::add_column(frame, "x", float_cells({0.5, -0.0, std::nullopt})).ok());
    return frame;
}

ArrowArrayStream stream_of(const Frame& frame) {
    ArrowArrayStream stream{};
    EXPECT_TRUE(export_frame(frame, nullptr, &stream).ok());
    return stream;
}

// Every cell and null flag of two frames, and their names, compared.
void expect_same_cells(const Frame& got, const Frame& want) {
    ASSERT_EQ(engine::column_names(got), engine::column_names(want));
    const Frame a = engine::materialize(got);
    const Frame b = engine::materialize(want);
    for (std::size_t c = 0; c < a.columns.size(); ++c) {
        const engine::ColumnValues& x = *a.columns[c].values;
        const engine::ColumnValues& y = *b.columns[c].values;
        ASSERT_EQ(x.dtype(), y.dtype());
        ASSERT_EQ(x.length(), y.length());
        for (std::size_t r = 0; r < x.length(); ++r) {
            std::visit(
                [&](const auto& cells) {
                    using Cells = std::decay_t<decltype(cells)>;
                    const auto& other = std::get<Cells>(y.cells());
                    ASSERT_EQ(cells.is_present(r), other.is_present(r)) << "column " << c << " row " << r;
                    if (!cells.is_present(r)) return;
                    if constexpr (std::is_same_v<Cells, engine::StrCells>) {
                        EXPECT_EQ(cells.at(r), other.at(r));
                    } else {
                        EXPECT_EQ(std::memcmp(&cells.values[r], &other.values[r], sizeof(cells.values[r])), 0);
                    }
                },
                x.cells());
        }
    }
}

TEST(ArrowExport, ArraysPointAtTheColumnsAndCountTheirNulls) {
    const Frame frame = sample();
    ArrowArrayStream stream = stream_of(frame);
    ArrowSchema schema{};
    ASSERT_EQ(stream.get_schema(&stream, &schema), 0);
    EXPECT_STREQ(schema.format, "+s");
    ASSERT_EQ(schema.n_children, 3);
    EXPECT_STREQ(schema.children[1]->name, "t");
    EXPECT_STREQ(schema.children[1]->format, "U");
    EXPECT_EQ(schema.children[2]->flags, ARROW_FLAG_NULLABLE);
    ArrowArray batch{};
    ASSERT_EQ(stream.get_next(&stream, &batch), 0);
    EXPECT_EQ(batch.length, 3);
    EXPECT_EQ(batch.children[0]->null_count, 1);
    EXPECT_EQ(batch.children[0]->buffers[1], frame.columns[0].values->i64().values.data());
    EXPECT_EQ(batch.children[1]->buffers[2], frame.columns[1].values->str().bytes.data());
    ArrowArray end{};
    ASSERT_EQ(stream.get_next(&stream, &end), 0);
    EXPECT_EQ(end.release, nullptr);
    // The stream goes first, the schema and the batch after it.
    stream.release(&stream);
    schema.release(&schema);
    batch.release(&batch);
}

TEST(ArrowExport, ArraysOutliveTheFrameAndAChildMovedOutIsReleasedAlone) {
    ArrowArray batch{};
    ArrowArray moved{};
    {
        const Frame frame = sample();
        ArrowArrayStream stream = stream_of(frame);
        ASSERT_EQ(stream.get_next(&stream, &batch), 0);
        stream.release(&stream);
    }
    moved = *batch.children[1];
    batch.children[1]->release = nullptr;
    batch.release(&batch);
    ASSERT_EQ(moved.length, 3);
    const auto* offsets = static_cast<const std::uint64_t*>(moved.buffers[1]);
    EXPECT_EQ(std::string(static_cast<const char*>(moved.buffers[2]) + offsets[0], offsets[1] - offsets[0]), "a");
    moved.release(&moved);
}

TEST(ArrowRoundTrip, FramesComeBackCellForCell) {
    Frame long_frame = frame_of("n", int_cells(std::vector<Int>(70'000)));
    std::vector<Text> texts;
    for (int i = 0; i < 70'000; ++i) texts.push_back(i % 7 ? Text(std::to_string(i)) : std::nullopt);
    ASSERT_TRUE(engine::add_column(long_frame, "t", text_cells(texts)).ok());
    engine::RowList reversed(70'000);
    std::iota(reversed.rbegin(), reversed.rend(), 0u);
    const Frame frames[] = {sample(), engine::take_rows(sample(), {2, 0}), long_frame, engine::take_rows(long_frame, reversed)};
    for (const Frame& frame : frames) {
        ArrowArrayStream stream = stream_of(frame);
        Imported imported = import_stream(stream);
        stream.release(&stream);
        ASSERT_TRUE(imported.frame) << imported.failure.message;
        expect_same_cells(*imported.frame, frame);
    }
}

// A mutation of an exported sample and the failure it must give; the sample's own release
// frees what it made, whatever the mutation changed.
struct Malformed {
    const char* what;
    std::function<void(ArrowSchema&, ArrowArray&)> mutate;
    ImportFailure::Kind kind;
    std::string message;
};

// Offsets that the text column is pointed at instead of its own.
const std::int64_t decreasing[] = {0, 1, 0, 0};
const std::int64_t negative[] = {-1, 1, 1, 1};

const Malformed malformed_cases[] = {
    {"not a struct", [](ArrowSchema& s, ArrowArray&) { s.format = "+l"; }, ImportFailure::Kind::type,
     "Arrow data of type list is not a table (a struct of columns)"},
    {"a date column", [](ArrowSchema& s, ArrowArray&) { s.children[0]->format = "tdD"; }, ImportFailure::Kind::type,
     "column \"n\" has Arrow type date32; only integer, float, text and null columns convert"},
    {"a name not UTF-8", [](ArrowSchema& s, ArrowArray&) { s.children[2]->name = "\xff"; }, ImportFailure::Kind::value,
     "the name of field 2 is not UTF-8"},
    {"batch buffers", [](ArrowSchema&, ArrowArray& a) { a.n_buffers = 0; }, ImportFailure::Kind::value,
     "a batch has 0 buffers; a struct array has 1"},
    {"batch width", [](ArrowSchema&, ArrowArray& a) { a.n_children = 2; }, ImportFailure::Kind::value,
     "a batch has 2 columns; the schema has 3"},
    {"batch length", [](ArrowSchema&, ArrowArray& a) { a.length = -1; }, ImportFailure::Kind::value,
     "a batch has a negative or too large length, offset or null count"},
    {"batch offset past its columns", [](ArrowSchema&, ArrowArray& a) { a.offset = 1; }, ImportFailure::Kind::value,
     "column \"n\": the array has 3 rows; its batch needs 4"},
    {"short column", [](ArrowSchema&, ArrowArray& a) { a.children[2]->length = 2; }, ImportFailure::Kind::value,
     "column \"x\": the array has 2 rows; its batch needs 3"},
    {"text buffers", [](ArrowSchema&, ArrowArray& a) { a.children[1]->n_buffers = 2; }, ImportFailure::Kind::value,
     "column \"t\": the array has 2 buffers; its type has 3"},
    {"nulls without flags", [](ArrowSchema&, ArrowArray& a) { a.children[0]->buffers[0] = nullptr; },
     ImportFailure::Kind::value, "column \"n\": a null count of 1 without null flags"},
    {"values missing", [](ArrowSchema&, ArrowArray& a) { a.children[2]->buffers[1] = nullptr; },
     ImportFailure::Kind::value, "column \"x\": the array's values are missing"},
    {"offsets decrease", [](ArrowSchema&, ArrowArray& a) { a.children[1]->buffers[1] = decreasing; },
     ImportFailure::Kind::value, "column \"t\", row 1: the offsets decrease"},
    {"negative offset", [](ArrowSchema&, ArrowArray& a) { a.children[1]->buffers[1] = negative; },
     ImportFailure::Kind::value, "column \"t\", row 0: a negative offset"},
    {"negative null count", [](ArrowSchema&, ArrowArray& a) { a.children[0]->null_count = -2; },
     ImportFailure::Kind::value, "column \"n\": the array has a negative length, offset or null count"},
};

class ArrowImportRefuses : public ::testing::TestWithParam<Malformed> {};

TEST_P(ArrowImportRefuses, MalformedData) {
    const Malformed& bad = GetParam();
    ArrowArrayStream stream = stream_of(sample());
    ArrowSchema schema{};
    ArrowArray batch{};
    ASSERT_EQ(stream.get_schema(&stream, &schema), 0);
    ASSERT_EQ(stream.get_next(&stream, &batch), 0);
    stream.release(&stream);
    bad.mutate(schema, batch);
    const Imported imported = import_array(schema, batch);
    EXPECT_FALSE(imported.frame);
    EXPECT_EQ(imported.failure.kind, bad.kind);
    EXPECT_EQ(imported.failure.message, bad.message);
    schema.release(&schema);
    batch.release(&batch);
}

INSTANTIATE_TEST_SUITE_P(Cases, ArrowImportRefuses, ::testing::ValuesIn(malformed_cases),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// Well-formed UTF-8 by the table of well-formed byte sequences in the Unicode standard: the
// lead byte's range fixes the second byte's range and the number of bytes.
bool well_formed(std::string_view text) {
    struct Form {
        unsigned char lead_low, lead_high, second_low, second_high;
        int length;
    };
    static constexpr Form forms[] = {
        {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const Form* form = std::find_if(std::begin(forms), std::end(forms),
                                        [&](const Form& f) { return byte(i) >= f.lead_low && byte(i) <= f.lead_high; });
        if (form == std::end(forms) || text.size() - i < static_cast<std::size_t>(form->length)) return false;
        for (int k = 1; k < form->length; ++k) {
            const unsigned char low = k == 1 ? form->second_low : 0x80, high = k == 1 ? form->second_high : 0xBF;
            if (byte(i + k) < low || byte(i + k) > high) return false;
        }
        i += static_cast<std::size_t>(form->length);
    }
    return true;
}

// Text arrays damaged at random where the interface lets an importer look (offsets that go
// back or below zero, texts cut inside a character or not UTF-8 at all, null flags with
// known or unknown counts), kept inside their buffers: the import either refuses or gives
// exactly the cells a plain reading of the arrays gives.
TEST(ArrowImport, RandomlyDamagedTextsAreRefusedOrReadExactly) {
    const std::string pieces[] = {"a", "Z", "\xc3\xa9", "\xe6\x97\xa5", "\xf0\x9f\x98\x80", "\x80", "\xc0", "\xff", "\xed\xa0\x80"};
    std::mt19937_64 random(11);
    int refused = 0;
    for (int round = 0; round < 5000; ++round) {
        // Mostly whole characters, cut at their edges in half the rounds.
        std::string data;
        std::vector<std::int32_t> edges = {0};
        while (data.size() < 16) {
            const std::size_t piece = random() % std::size(pieces);
            data += pieces[piece < 5 || random() % 3 == 0 ? piece : 0];
            edges.push_back(static_cast<std::int32_t>(data.size()));
        }
        const bool at_edges = random() % 2;
        const std::size_t rows = random() % 8;
        std::vector<std::int32_t> offsets(rows + 1);
        for (std::int32_t& offset : offsets) {
            offset = at_edges ? edges[random() % edges.size()] : static_cast<std::int32_t>(random() % (data.size() + 1));
            if (random() % 40 == 0) offset = -1 - offset;
        }
        if (random() % 4 != 0) std::sort(offsets.begin(), offsets.end());
        const std::uint8_t bits[2] = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())};
        const bool with_bits = random() % 2;
        const std::int64_t null_count = with_bits ? (random() % 2 ? -1 : 1) : 0;

        const void* buffers[3] = {with_bits ? bits : nullptr, offsets.data(), data.data()};
        ArrowArray column{static_cast<std::int64_t>(rows), null_count, 0, 3, 0, buffers, nullptr, nullptr, nullptr, nullptr};
        ArrowArray* columns[1] = {&column};
        const void* no_flags[1] = {nullptr};
        ArrowArray batch{static_cast<std::int64_t>(rows), 0, 0, 1, 1, no_flags, columns, nullptr, nullptr, nullptr};
        ArrowSchema field{"u", "t", nullptr, ARROW_FLAG_NULLABLE, 0, nullptr, nullptr, nullptr, nullptr};
        ArrowSchema* fields[1] = {&field};
        const ArrowSchema schema{"+s", "", nullptr, 0, 1, fields, nullptr, nullptr, nullptr};

        bool offsets_fine = rows == 0 || offsets[0] >= 0;
        for (std::size_t r = 0; r < rows; ++r) offsets_fine &= offsets[r + 1] >= offsets[r];
        bool texts_fine = offsets_fine;
        std::vector<std::optional<std::string>> cells;
        for (std::size_t r = 0; texts_fine && r < rows; ++r) {
            if (with_bits && !((bits[r / 8] >> (r % 8)) & 1)) {
                cells.emplace_back();
                continue;
            }
            const std::string text = data.substr(static_cast<std::size_t>(offsets[r]), static_cast<std::size_t>(offsets[r + 1] - offsets[r]));
            texts_fine = well_formed(text);
            cells.emplace_back(text);
        }

        const Imported imported = import_array(schema, batch);
        ASSERT_EQ(imported.frame.has_value(), texts_fine) << "round " << round << ": " << imported.failure.message;
        if (!texts_fine) {
            ++refused;
            continue;
        }
        const engine::StrCells& got = imported.frame->columns[0].values->str();
        for (std::size_t r = 0; r < rows; ++r) {
            ASSERT_EQ(got.is_present(r), cells[r].has_value()) << "round " << round << " row " << r;
            if (cells[r]) {
                EXPECT_EQ(got.at(r), *cells[r]) << "round " << round << " row " << r;
            }
        }
    }
    // Both outcomes must be common for the comparison to mean anything.
    EXPECT_GT(refused, 1000);
    EXPECT_LT(refused, 4000);
}

TEST(ArrowImport, AReleasedStreamIsRefused) {
    ArrowArrayStream stream = stream_of(sample());
    stream.release(&stream);
    EXPECT_EQ(import_stream(stream).failure.message, "the Arrow stream is released");
}

}  // namespace
}  // namespace quorvel::arrow
