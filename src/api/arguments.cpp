#include "api/arguments.hpp"

#include <string>

#include "api/errors.hpp"

namespace quorvel::api {
namespace {

std::string type_name(PyTypeObject* type) {
    Ref name(PyType_GetQualName(type));
    Py_ssize_t size = 0;
    const char* text = name ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (!text) {
        PyErr_Clear();
        return "?";
    }
    return std::string(text, static_cast<std::size_t>(size));
}

std::optional<std::string_view> text_of(PyObject* object) {
    if (!PyUnicode_Check(object)) {
        raise_not_instance(object, "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (!text) return std::nullopt;
    return std::string_view(text, static_cast<std::size_t>(size));
}

std::optional<std::int64_t> integer_of(PyObject* object) {
    const long long value = PyLong_AsLongLong(object);
    if (value == -1 && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<double> number_of(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
    return value;
}

bool is_numpy_bool_type(PyTypeObject* type) {
    Ref name(PyType_GetName(type));
    if (!name) return false;
    if (PyUnicode_CompareWithASCIIString(name.get(), "bool_") != 0 &&
        PyUnicode_CompareWithASCIIString(name.get(), "bool") != 0) {
        return false;
    }
    Ref module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_Check(module.get()) && PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0;
}

std::optional<bool> flag_of(PyObject* object) {
    if (object == Py_True) return true;
    if (object == Py_False) return false;
    if (!is_numpy_bool_type(Py_TYPE(object))) {
        if (PyErr_Occurred()) return std::nullopt;
        raise_not_instance(object, "bool");
        return std::nullopt;
    }
    Ref method(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__bool__"));
    if (!method) {
        PyErr_Clear();
        const std::string name = type_name(Py_TYPE(object));
        PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion", name.c_str());
        return std::nullopt;
    }
    Ref result(PyObject_CallFunctionObjArgs(method.get(), object, nullptr));
    if (!result) return std::nullopt;
    if (result.get() == Py_True) return true;
    if (result.get() == Py_False) return false;
    raise_not_instance(result.get(), "bool");
    return std::nullopt;
}

// The reported length sizes the result; a length that cannot be had is no error, and a
// length beyond any real list (a lying __len__) only caps the reservation.
std::size_t size_hint(PyObject* object) {
    constexpr Py_ssize_t most_reserved = Py_ssize_t{1} << 26;
    const Py_ssize_t size = PyObject_Size(object);
    if (size < 0) {
        PyErr_Clear();
        return 0;
    }
    return static_cast<std::size_t>(size < most_reserved ? size : most_reserved);
}

// Runs `take` on every item of a list argument, in iteration order, after `reserve` with the
// reported length. Refuses a str (never a list of characters) and anything the interpreter
// does not call a sequence.
template <class Reserve, class Take>
bool for_each_item(PyObject* object, Reserve&& reserve, Take&& take) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(object)) {
        raise_not_instance(object, "Sequence");
        return false;
    }
    reserve(size_hint(object));
    Ref iterator(PyObject_GetIter(object));
    if (!iterator) return false;
    while (Ref item{PyIter_Next(iterator.get())}) {
        if (!take(item.get())) return false;
    }
    return !PyErr_Occurred();
}

// One aggregation spec: a tuple of two or three texts.
std::optional<engine::AggregationSpec> spec_of(PyObject* item) {
    if (!PyTuple_Check(item)) {
        raise_not_instance(item, "tuple");
        return std::nullopt;
    }
    const Py_ssize_t size = PyTuple_Size(item);
    if (size != 2 && size != 3) {
        PyErr_Format(PyExc_TypeError, "expected (name, operation, column) or (name, \"count\"), got a tuple of length %zd",
                     size);
        return std::nullopt;
    }
    std::string texts[3];
    for (Py_ssize_t i = 0; i < size; ++i) {
        const std::optional<std::string_view> text = text_of(PyTuple_GetItem(item, i));
        if (!text) return std::nullopt;
        texts[i] = *text;
    }
    engine::AggregationSpec spec{std::move(texts[0]), std::move(texts[1]), std::nullopt};
    if (size == 3) spec.column = std::move(texts[2]);
    return spec;
}

template <class T>
std::optional<T> noted(std::optional<T> converted, const char* argument) {
    if (!converted) add_argument_note(argument);
    return converted;
}

}  // namespace

namespace detail {

bool match_arguments(const char* owner, const char* function_name, const char* const* names, std::size_t count,
                     std::size_t required, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** slots) {
    // The name as messages show it, made only when one is raised.
    const auto shown = [&] { return (owner ? std::string(owner) + "." : std::string()) + function_name + "()"; };
    if (static_cast<std::size_t>(nargs) > count) {
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", shown().c_str(), count,
                     nargs, nargs == 1 ? "was" : "were");
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) slots[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;

    const Py_ssize_t keywords = kwnames ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* keyword = PyTuple_GetItem(kwnames, k);
        std::size_t i = 0;
        while (i < count && PyUnicode_CompareWithASCIIString(keyword, names[i]) != 0) ++i;
        if (i == count) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", shown().c_str(), keyword);
            return false;
        }
        if (slots[i]) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", shown().c_str(), names[i]);
            return false;
        }
        slots[i] = args[nargs + k];
    }

    std::string missing;
    std::size_t missing_count = 0;
    for (std::size_t i = 0; i < required; ++i) missing_count += slots[i] == nullptr;
    if (missing_count == 0) return true;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < required; ++i) {
        if (slots[i]) continue;
        ++listed;
        if (listed > 1) missing += missing_count == 2 ? " and " : (listed == missing_count ? ", and " : ", ");
        missing += '\'';
        missing += names[i];
        missing += '\'';
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", shown().c_str(), missing_count,
                 missing_count == 1 ? "argument" : "arguments", missing.c_str());
    return false;
}

}  // namespace detail

void raise_not_instance(PyObject* object, const char* expected) {
    if (object == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    const std::string name = type_name(Py_TYPE(object));
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", name.c_str(), expected);
}

bool refuse_arguments(const char* function, PyObject* args, PyObject* kwargs) {
    const Py_ssize_t given = args ? PyTuple_Size(args) : 0;
    if (given > 0) {
        PyErr_Format(PyExc_TypeError, "%s takes 0 positional arguments but %zd %s given", function, given,
                     given == 1 ? "was" : "were");
        return false;
    }
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t position = 0;
    if (kwargs && PyDict_Next(kwargs, &position, &keyword, &value)) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", function, keyword);
        return false;
    }
    return true;
}

std::optional<std::string_view> to_text(PyObject* object, const char* argument) {
    return noted(text_of(object), argument);
}

std::optional<std::int64_t> to_integer(PyObject* object, const char* argument) {
    return noted(integer_of(object), argument);
}

std::optional<double> to_number(PyObject* object, const char* argument) {
    return noted(number_of(object), argument);
}

std::optional<bool> to_flag(PyObject* object, const char* argument) {
    return noted(flag_of(object), argument);
}

std::optional<engine::I64Cells> to_integer_list(PyObject* object, const char* argument) {
    engine::I64Cells cells;
    const bool converted = for_each_item(object, [&](std::size_t size) { cells.values.reserve(size); }, [&](PyObject* item) {
        const std::optional<std::int64_t> value = integer_of(item);
        if (value) cells.values.push_back(*value);
        return value.has_value();
    });
    return noted(converted ? std::optional(std::move(cells)) : std::nullopt, argument);
}

std::optional<engine::F64Cells> to_number_list(PyObject* object, const char* argument) {
    engine::F64Cells cells;
    const bool converted = for_each_item(object, [&](std::size_t size) { cells.values.reserve(size); }, [&](PyObject* item) {
        const std::optional<double> value = number_of(item);
        if (value) cells.values.push_back(*value);
        return value.has_value();
    });
    return noted(converted ? std::optional(std::move(cells)) : std::nullopt, argument);
}

std::optional<engine::StrCells> to_text_cells(PyObject* object, const char* argument) {
    engine::StrCells cells;
    const bool converted = for_each_item(object, [&](std::size_t size) { cells.offsets.reserve(size + 1); }, [&](PyObject* item) {
        const std::optional<std::string_view> text = text_of(item);
        if (text) cells.push_back(*text);
        return text.has_value();
    });
    return noted(converted ? std::optional(std::move(cells)) : std::nullopt, argument);
}

std::optional<std::vector<std::string>> to_text_list(PyObject* object, const char* argument) {
    std::vector<std::string> texts;
    const bool converted = for_each_item(object, [&](std::size_t size) { texts.reserve(size); }, [&](PyObject* item) {
        const std::optional<std::string_view> text = text_of(item);
        if (text) texts.emplace_back(*text);
        return text.has_value();
    });
    return noted(converted ? std::optional(std::move(texts)) : std::nullopt, argument);
}

std::optional<engine::SortDirections> to_sort_directions(PyObject* object, const char* argument) {
    engine::SortDirections directions;
    // A flag is never a sequence; a str is refused as a flag, not read as a list of characters.
    if (PyUnicode_Check(object) || !PySequence_Check(object)) {
        const std::optional<bool> flag = flag_of(object);
        if (flag) directions.descending.push_back(*flag);
        return noted(flag ? std::optional(std::move(directions)) : std::nullopt, argument);
    }
    directions.per_key = true;
    const bool converted = for_each_item(object, [&](std::size_t size) { directions.descending.reserve(size); },
                                         [&](PyObject* item) {
                                             const std::optional<bool> flag = flag_of(item);
                                             if (flag) directions.descending.push_back(*flag);
                                             return flag.has_value();
                                         });
    return noted(converted ? std::optional(std::move(directions)) : std::nullopt, argument);
}

std::optional<std::vector<engine::AggregationSpec>> to_aggregation_specs(PyObject* object, const char* argument) {
    std::vector<engine::AggregationSpec> specs;
    std::string failing_spec;
    const bool converted = for_each_item(object, [&](std::size_t size) { specs.reserve(size); }, [&](PyObject* item) {
        std::optional<engine::AggregationSpec> spec = spec_of(item);
        if (!spec) {
            failing_spec = std::string(argument) + "[" + std::to_string(specs.size()) + "]";
            return false;
        }
        specs.push_back(std::move(*spec));
        return true;
    });
    if (converted) return specs;
    add_argument_note(failing_spec.empty() ? argument : failing_spec.c_str());
    return std::nullopt;
}

std::optional<void*> to_capsule_pointer(PyObject* object, const char* name, const char* argument) {
    if (!PyCapsule_CheckExact(object)) {
        raise_not_instance(object, "PyCapsule");
        add_argument_note(argument);
        return std::nullopt;
    }
    void* pointer = PyCapsule_GetPointer(object, name);
    if (!pointer) {
        add_argument_note(argument);
        return std::nullopt;
    }
    return pointer;
}

}  // namespace quorvel::api
