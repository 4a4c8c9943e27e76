#include <optional>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "engine/sorting.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<2> sort_parameters{"Frame.sort()", {"name", "descending"}};

}  // namespace

PyObject* frame_sort(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 2> slots;
    if (!match_arguments(sort_parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared,
                             [&](engine::Frame& frame) -> std::optional<engine::Result<engine::Frame>> {
                                 const auto name = to_text(slots[0], "name");
                                 if (!name) return std::nullopt;
                                 const auto descending = to_flag(slots[1], "descending");
                                 if (!descending) return std::nullopt;
                                 return engine::sort(frame, *name, *descending);
                             });
}

}  // namespace quorvel::api
