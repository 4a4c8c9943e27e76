#pragma once

// What the steps of the operations fuzz target share: outcomes as text, the engine's lookup
// errors as the reference words them, and the history of frames that must never change.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/quoted.hpp"
#include "engine/result.hpp"
#include "frame_checks.hpp"

namespace quorvel::fuzz {

// An outcome as text: "ok", or the error message.
template <class T>
std::string outcome(const Result<T>& result) {
    return result ? "ok" : result.error().message;
}

inline std::string lookup_error(const Frame& frame, std::string_view name) {
    std::string names;
    for (const Column& column : frame.columns) names += (names.empty() ? "" : ", ") + quoted_form(column.name);
    return "no column " + quoted_form(name) + " (the frame has " + (names.empty() ? "none" : names) + ")";
}

inline const ColumnValues* column_of(const Frame& frame, std::string_view name) {
    for (const Column& column : frame.columns) {
        if (column.name == name) return column.values.get();
    }
    return nullptr;
}

// What select(names) must give: the first repeated or missing name, in order, fails.
inline std::string select_outcome(const Frame& frame, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::find(names.begin(), names.begin() + i, names[i]) != names.begin() + i) {
            return "column " + quoted_form(names[i]) + " selected twice";
        }
        if (!column_of(frame, names[i])) return lookup_error(frame, names[i]);
    }
    return "ok";
}

// A frame made from `source` by choosing rows: the same columns, sharing their values.
inline void require_same_columns(const Frame& made, const Frame& source) {
    require(made.columns.size() == source.columns.size(), "rows are chosen, columns kept");
    for (std::size_t i = 0; i < made.columns.size(); ++i) {
        require(made.columns[i].name == source.columns[i].name, "the same names");
        require(made.columns[i].values.get() == source.columns[i].values.get(), "column values are shared");
    }
}

inline void require_rows(const Frame& made, const Frame& source, const std::vector<std::uint32_t>& rows) {
    require_same_columns(made, source);
    require(physical_rows(made) == rows, "the rows of the reference, in its order");
}

// Frames met along the chain and what they showed then; none may change later.
class History {
public:
    void keep(const Frame& frame) {
        if (frames_.size() < 32) frames_.push_back({frame, Fingerprint(frame)});
    }
    void check() const {
        for (const auto& [frame, shown] : frames_) require(Fingerprint(frame) == shown, "an earlier frame changed");
    }

private:
    std::vector<std::pair<Frame, Fingerprint>> frames_;
};

}  // namespace quorvel::fuzz
