#include <optional>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "engine/date_parts.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<3> add_date_part_parameters{"Frame.add_date_part()", {"name", "source", "part"}};

}  // namespace

// Adds a column in place, so it borrows the frame exclusively, like the other add methods.
PyObject* frame_add_date_part(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> slots;
    if (!match_arguments(add_date_part_parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::exclusive, [&](engine::Frame& frame) -> std::optional<engine::Result<void>> {
        const auto name = to_text(slots[0], "name");
        if (!name) return std::nullopt;
        const auto source = to_text(slots[1], "source");
        if (!source) return std::nullopt;
        const auto part = to_text(slots[2], "part");
        if (!part) return std::nullopt;
        return engine::add_date_part(frame, *name, *source, *part);
    });
}

}  // namespace quorvel::api
