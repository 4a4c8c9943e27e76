#pragma once

#include <optional>

#include "api/instance.hpp"
#include "api/python.hpp"
#include "engine/frame.hpp"

namespace quorvel::api {

using FrameObject = Instance<engine::Frame>;

// What the binding needs of the class: its contents, its name in messages, its internal name.
struct FrameClass {
    using Contents = engine::Frame;
    static constexpr const char* name = "Frame";
    static constexpr const char* internal_name = "quorvel::api::Frame";
};

// The Frame class, made on first use and kept for the life of the process.
PyTypeObject* frame_type();

// A Frame given as an argument, as an operation of two frames takes one: it must be a Frame
// of the calling thread that is not borrowed exclusively, and it stays borrowed (shared) for
// the call, so that the add methods cannot change it meanwhile.
struct FrameArgument {
    struct Held {
        Borrow borrow;
        const engine::Frame* frame;
    };
    static std::optional<Held> convert(PyObject* object, const char* argument);
    static const engine::Frame& pass(Held& held) { return *held.frame; }
};

}  // namespace quorvel::api
