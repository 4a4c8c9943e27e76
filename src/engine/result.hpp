#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "engine/check.hpp"

// Passes the error of `expression` (a Result) up to the caller, which returns a Result too.
#define QUORVEL_RETURN_IF_ERROR(expression)                                  \
    do {                                                                     \
        auto&& quorvel_result_ = (expression);                               \
        if (!quorvel_result_) return std::move(quorvel_result_).error();     \
    } while (false)

// Declares `declaration` holding the value of `expression` (a Result), or passes its error up.
#define QUORVEL_ASSIGN_OR_RETURN(declaration, expression) \
    QUORVEL_ASSIGN_OR_RETURN_AT(QUORVEL_JOIN(quorvel_result_, __LINE__), declaration, expression)
#define QUORVEL_ASSIGN_OR_RETURN_AT(result, declaration, expression) \
    auto result = (expression);                                         \
    if (!result) return std::move(result).error();                      \
    declaration = std::move(result).value()
#define QUORVEL_JOIN(a, b) QUORVEL_JOIN_AGAIN(a, b)
#define QUORVEL_JOIN_AGAIN(a, b) a##b

namespace quorvel::engine {

// The one error value of the engine: a message and nothing else. The binding raises it as
// ValueError(message).
struct EngineError {
    std::string message;
};

// A value or an EngineError. Engine operations report failure through it and never throw
// (allocation failure, std::bad_alloc, is the one exception the binding catches).
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(EngineError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        QUORVEL_CHECK(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        QUORVEL_CHECK(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        QUORVEL_CHECK(ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const EngineError& error() const& {
        QUORVEL_CHECK(!ok());
        return std::get<1>(state_);
    }
    EngineError&& error() && {
        QUORVEL_CHECK(!ok());
        return std::get<1>(std::move(state_));
    }

private:
    std::variant<T, EngineError> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(EngineError error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const EngineError& error() const& {
        QUORVEL_CHECK(!ok());
        return *error_;
    }
    EngineError&& error() && {
        QUORVEL_CHECK(!ok());
        return std::move(*error_);
    }

private:
    std::optional<EngineError> error_;
};

}  // namespace quorvel::engine
