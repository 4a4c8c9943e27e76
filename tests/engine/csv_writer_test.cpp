#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "csv/reader.hpp"
#include "csv/writer.hpp"
#include "engine/slicing.hpp"

namespace quorvel::engine {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Cells from a list where std::nullopt stands for a null.
template <class Cells, class T>
Cells cells_of(const std::vector<std::optional<T>>& items) {
    Cells cells;
    for (const auto& item : items) {
        if constexpr (std::is_same_v<Cells, StrCells>) {
            cells.push_back(item.value_or(""));
        } else {
            cells.values.push_back(item.value_or(T{}));
        }
    }
    for (std::size_t row = 0; row < items.size(); ++row) {
        if (!items[row]) cells.validity.set_null(row, items.size());
    }
    return cells;
}

using Ints = std::vector<std::optional<std::int64_t>>;
using Floats = std::vector<std::optional<double>>;
using Texts = std::vector<std::optional<std::string>>;

Frame frame_of(std::vector<std::pair<std::string, Cells>> columns) {
    Frame frame;
    for (auto& [name, cells] : columns) EXPECT_TRUE(add_column(frame, name, std::move(cells)).ok()) << name;
    return frame;
}

std::string csv(const Frame& frame) { return std::string(to_csv(frame).view()); }

TEST(ToCsv, ShapesWithoutColumnsOrRows) {
    EXPECT_EQ(csv(Frame{}), "\n");
    const Frame two = frame_of({{"a", cells_of<I64Cells>(Ints{})}, {"b", cells_of<StrCells>(Texts{})}});
    EXPECT_EQ(csv(two), "a,b\n");
    const Frame three_rows = frame_of({{"a", cells_of<I64Cells>(Ints{1, 2, 3})}});
    EXPECT_EQ(csv(*select(three_rows, {})), "\n\n\n\n");
}

TEST(ToCsv, WritesEachDtypeAndNullsAsNothing) {
    const Frame frame = frame_of({
        {"a", cells_of<I64Cells>(Ints{1, std::nullopt, std::numeric_limits<std::int64_t>::min(), 0})},
        {"b", cells_of<StrCells>(Texts{"x", std::nullopt, "", "y z"})},
        {"c", cells_of<F64Cells>(Floats{2.5, -0.0, 1e16, std::nullopt})},
        {"d", cells_of<F64Cells>(Floats{NAN, inf, -inf, 0.1})},
    });
    EXPECT_EQ(csv(frame),
              "a,b,c,d\n"
              "1,x,2.5,nan\n"
              ",,-0.0,inf\n"
              "-9223372036854775808,\"\",1e+16,-inf\n"
              "0,y z,,0.1\n");
}

TEST(ToCsv, QuotesTextsTheReaderWouldMisread) {
    const struct {
        std::string text;
        std::string written;
    } cases[] = {
        {"12", "\"12\""},
        {"-3.5", "\"-3.5\""},
        {"1e5", "\"1e5\""},
        {"+inf", "\"+inf\""},
        {".5", "\".5\""},
        {"-NaN", "\"-NaN\""},
        {"inf", "inf"},
        {"nan", "nan"},
        {"abc", "abc"},
        {"1 ", "1 "},
        {"-", "-"},
        {"2024-01-02", "2024-01-02"},
        {"", "\"\""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"x\"", "\"x\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"cr\r", "\"cr\r\""},
        {" lead", "\" lead\""},
        {"\tlead", "\"\tlead\""},
        {"\x0b" "vt", "\"\x0b" "vt\""},
        {"trail ", "trail "},
        {"\xC2\xA0nbsp", "\"\xC2\xA0nbsp\""},                 // U+00A0
        {"\xC2\x85nel", "\"\xC2\x85nel\""},                   // U+0085
        {"\xE1\x9A\x80ogham", "\"\xE1\x9A\x80ogham\""},       // U+1680
        {"\xE2\x80\x80quad", "\"\xE2\x80\x80quad\""},         // U+2000
        {"\xE2\x80\x8Ahair", "\"\xE2\x80\x8Ahair\""},         // U+200A
        {"\xE2\x80\x8Bzwsp", "\xE2\x80\x8Bzwsp"},             // U+200B is not white space
        {"\xE2\x80\xA8ls", "\"\xE2\x80\xA8ls\""},             // U+2028
        {"\xE2\x80\xAFnnbsp", "\"\xE2\x80\xAFnnbsp\""},       // U+202F
        {"\xE2\x81\x9Fmmsp", "\"\xE2\x81\x9Fmmsp\""},         // U+205F
        {"\xE3\x80\x80ideo", "\"\xE3\x80\x80ideo\""},         // U+3000
        {"\xEF\xBB\xBF" "bom", "\xEF\xBB\xBF" "bom"},         // U+FEFF is not white space
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        // Long texts are searched 8 bytes at a time, then byte by byte.
        {"a text of some length without any", "a text of some length without any"},
        {"abcdefgh\"ijklmnop", "\"abcdefgh\"\"ijklmnop\""},
        {"abcdefghijklmno,", "\"abcdefghijklmno,\""},
        {"abcdefghijklm\rnopq", "\"abcdefghijklm\rnopq\""},
        {"abcdefghijklmnopq\r", "\"abcdefghijklmnopq\r\""},
        {"abcdefg\n", "\"abcdefg\n\""},
    };
    for (const auto& c : cases) {
        const Frame frame = frame_of({{"t", cells_of<StrCells>(Texts{c.text})}});
        EXPECT_EQ(csv(frame), "t\n" + c.written + "\n") << c.text;
    }
}

TEST(ToCsv, QuotesNamesOnlyForSeparatorsQuotesAndSpace) {
    const Frame frame = frame_of({
        {"1", cells_of<I64Cells>(Ints{1})},
        {"", cells_of<I64Cells>(Ints{2})},
        {"a,b", cells_of<I64Cells>(Ints{3})},
        {" x", cells_of<I64Cells>(Ints{4})},
        {"q\"", cells_of<I64Cells>(Ints{5})},
    });
    EXPECT_EQ(csv(frame), "1,\"\",\"a,b\",\" x\",\"q\"\"\"\n1,2,3,4,5\n");
}

TEST(ToCsv, FollowsTheRowSelection) {
    const Frame frame = frame_of({
        {"a", cells_of<I64Cells>(Ints{10, 20, std::nullopt})},
        {"b", cells_of<StrCells>(Texts{"x", "y", "z"})},
    });
    EXPECT_EQ(csv(take_rows(frame, {2, 0, 0})), "a,b\n,z\n10,x\n10,x\n");
    EXPECT_EQ(csv(tail(frame, 1)), "a,b\n,z\n");
}

// Random frames written and read back keep their names, dtypes and cells, except where the
// reader cannot tell them apart (see the checks below).
TEST(ToCsv, ReadsBackAsTheSameFrame) {
    std::mt19937_64 random(99);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::vector<std::string> pieces = {"a", "Z", " ", ",", "\"", "\n", "\r", "1", ".", "-", "e",
                                             "\xC3\xA9", "\xE2\x80\x83", "inf", "nan", "0", "x y", ""};
    for (int round = 0; round < 300; ++round) {
        const std::size_t rows = pick(40);
        Frame frame;
        const std::size_t width = 2 + pick(4);
        for (std::size_t column = 0; column < width; ++column) {
            std::string name = "c";
            name += std::to_string(column) + pieces[pick(pieces.size())];
            Cells cells;
            // The first column always holds a value, so no line is blank.
            const auto null = [&] { return column != 0 && pick(5) == 0; };
            switch (pick(3)) {
                case 0: {
                    Ints values;
                    for (std::size_t row = 0; row < rows; ++row) {
                        values.push_back(null() ? std::nullopt : std::optional(static_cast<std::int64_t>(random())));
                    }
                    cells = cells_of<I64Cells>(values);
                    break;
                }
                case 1: {
                    Floats values;
                    for (std::size_t row = 0; row < rows; ++row) {
                        double x = std::bit_cast<double>(random());
                        if (std::isnan(x) || x == inf) x = pick(2) ? -0.0 : 1e300;
                        values.push_back(null() ? std::nullopt : std::optional(x));
                    }
                    cells = cells_of<F64Cells>(values);
                    break;
                }
                default: {
                    Texts values;
                    for (std::size_t row = 0; row < rows; ++row) {
                        std::string text;
                        for (std::size_t n = pick(5); n > 0; --n) text += pieces[pick(pieces.size())];
                        values.push_back(null() ? std::nullopt : std::optional(text));
                    }
                    cells = cells_of<StrCells>(values);
                }
            }
            ASSERT_TRUE(add_column(frame, name, std::move(cells)).ok());
        }
        const std::string text = csv(frame);
        const Result<Frame> back = read_csv(text);
        ASSERT_TRUE(back.ok()) << back.error().message << "\n" << text;
        ASSERT_EQ(back->height, frame.height) << text;
        ASSERT_EQ(column_names(*back), column_names(frame)) << text;
        for (std::size_t column = 0; column < width; ++column) {
            const ColumnValues& wrote = *frame.columns[column].values;
            const ColumnValues& read = *back->columns[column].values;
            bool any_present = false;
            for (std::size_t row = 0; row < rows; ++row) {
                std::visit([&](const auto& cells) { any_present |= cells.is_present(row); }, wrote.cells());
            }
            if (!any_present) {
                // A column without values reads back as i64 nulls.
                ASSERT_EQ(read.dtype(), DType::i64) << text;
                for (std::size_t row = 0; row < rows; ++row) ASSERT_FALSE(read.i64().is_present(row));
                continue;
            }
            ASSERT_EQ(read.dtype(), wrote.dtype()) << text;
            for (std::size_t row = 0; row < rows; ++row) {
                std::visit(
                    [&](const auto& cells) {
                        using C = std::decay_t<decltype(cells)>;
                        const C& read_cells = std::get<C>(read.cells());
                        ASSERT_EQ(read_cells.is_present(row), cells.is_present(row)) << text;
                        if (!cells.is_present(row)) return;
                        if constexpr (std::is_same_v<C, StrCells>) {
                            ASSERT_EQ(read_cells.at(row), cells.at(row)) << text;
                        } else {
                            ASSERT_EQ(std::bit_cast<std::uint64_t>(read_cells.values[row]),
                                      std::bit_cast<std::uint64_t>(cells.values[row]))
                                << text;
                        }
                    },
                    wrote.cells());
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::engine
