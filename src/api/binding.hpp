#pragma once

// Methods described once, and their wrappers made from the descriptions.
//
// A class's methods are a constexpr tuple of Method descriptions, in the order of its method
// table: the name, the borrow of the object, the engine function, and the parameters, each
// a name and the kind of its conversion. method_table<Class, methods>() makes the wrappers
// (the call protocol of instance.hpp: match the arguments, check the thread, borrow, convert
// in parameter order, run the function, convert its result) and the table, with each
// docstring the text signature of the description.
//
// The engine function takes the object's contents (a const reference under a shared borrow,
// a reference under an exclusive one) and then the converted arguments, and returns a value
// that results.hpp turns into Python (a Result raises its EngineError as ValueError).
//
// Kinds of parameters are types with a `Held` value, kept for the call, `convert` (raising
// and noting the argument on failure) and `pass`, which hands the held value to the
// function. A kind may hold more than a value: a Frame argument holds a borrow of its frame.
// A method of another shape (a class method, one that may be called from any thread) is a
// description of its own type with its own wrapper in method_def.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/arguments.hpp"
#include "api/instance.hpp"
#include "api/python.hpp"
#include "api/results.hpp"
#include "engine/column_values.hpp"

namespace quorvel::api {

// ---- Kinds of parameters

template <class T, std::optional<T> (*to)(PyObject*, const char*)>
struct Converted {
    using Held = T;
    static std::optional<Held> convert(PyObject* object, const char* argument) { return to(object, argument); }
    static Held&& pass(Held& held) { return std::move(held); }
};

using Text = Converted<std::string_view, to_text>;
using Integer = Converted<std::int64_t, to_integer>;
using Number = Converted<double, to_number>;
using Flag = Converted<bool, to_flag>;
using IntegerList = Converted<engine::I64Cells, to_integer_list>;
using NumberList = Converted<engine::F64Cells, to_number_list>;
using TextCells = Converted<engine::StrCells, to_text_cells>;
using TextList = Converted<std::vector<std::string>, to_text_list>;
using Directions = Converted<engine::SortDirections, to_sort_directions>;
using AggregationSpecs = Converted<std::vector<engine::AggregationSpec>, to_aggregation_specs>;

template <class Kind>
struct Param {
    const char* name;
};

template <class Kind>
constexpr Param<Kind> param(const char* name) {
    return {name};
}

// ---- Descriptions

template <class Function, class... Kinds>
struct Method {
    const char* name;
    Access access;
    Function function;
    std::array<const char*, sizeof...(Kinds)> parameters;
    const char* body;  // the docstring after its text signature
};

template <class Function, class... Kinds>
constexpr Method<Function, Kinds...> method(const char* name, Access access, Function function,
                                            Param<Kinds>... parameters) {
    return {name, access, function, {parameters.name...}, ""};
}

// The same with a docstring body after the text signature.
template <class Function, class... Kinds>
constexpr Method<Function, Kinds...> method_with_body(const char* name, const char* body, Access access,
                                                      Function function, Param<Kinds>... parameters) {
    return {name, access, function, {parameters.name...}, body};
}

// A method of its own shape, whose fast-call wrapper is written by hand: a class method
// (`flags` METH_CLASS), or one that may be called from any thread. Its docstring is given
// whole, text signature included.
struct OwnMethod {
    const char* name;
    FastMethod function;
    int flags;
    const char* docstring;
};

constexpr OwnMethod own_method(const char* name, FastMethod function, int flags, const char* docstring) {
    return {name, function, flags, docstring};
}

namespace binding_detail {

constexpr std::size_t length(const char* text) { return std::char_traits<char>::length(text); }

// "name($self, a, b)\n--\n\n" and the body, as the interpreter reads a text signature.
template <const auto& methods, std::size_t i>
constexpr auto docstring() {
    constexpr const auto& description = std::get<i>(methods);
    constexpr std::string_view self = "($self", close = ")\n--\n\n";
    constexpr std::size_t size = [&] {
        std::size_t n = length(description.name) + self.size() + close.size() + length(description.body) + 1;
        for (const char* parameter : description.parameters) n += 2 + length(parameter);
        return n;
    }();
    std::array<char, size> text{};
    std::size_t at = 0;
    const auto put = [&](std::string_view piece) {
        for (const char c : piece) text[at++] = c;
    };
    put(description.name);
    put(self);
    for (const char* parameter : description.parameters) put(", "), put(parameter);
    put(close);
    put(description.body);
    return text;
}

template <const auto& methods, std::size_t i>
inline constexpr auto docstring_text = docstring<methods, i>();

// Converts one argument into `held`; a held value need not be assignable (a borrow is not).
template <class Kind>
bool convert_into(std::optional<typename Kind::Held>& held, PyObject* object, const char* argument) {
    std::optional<typename Kind::Held> converted = Kind::convert(object, argument);
    if (!converted) return false;
    held.emplace(std::move(*converted));
    return true;
}

// Converts the arguments in parameter order, stopping at the first that fails, and runs the
// function on the object's contents and the converted values.
template <class Contents, class Function, class... Kinds, std::size_t... k>
auto run(const Method<Function, Kinds...>& description, Contents& contents, PyObject* const* slots,
         std::index_sequence<k...>) {
    using Outcome = std::invoke_result_t<const Function&, Contents&,
                                         decltype(Kinds::pass(std::declval<typename Kinds::Held&>()))...>;
    std::tuple<std::optional<typename Kinds::Held>...> held;
    const bool converted = (convert_into<Kinds>(std::get<k>(held), slots[k], description.parameters[k]) && ...);
    if (!converted) return std::optional<Outcome>();
    return std::optional<Outcome>(description.function(contents, Kinds::pass(*std::get<k>(held))...));
}

template <class Class, const auto& methods, std::size_t i>
PyObject* call(PyObject* self, PyObject* const* slots) {
    using Contents = typename Class::Contents;
    constexpr const auto& description = std::get<i>(methods);
    return call_method<Contents>(self, Class::internal_name, description.access, [&](Contents& contents) {
        return run(description, contents, slots, std::make_index_sequence<description.parameters.size()>{});
    });
}

template <class Class, const auto& methods, std::size_t i>
PyObject* fast_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    constexpr const auto& description = std::get<i>(methods);
    constexpr std::size_t count = description.parameters.size();
    constexpr Parameters<count> parameters{Class::name, description.name, description.parameters};
    std::array<PyObject*, count> slots;
    if (!match_arguments(parameters, args, nargs, kwnames, slots)) return nullptr;
    return call<Class, methods, i>(self, slots.data());
}

// A method without parameters takes the interpreter's own check that none are given.
template <class Class, const auto& methods, std::size_t i>
PyObject* no_argument_method(PyObject* self, PyObject*) {
    return call<Class, methods, i>(self, nullptr);
}

template <class Class, const auto& methods, std::size_t i>
PyMethodDef method_def() {
    constexpr const auto& description = std::get<i>(methods);
    if constexpr (std::is_same_v<std::decay_t<decltype(description)>, OwnMethod>) {
        return {description.name, as_method(description.function), METH_FASTCALL | METH_KEYWORDS | description.flags,
                description.docstring};
    } else if constexpr (description.parameters.empty()) {
        return {description.name, no_argument_method<Class, methods, i>, METH_NOARGS,
                docstring_text<methods, i>.data()};
    } else {
        return {description.name, as_method(fast_method<Class, methods, i>), METH_FASTCALL | METH_KEYWORDS,
                docstring_text<methods, i>.data()};
    }
}

template <class Class, const auto& methods, std::size_t... i>
std::array<PyMethodDef, sizeof...(i) + 1> method_table(std::index_sequence<i...>) {
    return {method_def<Class, methods, i>()..., PyMethodDef{nullptr, nullptr, 0, nullptr}};
}

}  // namespace binding_detail

// The method table of `Class` (its Contents, its name in messages and its internal name)
// made from the descriptions `methods`, ended by the empty entry.
template <class Class, const auto& methods>
auto method_table() {
    return binding_detail::method_table<Class, methods>(
        std::make_index_sequence<std::tuple_size_v<std::decay_t<decltype(methods)>>>{});
}

}  // namespace quorvel::api
