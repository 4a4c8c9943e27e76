#include <optional>

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "api/frame_type.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<2> add_floats_parameters{"Frame.add_floats()", {"name", "values"}};
constexpr Parameters<2> add_ints_parameters{"Frame.add_ints()", {"name", "values"}};
constexpr Parameters<2> add_strings_parameters{"Frame.add_strings()", {"name", "values"}};
constexpr Parameters<1> floats_parameters{"Frame.floats()", {"name"}};
constexpr Parameters<1> ints_parameters{"Frame.ints()", {"name"}};
constexpr Parameters<1> strings_parameters{"Frame.strings()", {"name"}};

// add_floats, add_ints, add_strings: convert name, then values, then append in place.
template <class Convert>
PyObject* add_column(const Parameters<2>& parameters, Convert convert, PyObject* self, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 2> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::exclusive,
                             [&](engine::Frame& frame) -> std::optional<engine::Result<void>> {
                                 const auto name = to_text(slots[0], "name");
                                 if (!name) return std::nullopt;
                                 auto values = convert(slots[1], "values");
                                 if (!values) return std::nullopt;
                                 return engine::add_column(frame, *name, std::move(*values));
                             });
}

// floats, ints, strings: one column in logical row order, None for nulls.
PyObject* read_column(const Parameters<1>& parameters, engine::DType dtype, PyObject* self, PyObject* const* args,
                      Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call_frame_method(self, Access::shared,
                             [&](engine::Frame& frame) -> std::optional<engine::Result<engine::ValuesRef>> {
                                 const auto name = to_text(slots[0], "name");
                                 if (!name) return std::nullopt;
                                 return engine::read_column(frame, *name, dtype);
                             });
}

}  // namespace

PyObject* frame_add_floats(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return add_column(add_floats_parameters, to_number_list, self, args, nargs, kwnames);
}

PyObject* frame_add_ints(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return add_column(add_ints_parameters, to_integer_list, self, args, nargs, kwnames);
}

PyObject* frame_add_strings(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return add_column(add_strings_parameters, to_text_cells, self, args, nargs, kwnames);
}

PyObject* frame_height(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared, [](engine::Frame& frame) {
        return std::optional<std::uint64_t>(frame.height);
    });
}

PyObject* frame_width(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared, [](engine::Frame& frame) {
        return std::optional<std::uint64_t>(frame.columns.size());
    });
}

PyObject* frame_names(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared,
                             [](engine::Frame& frame) { return std::optional(engine::column_names(frame)); });
}

PyObject* frame_dtypes(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared,
                             [](engine::Frame& frame) { return std::optional(engine::column_dtypes(frame)); });
}

PyObject* frame_floats(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return read_column(floats_parameters, engine::DType::f64, self, args, nargs, kwnames);
}

PyObject* frame_ints(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return read_column(ints_parameters, engine::DType::i64, self, args, nargs, kwnames);
}

PyObject* frame_strings(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return read_column(strings_parameters, engine::DType::str, self, args, nargs, kwnames);
}

}  // namespace quorvel::api
