#include <optional>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "api/grouped_type.hpp"
#include "engine/grouping.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<1> group_parameters{"Frame.group()", {"names"}};

}  // namespace

PyObject* frame_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(group_parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared,
                             [&](engine::Frame& frame) -> std::optional<engine::Result<engine::Grouping>> {
                                 const auto names = to_text_list(slots[0], "names");
                                 if (!names) return std::nullopt;
                                 return engine::group(frame, *names);
                             });
}

}  // namespace quorvel::api
