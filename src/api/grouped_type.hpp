#pragma once

#include "api/instance.hpp"
#include "api/python.hpp"
#include "engine/grouping.hpp"

namespace quorvel::api {

using GroupedObject = Instance<engine::Grouping>;

// What the binding needs of the class: its contents, its name in messages, its internal name.
struct GroupedClass {
    using Contents = engine::Grouping;
    static constexpr const char* name = "Grouped";
    static constexpr const char* internal_name = "quorvel::api::Grouped";
};

// The Grouped class, made on first use and kept for the life of the process.
PyTypeObject* grouped_type();

}  // namespace quorvel::api
