#pragma once

#include "api/instance.hpp"
#include "api/python.hpp"
#include "engine/grouping.hpp"

namespace quorvel::api {

using GroupedObject = Instance<engine::Grouping>;

// The Grouped class, made on first use and kept for the life of the process.
PyTypeObject* grouped_type();

// Runs a Grouped method's body under the call protocol.
template <class Body>
PyObject* call_grouped_method(PyObject* self, Body&& body) {
    return call_method<engine::Grouping>(self, "quorvel::api::Grouped", Access::shared, std::forward<Body>(body));
}

}  // namespace quorvel::api
