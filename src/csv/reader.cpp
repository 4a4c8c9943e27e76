#include "reader.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "column_typing.hpp"
#include "field_table.hpp"
#include "tokenizer.hpp"

namespace quorvel::engine {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Columns are typed every this many fields, while the batch's text and field positions are
// still in cache.
constexpr std::size_t fields_per_batch = std::size_t{1} << 14;

// The reader's working state: the header, the field positions of the accepted records and
// the columns being built from them.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text), tokenizer_(text) {}

    Result<Frame> read() {
        while (!tokenizer_.at_end()) {
            const std::size_t record = records_.size();
            Result<void> read = tokenizer_.read_record(records_);
            if (!read) return std::move(read).error();
            take_record(record);
        }
        if (!header_) return EngineError{"no header line"};
        if (pending_error_) return std::move(*pending_error_);
        type_rows();
        Frame frame;
        for (std::size_t column = 0; column < header_->size(); ++column) {
            Result<void> added =
                add_column(frame, (*header_)[column], std::move(builders_[column]).finish(rows_));
            if (!added) return std::move(added).error();
        }
        return frame;
    }

private:
    // Handles the record that starts at records_[record]: skips it when blank, takes it as
    // the header when there is none yet, keeps it as a data row when its field count is the
    // header's, and drops it otherwise, noting the first such record's error.
    void take_record(std::size_t record) {
        const std::size_t count = records_.size() - record - 1;
        const bool blank = count == 1 && records_[record] == records_[record + 1];
        if (blank) {
            records_.resize(record);
            return;
        }
        if (!header_) {
            take_header(record, count);
            return;
        }
        if (count != header_->size()) {
            if (!pending_error_) {
                pending_error_ = EngineError{"line " + std::to_string(tokenizer_.record_line()) + ": " +
                                             std::to_string(count) + " fields; the header has " +
                                             std::to_string(header_->size())};
            }
            records_.resize(record);
            return;
        }
        ++rows_;
        if ((rows_ - typed_rows_) * count >= fields_per_batch) type_rows();
    }

    void take_header(std::size_t record, std::size_t count) {
        const FieldTable fields{text_.data(), records_.data() + record, count};
        header_.emplace(count);
        for (std::size_t column = 0; column < count; ++column) {
            append_field_text(fields.raw(0, column), (*header_)[column]);
        }
        builders_.resize(count);
        records_.resize(record);
    }

    // Types the rows read since the last batch, column by column.
    void type_rows() {
        if (pending_error_) return;  // the frame will not be built
        const FieldTable fields{text_.data(), records_.data(), header_->size()};
        for (std::size_t column = 0; column < builders_.size(); ++column) {
            builders_[column].add_rows(fields, column, typed_rows_, rows_);
        }
        typed_rows_ = rows_;
    }

    std::string_view text_;
    Tokenizer tokenizer_;
    std::vector<std::uint32_t> records_;
    std::optional<std::vector<std::string>> header_;
    std::optional<EngineError> pending_error_;
    std::vector<ColumnBuilder> builders_;
    std::size_t rows_ = 0;
    std::size_t typed_rows_ = 0;
};

}  // namespace

Result<Frame> read_csv(std::string_view text) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) return EngineError{"the text is over 4 GB"};
    return Reader(text).read();
}

}  // namespace quorvel::engine
