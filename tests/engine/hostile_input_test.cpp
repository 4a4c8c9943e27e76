// CSV text built to hurt: very deep quoting, millions of columns or blank lines, one huge
// field, odd line ends, bytes that are not UTF-8, NUL bytes. Each must give the right frame
// or the designed error, in time and memory that grow linearly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "csv/reader.hpp"
#include "csv/writer.hpp"
#include "engine/date_parts.hpp"
#include "engine/quoted.hpp"
#include "engine/slicing.hpp"
#include "frames.hpp"

namespace quorvel::engine {
namespace {

using namespace testing;
using csv::read_csv;
using csv::to_csv;

// Under AddressSanitizer every allocation and every byte costs several times more; the
// large cases shrink there so that the sanitized suite stays quick.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t scale = 10;
#else
constexpr std::size_t scale = 1;
#endif

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

template <class T>
std::string outcome_of(const Result<T>& result) {
    return result ? "ok" : result.error().message;
}

std::string error_of(std::string_view text) { return outcome_of(read_csv(text)); }

// A frame read from `text` that must read without error.
Frame read_ok(std::string_view text) {
    Result<Frame> frame = read_csv(text);
    EXPECT_TRUE(frame.ok()) << frame.error().message;
    return frame ? std::move(frame).value() : Frame{};
}

// Whether to_csv writes exactly `text` (compared in place: the texts may be large).
bool writes(const Frame& frame, std::string_view text) { return to_csv(frame).view() == text; }

// Distinct short names: a, b, ..., z, ba, bb, ... (the digits of i in base 26).
std::string short_name(std::size_t i) {
    std::string name;
    do {
        name.insert(name.begin(), static_cast<char>('a' + i % 26));
        i /= 26;
    } while (i != 0);
    return name;
}

TEST(HostileCsv, DeepQuoting) {
    const std::size_t pairs = 1'000'000;
    const std::string quotes = repeat("\"\"", pairs);
    const std::string text = "a\n\"" + quotes + "\"\n";
    const Frame frame = read_ok(text);
    EXPECT_TRUE(texts_of(frame, "a") == std::vector<Text>{std::string(pairs, '"')});
    EXPECT_TRUE(writes(frame, text));

    EXPECT_EQ(error_of("a\n\"" + quotes + "\n"), "line 2: a quoted field is never closed");
    EXPECT_EQ(error_of("a\n\"" + quotes + "\"x\n"), "line 2: text after a closing quote");
    EXPECT_EQ(error_of("a\n\"" + quotes), "line 2: a quoted field is never closed");

    // As a header name, shown in a message with every quote escaped.
    const Frame named = read_ok("\"" + quotes + "\"\n1\n");
    ASSERT_EQ(named.columns.size(), 1u);
    EXPECT_TRUE(named.columns[0].name == std::string(pairs, '"'));
    const Result<Frame> missing = select(named, {"b"});
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error().message == "no column \"b\" (the frame has \"" + repeat("\\\"", pairs) + "\")");
}

TEST(HostileCsv, LineFeedsInsideQuotedFieldsCountAsLines) {
    const std::size_t records = 200'000 / scale;
    const std::string text = "a\n" + repeat("\"x\ny\"\n", records) + "1,2\n";
    EXPECT_EQ(error_of(text), "line " + std::to_string(2 * records + 2) + ": 2 fields; the header has 1");
}

TEST(HostileCsv, MillionsOfColumns) {
    const std::size_t width = 1'000'000 / scale;
    std::string header, row;
    for (std::size_t i = 0; i < width; ++i) {
        if (i != 0) header += ',', row += ',';
        header += short_name(i);
        row += static_cast<char>('0' + i % 10);
    }
    const std::string text = header + "\n" + row + "\n" + row + "\n";
    {
        const Frame frame = read_ok(text);
        ASSERT_EQ(frame.columns.size(), width);
        EXPECT_EQ(frame.height, 2u);
        for (const std::size_t i : {std::size_t{0}, width / 2, width - 1}) {
            EXPECT_EQ(frame.columns[i].name, short_name(i));
            const auto digit = static_cast<std::int64_t>(i % 10);
            EXPECT_EQ(ints_of(frame, short_name(i)), (std::vector<Int>{digit, digit}));
        }
        EXPECT_TRUE(writes(frame, text));

        // Selecting every column, last first, and then one more: each name is found by hash.
        std::vector<std::string> names = column_names(frame);
        std::reverse(names.begin(), names.end());
        const Result<Frame> reversed = select(frame, names);
        ASSERT_TRUE(reversed.ok());
        EXPECT_EQ(reversed->columns.front().name, short_name(width - 1));
        EXPECT_EQ(reversed->columns.back().values.get(), frame.columns.front().values.get());
        names.push_back(short_name(width / 2));
        EXPECT_EQ(outcome_of(select(frame, names)), "column " + quoted_form(short_name(width / 2)) + " selected twice");
    }
    // The first repeated name is reported, however far in.
    EXPECT_EQ(error_of(header + "," + short_name(width / 3) + ",x\n"),
              "the frame has a column " + quoted_form(short_name(width / 3)) + " already");
    EXPECT_EQ(error_of(header + "\n" + row + "\n" + row + ",0\n"),
              "line 3: " + std::to_string(width + 1) + " fields; the header has " + std::to_string(width));
}

TEST(HostileCsv, OneHugeField) {
    const std::size_t size = 100'000'000 / scale;
    {
        const std::string text = "a\n" + std::string(size, 'x') + "\n";
        const Frame frame = read_ok(text);
        ASSERT_EQ(frame.height, 1u);
        EXPECT_EQ(frame.columns[0].values->str().at(0).size(), size);
        EXPECT_TRUE(writes(frame, text));
    }
    {
        // Quoted, with a comma and a line feed every 1000 bytes; the short record after it
        // is reported on the right line.
        std::string field(size, 'y');
        for (std::size_t at = 500; at < size; at += 1000) field[at] = at % 2000 == 500 ? ',' : '\n';
        const std::size_t line_feeds = static_cast<std::size_t>(std::count(field.begin(), field.end(), '\n'));
        const std::string text = "a,b\n\"" + field + "\",1\n2\n";
        EXPECT_EQ(error_of(text), "line " + std::to_string(line_feeds + 3) + ": 1 fields; the header has 2");
        const Frame frame = read_ok("a,b\n\"" + field + "\",1\n");
        EXPECT_TRUE(frame.columns[0].values->str().at(0) == field);
    }
}

TEST(HostileCsv, MillionsOfBlankLines) {
    const std::size_t blanks = 3'000'000 / scale;
    for (const std::string_view end : {"\n", "\r", "\r\n"}) {
        const std::string run = repeat(end, blanks);
        const std::string start = run + "a,b" + std::string(end) + run + "1,2" + std::string(end) + run;
        EXPECT_EQ(error_of(start + "3" + std::string(end)),
                  "line " + std::to_string(3 * blanks + 3) + ": 1 fields; the header has 2")
            << quoted_form(end);
        const Frame frame = read_ok(start + "3,4" + std::string(end) + run);
        EXPECT_EQ(ints_of(frame, "b"), (std::vector<Int>{2, 4})) << quoted_form(end);
        EXPECT_EQ(error_of(run), "no header line") << quoted_form(end);
    }
}

// Line ends of every kind in one text: the records and the line numbers of errors.
TEST(HostileCsv, MixedLineEnds) {
    const struct {
        std::string_view text;
        std::string_view outcome;  // the cells of column b, or the error
    } cases[] = {
        {"a,b\r1,2\n3,4\r\n5,6", "2 4 6"},
        {"a,b\r\r\n\n\r1,2\r", "2"},
        {"a,b\n\r\r\n1,2\n", "2"},
        // A CR inside quotes is content and no line; an LF inside quotes is a line.
        {"a,b\r\"x\ry\",1\r2\r", "line 3: 1 fields; the header has 2"},
        {"a,b\r\"x\ny\",1\r2\r", "line 4: 1 fields; the header has 2"},
        {"a,b\r\n\"x\r\n\",1\r\n\"z\"q,2\r\n", "line 4: text after a closing quote"},
        {"a,b\r1,\"2\r", "line 2: a quoted field is never closed"},
        {"a,b\r\n1,2\r\n\r\n3\n", "line 4: 1 fields; the header has 2"},
    };
    for (const auto& c : cases) {
        const Result<Frame> frame = read_csv(c.text);
        std::string outcome;
        if (!frame) {
            outcome = frame.error().message;
        } else {
            for (const Int& cell : ints_of(*frame, "b")) {
                if (!outcome.empty()) outcome += ' ';
                outcome += std::to_string(*cell);
            }
        }
        EXPECT_EQ(outcome, c.outcome) << quoted_form(c.text);
    }
}

// Bytes that are not UTF-8 are kept as they are, written back unchanged, and shown by their
// value in messages.
TEST(HostileCsv, BytesThatAreNotUtf8) {
    const struct {
        std::string_view bytes;
        std::string_view quoted;
    } cases[] = {
        {"\xFF", "\"\\x{ff}\""},
        {"caf\xE9", "\"caf\\x{e9}\""},
        {"\x80x", "\"\\x{80}x\""},
        {"\xC0\x80", "\"\\x{c0}\\x{80}\""},                    // an overlong NUL
        {"\xED\xA0\x80", "\"\\x{ed}\\x{a0}\\x{80}\""},         // an encoded surrogate
        {"\xF4\x90\x80\x80", "\"\\x{f4}\\x{90}\\x{80}\\x{80}\""},  // beyond U+10FFFF
        {"\xE2\x82", "\"\\x{e2}\\x{82}\""},                    // cut short at the end
        {"\xE2\x82z\xC3\xA9", "\"\\x{e2}\\x{82}z\xC3\xA9\""},  // cut short, then valid
    };
    for (const auto& c : cases) {
        const std::string bytes(c.bytes);
        EXPECT_EQ(quoted_form(bytes), c.quoted);
        const std::string text = bytes + ",d\n" + bytes + ",\"" + bytes + "\"\n";
        Frame frame = read_ok(text);
        ASSERT_EQ(frame.columns.size(), 2u) << c.quoted;
        EXPECT_EQ(frame.columns[0].name, bytes);
        EXPECT_EQ(texts_of(frame, bytes), std::vector<Text>{bytes});
        EXPECT_EQ(texts_of(frame, "d"), std::vector<Text>{bytes});
        EXPECT_TRUE(writes(frame, bytes + ",d\n" + bytes + "," + bytes + "\n")) << c.quoted;
        const Result<void> dated = add_date_part(frame, "y", bytes, "year");
        ASSERT_FALSE(dated.ok());
        EXPECT_EQ(dated.error().message,
                  "column " + std::string(c.quoted) + ", row 0: " + std::string(c.quoted) + " is not a YYYY-MM-DD date");
    }
}

TEST(HostileCsv, NulBytes) {
    using namespace std::string_literals;
    const Frame frame = read_ok("\0a,b\n\0,x\0y\n\0\0,\"\0\"\n"s);
    EXPECT_EQ(column_names(frame), (std::vector<std::string>{"\0a"s, "b"}));
    EXPECT_EQ(texts_of(frame, "\0a"s), (std::vector<Text>{"\0"s, "\0\0"s}));
    EXPECT_EQ(texts_of(frame, "b"), (std::vector<Text>{"x\0y"s, "\0"s}));
    EXPECT_TRUE(writes(frame, "\0a,b\n\0,x\0y\n\0\0,\0\n"s));
    EXPECT_EQ(quoted_form("x\0y"s), "\"x\\0y\"");
    EXPECT_EQ(error_of("\0\0\0"s), "ok");
    EXPECT_EQ(error_of("a\n\"\0\"\0\n"s), "line 2: text after a closing quote");

    // Fields that cross the tokenizer's 64-byte blocks, with NULs about the boundaries; the
    // last block of the text is padded with NULs that must not count as text.
    for (std::size_t lead = 56; lead < 72; ++lead) {
        const std::string field = std::string(lead, 'p') + "\0\0,"s;
        const std::string text = "a,b\n" + field + "\0"s;
        const Frame crossing = read_ok(text);
        EXPECT_EQ(texts_of(crossing, "a"), std::vector<Text>{std::string(lead, 'p') + "\0\0"s}) << lead;
        EXPECT_EQ(texts_of(crossing, "b"), std::vector<Text>{"\0"s}) << lead;
    }
}

}  // namespace
}  // namespace quorvel::engine
