#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "csv/reader.hpp"
#include "csv/writer.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::csv {
namespace {

using namespace engine;
using namespace engine::testing;

constexpr double inf = std::numeric_limits<double>::infinity();

using Ints = std::vector<std::optional<std::int64_t>>;
using Floats = std::vector<std::optional<double>>;
using Texts = std::vector<std::optional<std::string>>;

std::string csv(const Frame& frame) { return std::string(to_csv(frame).view()); }

TEST(ToCsv, ShapesAndSelections) {
    EXPECT_EQ(csv(Frame{}), "\n");
    EXPECT_EQ(csv(frame_of({{"a", int_cells(Ints{})}, {"b", text_cells(Texts{})}})), "a,b\n");
    const Frame frame = frame_of({{"a", int_cells(Ints{10, 20, std::nullopt})},
                                  {"b", text_cells(Texts{"x", "y", "z"})}});
    EXPECT_EQ(csv(*select(frame, {})), "\n\n\n\n");
    EXPECT_EQ(csv(take_rows(frame, {2, 0, 0})), "a,b\n,z\n10,x\n10,x\n");
}

TEST(ToCsv, WritesEachDtypeAndNullsAsNothing) {
    const Frame frame = frame_of({
        {"1", int_cells(Ints{1, std::nullopt, std::numeric_limits<std::int64_t>::min()})},
        {"", text_cells(Texts{"x", std::nullopt, ""})},
        {"a,b", float_cells(Floats{2.5, -0.0, std::nullopt})},
        {" q\"", float_cells(Floats{NAN, inf, -inf})},
    });
    EXPECT_EQ(csv(frame), "1,\"\",\"a,b\",\" q\"\"\"\n1,x,2.5,nan\n,,-0.0,inf\n-9223372036854775808,\"\",,-inf\n");
}

TEST(ToCsv, QuotesTextsTheReaderWouldMisread) {
    const std::pair<std::string, std::string> cases[] = {
        {"12", "\"12\""}, {"-3.5", "\"-3.5\""}, {"1e5", "\"1e5\""}, {"+inf", "\"+inf\""}, {".5", "\".5\""},
        {"inf", "inf"}, {"nan", "nan"}, {"1 ", "1 "}, {"-", "-"}, {"2024-01-02", "2024-01-02"},
        {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"cr\r", "\"cr\r\""}, {"\tlead", "\"\tlead\""},
        {"\x0b" "vt", "\"\x0b" "vt\""}, {"trail ", "trail "},
        {"\xC2\xA0nbsp", "\"\xC2\xA0nbsp\""}, {"\xC2\x85nel", "\"\xC2\x85nel\""},
        {"\xE1\x9A\x80ogham", "\"\xE1\x9A\x80ogham\""}, {"\xE2\x80\x8Ahair", "\"\xE2\x80\x8Ahair\""},
        {"\xE2\x80\x8Bzwsp", "\xE2\x80\x8Bzwsp"}, {"\xE2\x80\xA9ps", "\"\xE2\x80\xA9ps\""},
        {"\xE2\x80\xAFnnbsp", "\"\xE2\x80\xAFnnbsp\""}, {"\xE2\x81\x9Fmmsp", "\"\xE2\x81\x9Fmmsp\""},
        {"\xE3\x80\x80ideo", "\"\xE3\x80\x80ideo\""}, {"\xEF\xBB\xBF" "bom", "\xEF\xBB\xBF" "bom"},
        // Long texts are searched 8 bytes at a time, then byte by byte.
        {"a text of some length without any", "a text of some length without any"},
        {"abcdefgh\"ijklmnop", "\"abcdefgh\"\"ijklmnop\""}, {"abcdefghijklmno,", "\"abcdefghijklmno,\""},
        {"abcdefghijklm\rnopq", "\"abcdefghijklm\rnopq\""}, {"abcdefg\n", "\"abcdefg\n\""},
        {"abcdefghijklmnopq,", "\"abcdefghijklmnopq,\""},
    };
    for (const auto& [text, written] : cases) {
        EXPECT_EQ(csv(frame_of({{"t", text_cells(Texts{text})}})), "t\n" + written + "\n") << text;
    }
}

// Texts are copied 8 bytes at a time, the last word read whole while it lies within the
// column's bytes: what follows a text there (here commas, quotes and line ends) never makes
// it quoted, and a special byte in the last word of a text always does.
// The reader drops U+FEFF at the start of a text as a byte-order mark: a first name that
// begins with it is quoted, so that it reads back whole and the header stays a header.
TEST(ToCsv, QuotesAFirstNameThatBeginsWithAByteOrderMark) {
    const std::string mark = "\xEF\xBB\xBF";
    const Frame frame = frame_of({{mark, int_cells(Ints{1, 2})}, {mark + "b", int_cells(Ints{3, 4})}});
    EXPECT_EQ(csv(frame), "\"" + mark + "\"," + mark + "b\n1,3\n2,4\n");
    const Result<Frame> back = read_csv(csv(frame));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(column_names(*back), (std::vector<std::string>{mark, mark + "b"}));
    EXPECT_EQ(back->height, 2u);
}

TEST(ToCsv, TextsCopiedByWordsStopAtTheirEnd) {
    const Frame frame = frame_of({{"t", text_cells(Texts{"ab", ",\"\n\r,,,,,,,,", "abcdefgh", "abcdefghi,",
                                                               "x", "abcdefg\"", "abcdefghijklmnopq"})}});
    EXPECT_EQ(csv(frame),
              "t\nab\n\",\"\"\n\r,,,,,,,,\"\nabcdefgh\n\"abcdefghi,\"\nx\n\"abcdefg\"\"\"\nabcdefghijklmnopq\n");
}

// Quoted texts are written 8 bytes at a time, each quote written again after it: a quote at
// each place of a word, in a text followed by others in the column and in the last one.
TEST(ToCsv, QuotesDoubledAtEveryPlaceOfAWord) {
    Texts texts;
    std::string expected = "t\n";
    for (std::size_t before = 0; before < 18; ++before) {
        const std::string text = std::string(before, 'x') + "\"," + std::string(before % 5, 'y') + "\"";
        texts.push_back(text);
        expected += "\"" + std::string(before, 'x') + "\"\"," + std::string(before % 5, 'y') + "\"\"\"\n";
    }
    EXPECT_EQ(csv(frame_of({{"t", text_cells(texts)}})), expected);
}

}  // namespace
}  // namespace quorvel::csv
