#pragma once

#include "python.hpp"

// The methods of Frame, each defined in the file of its family and listed in the method
// table of frame_type.cpp.
namespace quorvel::api {

// frame_columns.cpp: shape, adding and reading columns.
PyObject* frame_add_floats(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_add_ints(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_add_strings(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_height(PyObject* self, PyObject* unused);
PyObject* frame_width(PyObject* self, PyObject* unused);
PyObject* frame_names(PyObject* self, PyObject* unused);
PyObject* frame_dtypes(PyObject* self, PyObject* unused);
PyObject* frame_floats(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_ints(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_strings(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_slicing.cpp: rows and columns by position and name.
PyObject* frame_select(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_head(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_tail(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_group.cpp: splitting by key columns.
PyObject* frame_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace quorvel::api
