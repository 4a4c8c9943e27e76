#include <optional>
#include <string>
#include <vector>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"
#include "engine/filters.hpp"

namespace quorvel::api {
namespace {

using engine::CompareOp;

constexpr Parameters<2> where_eq_parameters{"Frame.where_eq()", {"name", "value"}};
constexpr Parameters<2> where_ne_parameters{"Frame.where_ne()", {"name", "value"}};
constexpr Parameters<2> where_lt_parameters{"Frame.where_lt()", {"name", "value"}};
constexpr Parameters<2> where_le_parameters{"Frame.where_le()", {"name", "value"}};
constexpr Parameters<2> where_gt_parameters{"Frame.where_gt()", {"name", "value"}};
constexpr Parameters<2> where_ge_parameters{"Frame.where_ge()", {"name", "value"}};
constexpr Parameters<2> where_among_parameters{"Frame.where_among()", {"name", "values"}};
constexpr Parameters<2> where_is_parameters{"Frame.where_is()", {"name", "value"}};
constexpr Parameters<2> where_in_parameters{"Frame.where_in()", {"name", "values"}};

using FrameOutcome = std::optional<engine::Result<engine::Frame>>;

// Matches (name, second argument) and runs `filter(frame, name, second slot)` under a shared
// borrow; `filter` converts the second argument itself.
template <class Filter>
PyObject* run_filter(const Parameters<2>& parameters, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, Filter filter) {
    std::array<PyObject*, 2> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared, [&](engine::Frame& frame) -> FrameOutcome {
        const auto name = to_text(slots[0], "name");
        if (!name) return std::nullopt;
        return filter(frame, *name, slots[1]);
    });
}

// where_eq ... where_ge: the value is a number, whatever the column's dtype.
PyObject* compare(const Parameters<2>& parameters, CompareOp op, PyObject* self, PyObject* const* args,
                  Py_ssize_t nargs, PyObject* kwnames) {
    return run_filter(parameters, self, args, nargs, kwnames,
                      [op](engine::Frame& frame, std::string_view name, PyObject* argument) -> FrameOutcome {
                          const auto value = to_number(argument, "value");
                          if (!value) return std::nullopt;
                          return engine::filter_compare(frame, name, op, *value);
                      });
}

}  // namespace

PyObject* frame_where_eq(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_eq_parameters, CompareOp::Eq, self, args, nargs, kwnames);
}

PyObject* frame_where_ne(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_ne_parameters, CompareOp::Ne, self, args, nargs, kwnames);
}

PyObject* frame_where_lt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_lt_parameters, CompareOp::Lt, self, args, nargs, kwnames);
}

PyObject* frame_where_le(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_le_parameters, CompareOp::Le, self, args, nargs, kwnames);
}

PyObject* frame_where_gt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_gt_parameters, CompareOp::Gt, self, args, nargs, kwnames);
}

PyObject* frame_where_ge(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return compare(where_ge_parameters, CompareOp::Ge, self, args, nargs, kwnames);
}

PyObject* frame_where_among(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_filter(where_among_parameters, self, args, nargs, kwnames,
                      [](engine::Frame& frame, std::string_view name, PyObject* argument) -> FrameOutcome {
                          const auto values = to_number_list(argument, "values");
                          if (!values) return std::nullopt;
                          return engine::filter_among(frame, name, values->values);
                      });
}

// where_is(name, value) is where_in(name, [value]) in every respect, messages included.
PyObject* frame_where_is(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_filter(where_is_parameters, self, args, nargs, kwnames,
                      [](engine::Frame& frame, std::string_view name, PyObject* argument) -> FrameOutcome {
                          const auto value = to_text(argument, "value");
                          if (!value) return std::nullopt;
                          return engine::filter_in(frame, name, {std::string(*value)});
                      });
}

PyObject* frame_where_in(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_filter(where_in_parameters, self, args, nargs, kwnames,
                      [](engine::Frame& frame, std::string_view name, PyObject* argument) -> FrameOutcome {
                          const auto values = to_text_list(argument, "values");
                          if (!values) return std::nullopt;
                          return engine::filter_in(frame, name, *values);
                      });
}

}  // namespace quorvel::api
