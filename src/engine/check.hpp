#pragma once

// QUORVEL_CHECK(condition) states an invariant of the engine. In Debug, sanitizer and fuzzing
// builds (QUORVEL_CHECKS) a broken one ends the call with a fault naming it, which the binding
// raises as PanicException and the tests and fuzzers catch; elsewhere it costs nothing.
#if defined(QUORVEL_CHECKS)
#define QUORVEL_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::quorvel::engine::fail_check(#condition, __FILE__, __LINE__))
#else
#define QUORVEL_CHECK(condition) static_cast<void>(0)
#endif

namespace quorvel::engine {

// Throws the fault of a broken invariant: a std::logic_error whose message names the check.
[[noreturn]] void fail_check(const char* condition, const char* file, int line);

}  // namespace quorvel::engine
