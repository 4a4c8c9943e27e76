#pragma once

#include "api/python.hpp"

// The methods of Grouped other than free and describe, listed in the method table of
// grouped_type.cpp.
namespace quorvel::api {

PyObject* grouped_groups(PyObject* self, PyObject* unused);
PyObject* grouped_count(PyObject* self, PyObject* unused);
PyObject* grouped_sum(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* grouped_mean(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* grouped_min(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* grouped_max(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace quorvel::api
