#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/errors.hpp"
#include "api/python.hpp"
#include "engine/column_values.hpp"
#include "engine/result.hpp"

namespace quorvel::engine {
struct Frame;
struct Grouping;
}  // namespace quorvel::engine

namespace quorvel::csv {
class TextBuffer;
}  // namespace quorvel::csv

namespace quorvel::api {

// Conversions of engine results to new Python objects; each returns nullptr with an
// exception set when it fails. An EngineError becomes ValueError(message).
struct NoneResult {};

PyObject* to_python(NoneResult);
PyObject* to_python(std::uint64_t count);
PyObject* to_python(const std::string& text);
PyObject* to_python(const csv::TextBuffer& text);
PyObject* to_python(const std::vector<std::string>& texts);
PyObject* to_python(const engine::ValuesRef& values);
PyObject* to_python(engine::Frame&& frame);        // a new Frame object
PyObject* to_python(engine::Grouping&& grouping);  // a new Grouped object

template <class T>
PyObject* to_python(engine::Result<T>&& result) {
    if (!result) return raise_engine_error(result.error());
    return to_python(std::move(result).value());
}

inline PyObject* to_python(engine::Result<void>&& result) {
    if (!result) return raise_engine_error(result.error());
    return to_python(NoneResult{});
}

}  // namespace quorvel::api
