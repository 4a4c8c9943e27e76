#pragma once

#include "api/python.hpp"

// The Frame methods of the Arrow PyCapsule interface. Their shape is their own, so their
// wrappers are written by hand: __arrow_c_stream__ may be called from any thread, and
// from_arrow is a class method.
namespace quorvel::api {

// The frame as an Arrow C stream.
PyObject* frame_arrow_c_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// A new frame from any object that has __arrow_c_stream__ or __arrow_c_array__; the first
// argument is the class.
PyObject* frame_from_arrow(PyObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace quorvel::api
