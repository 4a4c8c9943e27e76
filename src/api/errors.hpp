#pragma once

#include <exception>
#include <new>
#include <string_view>

#include "api/python.hpp"
#include "engine/result.hpp"

namespace quorvel::api {

// Raises ValueError(message) for an engine error; returns nullptr for the caller to return.
PyObject* raise_engine_error(const engine::EngineError& error);

// Raises PanicException, the BaseException subclass for broken invariants and misuse from
// another thread; returns nullptr.
PyObject* raise_panic(std::string_view message);

// Runs `work` (which returns a new reference, or nullptr with an exception set) so that no
// C++ exception reaches the interpreter: running out of memory raises MemoryError, any
// other fault PanicException.
template <class Work>
PyObject* catch_faults(Work&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        return raise_panic(fault.what());
    } catch (...) {
        return raise_panic("quorvel: internal fault");
    }
}

// Adds the note "while processing '{argument}'" to the exception being raised.
void add_argument_note(const char* argument);

// Reports RuntimeError(message) through the interpreter's unraisable hook, keeping any
// exception that is already being raised.
void report_unraisable(const char* message, PyObject* context);

}  // namespace quorvel::api
