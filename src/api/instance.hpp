#pragma once

#include <atomic>
#include <new>
#include <optional>
#include <utility>

#include "api/errors.hpp"
#include "api/python.hpp"
#include "api/results.hpp"

namespace quorvel::api {

// The layout of a Frame or Grouped instance: the engine value it owns, the borrow flag that
// keeps a method from seeing a half-added column, and the thread it belongs to.
template <class Contents>
struct Instance {
    PyObject_HEAD
    Contents contents;
    // 0 free, n > 0 held by n shared borrows, -1 held by one exclusive borrow.
    std::atomic<Py_ssize_t> borrow_flag;
    unsigned long owner_thread;
};

enum class Access { shared, exclusive };

// Holds one borrow of an instance for the duration of a call (or of an argument's use in
// it); moving it hands the borrow over.
class Borrow {
public:
    explicit Borrow(std::atomic<Py_ssize_t>& flag) : flag_(&flag) {}
    Borrow(Borrow&& other) noexcept : flag_(other.flag_), access_(std::exchange(other.access_, std::nullopt)) {}
    Borrow& operator=(Borrow&&) = delete;
    ~Borrow() { release(); }

    // Takes the borrow or raises the RuntimeError of the conflict.
    bool acquire(Access access) {
        Py_ssize_t seen = flag_->load();
        if (access == Access::exclusive) {
            if (seen != 0 || !flag_->compare_exchange_strong(seen, -1)) {
                PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
                return false;
            }
        } else {
            do {
                if (seen == -1) {
                    PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                    return false;
                }
            } while (!flag_->compare_exchange_weak(seen, seen + 1));
        }
        access_ = access;
        return true;
    }

    void release() {
        if (!access_) return;
        if (*access_ == Access::exclusive) {
            flag_->store(0);
        } else {
            flag_->fetch_sub(1);
        }
        access_.reset();
    }

private:
    std::atomic<Py_ssize_t>* flag_;
    std::optional<Access> access_;
};

// Allocates an instance of `type` that owns `contents`, bound to the calling thread.
template <class Contents>
PyObject* new_instance(PyTypeObject* type, Contents&& contents) {
    if (!type) return nullptr;
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (!self) return nullptr;
    auto* instance = reinterpret_cast<Instance<std::decay_t<Contents>>*>(self);
    new (&instance->contents) std::decay_t<Contents>(std::forward<Contents>(contents));
    new (&instance->borrow_flag) std::atomic<Py_ssize_t>(0);
    instance->owner_thread = PyThread_get_thread_ident();
    return self;
}

// Frees an instance. An object belongs to its owner thread: dropped on any other thread, its
// contents are left alone (leaked) and the interpreter is told why, so that a program that
// lets objects travel hears of it.
template <class Contents>
void free_instance(PyObject* self, const char* dropped_elsewhere_message) {
    auto* instance = reinterpret_cast<Instance<Contents>*>(self);
    PyTypeObject* type = Py_TYPE(self);
    if (instance->owner_thread == PyThread_get_thread_ident()) {
        instance->contents.~Contents();
    } else {
        report_unraisable(dropped_elsewhere_message, reinterpret_cast<PyObject*>(type));
    }
    auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free(self);
    Py_DECREF(type);
}

// Whether the calling thread owns the instance; raises PanicException when it does not.
template <class Contents>
bool on_owner_thread(const Instance<Contents>& instance, const char* type_name) {
    if (instance.owner_thread == PyThread_get_thread_ident()) return true;
    catch_faults([&] { return raise_panic(std::string(type_name) + " is unsendable, but sent to another thread"); });
    return false;
}

// The protocol of every method once its arguments are matched: check the thread, borrow,
// run `body` (argument conversion and the engine operation), release, convert the result.
// `body` returns std::nullopt when it has raised. No C++ exception leaves this function.
template <class Contents, class Body>
PyObject* call_method(PyObject* self, const char* type_name, Access access, Body&& body) {
    auto* instance = reinterpret_cast<Instance<Contents>*>(self);
    if (!on_owner_thread(*instance, type_name)) return nullptr;
    Borrow borrow(instance->borrow_flag);
    if (!borrow.acquire(access)) return nullptr;
    return catch_faults([&]() -> PyObject* {
        auto outcome = body(instance->contents);
        borrow.release();
        if (!outcome) return nullptr;
        return to_python(std::move(*outcome));
    });
}

}  // namespace quorvel::api
