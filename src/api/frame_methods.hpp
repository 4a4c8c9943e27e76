#pragma once

#include "api/python.hpp"

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

// frame_sort.cpp: rows ordered by one column.
PyObject* frame_sort(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_filters.cpp: rows kept by a comparison or a membership test.
PyObject* frame_where_eq(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_ne(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_lt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_le(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_gt(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_ge(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_among(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_is(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* frame_where_in(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_date_parts.cpp: a year, month or day column from YYYY-MM-DD text.
PyObject* frame_add_date_part(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_group.cpp: splitting by key columns.
PyObject* frame_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// frame_csv.cpp: the frame as CSV text.
PyObject* frame_to_csv(PyObject* self, PyObject* unused);

}  // namespace quorvel::api
