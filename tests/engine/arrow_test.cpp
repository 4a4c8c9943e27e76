// Frames through the Arrow C data interface and back: what goes out is what the columns hold,
// every release frees once whatever the order, and malformed arrays are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <numeric>
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
    std::vector<std::uint32_t> reversed(70'000);
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

TEST(ArrowImport, AReleasedStreamIsRefused) {
    ArrowArrayStream stream = stream_of(sample());
    stream.release(&stream);
    EXPECT_EQ(import_stream(stream).failure.message, "the Arrow stream is released");
}

}  // namespace
}  // namespace quorvel::arrow
