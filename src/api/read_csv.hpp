#pragma once

#include "api/python.hpp"

namespace quorvel::api {

// The module function read_csv(text), bound to `module` with the module's name as its
// __module__; a new reference, or nullptr with an exception set.
PyObject* new_read_csv_function(PyObject* module);

}  // namespace quorvel::api
