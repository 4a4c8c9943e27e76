#include "api/errors.hpp"

#include <string>

namespace quorvel::api {
namespace {

// The exception being raised, taken out of the thread state and put back later.
// Python 3.12 keeps a single normalized exception; 3.11 keeps a (type, value, traceback)
// triple.
class RaisedException {
public:
    RaisedException() {
#if Py_LIMITED_API + 0 >= 0x030C0000
        value_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&type_, &value_, &traceback_);
        PyErr_NormalizeException(&type_, &value_, &traceback_);
        if (traceback_ && value_) PyException_SetTraceback(value_, traceback_);
#endif
    }
    RaisedException(const RaisedException&) = delete;
    RaisedException& operator=(const RaisedException&) = delete;

    PyObject* value() const { return value_; }

    void restore() {
#if Py_LIMITED_API + 0 >= 0x030C0000
        PyErr_SetRaisedException(value_);
#else
        PyErr_Restore(type_, value_, traceback_);
        type_ = traceback_ = nullptr;
#endif
        value_ = nullptr;
    }

private:
#if Py_LIMITED_API + 0 < 0x030C0000
    PyObject* type_ = nullptr;
    PyObject* traceback_ = nullptr;
#endif
    PyObject* value_ = nullptr;
};

PyObject* panic_exception_type() {
    static PyObject* type = nullptr;
    if (type) return type;
    type = PyErr_NewExceptionWithDoc(
        "quorvel.PanicException",
        "Raised when the library's native code fails.\n\n"
        "Like SystemExit, it derives from BaseException so that it typically propagates all the\n"
        "way through the stack and makes the interpreter exit.",
        PyExc_BaseException, nullptr);
    return type;
}

}  // namespace

PyObject* raise_engine_error(const engine::EngineError& error) {
    Ref message(PyUnicode_FromStringAndSize(error.message.data(), static_cast<Py_ssize_t>(error.message.size())));
    if (message) PyErr_SetObject(PyExc_ValueError, message.get());
    return nullptr;
}

PyObject* raise_panic(std::string_view message) {
    PyObject* type = panic_exception_type();
    if (!type) return nullptr;
    Ref text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

void add_argument_note(const char* argument) {
    static PyObject* add_note = nullptr;
    RaisedException raised;
    if (!add_note) {
        add_note = PyUnicode_InternFromString("add_note");
        if (!add_note) PyErr_Clear();
    }
    if (raised.value() && add_note) {
        Ref note(PyUnicode_FromFormat("while processing '%s'", argument));
        Ref outcome(note ? PyObject_CallMethodObjArgs(raised.value(), add_note, note.get(), nullptr) : nullptr);
        // A failure to add the note must not replace the conversion's own exception.
        if (!outcome) PyErr_Clear();
    }
    raised.restore();
}

void report_unraisable(const char* message, PyObject* context) {
    RaisedException pending;
    PyErr_SetString(PyExc_RuntimeError, message);
    PyErr_WriteUnraisable(context);
    pending.restore();
}

}  // namespace quorvel::api
