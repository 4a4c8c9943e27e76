#pragma once

#include "api/instance.hpp"
#include "api/python.hpp"
#include "engine/frame.hpp"

namespace quorvel::api {

using FrameObject = Instance<engine::Frame>;

// The Frame class, made on first use and kept for the life of the process.
PyTypeObject* frame_type();

// Runs a Frame method's body under the call protocol.
template <class Body>
PyObject* call_frame_method(PyObject* self, Access access, Body&& body) {
    return call_method<engine::Frame>(self, "quorvel::api::Frame", access, std::forward<Body>(body));
}

}  // namespace quorvel::api
