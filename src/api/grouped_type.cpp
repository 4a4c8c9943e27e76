#include "api/grouped_type.hpp"

#include "api/grouped_methods.hpp"
#include "engine/summaries.hpp"

namespace quorvel::api {
namespace {

constexpr const char grouped_unsendable_drop[] =
    "quorvel::api::Grouped is unsendable, but is being dropped on another thread";

// repr(), str() and describe(): the one-line summary of the groups and their keys.
PyObject* grouped_summary(PyObject* self) {
    return call_grouped_method(self,
                               [](engine::Grouping& grouping) { return std::optional(engine::grouped_text(grouping)); });
}

PyObject* grouped_describe(PyObject* self, PyObject*) { return grouped_summary(self); }

// free(): the call protocol without work; the interpreter frees objects itself.
PyObject* grouped_free(PyObject* self, PyObject*) {
    return call_grouped_method(self, [](engine::Grouping&) { return std::optional(NoneResult{}); });
}

void grouped_dealloc(PyObject* self) { free_instance<engine::Grouping>(self, grouped_unsendable_drop); }

constexpr int fast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef grouped_methods[] = {
    {"groups", grouped_groups, METH_NOARGS, "groups($self)\n--\n\n"},
    {"count", grouped_count, METH_NOARGS, "count($self)\n--\n\n"},
    {"sum", as_method(grouped_sum), fast, "sum($self, name)\n--\n\n"},
    {"mean", as_method(grouped_mean), fast, "mean($self, name)\n--\n\n"},
    {"min", as_method(grouped_min), fast, "min($self, name)\n--\n\n"},
    {"max", as_method(grouped_max), fast, "max($self, name)\n--\n\n"},
    {"describe", grouped_describe, METH_NOARGS, "describe($self)\n--\n\n"},
    {"free", grouped_free, METH_NOARGS,
     "free($self)\n--\n\nNothing under CPython, which frees the object itself; in a page, the instance goes back to "
     "the library."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot grouped_slots[] = {
    {Py_tp_doc, const_cast<char*>("A frame split by the values of some columns; each aggregation is a `Frame` with the "
                                  "key\ncolumns first, one row per group.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(grouped_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(grouped_summary)},
    {Py_tp_str, reinterpret_cast<void*>(grouped_summary)},
    {Py_tp_methods, grouped_methods},
    {0, nullptr},
};

PyType_Spec grouped_spec = {
    "builtins.Grouped",
    static_cast<int>(sizeof(GroupedObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    grouped_slots,
};

}  // namespace

PyTypeObject* grouped_type() {
    static PyObject* type = nullptr;
    if (!type) type = PyType_FromSpec(&grouped_spec);
    return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* to_python(engine::Grouping&& grouping) { return new_instance(grouped_type(), std::move(grouping)); }

}  // namespace quorvel::api
