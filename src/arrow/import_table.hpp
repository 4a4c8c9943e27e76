#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arrow/c_data_interface.hpp"
#include "engine/frame.hpp"
#include "engine/result.hpp"

namespace quorvel::arrow {

// Why Arrow data could not be read: a type that no dtype holds (`type`), data that breaks the
// interface's rules, holds text that is not UTF-8 or comes from a producer that failed
// (`value`), or columns that make no frame, such as repeated names (`frame`: the engine's own
// error).
struct ImportFailure {
    enum class Kind : std::uint8_t { type, value, frame };
    Kind kind = Kind::value;
    std::string message;
};

// A frame read from Arrow data, or why none was.
struct Imported {
    std::optional<engine::Frame> frame;
    ImportFailure failure;
};

class ColumnImport;

// Reads Arrow data into new columns: `start` with the schema, `append` each batch (a struct
// array of that schema), then `finish`. Every cell is copied; nothing of the producer's
// memory is kept. What the interface lets an importer check is checked (types, buffer
// counts, lengths and offsets, dictionary indices, UTF-8); the sizes of the buffers behind
// the pointers it does not tell, so those are trusted.
class TableImport {
public:
    TableImport();
    ~TableImport();
    TableImport(const TableImport&) = delete;
    TableImport& operator=(const TableImport&) = delete;

    // Each returns false after recording the failure.
    bool start(const ArrowSchema& schema);
    bool append(const ArrowArray& batch);

    // The frame of the columns read; repeated names are the engine's error.
    engine::Result<engine::Frame> finish();

    const ImportFailure& failure() const { return failure_; }

private:
    bool fail(ImportFailure::Kind kind, std::string message);

    std::vector<std::unique_ptr<ColumnImport>> columns_;
    std::uint64_t rows_ = 0;
    ImportFailure failure_;
};

// Reads every batch of a stream. The caller keeps ownership of the stream and releases it.
Imported import_stream(ArrowArrayStream& stream);

// Reads one struct array of `schema`; the caller releases both.
Imported import_array(const ArrowSchema& schema, const ArrowArray& array);

}  // namespace quorvel::arrow
