#pragma once

#include <string>

#include "engine/frame.hpp"
#include "engine/grouping.hpp"

// The one-line texts that repr(), str() and describe() return. They show shapes, never
// values, and write names as stored (unescaped), so they read as the user wrote them.
namespace quorvel::api {

// "Frame({height} rows: {name} {dtype}, ...)"
std::string frame_text(const engine::Frame& frame);

// "Grouped({groups} groups by {key}, ...)"
std::string grouped_text(const engine::Grouping& grouping);

}  // namespace quorvel::api
