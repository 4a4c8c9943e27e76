// Frame.__arrow_c_stream__ and Frame.from_arrow: frames handed to Arrow libraries and read
// from them through the Arrow PyCapsule interface.
#include "api/frame_arrow.hpp"

#include <array>
#include <memory>
#include <optional>

#include "api/arguments.hpp"
#include "api/errors.hpp"
#include "api/frame_type.hpp"
#include "api/results.hpp"
#include "arrow/export_stream.hpp"
#include "arrow/import_table.hpp"

namespace quorvel::api {
namespace {

constexpr const char stream_capsule[] = "arrow_array_stream";
constexpr const char schema_capsule[] = "arrow_schema";
constexpr const char array_capsule[] = "arrow_array";

constexpr Parameters<1> arrow_c_stream_parameters{"Frame", "__arrow_c_stream__", {"requested_schema"}, 0};
constexpr Parameters<1> from_arrow_parameters{"Frame", "from_arrow", {"data"}};

// A capsule's stream is freed with the capsule unless a consumer moved it out first, which
// leaves it released.
void free_stream_capsule(PyObject* capsule) {
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, stream_capsule));
    if (!stream) return;
    if (stream->release) stream->release(stream);
    delete stream;
}

// Holds the interpreter lock released while producers' callbacks and the copying run: a
// producer may need other threads that take the lock (DuckDB's workers do when its query
// reads Python objects), and nothing here touches Python.
class WithoutInterpreterLock {
public:
    WithoutInterpreterLock() : state_(PyEval_SaveThread()) {}
    WithoutInterpreterLock(const WithoutInterpreterLock&) = delete;
    WithoutInterpreterLock& operator=(const WithoutInterpreterLock&) = delete;
    ~WithoutInterpreterLock() { PyEval_RestoreThread(state_); }

private:
    PyThreadState* state_;
};

// An Arrow struct moved out of a producer's capsule: ours to release.
template <class Struct>
struct Owned {
    Struct value{};
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() {
        if (!value.release) return;
        WithoutInterpreterLock unlocked;
        value.release(&value);
    }
};

// Moves the struct out of a capsule named `name`, as the interface wants: the capsule's copy
// is marked released, so that its destructor frees nothing that is now ours.
template <class Struct>
bool move_out_of(PyObject* capsule, const char* name, Owned<Struct>& owned) {
    if (!PyCapsule_IsValid(capsule, name)) {
        PyErr_Format(PyExc_TypeError, "the Arrow data is not a PyCapsule named '%s'", name);
        return false;
    }
    auto* theirs = static_cast<Struct*>(PyCapsule_GetPointer(capsule, name));
    if (!theirs->release) {
        PyErr_Format(PyExc_ValueError, "the Arrow data in the '%s' capsule was already taken", name);
        return false;
    }
    owned.value = *theirs;
    theirs->release = nullptr;
    return true;
}

// The Arrow data of `data`: a stream, or one array and its schema, whichever it offers; a
// stream is preferred, since it may hold many chunks.
struct ArrowData {
    Owned<ArrowArrayStream> stream;
    Owned<ArrowSchema> schema;
    Owned<ArrowArray> array;
};

// The protocol's method names, made once: they are looked up on every import.
PyObject* interned(const char* text, PyObject*& cache) {
    if (!cache) cache = PyUnicode_InternFromString(text);
    return cache;
}

bool take_arrow_data(PyObject* data, ArrowData& out) {
    static PyObject* stream_method = nullptr;
    static PyObject* array_method = nullptr;
    PyObject* const stream_name = interned("__arrow_c_stream__", stream_method);
    PyObject* const array_name = interned("__arrow_c_array__", array_method);
    if (!stream_name || !array_name) return false;
    if (PyObject_HasAttr(data, stream_name)) {
        Ref capsule(PyObject_CallMethodObjArgs(data, stream_name, nullptr));
        return capsule && move_out_of(capsule.get(), stream_capsule, out.stream);
    }
    if (PyObject_HasAttr(data, array_name)) {
        Ref pair(PyObject_CallMethodObjArgs(data, array_name, nullptr));
        if (!pair) return false;
        if (!PyTuple_Check(pair.get()) || PyTuple_Size(pair.get()) != 2) {
            PyErr_SetString(PyExc_TypeError, "__arrow_c_array__ did not return a (schema, array) pair of capsules");
            return false;
        }
        return move_out_of(PyTuple_GetItem(pair.get(), 0), schema_capsule, out.schema) &&
               move_out_of(PyTuple_GetItem(pair.get(), 1), array_capsule, out.array);
    }
    Ref type_name(PyType_GetQualName(Py_TYPE(data)));
    if (!type_name) return false;
    PyErr_Format(PyExc_TypeError, "'%U' object has no __arrow_c_stream__ or __arrow_c_array__ method", type_name.get());
    return false;
}

PyObject* raise_import_failure(const arrow::ImportFailure& failure) {
    if (failure.kind == arrow::ImportFailure::Kind::frame) return raise_engine_error(engine::EngineError{failure.message});
    PyObject* type = failure.kind == arrow::ImportFailure::Kind::type ? PyExc_TypeError : PyExc_ValueError;
    Ref message(PyUnicode_FromStringAndSize(failure.message.data(), static_cast<Py_ssize_t>(failure.message.size())));
    if (message) PyErr_SetObject(type, message.get());
    add_argument_note("data");
    return nullptr;
}

}  // namespace

// Consumers call this from threads of their own (DuckDB's workers do), so unlike every other
// method it skips the owner-thread check: under a shared borrow it only copies the frame's
// column records, whose values and selection are never written again and whose counts are
// atomic. The stream then lives on without the frame, on any thread.
PyObject* frame_arrow_c_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(arrow_c_stream_parameters, args, nargs, kwnames, slots)) return nullptr;
    const ArrowSchema* requested = nullptr;
    if (slots[0] && slots[0] != Py_None) {
        const std::optional<void*> pointer = to_capsule_pointer(slots[0], schema_capsule, "requested_schema");
        if (!pointer) return nullptr;
        requested = static_cast<const ArrowSchema*>(*pointer);
    }
    auto* instance = reinterpret_cast<FrameObject*>(self);
    Borrow borrow(instance->borrow_flag);
    if (!borrow.acquire(Access::shared)) return nullptr;
    return catch_faults([&]() -> PyObject* {
        auto stream = std::make_unique<ArrowArrayStream>();
        engine::Result<void> exported = arrow::export_frame(instance->contents, requested, stream.get());
        borrow.release();
        if (!exported) return raise_engine_error(exported.error());
        PyObject* capsule = PyCapsule_New(stream.get(), stream_capsule, free_stream_capsule);
        if (!capsule) {
            stream->release(stream.get());
            return nullptr;
        }
        stream.release();
        return capsule;
    });
}

PyObject* frame_from_arrow(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots;
    if (!match_arguments(from_arrow_parameters, args, nargs, kwnames, slots)) return nullptr;
    return catch_faults([&]() -> PyObject* {
        ArrowData data;
        if (!take_arrow_data(slots[0], data)) {
            add_argument_note("data");
            return nullptr;
        }
        arrow::Imported imported;
        {
            WithoutInterpreterLock unlocked;
            imported = data.stream.value.release ? arrow::import_stream(data.stream.value)
                                                 : arrow::import_array(data.schema.value, data.array.value);
        }
        if (!imported.frame) return raise_import_failure(imported.failure);
        return to_python(std::move(*imported.frame));
    });
}

}  // namespace quorvel::api
