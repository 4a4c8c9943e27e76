#pragma once

#include <string>

#include "engine/frame.hpp"
#include "engine/grouping.hpp"

// The one-line texts that repr(), str() and describe() return. They show shapes, never
// values, and write names as stored (unescaped), so they read as the user wrote them.
namespace quorvel::engine {

// "Frame({height} rows: {name} {dtype}, ...)"
std::string frame_text(const Frame& frame);

// "Grouped({groups} groups by {key}, ...)"
std::string grouped_text(const Grouping& grouping);

}  // namespace quorvel::engine
