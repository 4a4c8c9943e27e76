#include <optional>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "engine/slicing.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<1> select_parameters{"Frame.select()", {"names"}};
constexpr Parameters<1> head_parameters{"Frame.head()", {"n"}};
constexpr Parameters<1> tail_parameters{"Frame.tail()", {"n"}};

template <class Slice>
PyObject* slice_rows(const Parameters<1>& parameters, Slice slice, PyObject* self, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared, [&](engine::Frame& frame) -> std::optional<engine::Frame> {
        const auto n = to_integer(slots[0], "n");
        if (!n) return std::nullopt;
        return slice(frame, *n);
    });
}

}  // namespace

PyObject* frame_select(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(select_parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared,
                             [&](engine::Frame& frame) -> std::optional<engine::Result<engine::Frame>> {
                                 const auto names = to_text_list(slots[0], "names");
                                 if (!names) return std::nullopt;
                                 return engine::select(frame, *names);
                             });
}

PyObject* frame_head(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return slice_rows(head_parameters, engine::head, self, args, nargs, kwnames);
}

PyObject* frame_tail(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return slice_rows(tail_parameters, engine::tail, self, args, nargs, kwnames);
}

}  // namespace quorvel::api
