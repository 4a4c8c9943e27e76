// read_csv(text): CSV text in, a new Frame out.
#include "api/read_csv.hpp"

#include <array>

#include "api/arguments.hpp"
#include "api/errors.hpp"
#include "api/results.hpp"
#include "csv/reader.hpp"

namespace quorvel::api {
namespace {

constexpr Parameters<1> read_csv_parameters{nullptr, "read_csv", {"text"}};

// A module function has no object to check or borrow: match, convert, read.
PyObject* read_csv(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(read_csv_parameters, args, nargs, kwnames, slots)) return nullptr;
    const auto text = to_text(slots[0], "text");
    if (!text) return nullptr;
    return catch_faults([&] { return to_python(csv::read_csv(*text)); });
}

PyMethodDef read_csv_definition = {
    "read_csv", as_method(read_csv), METH_FASTCALL | METH_KEYWORDS, "read_csv(text)\n--\n\n"};

}  // namespace

PyObject* new_read_csv_function(PyObject* module) {
    Ref name(PyModule_GetNameObject(module));
    if (!name) return nullptr;
    return PyCFunction_NewEx(&read_csv_definition, module, name.get());
}

}  // namespace quorvel::api
