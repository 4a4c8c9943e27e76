#include "api/frame_type.hpp"

#include "api/arguments.hpp"
#include "api/frame_methods.hpp"
#include "engine/summaries.hpp"

namespace quorvel::api {
namespace {

constexpr const char frame_unsendable_drop[] = "quorvel::api::Frame is unsendable, but is being dropped on another thread";

// free(): the call protocol without work; the interpreter frees objects itself.
PyObject* frame_free(PyObject* self, PyObject*) {
    return call_frame_method(self, Access::shared, [](engine::Frame&) { return std::optional(NoneResult{}); });
}

// repr(), str() and describe(): the one-line summary of the frame's shape.
PyObject* frame_summary(PyObject* self) {
    return call_frame_method(self, Access::shared,
                             [](engine::Frame& frame) { return std::optional(engine::frame_text(frame)); });
}

PyObject* frame_describe(PyObject* self, PyObject*) { return frame_summary(self); }

// Frame(): a new empty frame; takes no arguments.
PyObject* frame_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (!refuse_arguments("Frame.__new__()", args, kwargs)) return nullptr;
    return new_instance(type, engine::Frame{});
}

void frame_dealloc(PyObject* self) { free_instance<engine::Frame>(self, frame_unsendable_drop); }

constexpr int fast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef frame_methods[] = {
    {"add_floats", as_method(frame_add_floats), fast, "add_floats($self, name, values)\n--\n\n"},
    {"add_ints", as_method(frame_add_ints), fast, "add_ints($self, name, values)\n--\n\n"},
    {"add_strings", as_method(frame_add_strings), fast, "add_strings($self, name, values)\n--\n\n"},
    {"add_date_part", as_method(frame_add_date_part), fast, "add_date_part($self, name, source, part)\n--\n\n"},
    {"height", frame_height, METH_NOARGS, "height($self)\n--\n\n"},
    {"width", frame_width, METH_NOARGS, "width($self)\n--\n\n"},
    {"names", frame_names, METH_NOARGS, "names($self)\n--\n\n"},
    {"dtypes", frame_dtypes, METH_NOARGS, "dtypes($self)\n--\n\n"},
    {"select", as_method(frame_select), fast, "select($self, names)\n--\n\n"},
    {"head", as_method(frame_head), fast, "head($self, n)\n--\n\n"},
    {"tail", as_method(frame_tail), fast, "tail($self, n)\n--\n\n"},
    {"sort", as_method(frame_sort), fast, "sort($self, name, descending)\n--\n\n"},
    {"where_eq", as_method(frame_where_eq), fast, "where_eq($self, name, value)\n--\n\n"},
    {"where_ne", as_method(frame_where_ne), fast, "where_ne($self, name, value)\n--\n\n"},
    {"where_lt", as_method(frame_where_lt), fast, "where_lt($self, name, value)\n--\n\n"},
    {"where_le", as_method(frame_where_le), fast, "where_le($self, name, value)\n--\n\n"},
    {"where_gt", as_method(frame_where_gt), fast, "where_gt($self, name, value)\n--\n\n"},
    {"where_ge", as_method(frame_where_ge), fast, "where_ge($self, name, value)\n--\n\n"},
    {"where_among", as_method(frame_where_among), fast, "where_among($self, name, values)\n--\n\n"},
    {"where_is", as_method(frame_where_is), fast, "where_is($self, name, value)\n--\n\n"},
    {"where_in", as_method(frame_where_in), fast, "where_in($self, name, values)\n--\n\n"},
    {"group", as_method(frame_group), fast, "group($self, names)\n--\n\n"},
    {"floats", as_method(frame_floats), fast, "floats($self, name)\n--\n\n"},
    {"ints", as_method(frame_ints), fast, "ints($self, name)\n--\n\n"},
    {"strings", as_method(frame_strings), fast, "strings($self, name)\n--\n\n"},
    {"to_csv", frame_to_csv, METH_NOARGS, "to_csv($self)\n--\n\n"},
    {"describe", frame_describe, METH_NOARGS, "describe($self)\n--\n\n"},
    {"free", frame_free, METH_NOARGS,
     "free($self)\n--\n\nNothing under CPython, which frees the object itself; in a page, the instance goes back to "
     "the library."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot frame_slots[] = {
    {Py_tp_doc, const_cast<char*>("Frame()\n--\n\nA table: named columns of one length.")},
    {Py_tp_new, reinterpret_cast<void*>(frame_new)},
    {Py_tp_repr, reinterpret_cast<void*>(frame_summary)},
    {Py_tp_str, reinterpret_cast<void*>(frame_summary)},
    {Py_tp_dealloc, reinterpret_cast<void*>(frame_dealloc)},
    {Py_tp_methods, frame_methods},
    {0, nullptr},
};

PyType_Spec frame_spec = {
    "builtins.Frame",
    static_cast<int>(sizeof(FrameObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    frame_slots,
};

}  // namespace

PyTypeObject* frame_type() {
    static PyObject* type = nullptr;
    if (!type) type = PyType_FromSpec(&frame_spec);
    return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* to_python(engine::Frame&& frame) { return new_instance(frame_type(), std::move(frame)); }

}  // namespace quorvel::api
