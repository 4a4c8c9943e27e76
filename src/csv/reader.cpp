#include "csv/reader.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "csv/column_typing.hpp"
#include "csv/field_table.hpp"
#include "csv/tokenizer.hpp"

namespace quorvel::csv {

using engine::EngineError;
using engine::Frame;
using engine::Result;
using engine::ValuesRef;
namespace {

// Data rows are handed over in batches of about this many fields, typed while their text
// and field positions are still in cache, and then the positions are dropped: the reader
// holds one batch of positions whatever the size of the text.
constexpr std::size_t fields_per_batch = std::size_t{1} << 14;

constexpr std::size_t rows_per_batch(std::size_t columns) { return (fields_per_batch + columns - 1) / columns; }

// Whole blocks of plain records are tried again only after this many records read one at a
// time, once they have given fewer than few_plain_records: trying costs a block's scan.
constexpr std::size_t few_plain_records = 4;
constexpr std::size_t pause_after_few = 64;

// Consecutive data rows: their fields, the row number of the first, and how far into the
// text the tokenizer has come.
struct Batch {
    FieldTable fields;
    std::size_t first_row;
    std::size_t rows;
    std::size_t text_read;
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    Result<Frame> read() {
        Result<void> tokenized = tokenize([&](const Batch& batch) {
            if (pending_error_) return;  // no frame will be built
            for (std::size_t column = 0; column < builders_.size(); ++column) {
                builders_[column].add_rows(batch.fields, column, batch.first_row, batch.rows);
            }
            // When the first batch is the whole text there is nothing more to make room for, and
            // an estimate's slack would stay in every column of a small but wide text.
            if (batch.first_row == 0 && batch.text_read < text_.size()) {
                for (ColumnBuilder& builder : builders_) builder.reserve(estimated_rows(batch));
            }
        });
        QUORVEL_RETURN_IF_ERROR(tokenized);
        if (!header_) return EngineError{"no header line"};
        if (pending_error_) return std::move(*pending_error_);
        read_texts_again();

        std::vector<ValuesRef> values;
        values.reserve(builders_.size());
        for (ColumnBuilder& builder : builders_) values.push_back(engine::make_values(std::move(builder).finish(rows_)));
        builders_ = {};
        return engine::frame_of_columns(std::move(*header_), std::move(values));
    }

private:
    // Reads the text record by record. Blank records are skipped; the first other record is
    // the header, kept the first time through; records with the header's field count are
    // handed to `on_batch` a batch at a time; any other record sets the pending error.
    template <class OnBatch>
    Result<void> tokenize(OnBatch&& on_batch) {
        Tokenizer tokenizer(text_);
        const char* const text_end = text_.data() + text_.size();
        FieldPositions records;
        bool header_seen = false;
        std::size_t rows = 0;
        std::size_t batch_rows = 0;
        const auto hand_over = [&] {
            if (batch_rows == 0) return;
            on_batch(Batch{{text_.data(), text_end, records.data(), header_->size()}, rows - batch_rows, batch_rows,
                           tokenizer.position()});
            records.truncate(0);
            batch_rows = 0;
        };
        // Records one at a time before whole blocks are tried again, after blocks gave few.
        std::size_t one_by_one = 0;
        while (!tokenizer.at_end()) {
            if (header_seen && one_by_one == 0) {
                const std::size_t wanted = rows_per_batch(header_->size()) - batch_rows;
                const std::size_t plain = tokenizer.read_plain_records(records, header_->size(), wanted);
                rows += plain;
                batch_rows += plain;
                if (plain >= wanted) {
                    hand_over();
                    continue;
                }
                // CRs, quoted LFs or stray quotes every few records: the blocks are left to
                // read_record a while.
                if (plain < few_plain_records) one_by_one = pause_after_few;
                if (tokenizer.at_end()) break;
            }
            if (one_by_one != 0) --one_by_one;
            const std::size_t record = records.size();
            if (!tokenizer.read_record(records)) return std::move(tokenizer).error();
            const std::size_t count = records.size() - record - 1;
            const bool blank = count == 1 && records.data()[record] == records.data()[record + 1];
            if (!blank && header_seen && count == header_->size()) {
                ++rows;
                if (++batch_rows >= rows_per_batch(count)) hand_over();
                continue;
            }
            if (blank) {
                // Skipped; it has still counted as a line.
            } else if (!header_seen) {
                header_seen = true;
                if (!header_) take_header(FieldTable{text_.data(), text_end, records.data() + record, count});
            } else if (!pending_error_) {
                pending_error_ = EngineError{"line " + std::to_string(tokenizer.record_line()) + ": " +
                                             std::to_string(count) + " fields; the header has " +
                                             std::to_string(header_->size())};
            }
            records.truncate(record);
        }
        hand_over();
        rows_ = rows;
        return {};
    }

    void take_header(const FieldTable& record) {
        header_.emplace(record.columns);
        for (std::size_t column = 0; column < record.columns; ++column) {
            const std::string_view raw = record.raw(0, column);
            std::string& name = (*header_)[column];
            name.resize(raw.size());
            name.resize(static_cast<std::size_t>(write_field_text(raw, name.data()) - name.data()));
        }
        builders_.resize(record.columns);
    }

    // Columns that became str after their first batch take their texts from a second reading
    // of the text, which cannot fail where the first did not.
    void read_texts_again() {
        std::vector<std::size_t> columns;
        for (std::size_t column = 0; column < builders_.size(); ++column) {
            if (builders_[column].needs_second_pass()) columns.push_back(column);
        }
        if (columns.empty()) return;
        Result<void> tokenized = tokenize([&](const Batch& batch) {
            for (const std::size_t column : columns) {
                builders_[column].add_texts(batch.fields, column, batch.first_row, batch.rows);
                if (batch.first_row == 0) builders_[column].reserve(rows_);
            }
        });
        (void)tokenized;
    }

    // The rows of the whole text, judged by the first batch.
    std::size_t estimated_rows(const Batch& first) const {
        const double rows = static_cast<double>(first.rows) * static_cast<double>(text_.size()) /
                            static_cast<double>(first.text_read);
        return static_cast<std::size_t>(rows * 1.02) + 16;
    }

    std::string_view text_;
    std::optional<std::vector<std::string>> header_;
    std::optional<EngineError> pending_error_;
    std::vector<ColumnBuilder> builders_;
    std::size_t rows_ = 0;
};

}  // namespace

Result<Frame> read_csv(std::string_view text) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) return EngineError{"the text is over 4 GB"};
    return Reader(text).read();
}

}  // namespace quorvel::csv
