#include "engine/summaries.hpp"

namespace quorvel::engine {

std::string frame_text(const Frame& frame) {
    std::string text = "Frame(" + std::to_string(frame.height) + " rows: ";
    for (std::size_t i = 0; i < frame.columns.size(); ++i) {
        if (i != 0) text += ", ";
        text += frame.columns[i].name;
        text += ' ';
        text += dtype_name(frame.columns[i].values->dtype());
    }
    return text + ")";
}

std::string grouped_text(const Grouping& grouping) {
    std::string text = "Grouped(" + std::to_string(grouping.group_count()) + " groups by ";
    for (std::size_t i = 0; i < grouping.keys.size(); ++i) {
        if (i != 0) text += ", ";
        text += grouping.keys[i];
    }
    return text + ")";
}

}  // namespace quorvel::engine
