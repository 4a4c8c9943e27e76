#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/python.hpp"
#include "engine/aggregations.hpp"
#include "engine/column_values.hpp"
#include "engine/sorting.hpp"

namespace quorvel::api {

// A function's class (none for a module function) and name, which messages show as
// "Frame.head()" or "read_csv()", and its parameter names in order; each may be given by
// position or by keyword. The first `required` must be given; the others are optional (the
// Arrow protocol's `requested_schema`).
template <std::size_t N>
struct Parameters {
    const char* owner;
    const char* function;
    std::array<const char*, N> names;
    std::size_t required = N;
};

namespace detail {
bool match_arguments(const char* owner, const char* function, const char* const* names, std::size_t count,
                     std::size_t required, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** slots);
}

// Fills `slots` (borrowed references, in parameter order; null for an optional parameter not
// given) from a fast call's arguments, or raises the TypeError of the first mismatch.
template <std::size_t N>
bool match_arguments(const Parameters<N>& parameters, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     std::array<PyObject*, N>& slots) {
    return detail::match_arguments(parameters.owner, parameters.function, parameters.names.data(), N,
                                   parameters.required, args, nargs, kwnames, slots.data());
}

// The same for a call through a tuple and a dict (a constructor); `function` takes no
// parameters.
bool refuse_arguments(const char* function, PyObject* args, PyObject* kwargs);

// Raises "'{type}' object is not an instance of '{expected}'" ("'None' is not ..." for None).
void raise_not_instance(PyObject* object, const char* expected);

// Conversions of one argument. On failure they raise, add the note naming `argument` and
// return nothing. A text view points into the str object, which the caller keeps alive.
std::optional<std::string_view> to_text(PyObject* object, const char* argument);
std::optional<std::int64_t> to_integer(PyObject* object, const char* argument);
std::optional<double> to_number(PyObject* object, const char* argument);
std::optional<bool> to_flag(PyObject* object, const char* argument);
std::optional<engine::I64Cells> to_integer_list(PyObject* object, const char* argument);
std::optional<engine::F64Cells> to_number_list(PyObject* object, const char* argument);
std::optional<engine::StrCells> to_text_cells(PyObject* object, const char* argument);
std::optional<std::vector<std::string>> to_text_list(PyObject* object, const char* argument);
// One flag for every sort key, or a sequence of flags, one per key.
std::optional<engine::SortDirections> to_sort_directions(PyObject* object, const char* argument);
// A sequence of tuples (name, operation, column) or (name, operation), all texts. The note of a
// failure inside one tuple names it by its position: "while processing 'specs[2]'".
std::optional<std::vector<engine::AggregationSpec>> to_aggregation_specs(PyObject* object, const char* argument);
// The pointer held by a PyCapsule named `name`.
std::optional<void*> to_capsule_pointer(PyObject* object, const char* name, const char* argument);

}  // namespace quorvel::api
