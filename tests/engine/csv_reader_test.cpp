#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <string>
#include <vector>

#include "csv/reader.hpp"
#include "engine/quoted.hpp"
#include "repr/float_text.hpp"

namespace quorvel::engine {
namespace {

// A frame as one line: each column as name:dtype[cells], nulls as null, texts in quoted form.
std::string render(const Frame& frame) {
    std::string out;
    for (const Column& column : frame.columns) {
        if (!out.empty()) out += ' ';
        const ColumnValues& values = *column.values;
        out += column.name + ":" + std::string(dtype_name(values.dtype())) + "[";
        for (std::size_t row = 0; row < values.length(); ++row) {
            if (row != 0) out += ',';
            std::visit(
                [&](const auto& cells) {
                    using C = std::decay_t<decltype(cells)>;
                    if (!cells.is_present(row)) {
                        out += "null";
                    } else if constexpr (std::is_same_v<C, StrCells>) {
                        out += quoted_form(cells.at(row));
                    } else if constexpr (std::is_same_v<C, F64Cells>) {
                        out += float_text(cells.values[row]);
                    } else {
                        out += std::to_string(cells.values[row]);
                    }
                },
                values.cells());
        }
        out += ']';
    }
    return out;
}

// The rendered frame, or "error: " and the message.
std::string read(std::string_view text) {
    const Result<Frame> frame = read_csv(text);
    if (!frame) return "error: " + frame.error().message;
    EXPECT_FALSE(frame->selection);
    for (const Column& column : frame->columns) EXPECT_EQ(column.values->length(), frame->height);
    return render(*frame);
}

struct Case {
    std::string text;
    std::string expected;
};

void expect_all(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(read(c.text), c.expected) << quoted_form(c.text);
}

TEST(ReadCsv, LineEndsAndBlankLines) {
    const std::string ab = "a:i64[1,3] b:i64[2,4]";
    expect_all({
        {"a,b\n1,2\n3,4\n", ab},
        {"a,b\r\n1,2\r\n3,4\r\n", ab},
        {"a,b\r1,2\r3,4\r", ab},
        {"a,b\n1,2\n3,4", ab},
        {"a,b\r\n1,2\n3,4\r", ab},
        {"\n\r\n\ra,b\n\n1,2\r\n\r\n3,4\n\n\n", ab},
        {"a\n\n\n1\n\n", "a:i64[1]"},
        {"a,b\n", "a:i64[] b:i64[]"},
        {"a", "a:i64[]"},
        {"\"\"\n1\n", ":i64[1]"},
        {"a,b\n1,\n", "a:i64[1] b:i64[null]"},
        {"a,b\n1,", "a:i64[1] b:i64[null]"},
        {"a,b\n,\n,\n", "a:i64[null,null] b:i64[null,null]"},
        {"a,b,c\n,,\n", "a:i64[null] b:i64[null] c:i64[null]"},
    });
}

TEST(ReadCsv, TypesEachColumnByItsNarrowestDtype) {
    expect_all({
        {"a\n1\n2.5\n", "a:f64[1.0,2.5]"},
        {"a\n1\nx\n", "a:str[\"1\",\"x\"]"},
        {"a\n-0\n0.5\n", "a:f64[-0.0,0.5]"},
        {"a\n-0\n+0\n", "a:i64[0,0]"},
        {"a\n9223372036854775807\n", "a:i64[9223372036854775807]"},
        {"a\n9223372036854775808\n", "a:f64[9.223372036854776e+18]"},
        {"a\n-9223372036854775808\n", "a:i64[-9223372036854775808]"},
        {"a\n007\n1.50\nabc\n", "a:str[\"007\",\"1.50\",\"abc\"]"},
        {"a\n\"1\"\n2\n", "a:str[\"1\",\"2\"]"},
        {"a\n1\n\"2\"\n", "a:str[\"1\",\"2\"]"},
        {"a,b\n,1\n\"\",2\n", "a:str[null,\"\"] b:i64[1,2]"},
        {"x\ninf\n", "x:str[\"inf\"]"},
        {"x\n-inf\n", "x:f64[-inf]"},
        {"x\n+Infinity\n-NaN\n1\n", "x:f64[inf,nan,1.0]"},
        {"x\n2e1\n", "x:f64[20.0]"},
        {"x\n.5\n5.\n", "x:f64[0.5,5.0]"},
        {"x\n.\n", "x:str[\".\"]"},
        {"x\n 1\n", "x:str[\" 1\"]"},
        {"x\n1 \n", "x:str[\"1 \"]"},
        {"x\n1e400\n-1e-400\n", "x:f64[inf,-0.0]"},
        {"x,y\n1,\n,2.5\n3,\n", "x:i64[1,null,3] y:f64[null,2.5,null]"},
        {"x,y\n1,\n,b\n,\n", "x:i64[1,null,null] y:str[null,\"b\",null]"},
    });
}

TEST(ReadCsv, QuotedFields) {
    expect_all({
        {"a\n\"say \"\"hi\"\"\"\n", "a:str[\"say \\\"hi\\\"\"]"},
        {"a\n\"\"\"\"\n", "a:str[\"\\\"\"]"},
        {"a,b\n\"x,y\",1\n", "a:str[\"x,y\"] b:i64[1]"},
        {"a,b\n\"x\ny\",1\n", "a:str[\"x\\ny\"] b:i64[1]"},
        {"a,b\n\"x\r\ny\",1\n", "a:str[\"x\\r\\ny\"] b:i64[1]"},
        {"a\nx\"y\"\n", "a:str[\"x\\\"y\\\"\"]"},  // quotes inside an unquoted field are text
        {"\"a,\"\"b\"\"\",\"\"\"\"\n1,2\n", "a,\"b\":i64[1] \":i64[2]"},
        {"a\n\"x\"", "a:str[\"x\"]"},
        {"a,b\n\"x\",\"\"", "a:str[\"x\"] b:str[\"\"]"},
        {"a\n\"\"\n", "a:str[\"\"]"},  // a quoted empty field is a value, not a blank line
    });
}

TEST(ReadCsv, ByteOrderMarkIsDroppedOnlyAtTheStart) {
    expect_all({
        {"\xEF\xBB\xBF" "a\n1\n", "a:i64[1]"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "a\n1\n", "\xEF\xBB\xBF" "a:i64[1]"},
        {"a\n\xEF\xBB\xBF" "1\n", "a:str[\"\\u{feff}1\"]"},
        {"\n\xEF\xBB\xBF" "a\n1\n", "\xEF\xBB\xBF" "a:i64[1]"},
    });
}

TEST(ReadCsv, ReportsTheFirstProblemWithItsLine) {
    expect_all({
        {"", "error: no header line"},
        {"\n\n", "error: no header line"},
        {"\r\n\r", "error: no header line"},
        {"\xEF\xBB\xBF", "error: no header line"},
        {"a,b\n\"x\ny\",1\n2,3,4\n", "error: line 4: 3 fields; the header has 2"},
        {"a\n\"x\"y\n", "error: line 2: text after a closing quote"},
        {"a\n\"x\n", "error: line 2: a quoted field is never closed"},
        {"a\n\"x\"\"\n", "error: line 2: a quoted field is never closed"},
        {"a\n\"x\"\"", "error: line 2: a quoted field is never closed"},
        {"a\n\"", "error: line 2: a quoted field is never closed"},
        {"a\n1\n\"x\n\n\n", "error: line 3: a quoted field is never closed"},
        {"a,b\n1\n\"x\"y,2\n", "error: line 3: text after a closing quote"},
        {"a,b\n1\n1,2,3\n", "error: line 2: 1 fields; the header has 2"},
        {"a,b\n1,2\n\n\n1,2,3\n4\n", "error: line 5: 3 fields; the header has 2"},
        // The line of a text after a quote counts the LFs inside the record's quoted fields.
        {"a,b\n\"x\n\ny\",\"z\nw\"q\n", "error: line 5: text after a closing quote"},
        // A CR inside quotes is not a line; outside quotes it ends one.
        {"a\r\"x\ry\"q\n", "error: line 2: text after a closing quote"},
        {"a\r1\r1,2\r", "error: line 3: 2 fields; the header has 1"},
        {"a,a\n1,2\n", "error: the frame has a column \"a\" already"},
        {",\n1,2\n", "error: the frame has a column \"\" already"},
        {"a,a\n1,2,3\n", "error: line 2: 3 fields; the header has 2"},
        {"a,a\n1,2\n\"", "error: line 3: a quoted field is never closed"},
    });
}

// Columns are typed batch by batch; a column that widens late must hold the same cells as if
// it had been typed in one go.
TEST(ReadCsv, ColumnsWidenAfterManyRows) {
    const int rows = 50000;
    std::string ints = "i,f,s,n\n";
    std::string expect_i, expect_f, expect_s, expect_n;
    for (int row = 0; row < rows; ++row) {
        const bool last = row == rows - 1;
        std::string value = row == 1 ? "-0" : row % 7 == 0 ? "" : "0";
        if (value == "0") value += std::to_string(row);
        const std::string i = last ? "2.5" : value;
        const std::string s = last ? "\"t\"\"x\"" : value;
        const std::string n = row % 3 == 0 ? "" : std::to_string(row);
        ints += i + "," + value + "," + s + "," + n + "\n";
        if (row != 0) {
            expect_i += ',';
            expect_f += ',';
            expect_s += ',';
            expect_n += ',';
        }
        expect_i += i.empty() ? "null" : last ? "2.5" : row == 1 ? "-0.0" : std::to_string(row) + ".0";
        expect_f += value.empty() ? "null" : row == 1 ? "0" : std::to_string(row);
        expect_s += s.empty() ? "null" : last ? quoted_form("t\"x") : quoted_form(s);
        expect_n += n.empty() ? "null" : n;
    }
    const std::string rendered = read(ints);
    const std::string expected = "i:f64[" + expect_i + "]";
    ASSERT_EQ(rendered.substr(0, expected.size()), expected);
    EXPECT_NE(rendered.find(" f:i64[" + expect_f + "]"), std::string::npos);
    EXPECT_NE(rendered.find(" s:str[" + expect_s + "]"), std::string::npos);
    EXPECT_NE(rendered.find(" n:i64[" + expect_n + "]"), std::string::npos);
}

// Long fields cross the 64-byte blocks the separators are searched in.
TEST(ReadCsv, FieldsOfEveryLengthAroundBlockEdges) {
    std::string text = "a,b\n";
    std::string expected_a, expected_b;
    for (int length = 0; length < 200; ++length) {
        std::string a(static_cast<std::size_t>(length) + 1, 'y');
        a.front() = 'x';
        const std::string b = std::string(static_cast<std::size_t>(length % 70), 'z') + "\"";
        text += a + ",\"" + std::string(static_cast<std::size_t>(length % 70), 'z') + "\"\"\"" +
                (length % 2 ? "\r\n" : "\n");
        if (length != 0) {
            expected_a += ',';
            expected_b += ',';
        }
        expected_a += quoted_form(a);
        expected_b += quoted_form(b);
    }
    EXPECT_EQ(read(text), "a:str[" + expected_a + "] b:str[" + expected_b + "]");
}

TEST(ReadCsv, RefusesTextOver4GB) {
    const std::size_t size = (std::size_t{1} << 32) + 1;
    void* pages = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    const std::string_view text(static_cast<const char*>(pages), size - 1);
    EXPECT_EQ(read(text), "error: the text is over 4 GB");
    munmap(pages, size);
}

}  // namespace
}  // namespace quorvel::engine
