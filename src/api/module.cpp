// The module quorvel: multi-phase initialisation whose execution slot adds the public names.
#include "api/frame_type.hpp"
#include "api/grouped_type.hpp"
#include "api/python.hpp"
#include "api/read_csv.hpp"

namespace quorvel::api {
namespace {

// Appends `name` to the module's __all__ (made on first use), then sets the attribute.
// Steals `value`.
int add_public(PyObject* module, const char* name, PyObject* value) {
    Ref owned(value);
    if (!owned) return -1;
    Ref all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return -1;
    return PyObject_SetAttrString(module, name, owned.get());
}

// Adds a built-in function under its own __name__.
int add_function(PyObject* module, PyObject* function) {
    Ref owned(function);
    if (!owned) return -1;
    Ref name(PyObject_GetAttrString(function, "__name__"));
    if (!name) return -1;
    if (!PyUnicode_Check(name.get())) {
        PyErr_SetString(PyExc_TypeError, "quorvel: a function's __name__ is not a str");
        return -1;
    }
    const char* text = PyUnicode_AsUTF8AndSize(name.get(), nullptr);
    if (!text) return -1;
    return add_public(module, text, owned.release());
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "quorvel: initialised object is not a module");
        return -1;
    }
    if (add_function(module, new_read_csv_function(module)) < 0) return -1;
    if (add_public(module, "Frame", Py_XNewRef(reinterpret_cast<PyObject*>(frame_type()))) < 0) return -1;
    if (add_public(module, "Grouped", Py_XNewRef(reinterpret_cast<PyObject*>(grouped_type()))) < 0) return -1;
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
#if Py_LIMITED_API + 0 >= 0x030C0000
    // The types and the counts of shared blocks are process-wide, so an interpreter with a
    // lock of its own must not import the module. (Limited API 3.11 has no way to say so.)
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "quorvel", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace quorvel::api

PyMODINIT_FUNC PyInit_quorvel() { return PyModuleDef_Init(&quorvel::api::module_definition); }
