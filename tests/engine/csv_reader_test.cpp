#include <gtest/gtest.h>
#include <sys/mman.h>

#include <string>
#include <tuple>
#include <vector>

#include "csv/reader.hpp"
#include "engine/quoted.hpp"
#include "number_text/float_text.hpp"

namespace quorvel::csv {
namespace {

using namespace engine;
using namespace number_text;

// The frame as one line, name:dtype[cells] per column, or "error: " and the message.
std::string read(std::string_view text) {
    const Result<Frame> frame = read_csv(text);
    if (!frame) return "error: " + frame.error().message;
    std::string out;
    for (const Column& column : frame->columns) {
        EXPECT_EQ(column.values->length(), frame->height);
        if (!out.empty()) out += ' ';
        out += column.name;
        out += ':';
        out += dtype_name(column.values->dtype());
        out += '[';
        std::visit(
            [&](const auto& cells) {
                for (std::size_t row = 0; row < cells.size(); ++row) {
                    if (row != 0) out += ',';
                    if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, StrCells>) {
                        out += cells.is_present(row) ? quoted_form(cells.at(row)) : "null";
                    } else if constexpr (std::is_same_v<std::decay_t<decltype(cells)>, F64Cells>) {
                        out += cells.is_present(row) ? float_text(cells.values[row]) : "null";
                    } else {
                        out += cells.is_present(row) ? std::to_string(cells.values[row]) : "null";
                    }
                }
            },
            column.values->cells());
        out += ']';
    }
    return out;
}

void expect_all(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [text, expected] : cases) EXPECT_EQ(read(text), expected) << quoted_form(text);
}

TEST(ReadCsv, RecordsLinesAndTypes) {
    expect_all({
        {"a,b\n1,2\n3,4\n", "a:i64[1,3] b:i64[2,4]"},
        {"\r\n\ra,b\r\n1,2\r\n\n3,4\r", "a:i64[1,3] b:i64[2,4]"},
        {"a\n\n\n1\n\n", "a:i64[1]"},
        {"a,b\n", "a:i64[] b:i64[]"},
        {"a,b\n1,", "a:i64[1] b:i64[null]"},
        {"a,b\n,\n", "a:i64[null] b:i64[null]"},
        {"a\n1\n2.5\n", "a:f64[1.0,2.5]"},
        {"a\n-0\n0.5\n", "a:f64[-0.0,0.5]"},
        {"a\n007\n1.50\nabc\n", "a:str[\"007\",\"1.50\",\"abc\"]"},
        {"a\n9223372036854775808\n-9223372036854775808\n", "a:f64[9.223372036854776e+18,-9.223372036854776e+18]"},
        {"x\ninf\n", "x:str[\"inf\"]"},
        {"x\n-inf\n+NaN\n.5\n5.\n", "x:f64[-inf,nan,0.5,5.0]"},
        {"x\n.\n 1\n", "x:str[\".\",\" 1\"]"},
        {"x,y\n1,\n,2.5\n", "x:i64[1,null] y:f64[null,2.5]"},
    });
}

TEST(ReadCsv, QuotedFieldsAreText) {
    expect_all({
        {"a\n\"1\"\n2\n", "a:str[\"1\",\"2\"]"},
        {"a,b\n,1\n\"\",2\n", "a:str[null,\"\"] b:i64[1,2]"},
        {"a\n\"say \"\"hi\"\"\"\n", "a:str[\"say \\\"hi\\\"\"]"},
        {"a,b\n\"x,\r\ny\",1\n", "a:str[\"x,\\r\\ny\"] b:i64[1]"},
        {"a\nx\"y\"\n", "a:str[\"x\\\"y\\\"\"]"},
        {"\"a,\"\"b\"\"\",\"\"\n1,2\n", "a,\"b\":i64[1] :i64[2]"},
        {"a\n\"\"", "a:str[\"\"]"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" "a\n\xEF\xBB\xBF\n", "\xEF\xBB\xBF" "a:str[\"\\u{feff}\"]"},
    });
}

TEST(ReadCsv, ReportsTheFirstProblemWithItsLine) {
    expect_all({
        {"", "error: no header line"},
        {"\r\n\n", "error: no header line"},
        {"\xEF\xBB\xBF", "error: no header line"},
        {"a,b\n\"x\ny\",1\n2,3,4\n", "error: line 4: 3 fields; the header has 2"},
        {"a\n\"x\"y\n", "error: line 2: text after a closing quote"},
        {"a,b\n\"x\n\ny\",\"z\nw\"q\n", "error: line 5: text after a closing quote"},
        {"a\r\"x\ry\"q\n", "error: line 2: text after a closing quote"},
        {"a\n\"x\n", "error: line 2: a quoted field is never closed"},
        {"a\n\"x\"\"", "error: line 2: a quoted field is never closed"},
        {"a\n1\n\"", "error: line 3: a quoted field is never closed"},
        {"a,b\n1\n\"x\"y,2\n", "error: line 3: text after a closing quote"},
        {"a,b\n1,2\n\n\n1,2,3\n4\n", "error: line 5: 3 fields; the header has 2"},
        {"a\r1\r1,2\r", "error: line 3: 2 fields; the header has 1"},
        {"a\r\n1\r\n1,2\r\n", "error: line 3: 2 fields; the header has 1"},
        {",\n1,2\n", "error: the frame has a column \"\" already"},
        {"a,a\n1,2,3\n", "error: line 2: 3 fields; the header has 2"},
    });
}

// Columns are typed batch by batch; one that widens late must come out as if typed at once:
// to f64 keeping a -0 as -0.0, to str (by a second reading) keeping every text and null.
TEST(ReadCsv, ColumnsWidenAfterManyRows) {
    std::string text = "f,s,n\n";
    std::string f = "f:f64[", s = " s:str[", n = " n:i64[";
    const int rows = 30000;
    for (int row = 0; row < rows; ++row) {
        const bool last = row == rows - 1;
        const std::string number = std::to_string(row);
        const std::string value = row == 1 ? "-0" : row % 7 == 0 ? "" : std::string(1, '0') + number;
        text += last ? "2.5" : value;
        text += ',';
        text += last ? "\"t\"" : value;
        text += row % 3 ? ",\n" : ",1\n";
        if (row != 0) f += ',', s += ',', n += ',';
        f += last ? "2.5" : value.empty() ? "null" : row == 1 ? "-0.0" : number + ".0";
        s += last ? "\"t\"" : value.empty() ? "null" : quoted_form(value);
        n += row % 3 ? "null" : "1";
    }
    EXPECT_EQ(read(text), f + "]" + s + "]" + n + "]");
}

// Separators are found 64 bytes at a time: a CR LF, a quoted field holding separators, and an
// empty field at each place around the end of such a block read as anywhere else.
TEST(ReadCsv, RecordsAcrossBlocksOf64Bytes) {
    for (std::size_t pad = 1; pad < 80; ++pad) {
        const std::string word(pad, 'x');
        const std::string text = "a,b\r\n" + word + ",1\r\n\"q,\r\n\"\"\",\r\n,3\r\n" + word + ",\n";
        const std::string expected = "a:str[" + quoted_form(word) + ",\"q,\\r\\n\\\"\",null," + quoted_form(word) +
                                     "] b:i64[1,null,3,null]";
        EXPECT_EQ(read(text), expected) << pad;
    }
}

// Quoted fields are searched and copied 8 bytes at a time: a doubled quote at each place of
// a word, and a field ending at each place, inside the text and at its very end.
TEST(ReadCsv, DoubledQuotesAtEveryPlaceOfAWord) {
    for (std::size_t before = 0; before < 18; ++before) {
        for (std::size_t after = 0; after < 10; after += 3) {
            const std::string first(before, 'x'), second(after, 'y');
            const std::string field = "\"" + first + "\"\"" + second + "\n\"";
            const std::string cell = quoted_form(first + "\"" + second + "\n");
            EXPECT_EQ(read("a,b\n" + field + ",1\n" + field + ",2\n"), "a:str[" + cell + "," + cell + "] b:i64[1,2]");
            EXPECT_EQ(read("a\n" + field), "a:str[" + cell + "]");
        }
    }
}

// Records of LF lines without quotes are read from whole blocks of separators; any other
// record stops that and is read alone. The same records with CR LF ends are all read alone:
// both texts must give the same frame, or the same error, whatever stands where. The rows
// vary in length so that separators and line ends fall at every place of a block, and they
// span many batches.
TEST(ReadCsv, PlainRecordsReadAsRecordsEndedByCarriageReturns) {
    const auto text_of = [](int rows, const std::string& last, int odd_row, const std::string& odd,
                            const std::string& line_end) {
        std::string text = "a,b,c" + line_end;
        for (int row = 0; row < rows; ++row) {
            if (row == odd_row) {
                text += odd + line_end;
                continue;
            }
            text += std::to_string(row) + ',' + std::string(static_cast<std::size_t>(row % 67), 'x') + ',';
            if (row % 5 != 0) text += std::to_string(row * 7);
            text += line_end;
        }
        return text + last;
    };
    // (what stands in one row, the last line without its end, how the frame must begin)
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"", "", "a:i64[0,1,2,"},
        {"7,\"q,\"\"\",", "", "a:i64[0,1,2,"},
        {"\"7\",y,1", "9,z,", "a:str[\"0\",\"1\",\"2\","},
        {"", "1,,", "a:i64[0,1,2,"},
        {"1,2", "", "error: line 2998: 2 fields; the header has 3"},
        {"1,2,3,4", "", "error: line 2998: 4 fields; the header has 3"},
        {"1,2,3,", "1,2", "error: line 2998: 4 fields; the header has 3"},
        {"1,\"2\"x,3", "", "error: line 2998: text after a closing quote"},
        {"2.5,,", "4,5,6", "a:f64[0.0,1.0,2.0,"},
    };
    for (const auto& [odd, last, begins] : cases) {
        for (const int rows : {0, 1, 2, 40000}) {
            const int odd_row = rows == 40000 ? 2996 : 0;
            const std::string plain = read(text_of(rows, last, odd_row, odd, "\n"));
            EXPECT_EQ(plain, read(text_of(rows, last, odd_row, odd, "\r\n"))) << odd << " " << rows;
            if (rows == 40000) {
                EXPECT_EQ(plain.substr(0, begins.size()), begins) << odd;
            }
        }
    }
}

// Quoted fields are read from whole blocks too, by the parity of the quotes before each
// byte: in every row here, with commas, doubled quotes and nothing at all inside, so that
// quotes open and close at every place of a block and across blocks. A quote out of place,
// an LF inside quotes or a field never closed, in one row shifted to every place of a block,
// is left to the record-by-record reading. The same records with CR LF ends are all read
// that way: both must agree.
TEST(ReadCsv, QuotedFieldsReadAsRecordsEndedByCarriageReturns) {
    const auto text_of = [](const std::string& odd, const std::string& line_end) {
        std::string text = "a,b,c" + line_end;
        for (int row = 0; row < 1500; ++row) {
            if (row == 1234) {
                text += odd + line_end;
                continue;
            }
            std::string inside(static_cast<std::size_t>(row % 71), 'x');
            for (std::size_t i = 3; i < inside.size(); i += 7 + row % 5) inside[i] = row % 2 == 0 ? ',' : '"';
            std::string quoted;
            for (const char c : inside) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            const std::string field = "\"" + quoted + "\"";
            switch (row % 3) {
                case 0: text += std::to_string(row) + "," + field + ",\"\""; break;
                case 1: text += field + "," + std::to_string(row) + ","; break;
                default: text += "," + field + "," + field; break;
            }
            text += line_end;
        }
        return text;
    };
    // (the odd row after its first field's padding, how the frame must begin)
    const std::pair<std::string, std::string> cases[] = {
        {",2,3", "a:str["},
        {",\"x\ny\",3", "a:str["},
        {",\"x\"y,3", "error: line 1236: text after a closing quote"},
        {",\"x\",y", "a:str["},
        {",x\"y\",3", "a:str["},
        {",x\"y,z\",3", "error: line 1236: 4 fields; the header has 3"},
        // Closed by the next row's first quote, which text follows.
        {",2,\"3", "error: line 1237: text after a closing quote"},
        {",\"\"\"\",", "a:str["},
        {",\"2\",\"3\"\"", "error: line 1237: text after a closing quote"},
    };
    for (const auto& [odd, begins] : cases) {
        for (std::size_t pad = 0; pad < 64; ++pad) {
            const std::string row = std::string(pad, 'p') + odd;
            const std::string plain = read(text_of(row, "\n"));
            ASSERT_EQ(plain, read(text_of(row, "\r\n"))) << row;
            ASSERT_EQ(plain.substr(0, begins.size()), begins) << row;
        }
    }
}

// Blank lines are skipped wherever they stand among plain records, but a one-column record
// may itself look blank: such records are always read alone.
TEST(ReadCsv, BlankLinesAmongPlainRecords) {
    for (std::size_t pad = 0; pad < 70; ++pad) {
        const std::string word(pad, 'w');
        const std::string text = "a,b\n1," + word + "\n\n2,\n\n\n3," + word + "\n";
        const std::string b = pad == 0 ? "i64[null,null,null]" : "str[" + quoted_form(word) + ",null," + quoted_form(word) + "]";
        EXPECT_EQ(read(text), "a:i64[1,2,3] b:" + b) << pad;
        EXPECT_EQ(read("a\n1\n" + std::string(pad, '\n') + "2\n"), "a:i64[1,2]") << pad;
    }
}

TEST(ReadCsv, RefusesTextOver4GB) {
    const std::size_t size = (std::size_t{1} << 32) + 1;
    void* pages = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    EXPECT_EQ(read(std::string_view(static_cast<const char*>(pages), size - 1)), "error: the text is over 4 GB");
    munmap(pages, size);
}

}  // namespace
}  // namespace quorvel::csv
